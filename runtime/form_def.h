// The form definition: a small text format that describes one window and
// its controls, and its parser.
//
// Format
// - One record a line.  Blank lines and lines whose first non-blank
//   character is '#' are ignored.  Lines end in LF (a CR before it is
//   dropped).  Blanks are spaces and tabs.
// - A record is a kind, a name and then fields `key=value`, separated by
//   blanks, in any order, each key at most once:
//       form frm1 title="Hebrew Letters" width=1040 extent=11850.0
//       label lbl2 x=140 y=360 w=96 h=52 caption="alef" font="DejaVu Sans"
//       button cmd1 x=16 y=120 w=168 h=56 caption="PC Frank"
//       progress pro1 x=12 y=756 w=1016 h=30 min=0 max=100 value=0 text=""
// - The first record is the form (kind `form`), and there is exactly one.
//   Controls follow, kinds `label`, `button` and `progress`.
// - Names: a letter, then letters, digits or '_'; no two records share one.
// - Values:
//     integer  optional '-', then decimal digits
//     number   optional '-', digits, optionally '.' and more digits
//     colour   "0x" and 1 to 8 hex digits: with the high bit set, the low
//              bits are a system colour index (0..30); else an RGB colour
//              with red in the lowest byte (0x000000FF is red)
//     flag     0 or 1
//     text     8-bit text in double quotes; escapes \" \\ and \xHH (two hex
//              digits); other control characters must be escaped
// - Keys, with their defaults (keys without a default are required):
//     form      title (text), width (integer, px), extent (number, twips:
//               the window is extent / 15 px tall), back (colour,
//               0x8000000F)
//     every control: x, y, w, h (integers, px; the control must lie inside
//               the window), visible (flag, 1), font (text: a face name,
//               "" = the platform's default face), size (number, points,
//               9)
//     label     caption (text, ""), fore (colour, 0x80000008), back
//               (colour, 0x8000000F), style (integer: 0 no frame, 6 raised
//               frame, 7 sunken frame; 0), frame (integer, frame line width
//               in px, 0..20; 1)
//     button    caption (text, "")
//     progress  min, max (integers, min < max; 0, 100), value (number, 0),
//               text (text shown on the bar, "")
// Any other key, a bad value, a duplicate, a control outside the window or
// a missing form record rejects the whole definition with a message that
// names the line.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace lq {

// Window extents are in twips: 15 to a logical pixel.
inline constexpr int kTwipsPerPixel = 15;
inline constexpr std::uint32_t kSystemColourFlag = 0x80000000u;
inline constexpr std::uint32_t kSystemColourCount = 31;  // indexes 0..30

enum class ControlKind { kForm, kLabel, kButton, kProgress };

// Label style values.
inline constexpr int kStyleNoFrame = 0;
inline constexpr int kStyleRaised = 6;
inline constexpr int kStyleSunken = 7;
inline constexpr int kMaxFrameWidth = 20;

struct ControlDef {
  ControlKind kind = ControlKind::kLabel;
  std::string name;
  int line = 0;  // where the record stands, for messages
  int x = 0, y = 0, width = 0, height = 0;
  bool visible = true;
  std::string font_face;
  float font_size = 9.0f;
  // Label and button.
  std::string caption;
  // Label.
  std::uint32_t fore = 0x80000008u;
  std::uint32_t back = 0x8000000Fu;
  int style = kStyleNoFrame;
  int frame = 1;
  // Progress control.
  int minimum = 0, maximum = 100;
  float value = 0.0f;
  std::string text;
};

struct FormDef {
  std::string name;
  std::string title;
  int width = 0;
  float extent = 0.0f;
  std::uint32_t back = 0x8000000Fu;
  std::vector<ControlDef> controls;  // in definition order

  // The window's height in pixels for its extent.
  int height() const;
  const ControlDef* Find(std::string_view control_name) const;
};

// The window height, in whole pixels, of an extent in twips (huge
// extents give huge heights, never a wrapped one; NaN gives 0).
int PixelsForExtent(float extent);

// Parses a definition.  On failure returns nothing and puts into *error a
// message that begins "line N: ".
std::optional<FormDef> ParseFormDef(std::string_view text, std::string* error);

// Checks that `form` can stand behind a program's control-name list, the
// list the references are handed out in: no name is listed twice; each
// name's prefix gives its kind (frm form, lbl label, cmd button, pro
// progress control); a frm name is the form record's own name; every other
// name is a control of that kind.  Controls the list does not name are
// allowed.  On the first fault returns false and puts into *error one of
//   "the control name N is listed twice"
//   "the control name N names no control kind"
//   "the form definition has no K N"          (K: form, label, button,
//                                               progress control)
//   "N is a K1, not a K2"
// which the caller prefixes with the definition's own name.
bool CheckFormControls(const FormDef& form,
                       std::span<const std::string> control_names,
                       std::string* error);

}  // namespace lq
