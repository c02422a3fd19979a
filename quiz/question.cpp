#include "quiz/letters.h"
#include "quiz/looks.h"
#include "quiz/quiz.h"
#include "quiz/state.h"
#include "runtime/strings.h"

namespace lq {

std::string ScoreText() {
  std::string text = ConcatTempWithLiteral(FormatInt(RightCount), "  Right / ");
  text = ConcatTemps(text, FormatInt(WrongCount));
  return ConcatTempWithLiteral(text, "  Wrong");
}

bool CaptionEquals(ControlRef button, const char* text) {
  std::u16string caption;
  Check(Rt().GetCaption(button, caption));
  return TestVariantsEqual(caption, MakeVariantFromString(text)) != kFalse;
}

void NextQuestion() {
  Runtime& rt = Rt();
  if (RightCount != 0) {
    Check(rt.SetProgressText(pro1, MakeTempBstr(ScoreText())));
    float progress = 0.0f;
    Check(rt.GetValue(pro1, progress));
    Check(rt.SetValue(pro1, progress + 1.0f));
    // Widened, so that no count can overflow the difference.
    if (static_cast<std::int64_t>(RightCount) - WrongCount > kCompactLead) {
      Check(rt.SetVisible(pro1, kFalse));
      Check(rt.SetExtent(frm1, kCompactViewExtent));
    }
  }

  float value_size = 0.0f;  // none: the label keeps the size it has
  if (CaptionEquals(cmd1, "PC Frank")) {
    value_size = kValueFontSizeFrank;
  } else if (CaptionEquals(cmd1, "PC Miriam")) {
    value_size = kValueFontSizeMiriam;
  }
  GiveValueLook(value_size, MakeTempBstr(DisplayText));

  rt.PlayWaveFromMemory(CurrentSound, kPlayFromMemory);
  // One more, in unsigned arithmetic: the top of the range wraps to the bottom.
  RightCount = static_cast<std::int32_t>(static_cast<std::uint32_t>(RightCount) + 1u);
  rt.Pause(kAfterAnswerPause);
  ResetBoard();

  AssignIntToVariant(CurrentPick, rt.DrawRandomInt(kLetterCount) + 1);
  for (const Letter& row : Letters) {
    if (TestVariantEqualsInt(CurrentPick, row.Pick) != kFalse) {
      AssignString(CurrentKey, row.Key);
      AssignString(DisplayText, std::string(1, row.Glyph));
      AssignString(CurrentSound, Recording[row.Pick - 1]);
      break;
    }
  }
  Check(rt.SetCaption(lbl55, MakeTempBstr(DisplayText)));
}

}  // namespace lq
