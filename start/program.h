// The program as its runtime sees it.
#pragma once

#include "runtime/runtime.h"

namespace lq {

// The embedded resource set, the event table with its handlers, the
// control-name list, Main and FatalErrorEntry.
ProgramImage TheProgram();

}  // namespace lq
