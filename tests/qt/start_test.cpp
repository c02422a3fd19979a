// Starting the runtime: the image checks, the exit status, fatal errors.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <sstream>

#include "runtime/qt/start.h"
#include "tests/qt/qt_fixture.h"
#include "tests/qt/start_children.h"

namespace lq::testing {
namespace {

struct ChildResult {
  int exit_code = -1;
  bool crashed = true;
  std::string out;
  std::string err;
};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

ChildResult RunChild(const char* mode, const QProcessEnvironment& env) {
  QProcess child;
  child.setProcessEnvironment(env);
  child.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(mode)});
  EXPECT_TRUE(child.waitForFinished(60000)) << mode;
  ChildResult r;
  r.crashed = child.exitStatus() != QProcess::NormalExit;
  r.exit_code = child.exitCode();
  r.out = child.readAllStandardOutput().toStdString();
  r.err = child.readAllStandardError().toStdString();
  return r;
}

ChildResult RunChild(const char* mode) {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_QPA_PLATFORM", "offscreen");
  return RunChild(mode, env);
}

TEST(StartTest, WithoutDisplaySaysSoInOneLineAndExitsWithOne) {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) env.remove(name);
  const ChildResult r = RunChild(kChildProgram, env);
  EXPECT_FALSE(r.crashed);
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err.rfind("letter-quiz: cannot open a display", 0), 0u) << r.err;
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
}

TEST(StartTest, APlatformThatCannotStartIsNamedInOneLine) {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_QPA_PLATFORM", "nosuchplatform");
  const ChildResult r = RunChild(kChildProgram, env);
  EXPECT_FALSE(r.crashed);
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(Lines(r.err).size(), 1u) << r.err;
  EXPECT_NE(r.err.find("\"nosuchplatform\""), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("QT_QPA_PLATFORM"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("no such Qt platform plugin"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("DISPLAY"), std::string::npos) << r.err;
}

// Without a sound server the quiz keeps its rhythm and says so once.
TEST(StartTest, NoSoundServerIsSaidInExactlyOneLine) {
  QTemporaryDir runtime_dir;
  ASSERT_TRUE(runtime_dir.isValid());
  QFile::setPermissions(runtime_dir.path(), QFileDevice::ReadOwner |
                                                QFileDevice::WriteOwner |
                                                QFileDevice::ExeOwner);
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_QPA_PLATFORM", "offscreen");
  env.insert("XDG_RUNTIME_DIR", runtime_dir.path());
  env.insert("PULSE_SERVER", "unix:" + runtime_dir.path() + "/no-server-here");
  const ChildResult r = RunChild(kChildProgramShot, env);
  EXPECT_EQ(r.exit_code, 0) << r.err;
  const std::vector<std::string> lines = Lines(r.err);
  ASSERT_EQ(lines.size(), 1u) << r.err;
  EXPECT_EQ(lines[0].rfind("letter-quiz: no sound server (", 0), 0u) << r.err;
}

// An idle quiz waits for events; it does not spin.  Over the window its
// main thread wakes a handful of times and uses next to no CPU time, on a
// busy machine as on an idle one; a loop that spins turns many thousand
// times a second even when it gets only a sliver of a core.
TEST(StartTest, AnIdleProgramWaitsInsteadOfSpinning) {
  const struct {
    const char* mode;
    bool waits;
  } cases[] = {
      {kChildIdle, true},
      {kChildSpins, false},  // the check sees a loop that spins
  };
  for (const auto& c : cases) {
    const ChildResult r = RunChild(c.mode);
    ASSERT_EQ(r.exit_code, 0) << c.mode << ": " << r.err;
    long long cpu_ms = -1;
    long long wall_ms = -1;
    long long turns = -1;
    ASSERT_EQ(std::sscanf(r.out.c_str(), "cpu %lld wall %lld turns %lld", &cpu_ms, &wall_ms,
                          &turns),
              3)
        << c.mode << ": " << r.out;
    EXPECT_GE(wall_ms, kIdleWindowMs) << c.mode;
    // At most 100 turns a second, and the main thread on the CPU for at
    // most a quarter of the time.
    const bool waits = turns * 10 < wall_ms && cpu_ms * 4 < wall_ms;
    EXPECT_EQ(waits, c.waits) << c.mode << ": " << r.out;
  }
}

TEST(StartTest, RunsMainUntilTheWindowIsClosedAndExitsWithZero) {
  const ChildResult r = RunChild(kChildCloses);
  EXPECT_FALSE(r.crashed);
  EXPECT_EQ(r.exit_code, 0) << r.err;
}

TEST(StartTest, TheProgramShowsItsFirstLetterAndEndsWhenClosed) {
  const QString shot = QCoreApplication::applicationDirPath() + "/../screenshots/program.png";
  QFile::remove(shot);
  const ChildResult r = RunChild(kChildProgramShot);
  EXPECT_FALSE(r.crashed) << r.err;
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.err.find("stopped"), std::string::npos) << r.err;
  EXPECT_TRUE(QFile::exists(shot));
}

TEST(StartTest, CallErrorOutOfMainIsReportedWithExitOne) {
  const ChildResult r = RunChild(kChildThrows);
  EXPECT_FALSE(r.crashed);
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("status -3"), std::string::npos) << r.err;
}

TEST(StartTest, FormDefinitionFaultsAreFatal) {
  const struct {
    const char* mode;
    const char* says;
  } cases[] = {
      {kChildMalformed, "line 3: unknown key 'colour'"},
      {kChildMissing, "no label lbl32"},
      {kChildWrongKind, "cmd2 is a label, not a button"},
  };
  for (const auto& c : cases) {
    const ChildResult r = RunChild(c.mode);
    EXPECT_FALSE(r.crashed) << c.mode;
    EXPECT_EQ(r.exit_code, 1) << c.mode;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << c.mode << ": " << r.err;
  }
}

// A damaged image is refused before any window exists.
TEST(StartTest, DamagedImageIsRefusedWithExitOne) {
  static const std::uint8_t kJunk[3] = {1, 2, 3};
  ProgramImage good = RecordingImage();
  good.main = [] { ADD_FAILURE() << "main ran"; };
  const struct {
    const char* what;
    ProgramImage image;
  } cases[] = {
      {"resource set", [&] { auto i = good; i.resources = kJunk; return i; }()},
      {"event table", [&] { auto i = good; i.event_table = kJunk; return i; }()},
      // an entry's handler index past the handler list
      {"event table", [&] { auto i = good; i.handlers = i.handlers.first(30); return i; }()},
      {"control-name list", [&] { auto i = good; i.control_names = kJunk; return i; }()},
      {"main routine", [&] { auto i = good; i.main = nullptr; return i; }()},
  };
  char name[] = "letter-quiz";
  char* argv[] = {name, nullptr};
  for (const auto& c : cases) {
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(qt::Start(1, argv, c.image), 1) << c.what;
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find(c.what), std::string::npos) << err;
  }
}

TEST(StartTest, CheckImageWantsExactlyTheControlCount) {
  static const std::uint8_t kTwoNames[] = {'a', 0, 'b', 0, 0, 0};
  ProgramImage image = RecordingImage();
  image.control_names = kTwoNames;
  std::string error;
  EXPECT_FALSE(qt::CheckImage(image, &error));
  EXPECT_NE(error.find("2 names"), std::string::npos) << error;
}

}  // namespace
}  // namespace lq::testing
