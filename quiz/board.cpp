#include "quiz/letters.h"
#include "quiz/looks.h"
#include "quiz/state.h"

namespace lq {

void ResetBoard() {
  Runtime& rt = Rt();
  Check(rt.SetFontSize(lbl55, kGlyphFontSize));
  Check(rt.SetStyleValue(lbl55, kStyleSunken));
  Check(rt.SetSecondStyleValue(lbl55, 0));
  Check(rt.SetForeColor(lbl55, kWindowText));
  Check(rt.SetBackColor(lbl55, kScrollBar));
  for (const Letter& row : Letters) Check(rt.SetBackColor(AnswerLabel(row), kButtonFace));
  for (const Letter& row : Letters) Check(rt.SetForeColor(AnswerLabel(row), kWindowText));
  for (const Letter& row : Letters) Check(rt.SetStyleValue(AnswerLabel(row), kStyleFlat));
}

void GiveMarkedLook(ControlRef label) {
  Check(Rt().SetBackColor(label, kScrollBar));
  Check(Rt().SetStyleValue(label, kStyleSunken));
}

void GiveValueLook(float font_size, const std::u16string& caption) {
  Runtime& rt = Rt();
  if (font_size > 0.0f) Check(rt.SetFontSize(lbl55, font_size));
  Check(rt.SetCaption(lbl55, caption));
  Check(rt.SetForeColor(lbl55, kRed));
  Check(rt.SetBackColor(lbl55, kButtonFace));
  Check(rt.SetStyleValue(lbl55, kStyleFlat));
  Check(rt.SetSecondStyleValue(lbl55, 2));
}

}  // namespace lq
