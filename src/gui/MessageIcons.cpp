#include "MessageIcons.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

namespace gui {

namespace {

enum class Sign { Cross, Question, Exclamation };

// A mark drawn as text in a bold sans font, centred in `box`.
void DrawMark(QPainter &p, const QRectF &box, const QString &mark, const QColor &color,
              qreal pixelSize) {
  QFont f(QStringLiteral("DejaVu Sans"));
  f.setStyleHint(QFont::SansSerif);
  f.setBold(true);
  f.setPixelSize(static_cast<int>(pixelSize));
  p.setFont(f);
  p.setPen(color);
  p.drawText(box, Qt::AlignCenter, mark);
}

void PaintDisc(QPainter &p, const QColor &fill, Sign sign) {
  const QRectF disc(4, 4, 56, 56);
  p.setPen(QPen(fill.darker(160), 2));
  p.setBrush(fill);
  p.drawEllipse(disc);
  if (sign == Sign::Cross) {
    QPen pen(Qt::white, 8, Qt::SolidLine, Qt::RoundCap);
    p.setPen(pen);
    p.drawLine(QPointF(21, 21), QPointF(43, 43));
    p.drawLine(QPointF(43, 21), QPointF(21, 43));
  } else {
    DrawMark(p, disc, sign == Sign::Question ? QStringLiteral("?") : QStringLiteral("!"), Qt::white,
             42);
  }
}

void PaintTriangle(QPainter &p) {
  const QPolygonF triangle({QPointF(32, 5), QPointF(61, 58), QPointF(3, 58)});
  p.setPen(QPen(QColor(120, 90, 0), 2, Qt::SolidLine, Qt::SquareCap, Qt::RoundJoin));
  p.setBrush(QColor(255, 214, 0));
  p.drawPolygon(triangle);
  DrawMark(p, QRectF(3, 18, 58, 40), QStringLiteral("!"), Qt::black, 36);
}

} // namespace

QColor SkyBlue() {
  return QColor(166, 202, 240);
}

QColor AlarmRed() {
  return QColor(255, 0, 0);
}

QPixmap MessageIcon(int index, qreal dpr) {
  QPixmap pm(QSize(MessageIconSize, MessageIconSize) * dpr);
  pm.setDevicePixelRatio(dpr);
  pm.fill(Qt::transparent);
  if (index < 0 || index >= MessageIconCount)
    return pm;
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  p.fillRect(QRectF(0, 0, MessageIconSize, MessageIconSize), index < 3 ? SkyBlue() : AlarmRed());
  switch (index % 3) {
  case 0:
    PaintDisc(p, QColor(215, 30, 30), Sign::Cross);
    break;
  case 1:
    PaintDisc(p, QColor(30, 90, 200), index == 1 ? Sign::Question : Sign::Exclamation);
    break;
  default:
    PaintTriangle(p);
    break;
  }
  return pm;
}

} // namespace gui
