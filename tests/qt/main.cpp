// The Qt runtime's tests run on Qt's offscreen platform.  Before the tests
// the two fonts are written, from the embedded set, into a temporary fonts
// folder, as after a first start; no test writes to the user's own, nor
// plays on the user's sound server.
//
// Run with a child mode as its first argument, the binary instead starts
// the runtime the way the program does (see start_test.cpp).
#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>

#include <cstdlib>
#include <string>

#include "runtime/files.h"
#include "tests/qt/qt_fixture.h"
#include "tests/qt/start_children.h"

int main(int argc, char** argv) {
  if (argc > 1) {
    const int child = lq::testing::RunChildMode(argc, argv);
    if (child >= 0) return child;
  }

  QTemporaryDir fonts;
  if (!fonts.isValid()) return 2;
  setenv("LETTER_QUIZ_FONTS_DIR", fonts.path().toLocal8Bit().constData(), 1);
  for (const char* name : {"NewHebrew", "OldHebrew"}) {
    const std::string content = lq::testing::EmbeddedContent(std::string(":") + name);
    std::string error;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(content.data());
    if (content.empty() ||
        lq::WriteProgramFile(std::string(lq::kWindowsFontsFolder) + "\\" + name + ".ttf",
                             {bytes, content.size()}, &error) < 0) {
      std::fprintf(stderr, "cannot write the font %s: %s\n", name, error.c_str());
      return 2;
    }
  }

  // No test plays on the desktop's own sound server: the sound client
  // finds none, unless a test starts its own (sound_server.h).
  const std::string no_server = "unix:" + fonts.path().toStdString() + "/no-sound-server";
  setenv("PULSE_SERVER", no_server.c_str(), 1);
  setenv("PULSE_COOKIE", (fonts.path().toStdString() + "/no-cookie").c_str(), 1);

  // Offscreen also when run by hand or when ctest lists the tests.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  app.setQuitOnLastWindowClosed(false);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
