// Child modes of the test binary: each starts the runtime through
// lq::qt::Start, as the program's entry point does, in a process of its
// own, so its exit status and its report can be checked.
#pragma once

#include <string>
#include <vector>

namespace lq::testing {

// Child modes, passed as the first argument.
inline constexpr const char* kChildProgram = "--child-program";        // the real program
// The real program; once its first letter shows, a screenshot of the
// window goes to <build>/screenshots/program.png and the window is closed.
inline constexpr const char* kChildProgramShot = "--child-program-shot";
// The real program; once its first letter shows, lbl55 is drawn with the
// codes of kShotCodes in its start face and, after a click on cmd1, in the
// other face, each to <$LQ_SHOT_DIR>/<face>-<code>-<pixel size>.png (code
// in decimal); then the window is
// closed.  $LQ_FONTS_DIR_HEX, when set, is the fonts folder's path in hex
// (any bytes, also not UTF-8).
inline constexpr const char* kChildFaceShots = "--child-face-shots";
inline constexpr const char* kShotCodes = "AJ[";
// The real program, idle: once its first letter shows, it waits
// kIdleWindowMs with nothing to do, prints "cpu <ms> wall <ms> turns <n>"
// for that time (the main thread's CPU time, the time passed, and how
// often the main thread's event loop went to wait or woke up) and closes
// the window.
inline constexpr const char* kChildIdle = "--child-idle";
inline constexpr int kIdleWindowMs = 3000;
// As kChildIdle, but a repeating 0 ms timer keeps the event loop turning.
inline constexpr const char* kChildSpins = "--child-spins";
// The real program; once its first letter shows, prints "ready <ms>" with
// the double-click interval it goes by, then "height <pixels>" each time
// the window's height changes.
inline constexpr const char* kChildProgramReady = "--child-program-ready";
inline constexpr const char* kChildCloses = "--child-closes";          // loads, closes, loops
inline constexpr const char* kChildThrows = "--child-main-throws";     // CallError out of main
inline constexpr const char* kChildMalformed = "--child-malformed-form";
inline constexpr const char* kChildMissing = "--child-missing-control";
inline constexpr const char* kChildWrongKind = "--child-wrong-kind";

// The exit status of the child mode argv[1], or -1 when it names none.
int RunChildMode(int argc, char** argv);

}  // namespace lq::testing
