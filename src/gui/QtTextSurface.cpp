#include "QtTextSurface.h"

#include <QFontMetrics>
#include <QPainter>
#include <QString>

#include "GuiFonts.h"

namespace gui {

namespace {

QString FromUtf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

QColor ToQColor(uint32_t color) {
  return QColor(static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF),
                static_cast<int>((color >> 16) & 0xFF));
}

uint32_t FromQColor(const QColor &color) {
  return static_cast<uint32_t>(color.red()) | static_cast<uint32_t>(color.green()) << 8 |
         static_cast<uint32_t>(color.blue()) << 16;
}

QtTextSurface::QtTextSurface(const QFont &base, const QColor &color, QPainter *painter)
    : Base(base), Painter(painter) {
  TSurfaceFont f;
  f.Size = PixelsToPoints(base.pixelSize() > 0 ? base.pixelSize() : PointsToPixels(8));
  f.Style = static_cast<uint8_t>((base.bold() ? fsBold : 0) | (base.italic() ? fsItalic : 0) |
                                 (base.underline() ? fsUnderline : 0) |
                                 (base.strikeOut() ? fsStrikeOut : 0));
  f.Color = FromQColor(color);
  SetFont(f);
}

void QtTextSurface::SetFont(const TSurfaceFont &font) {
  Current = font;
  QtFont = Base;
  QtFont.setPixelSize(PointsToPixels(font.Size > 0 ? font.Size : 1));
  QtFont.setBold(font.Style & fsBold);
  QtFont.setItalic(font.Style & fsItalic);
  QtFont.setUnderline(font.Style & fsUnderline);
  QtFont.setStrikeOut(font.Style & fsStrikeOut);
  if (Painter) {
    Painter->setFont(QtFont);
    Painter->setPen(ToQColor(font.Color));
  }
}

int QtTextSurface::TextWidth(std::string_view text) {
  return QFontMetrics(QtFont).horizontalAdvance(FromUtf8(text));
}

int QtTextSurface::HeightOfW() {
  return QFontMetrics(QtFont).height();
}

void QtTextSurface::TextOut(int x, int y, std::string_view text) {
  if (Painter)
    Painter->drawText(x, y + QFontMetrics(QtFont).ascent(), FromUtf8(text));
}

} // namespace gui
