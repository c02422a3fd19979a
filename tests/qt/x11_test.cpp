// The program on a real X server (Xvfb), driven from outside with xdotool,
// for what the offscreen platform cannot show: real double clicks, and a
// window that another X client destroys.  Skipped where Xvfb or xdotool
// is missing.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <string>

#include "tests/qt/start_children.h"

namespace lq::testing {
namespace {

// Every wait below polls for its outcome, bounded generously.
constexpr int kPatienceMs = 30000;

// A private X server on a free display, for the life of the object.
class XServer {
 public:
  XServer() {
    server_.setProcessChannelMode(QProcess::SeparateChannels);
    server_.start("Xvfb", {"-displayfd", "1", "-screen", "0", "1280x1024x24", "-nolisten",
                           "tcp", "-noreset"});
    if (!server_.waitForStarted(kPatienceMs)) return;
    const QDeadlineTimer deadline(kPatienceMs);
    while (display_.isEmpty() && !deadline.hasExpired()) {
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
  if (!xdo.waitForFinished(kPatienceMs)) {
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

// Polls until the window has `height`.
bool WaitForHeight(const QString& display, const QString& window, int height) {
  const QDeadlineTimer deadline(kPatienceMs);
  while (Height(display, window) != height) {
    if (deadline.hasExpired()) return false;
    QThread::msleep(50);
  }
  return true;
}

// The lines of the quiz's standard output, read as they come.
class OutputLines {
 public:
  explicit OutputLines(QProcess& process) : process_(process) {}
  // Polls until a line starts with `prefix`; that line, or an empty one
  // when the process ends without it.
  QString WaitFor(const QString& prefix) {
    const QDeadlineTimer deadline(kPatienceMs);
    for (;;) {
      const bool ended = process_.state() == QProcess::NotRunning;
      Read();
      for (const QString& line : lines_) {
        if (line.startsWith(prefix)) return line;
      }
      if (ended || deadline.hasExpired()) return {};
      process_.waitForReadyRead(100);
    }
  }
  // Every line so far, once the process has ended: all it wrote.
  QStringList All() {
    Read();
    return lines_;
  }

 private:
  void Read() {
    pending_ += QString::fromLatin1(process_.readAllStandardOutput());
    for (qsizetype end; (end = pending_.indexOf('\n')) >= 0;) {
      lines_ << pending_.left(end);
      pending_.remove(0, end + 1);
    }
  }
  QProcess& process_;
  QString pending_;
  QStringList lines_;
};

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
  ASSERT_TRUE(quiz.waitForStarted(kPatienceMs));
  OutputLines out(quiz);
  const QString ready = out.WaitFor("ready ");
  ASSERT_FALSE(ready.isEmpty()) << quiz.readAllStandardError().toStdString();
  const int interval_ms = ready.mid(6).toInt();  // the quiz's double-click interval
  ASSERT_GT(interval_ms, 0) << ready.toStdString();
  const QString window = XDo(x.display(), {"search", "--name", "^Hebrew Letters$"});
  ASSERT_FALSE(window.isEmpty());
  ASSERT_TRUE(WaitForHeight(x.display(), window, 790)) << "not the full view";

  // A double click on the big letter, its two presses well inside the
  // interval: one toggle to the compact view, not there and back.
  XDo(x.display(), {"mousemove", "--window", window, "640", "150", "click", "--repeat", "2",
                    "--delay", QString::number(interval_ms / 4), "1"});
  EXPECT_TRUE(WaitForHeight(x.display(), window, 753));
  // A single click toggles back; it comes after the interval, so that it
  // is not taken for a part of the double click.
  QThread::msleep(static_cast<unsigned long>(2 * interval_ms));
  XDo(x.display(), {"click", "1"});
  EXPECT_TRUE(WaitForHeight(x.display(), window, 790));

  // Another X client destroys the window: the run ends as a close ends it.
  XDo(x.display(), {"windowclose", window});
  const bool ended = quiz.waitForFinished(kPatienceMs);
  EXPECT_TRUE(ended) << "the program runs on without its window";
  if (!ended) {
    quiz.kill();
    quiz.waitForFinished();
    return;
  }
  EXPECT_EQ(quiz.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(quiz.exitCode(), 0) << quiz.readAllStandardError().toStdString();
  // The whole run, now that it has ended: two toggles, one for each
  // click; the second press of the double click toggled nothing back.
  const QStringList heights = out.All().filter(QRegularExpression("^height "));
  EXPECT_EQ(heights.join(", ").toStdString(), "height 753, height 790");
}

}  // namespace
}  // namespace lq::testing
