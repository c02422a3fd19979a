// The Qt runtime's start routine.  Plain C++: no Qt header here, so the
// program's entry point can call it.
#pragma once

#include "runtime/runtime.h"

namespace lq::qt {

// Takes over the program's image, makes the runtime's services ready, runs
// the main routine once and returns the process exit status.
int Start(int argc, char** argv, const ProgramImage& program);

}  // namespace lq::qt
