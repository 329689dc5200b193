// The one place where the fonts of the design are mapped to fonts this system
// has. The design names Windows fonts by negative pixel height; Debian gives
// DejaVu, which is used at the same pixel height. Design sizes are device-
// independent pixels, so the fonts scale with the screen like the windows.
#pragma once

#include <QFont>
#include <QString>

namespace gui {

// The font the design calls `family` at -`height` pixels ("MS Sans Serif"
// becomes DejaVu Sans, "Courier New" DejaVu Sans Mono; others a sans font).
QFont DesignFont(const QString &family, int height);

// "MS Sans Serif", -11: the message dialog and the bilingual controls.
QFont DialogFont();
// "Courier New", -11: the text viewer.
QFont ViewerFont();

// Font sizes in points of the design's 96 dots per inch, in pixels and back.
int PointsToPixels(int points);
int PixelsToPoints(int pixels);

} // namespace gui
