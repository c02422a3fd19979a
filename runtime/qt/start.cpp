#include "runtime/qt/start.h"

#include <QApplication>
#include <QString>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <memory>
#include <vector>

#include "runtime/qt/qt_runtime.h"

namespace lq::qt {

namespace {

// While the QApplication starts: Qt's messages are held back, and its
// fatal message (no platform plugin could start, no display) becomes one
// clear line and exit status 1 instead of an abort.
std::vector<QString>* g_held_messages = nullptr;

void HoldMessage(QtMsgType type, const QMessageLogContext& context,
                 const QString& message) {
  if (type == QtFatalMsg) {
    std::fputs(
        "letter-quiz: cannot open a display: no Qt platform could start "
        "(is DISPLAY or WAYLAND_DISPLAY set?)\n",
        stderr);
    std::fflush(nullptr);
    std::_Exit(1);
  }
  if (g_held_messages != nullptr) {
    g_held_messages->push_back(qFormatLogMessage(type, context, message));
  }
}

std::unique_ptr<QApplication> OpenDisplay(int& argc, char** argv) {
  std::vector<QString> held;
  g_held_messages = &held;
  const QtMessageHandler previous = qInstallMessageHandler(HoldMessage);
  auto app = std::make_unique<QApplication>(argc, argv);
  qInstallMessageHandler(previous);
  g_held_messages = nullptr;
  for (const QString& message : held) {
    std::fprintf(stderr, "%s\n", qPrintable(message));
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
