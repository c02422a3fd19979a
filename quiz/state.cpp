#include "quiz/state.h"

namespace lq {

std::int32_t RightCount = 0;
std::int32_t WrongCount = 0;
std::string DisplayText;
std::string CurrentKey;
std::int32_t CurrentPick = 0;
std::string ErrorSound;
std::string CurrentSound;
std::array<ControlRef, kControlCount> Controls{};

}  // namespace lq
