// The quiz's shared state: the counters, the texts and recordings of the
// letter on show, and the references to the form and its controls.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "runtime/runtime.h"

namespace lq {

extern std::int32_t RightCount;
extern std::int32_t WrongCount;
extern std::string DisplayText;  // what the big label is given
extern std::string CurrentKey;   // Key of the letter on show
extern std::int32_t CurrentPick; // Pick of the letter on show, 1..27
extern std::string ErrorSound;   // ":online", played after a wrong answer
extern std::string CurrentSound; // played by the next NextQuestion

// One reference per name of the control-name list, in its order; LoadForm
// fills them.
extern std::array<ControlRef, kControlCount> Controls;

inline ControlRef& frm1 = Controls[0];
inline ControlRef& lbl55 = Controls[25];
inline ControlRef& cmd1 = Controls[29];
inline ControlRef& cmd2 = Controls[30];
inline ControlRef& pro1 = Controls[31];
// The five labels shown only in value mode: lbl1, lbl29 ... lbl32.
inline constexpr std::array<std::size_t, 5> kExtraLabelRefs = {32, 33, 34, 35,
                                                              36};

// The index in the control-name list of answer label lbl<number>, 2..28.
constexpr std::size_t AnswerLabelRef(int number) {
  return number <= 25 ? static_cast<std::size_t>(number - 1)
                      : static_cast<std::size_t>(number);
}

// Every control call goes through this: a negative status raises the
// runtime's call error, which abandons the rest of the calling routine.
inline void Check(int status) {
  if (status < 0) Rt().RaiseCallError(status);
}

}  // namespace lq
