// Font sizes and the program's own faces.  Font sizes are points at 96 dpi,
// drawn in logical pixels, so the fixed layout holds at any screen
// resolution setting.
#pragma once

namespace lq::qt {

// The pixel size of a font of `points` points at 96 dpi (1 to 4000).
int PixelsForPoints(float points);

// A size a label's font may be given: finite, above 0, at most 1000 points.
bool ValidFontSize(float size);

}  // namespace lq::qt
