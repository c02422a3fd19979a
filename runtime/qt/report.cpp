// Report: the runtime's line on stderr (see report.h).
#include "runtime/qt/report.h"

#include <iostream>

namespace lq::qt {

void Report(const std::string& message) {
  std::cerr << "letter-quiz: " << message << std::endl;
}

}  // namespace lq::qt
