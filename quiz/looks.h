// The looks through which the quiz gives its feedback, and the routines that
// put them on the labels.
#pragma once

#include "runtime/runtime.h"

namespace lq {

// System colours (high bit set: an index into the system colour table).
inline constexpr Colour kButtonFace = 0x8000000F;
inline constexpr Colour kWindowText = 0x80000008;
inline constexpr Colour kScrollBar = 0x80000000;
// RGB, red in the lowest byte.
inline constexpr Colour kRed = 0x000000FF;

// Style values: 6 flat, 7 sunken; the big label's frame width 0 or 2.
inline constexpr std::int32_t kStyleFlat = 6;
inline constexpr std::int32_t kStyleSunken = 7;

// The glyph look's font size, and the value look's for each face.
inline constexpr float kGlyphFontSize = 190.0f;
inline constexpr float kValueFontSizeFrank = 100.0f;
inline constexpr float kValueFontSizeMiriam = 80.0f;

// Brings the board to rest: the glyph look on lbl55 and the resting look on
// every answer label, property by property.
void ResetBoard();

// The marked look on the answer label just clicked, when it is right.
void GiveMarkedLook(ControlRef label);

// The value look on lbl55 with `caption`; the font size only when
// `font_size` is positive.
void GiveValueLook(float font_size, const std::u16string& caption);

}  // namespace lq
