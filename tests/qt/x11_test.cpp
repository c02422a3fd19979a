// The program on a real X server (Xvfb), driven from outside with xdotool,
// for what the offscreen platform cannot show: real double clicks, and a
// window that another X client destroys.  Skipped where Xvfb or xdotool
// is missing.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <string>

#include "tests/qt/start_children.h"

namespace lq::testing {
namespace {

// A private X server on a free display, for the life of the object.
class XServer {
 public:
  XServer() {
    server_.setProcessChannelMode(QProcess::SeparateChannels);
    server_.start("Xvfb", {"-displayfd", "1", "-screen", "0", "1280x1024x24", "-nolisten",
                           "tcp", "-noreset"});
    if (!server_.waitForStarted(10000)) return;
    for (int i = 0; i < 100 && display_.isEmpty(); ++i) {
      server_.waitForReadyRead(100);
      const QByteArray out = server_.readAllStandardOutput().trimmed();
      if (!out.isEmpty()) display_ = ":" + QString::fromLatin1(out);
    }
  }
  ~XServer() {
    server_.terminate();
    if (!server_.waitForFinished(5000)) server_.kill();
  }
  QString display() const { return display_; }

 private:
  QProcess server_;
  QString display_;
};

// xdotool with `args`; its output, trimmed.
QString XDo(const QString& display, const QStringList& args) {
  QProcess xdo;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("DISPLAY", display);
  xdo.setProcessEnvironment(env);
  xdo.start("xdotool", args);
  if (!xdo.waitForFinished(10000)) {
    xdo.kill();
    xdo.waitForFinished();
    return {};
  }
  return QString::fromLatin1(xdo.readAllStandardOutput()).trimmed();
}

// The window's height, as the X server has it.
int Height(const QString& display, const QString& window) {
  const QString shell = XDo(display, {"getwindowgeometry", "--shell", window});
  for (const QString& line : shell.split('\n')) {
    if (line.startsWith("HEIGHT=")) return line.mid(7).toInt();
  }
  return -1;
}

// Polls until the window has `height` (or about five seconds have passed).
bool WaitForHeight(const QString& display, const QString& window, int height) {
  for (int i = 0; i < 50; ++i) {
    if (Height(display, window) == height) return true;
    QThread::msleep(100);
  }
  return false;
}

TEST(X11Test, DoubleClicksAndAWindowDestroyedFromOutside) {
  if (QStandardPaths::findExecutable("Xvfb").isEmpty() ||
      QStandardPaths::findExecutable("xdotool").isEmpty()) {
    GTEST_SKIP() << "needs Xvfb and xdotool";
  }
  XServer x;
  ASSERT_FALSE(x.display().isEmpty()) << "Xvfb did not start";
  QTemporaryDir tmp;
  ASSERT_TRUE(tmp.isValid());

  QProcess quiz;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_QPA_PLATFORM", "xcb");
  env.insert("DISPLAY", x.display());
  env.insert("LETTER_QUIZ_FONTS_DIR", tmp.path() + "/fonts");
  env.insert("XDG_RUNTIME_DIR", tmp.path());
  env.insert("PULSE_SERVER", "unix:" + tmp.path() + "/no-sound-server");
  quiz.setProcessEnvironment(env);
  quiz.start(QCoreApplication::applicationFilePath(), {kChildProgramReady});
  ASSERT_TRUE(quiz.waitForStarted(10000));
  bool ready = false;
  for (int i = 0; i < 300 && !ready; ++i) {
    quiz.waitForReadyRead(100);
    ready = quiz.readAllStandardOutput().contains("ready");
  }
  ASSERT_TRUE(ready) << quiz.readAllStandardError().toStdString();
  const QString window = XDo(x.display(), {"search", "--name", "^Hebrew Letters$"});
  ASSERT_FALSE(window.isEmpty());
  ASSERT_EQ(Height(x.display(), window), 790);

  // A double click on the big letter: one toggle to the compact view,
  // not there and back.
  XDo(x.display(), {"mousemove", "--window", window, "640", "150", "click", "--repeat", "2",
                    "--delay", "80", "1"});
  EXPECT_TRUE(WaitForHeight(x.display(), window, 753));
  QThread::msleep(500);
  EXPECT_EQ(Height(x.display(), window), 753) << "the second press toggled it back";
  XDo(x.display(), {"click", "1"});  // a single click toggles back
  EXPECT_TRUE(WaitForHeight(x.display(), window, 790));

  // Another X client destroys the window: the run ends as a close ends it.
  XDo(x.display(), {"windowclose", window});
  const bool ended = quiz.waitForFinished(10000);
  EXPECT_TRUE(ended) << "the program runs on without its window";
  if (!ended) {
    quiz.kill();
    quiz.waitForFinished();
    return;
  }
  EXPECT_EQ(quiz.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(quiz.exitCode(), 0) << quiz.readAllStandardError().toStdString();
}

}  // namespace
}  // namespace lq::testing
