// The six 64 x 64 icons of the message dialog, painted by our code: 0 error
// (red disc, white cross), 1 question (blue disc, white question mark), 2
// warning (yellow triangle, black exclamation mark), all on the dialog's sky
// blue; 3 the error icon, 4 a blue disc with a white exclamation mark, 5 the
// warning icon, these on red for the alarm look.
#pragma once

#include <QColor>
#include <QPixmap>

namespace gui {

constexpr int MessageIconSize = 64;
constexpr int MessageIconCount = 6;

// The dialog's colours: sky blue (166, 202, 240) and the alarm's pure red.
QColor SkyBlue();
QColor AlarmRed();

// Icon `index` (0 to 5) at `dpr` device pixels per design pixel; an index out
// of range gives an empty (transparent) picture.
QPixmap MessageIcon(int index, qreal dpr = 1.0);

} // namespace gui
