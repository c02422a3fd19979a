// The start routine (see start.h): the program image checked, the display
// opened (with one clear line when it cannot be), the main routine run once,
// and the exit status.
#include "runtime/qt/start.h"

#include <QApplication>
#include <QString>

#include <dirent.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <iostream>
#include <memory>
#include <vector>

#include "runtime/files.h"
#include "runtime/qt/qt_runtime.h"

namespace lq::qt {

namespace {

// While the QApplication starts: Qt's messages are held back, and its
// fatal message (no platform plugin could start, no display) becomes one
// clear line and exit status 1 instead of an abort.
struct HeldMessage {
  QString formatted;
  QString text;
};
std::vector<HeldMessage>* g_held_messages = nullptr;
// The platform asked for by "-platform NAME" on the command line, if any.
QString g_platform_argument;

bool AnyHeld(const QString& needle) {
  if (g_held_messages == nullptr) return false;
  for (const HeldMessage& m : *g_held_messages) {
    if (m.text.contains(needle, Qt::CaseInsensitive)) return true;
  }
  return false;
}

// Why the platform could not start, in one line.
std::string NoPlatformLine(const QString& fatal) {
  QString asked = g_platform_argument;
  QString by = QStringLiteral("-platform");
  if (asked.isEmpty()) {
    asked = qEnvironmentVariable("QT_QPA_PLATFORM");
    by = QStringLiteral("QT_QPA_PLATFORM");
  }
  const QString display = qEnvironmentVariable("DISPLAY");
  QString why;
  if (AnyHeld(QStringLiteral("Could not find the Qt platform plugin"))) {
    why = QStringLiteral("there is no such Qt platform plugin");
    const qsizetype at = fatal.indexOf(QStringLiteral("Available platform plugins are:"));
    if (at >= 0) {
      QString available = fatal.mid(at + 31).trimmed();
      if (available.endsWith('.')) available.chop(1);
      why += QStringLiteral(" (there are: ") + available + QStringLiteral(")");
    }
  } else if (AnyHeld(QStringLiteral("could not connect to display"))) {
    why = display.isEmpty()
              ? QStringLiteral("DISPLAY is not set")
              : QStringLiteral("cannot connect to the X display \"") + display +
                    QStringLiteral("\"");
  } else if (AnyHeld(QStringLiteral("Failed to create wl_display"))) {
    why = QStringLiteral("cannot connect to a Wayland display");
  } else {
    why = QStringLiteral("it failed to start");
  }
  if (!asked.isEmpty()) {
    return "letter-quiz: cannot start the Qt platform \"" + asked.toStdString() +
           "\" that " + by.toStdString() + " names: " + why.toStdString();
  }
  if (!display.isEmpty()) {
    return "letter-quiz: cannot open a display: " + why.toStdString();
  }
  return "letter-quiz: cannot open a display: no Qt platform could start "
         "(is DISPLAY or WAYLAND_DISPLAY set?)";
}

void HoldMessage(QtMsgType type, const QMessageLogContext& context,
                 const QString& message) {
  if (type == QtFatalMsg) {
    const std::string line = NoPlatformLine(message) + "\n";
    std::fputs(line.c_str(), stderr);
    std::fflush(nullptr);
    std::_Exit(1);
  }
  if (g_held_messages != nullptr) {
    g_held_messages->push_back({qFormatLogMessage(type, context, message), message});
  }
}

// fontconfig opens every file of the folders it scans to learn its faces,
// and a FIFO (or a device) there blocks that open for ever; the user's
// fonts folder is one of those folders.  The runtime opens nothing at the
// font paths, but it says what fontconfig may be waiting on.  Entries are
// only looked at with lstat and stat.
bool BlocksOnOpen(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return false;
  if (S_ISLNK(st.st_mode) && stat(path.c_str(), &st) != 0) return false;
  return !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode);
}

void WarnOfEntriesThatBlock() {
  const std::string folder = FontsFolder();
  if (folder.empty()) return;
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return;
  while (const dirent* e = readdir(dir)) {
    const std::string path = folder + "/" + e->d_name;
    if (e->d_name[0] != '.' && BlocksOnOpen(path)) {
      std::fprintf(stderr,
                   "letter-quiz: %s is neither a file nor a folder; fontconfig, which "
                   "reads the fonts in that folder, may wait on it for ever\n",
                   path.c_str());
    }
  }
  closedir(dir);
}

std::unique_ptr<QApplication> OpenDisplay(int& argc, char** argv) {
  WarnOfEntriesThatBlock();
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "-platform") == 0) g_platform_argument = argv[i + 1];
  }
  std::vector<HeldMessage> held;
  g_held_messages = &held;
  const QtMessageHandler previous = qInstallMessageHandler(HoldMessage);
  auto app = std::make_unique<QApplication>(argc, argv);
  g_held_messages = nullptr;
  qInstallMessageHandler(previous);
  for (const HeldMessage& message : held) {
    std::fprintf(stderr, "%s\n", qPrintable(message.formatted));
  }
  app->setQuitOnLastWindowClosed(false);  // the program's loop decides
  return app;
}

}  // namespace

int Start(int argc, char** argv, const ProgramImage& program) {
  std::string error;
  auto image = CheckImage(program, &error);
  if (!image) {
    std::cerr << "letter-quiz: cannot start: " << error << std::endl;
    return 1;
  }
  if (program.main == nullptr) {
    std::cerr << "letter-quiz: cannot start: the program has no main routine" << std::endl;
    return 1;
  }
  int qt_argc = argc;
  const std::unique_ptr<QApplication> app = OpenDisplay(qt_argc, argv);
  int status = 0;
  {
    QtRuntime runtime(program, std::move(*image));
    SetRuntime(&runtime);
    try {
      program.main();
    } catch (const CallError& e) {
      std::cerr << "letter-quiz: stopped: a control operation failed with status "
                << e.status << std::endl;
      status = 1;
    } catch (const std::exception& e) {
      std::cerr << "letter-quiz: stopped: unexpected error: " << e.what() << std::endl;
      status = 1;
    } catch (...) {
      std::cerr << "letter-quiz: stopped: unexpected error" << std::endl;
      status = 1;
    }
    SetRuntime(nullptr);
  }
  return status;
}

}  // namespace lq::qt
