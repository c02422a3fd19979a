#include "runtime/runtime.h"

#include <cstdio>
#include <cstdlib>

namespace lq {

namespace {
Runtime* g_runtime = nullptr;
}

Runtime& Rt() {
  if (g_runtime == nullptr) {
    std::fputs("letter-quiz: no runtime has been started\n", stderr);
    std::abort();
  }
  return *g_runtime;
}

void SetRuntime(Runtime* runtime) { g_runtime = runtime; }

}  // namespace lq
