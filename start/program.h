// The program as its runtime sees it.
#pragma once

#include "runtime/runtime.h"

namespace lq {

// The main routine, run once by the runtime.
void Main();
// Entered only by the runtime: hands over to its fatal-error service.
[[noreturn]] void FatalErrorEntry();

// The embedded resource set, the event table with its handlers, the
// control-name list, Main and FatalErrorEntry.
ProgramImage TheProgram();

}  // namespace lq
