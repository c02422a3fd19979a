// The handlers of the form's bound events, each named after its control and
// event: the form's own here, the 27 answer handlers from the quiz.
#pragma once

#include "quiz/answers.h"

namespace lq {

void cmd1_Click();      // font switch
void cmd1_LostFocus();  // bound, does nothing
void cmd2_Click();      // label mode switch
void lbl55_Click();     // view toggle and score reset

// Counts back to one right and no wrong answer, with the progress bar at 0.
void ResetScore();

}  // namespace lq
