#include "runtime/files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>

#include "runtime/runtime.h"

namespace lq {
namespace {

namespace fs = std::filesystem;

// Sets an environment variable for the life of the object, then puts back
// what was there.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value)
      setenv(name, value, 1);
    else
      unsetenv(name);
  }
  ~ScopedEnv() {
    if (old_)
      setenv(name_, old_->c_str(), 1);
    else
      unsetenv(name_);
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

// A fresh temporary folder; the fonts folder is "fonts" inside it and does
// not exist yet.
class FilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "lq_files_XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    fonts_ = root_ / "fonts";
    env_.emplace("LETTER_QUIZ_FONTS_DIR", fonts_.c_str());
  }
  void TearDown() override {
    env_.reset();
    std::error_code ec;
    fs::permissions(root_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(root_, ec);
  }

  static std::string Win(const std::string& name) {
    return std::string("C:\\WINDOWS\\Fonts\\") + name;
  }
  static std::string ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  std::set<std::string> Listing(const fs::path& folder) const {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(folder))
      names.insert(e.path().filename().string());
    return names;
  }

  fs::path root_, fonts_;
  std::optional<ScopedEnv> env_;
};

TEST_F(FilesTest, MapsOnlyPlainNamesInTheFontsFolder) {
  EXPECT_EQ(MapProgramPath(Win("NewHebrew.ttf")), (fonts_ / "NewHebrew.ttf").string());
  // Windows compares the folder without regard to case; the name is kept.
  EXPECT_EQ(MapProgramPath("c:\\windows\\fonts\\OldHebrew.ttf"),
            (fonts_ / "OldHebrew.ttf").string());
  EXPECT_EQ(MapProgramPath("C:\\Windows\\FONTS\\a b.TTF"), (fonts_ / "a b.TTF").string());

  const std::string refused[] = {
      "",
      "C:\\WINDOWS\\Fonts",
      "C:\\WINDOWS\\Fonts\\",
      "C:\\WINDOWS\\Fonts\\.",
      "C:\\WINDOWS\\Fonts\\..",
      "C:\\WINDOWS\\Fonts\\..\\x.ttf",
      "C:\\WINDOWS\\Fonts\\sub\\x.ttf",
      "C:\\WINDOWS\\Fonts\\sub/x.ttf",
      "C:\\WINDOWS\\Fonts\\../x.ttf",
      "C:\\WINDOWS\\FontsX\\x.ttf",
      "C:\\WINDOWS\\System32\\x.ttf",
      "D:\\WINDOWS\\Fonts\\x.ttf",
      "C:/WINDOWS/Fonts/x.ttf",
      "x.ttf",
      "/etc/passwd",
      std::string("C:\\WINDOWS\\Fonts\\x\0.ttf", 23),
  };
  for (const std::string& path : refused) {
    EXPECT_EQ(MapProgramPath(path), std::nullopt) << path;
    EXPECT_EQ(ProgramFileExists(path), kFalse) << path;
    std::string error;
    EXPECT_EQ(WriteProgramFile(path, {}, &error), kErrNotFound) << path;
    EXPECT_FALSE(error.empty());
  }
  EXPECT_FALSE(fs::exists(fonts_));  // no refused write made the folder
}

TEST(FontsFolder, FollowsTheEnvironment) {
  struct Case {
    const char* override_dir;
    const char* xdg;
    const char* home;
    const char* folder;
  };
  const Case cases[] = {
      {"/tmp/f", "/data", "/home/u", "/tmp/f"},
      {"", "/data", "/home/u", "/data/fonts"},
      {nullptr, "/data", "/home/u", "/data/fonts"},
      {nullptr, "relative", "/home/u", "/home/u/.local/share/fonts"},
      {nullptr, "", "/home/u", "/home/u/.local/share/fonts"},
      {nullptr, nullptr, "/home/u", "/home/u/.local/share/fonts"},
  };
  for (const Case& c : cases) {
    ScopedEnv a("LETTER_QUIZ_FONTS_DIR", c.override_dir);
    ScopedEnv b("XDG_DATA_HOME", c.xdg);
    ScopedEnv h("HOME", c.home);
    EXPECT_EQ(FontsFolder(), c.folder)
        << (c.override_dir ? c.override_dir : "-") << " " << (c.xdg ? c.xdg : "-");
  }
}

TEST_F(FilesTest, AnyEntryCountsAsPresent) {
  EXPECT_EQ(ProgramFileExists(Win("NewHebrew.ttf")), kFalse);  // no folder yet
  fs::create_directories(fonts_);
  EXPECT_EQ(ProgramFileExists(Win("NewHebrew.ttf")), kFalse);

  std::ofstream(fonts_ / "full.ttf") << "font";
  std::ofstream(fonts_ / "empty.ttf");
  fs::create_directory(fonts_ / "folder.ttf");
  fs::create_symlink(root_ / "nowhere", fonts_ / "dangling.ttf");
  for (const char* name : {"full.ttf", "empty.ttf", "folder.ttf", "dangling.ttf"})
    EXPECT_EQ(ProgramFileExists(Win(name)), kTrue) << name;
  EXPECT_EQ(ProgramFileExists("C:\\windows\\FONTS\\full.ttf"), kTrue);
  EXPECT_EQ(ProgramFileExists(Win("FULL.ttf")), kFalse);  // the name is kept as is
}

TEST_F(FilesTest, WriteCreatesTheFolderAndWritesExactBytes) {
  ScopedEnv nested("LETTER_QUIZ_FONTS_DIR", (root_ / "a" / "b" / "fonts").c_str());
  std::string content("\0\1\2font\xff\0", 9);
  for (int i = 0; i < 20000; ++i) content += static_cast<char>(i * 7);
  std::string error;
  ASSERT_EQ(WriteProgramFile(Win("NewHebrew.ttf"),
                             {reinterpret_cast<const std::uint8_t*>(content.data()),
                              content.size()},
                             &error),
            kOk)
      << error;
  const fs::path target = root_ / "a" / "b" / "fonts" / "NewHebrew.ttf";
  EXPECT_EQ(ReadAll(target), content);
  EXPECT_EQ(Listing(target.parent_path()), std::set<std::string>{"NewHebrew.ttf"});
  EXPECT_EQ(ProgramFileExists(Win("NewHebrew.ttf")), kTrue);
  struct stat st;
  ASSERT_EQ(stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);  // readable by the font scanner

  // An empty content makes an empty file.
  ASSERT_EQ(WriteProgramFile(Win("empty.ttf"), {}, &error), kOk) << error;
  EXPECT_EQ(fs::file_size(target.parent_path() / "empty.ttf"), 0u);
}

TEST_F(FilesTest, WriteReplacesAFileOrLinkWithoutFollowingIt) {
  fs::create_directories(fonts_);
  std::ofstream(fonts_ / "old.ttf") << "a longer old content";
  std::ofstream(root_ / "outside") << "keep me";
  fs::create_symlink(root_ / "outside", fonts_ / "link.ttf");

  const std::uint8_t bytes[] = {'n', 'e', 'w'};
  std::string error;
  ASSERT_EQ(WriteProgramFile(Win("old.ttf"), bytes, &error), kOk) << error;
  EXPECT_EQ(ReadAll(fonts_ / "old.ttf"), "new");
  ASSERT_EQ(WriteProgramFile(Win("link.ttf"), bytes, &error), kOk) << error;
  EXPECT_FALSE(fs::is_symlink(fonts_ / "link.ttf"));
  EXPECT_EQ(ReadAll(fonts_ / "link.ttf"), "new");
  EXPECT_EQ(ReadAll(root_ / "outside"), "keep me");
  EXPECT_EQ(Listing(fonts_), (std::set<std::string>{"link.ttf", "old.ttf"}));
}

TEST_F(FilesTest, FailedWriteLeavesNothingBehind) {
  const std::uint8_t bytes[] = {'f', 'o', 'n', 't'};
  std::string error;

  // The target is a folder: the rename fails, the folder stays as it was.
  fs::create_directories(fonts_ / "NewHebrew.ttf");
  std::ofstream(fonts_ / "NewHebrew.ttf" / "inside") << "x";
  EXPECT_EQ(WriteProgramFile(Win("NewHebrew.ttf"), bytes, &error), kErrIo);
  EXPECT_NE(error.find("NewHebrew.ttf"), std::string::npos) << error;
  EXPECT_TRUE(fs::is_directory(fonts_ / "NewHebrew.ttf"));
  EXPECT_EQ(Listing(fonts_ / "NewHebrew.ttf"), std::set<std::string>{"inside"});
  EXPECT_EQ(Listing(fonts_), std::set<std::string>{"NewHebrew.ttf"});  // no temporary

  // The fonts folder would have to lie under a regular file.
  std::ofstream(root_ / "plain") << "x";
  {
    ScopedEnv under_file("LETTER_QUIZ_FONTS_DIR", (root_ / "plain" / "fonts").c_str());
    error.clear();
    EXPECT_EQ(WriteProgramFile(Win("NewHebrew.ttf"), bytes, &error), kErrIo);
    EXPECT_FALSE(error.empty());
  }
  {
    ScopedEnv is_file("LETTER_QUIZ_FONTS_DIR", (root_ / "plain").c_str());
    error.clear();
    EXPECT_EQ(WriteProgramFile(Win("NewHebrew.ttf"), bytes, &error), kErrIo);
    EXPECT_NE(error.find("not a folder"), std::string::npos) << error;
  }
  EXPECT_EQ(ReadAll(root_ / "plain"), "x");
  EXPECT_EQ(Listing(root_), (std::set<std::string>{"fonts", "plain"}));
}

}  // namespace
}  // namespace lq
