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
inline constexpr const char* kChildCloses = "--child-closes";          // loads, closes, loops
inline constexpr const char* kChildThrows = "--child-main-throws";     // CallError out of main
inline constexpr const char* kChildMalformed = "--child-malformed-form";
inline constexpr const char* kChildMissing = "--child-missing-control";
inline constexpr const char* kChildWrongKind = "--child-wrong-kind";

// The exit status of the child mode argv[1], or -1 when it names none.
int RunChildMode(int argc, char** argv);

}  // namespace lq::testing
