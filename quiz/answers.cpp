#include "quiz/answers.h"

#include "quiz/letters.h"
#include "quiz/looks.h"
#include "quiz/quiz.h"
#include "quiz/state.h"
#include "runtime/strings.h"

namespace lq {

void ShowWrongAnswer() {
  Runtime& rt = Rt();
  for (const Letter& row : Letters) {
    if (CompareStrings(CurrentKey, row.Key) == 0) {
      Check(rt.SetForeColor(AnswerLabel(row), kRed));
      Check(rt.SetForeColor(lbl55, kRed));
      break;
    }
  }
  rt.PlayWaveFromMemory(ErrorSound, kPlayFromMemory);
  // One more, in unsigned arithmetic: the top of the range wraps to the bottom.
  WrongCount = static_cast<std::int32_t>(static_cast<std::uint32_t>(WrongCount) + 1u);
  float progress = 0.0f;
  Check(rt.GetValue(pro1, progress));
  Check(rt.SetValue(pro1, progress - 1.0f));
}

void JudgeAnswer(std::int32_t pick) {
  const Letter& row = LetterByPick(pick);
  if (CompareStrings(CurrentKey, row.Key) == 0) {
    GiveMarkedLook(AnswerLabel(row));
    AssignString(DisplayText, row.Value);
    NextQuestion();
  } else {
    ShowWrongAnswer();
  }
}

// Each answer label judges the answer by its own row, never by its text.
void lbl2_Click() { JudgeAnswer(1); }
void lbl3_Click() { JudgeAnswer(2); }
void lbl4_Click() { JudgeAnswer(3); }
void lbl5_Click() { JudgeAnswer(4); }
void lbl6_Click() { JudgeAnswer(5); }
void lbl7_Click() { JudgeAnswer(6); }
void lbl8_Click() { JudgeAnswer(7); }
void lbl9_Click() { JudgeAnswer(8); }
void lbl10_Click() { JudgeAnswer(9); }
void lbl11_Click() { JudgeAnswer(10); }
void lbl12_Click() { JudgeAnswer(11); }
void lbl13_Click() { JudgeAnswer(12); }
void lbl14_Click() { JudgeAnswer(13); }
void lbl15_Click() { JudgeAnswer(14); }
void lbl16_Click() { JudgeAnswer(15); }
void lbl17_Click() { JudgeAnswer(16); }
void lbl18_Click() { JudgeAnswer(17); }
void lbl19_Click() { JudgeAnswer(18); }
void lbl20_Click() { JudgeAnswer(19); }
void lbl21_Click() { JudgeAnswer(20); }
void lbl22_Click() { JudgeAnswer(21); }
void lbl23_Click() { JudgeAnswer(22); }
void lbl24_Click() { JudgeAnswer(23); }
void lbl25_Click() { JudgeAnswer(24); }
void lbl26_Click() { JudgeAnswer(25); }
void lbl27_Click() { JudgeAnswer(26); }
void lbl28_Click() { JudgeAnswer(27); }

}  // namespace lq
