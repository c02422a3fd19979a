// The start-up's font installation and preload against the real file
// services of the Qt runtime.
#include <QTemporaryDir>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "media/preload.h"
#include "quiz/letters.h"
#include "quiz/state.h"
#include "tests/qt/qt_fixture.h"

namespace lq::testing {
namespace {

namespace fs = std::filesystem;

class InstallTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    folder_ = fs::path(dir_.path().toStdString()) / "not-yet" / "fonts";
    const char* saved = std::getenv("LETTER_QUIZ_FONTS_DIR");
    saved_ = saved != nullptr ? saved : "";
    setenv("LETTER_QUIZ_FONTS_DIR", folder_.c_str(), 1);
    image_ = RecordingImage();
    runtime_ = StartRuntime(image_);
    ASSERT_TRUE(runtime_);
  }
  void TearDown() override {
    SetRuntime(nullptr);
    runtime_.reset();
    if (saved_.empty()) {
      unsetenv("LETTER_QUIZ_FONTS_DIR");
    } else {
      setenv("LETTER_QUIZ_FONTS_DIR", saved_.c_str(), 1);
    }
  }

  std::string Read(const char* name) const {
    std::ifstream in(folder_ / name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder_)) {
      names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  QTemporaryDir dir_;
  fs::path folder_;
  std::string saved_;
  ProgramImage image_;
  std::unique_ptr<qt::QtRuntime> runtime_;
};

TEST_F(InstallTest, WritesBothFontsIntoAFolderThatDidNotExistAndThenNeverAgain) {
  InstallFonts();
  EXPECT_EQ(Entries(), (std::vector<std::string>{"NewHebrew.ttf", "OldHebrew.ttf"}));
  EXPECT_EQ(Read("NewHebrew.ttf"), EmbeddedContent(":NewHebrew"));
  EXPECT_EQ(Read("OldHebrew.ttf"), EmbeddedContent(":OldHebrew"));

  // A later start finds them and leaves them alone, whatever they hold.
  std::ofstream(folder_ / "OldHebrew.ttf", std::ios::trunc) << "changed";
  const auto stamp = fs::last_write_time(folder_ / "NewHebrew.ttf");
  InstallFonts();
  EXPECT_EQ(Read("OldHebrew.ttf"), "changed");
  EXPECT_EQ(fs::last_write_time(folder_ / "NewHebrew.ttf"), stamp);
  EXPECT_EQ(Entries().size(), 2u);  // no temporary file left behind
}

TEST_F(InstallTest, AnEmptyFileCountsAsInstalledAndOnlyTheOtherIsWritten) {
  fs::create_directories(folder_);
  std::ofstream(folder_ / "NewHebrew.ttf");
  InstallFonts();
  EXPECT_EQ(fs::file_size(folder_ / "NewHebrew.ttf"), 0u);
  EXPECT_EQ(Read("OldHebrew.ttf"), EmbeddedContent(":OldHebrew"));
}

TEST_F(InstallTest, AFailedWriteLetsTheStartGoOn) {
  // The folder's place is taken by a file: nothing can be written there.
  fs::create_directories(folder_.parent_path());
  std::ofstream(folder_) << "not a folder";
  ::testing::internal::CaptureStderr();
  InstallFonts();
  const std::string err = ::testing::internal::GetCapturedStderr();
  // Each failure is told once, naming the file on this machine.
  for (const char* name : {"NewHebrew.ttf", "OldHebrew.ttf"}) {
    EXPECT_NE(err.find("letter-quiz: " + (folder_ / name).string() + ": "), std::string::npos)
        << err;
  }
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 2) << err;
  EXPECT_EQ(err.find("C:\\"), std::string::npos) << err;
  PreloadRecordings();
  EXPECT_EQ(ErrorSound.size(), 9306u);
  EXPECT_EQ(Recording[20].size(), 109578u);  // shin/sin, pick 21
}

}  // namespace
}  // namespace lq::testing
