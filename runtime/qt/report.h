// The Qt runtime's one way of telling the user what went wrong: a line on
// stderr, prefixed with the program's name.
#pragma once

#include <string>

namespace lq::qt {

void Report(const std::string& message);

}  // namespace lq::qt
