// The layout's drawing surface in the window: measures with QFontMetrics and
// draws with a QPainter. Sizes in points become pixels at the design's 96
// dots per inch; colours are the 24-bit values of the layout (red in the low
// byte).
#pragma once

#include <QColor>
#include <QFont>

#include "TextLayout.h"

class QPainter;

namespace gui {

QColor ToQColor(uint32_t color);
uint32_t FromQColor(const QColor &color);

class QtTextSurface : public TextSurface {
public:
  // Starts with `base` (its pixel size, bold, italic, underline, strike-out)
  // and `color`. Without a painter the surface only measures.
  QtTextSurface(const QFont &base, const QColor &color, QPainter *painter = nullptr);

  TSurfaceFont Font() const override { return Current; }
  void SetFont(const TSurfaceFont &font) override;
  int TextWidth(std::string_view text) override;
  int HeightOfW() override;
  void TextOut(int x, int y, std::string_view text) override;

  // The Qt font of the current state.
  QFont CurrentQFont() const { return QtFont; }

private:
  QFont Base;
  QFont QtFont;
  TSurfaceFont Current;
  QPainter *Painter;
};

} // namespace gui
