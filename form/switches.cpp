#include "form/handlers.h"
#include "quiz/letters.h"
#include "quiz/quiz.h"
#include "quiz/state.h"
#include "runtime/strings.h"

namespace lq {

namespace {

// Takes the keyboard focus off a button after its click.
void ReleaseButton(ControlRef button) {
  Check(Rt().SetButtonFlag(button, kFalse));
  Check(Rt().SetButtonFlag(button, kTrue));
}

// Gives every answer label its row's text, in the given order of picks, and
// shows or hides the five extra labels.
template <typename TextOf>
void WriteAnswerCaptions(const std::array<std::int32_t, kLetterCount>& order,
                         TextOf text_of, std::int16_t extras_visible) {
  for (std::int32_t pick : order) {
    const Letter& row = LetterByPick(pick);
    Check(Rt().SetCaption(AnswerLabel(row), text_of(row)));
  }
  for (std::size_t ref : kExtraLabelRefs) {
    Check(Rt().SetVisible(Controls[ref], extras_visible));
  }
}

bool ExtentEquals(double extent) {
  float now = 0.0f;
  Check(Rt().GetExtent(frm1, now));
  return static_cast<double>(now) == extent;
}

}  // namespace

void cmd1_Click() {
  if (CaptionEquals(cmd1, "PC Frank")) {
    Check(Rt().SetCaption(cmd1, MakeTempBstr("PC Miriam")));
    Check(Rt().SetFontName(lbl55, MakeTempBstr("PCMiriam")));
  } else if (CaptionEquals(cmd1, "PC Miriam")) {
    Check(Rt().SetCaption(cmd1, MakeTempBstr("PC Frank")));
    Check(Rt().SetFontName(lbl55, MakeTempBstr("PCFrank")));
  }
  ReleaseButton(cmd1);
}

void cmd1_LostFocus() {}

void cmd2_Click() {
  if (CaptionEquals(cmd2, "# VAL")) {
    Check(Rt().SetCaption(cmd2, MakeTempBstr("ALPHA")));
    WriteAnswerCaptions(
        NameModeOrder,
        [](const Letter& row) { return std::u16string(row.NameCaption); },
        kFalse);
  } else if (CaptionEquals(cmd2, "ALPHA")) {
    Check(Rt().SetCaption(cmd2, MakeTempBstr("# VAL")));
    WriteAnswerCaptions(
        ValueModeOrder,
        [](const Letter& row) { return MakeTempBstr(row.Value); }, kTrue);
  }
  ReleaseButton(cmd2);
}

void ResetScore() {
  Check(Rt().SetValue(pro1, 0.0f));
  RightCount = 1;
  WrongCount = 0;
  Check(Rt().SetProgressText(pro1, MakeTempBstr(ScoreText())));
  Check(Rt().SetValue(pro1, 0.0f));
}

void lbl55_Click() {
  if (ExtentEquals(kFullViewExtent)) {
    ResetScore();
    Check(Rt().SetExtent(frm1, kCompactViewExtent));
    Check(Rt().SetVisible(pro1, kFalse));
  } else if (ExtentEquals(kCompactViewExtent)) {
    ResetScore();
    Check(Rt().SetExtent(frm1, kFullViewExtent));
    Check(Rt().SetVisible(pro1, kTrue));
  }
}

}  // namespace lq
