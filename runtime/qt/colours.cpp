// The colour table, colour values and the classic palette (see colours.h).
#include "runtime/qt/colours.h"

#include <QWidget>

#include <cstdint>

#include "runtime/form_def.h"

namespace lq::qt {

namespace {

// The Windows system colours 0..30, as the default desktop scheme had them.
constexpr QRgb kSystemColours[kSystemColourCount] = {
    0xD4D0C8,  //  0 scroll bar
    0x004E98,  //  1 desktop
    0x0054E3,  //  2 active caption
    0x7A96DF,  //  3 inactive caption
    0xFFFFFF,  //  4 menu
    0xFFFFFF,  //  5 window
    0x000000,  //  6 window frame
    0x000000,  //  7 menu text
    0x000000,  //  8 window text
    0xFFFFFF,  //  9 caption text
    0xD4D0C8,  // 10 active border
    0xD4D0C8,  // 11 inactive border
    0x808080,  // 12 application workspace
    0x316AC5,  // 13 highlight
    0xFFFFFF,  // 14 highlight text
    0xECE9D8,  // 15 button face
    0xACA899,  // 16 button shadow
    0xACA899,  // 17 grey text
    0x000000,  // 18 button text
    0xD8E4F8,  // 19 inactive caption text
    0xFFFFFF,  // 20 button highlight
    0x716F64,  // 21 3D dark shadow
    0xF1EFE2,  // 22 3D light
    0x000000,  // 23 tooltip text
    0xFFFFE1,  // 24 tooltip background
    0xC0C0C0,  // 25 (unassigned)
    0x000080,  // 26 hot-tracked item
    0x3D95FF,  // 27 active caption gradient
    0x9DB9EB,  // 28 inactive caption gradient
    0x316AC5,  // 29 menu highlight
    0xECE9D8,  // 30 menu bar
};

QColor System(int index) { return QColor(kSystemColours[index]); }

}  // namespace

bool ToQColor(Colour value, QColor& out) {
  if ((value & kSystemColourFlag) != 0) {
    const std::uint32_t index = value & ~kSystemColourFlag;
    if (index >= kSystemColourCount) return false;
    out = QColor(kSystemColours[index]);
    return true;
  }
  out = QColor(static_cast<int>(value & 0xFF), static_cast<int>(value >> 8 & 0xFF),
               static_cast<int>(value >> 16 & 0xFF));
  return true;
}

QPalette ClassicPalette() {
  QPalette p;
  const struct {
    QPalette::ColorRole role;
    int index;
  } roles[] = {
      {QPalette::Window, 15},     {QPalette::WindowText, 8},
      {QPalette::Button, 15},     {QPalette::ButtonText, 18},
      {QPalette::Light, 20},      {QPalette::Midlight, 22},
      {QPalette::Mid, 16},        {QPalette::Dark, 16},
      {QPalette::Shadow, 21},     {QPalette::Base, 5},
      {QPalette::Text, 8},        {QPalette::Highlight, 13},
      {QPalette::HighlightedText, 14}, {QPalette::ToolTipBase, 24},
      {QPalette::ToolTipText, 23}, {QPalette::PlaceholderText, 17},
  };
  for (const auto& r : roles) p.setColor(r.role, System(r.index));
  p.setColor(QPalette::BrightText, Qt::white);
  for (QPalette::ColorRole role :
       {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
    p.setColor(QPalette::Disabled, role, System(17));
  }
  return p;
}

void SetRole(QWidget* widget, QPalette::ColorRole role, const QColor& colour) {
  QPalette p = widget->palette();
  p.setColor(QPalette::Active, role, colour);
  p.setColor(QPalette::Inactive, role, colour);
  p.setColor(QPalette::Disabled, role, colour);
  widget->setPalette(p);
}

}  // namespace lq::qt
