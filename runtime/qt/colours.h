// The Qt runtime's colours: the program's colour values, the fixed table of
// the Windows default system colours, and the window's palette built from
// it, so the window looks the same under any desktop theme.
#pragma once

#include <QColor>
#include <QPalette>

#include "runtime/runtime.h"

class QWidget;

namespace lq::qt {

// A colour value: the high bit marks a system colour index, else RGB
// with red in the lowest byte.  False for a system colour index outside
// the table.
bool ToQColor(Colour value, QColor& out);

// The window's palette, from the system colours.
QPalette ClassicPalette();

// Gives the widget's palette `colour` for `role` in every colour group.
void SetRole(QWidget* widget, QPalette::ColorRole role, const QColor& colour);

}  // namespace lq::qt
