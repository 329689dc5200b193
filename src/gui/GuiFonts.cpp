#include "GuiFonts.h"

#include <cmath>

namespace gui {

namespace {

constexpr double kDesignDpi = 96.0;

struct Mapping {
  const char *design;
  const char *family;
  QFont::StyleHint hint;
};

constexpr Mapping kMappings[] = {
    {"MS Sans Serif", "DejaVu Sans", QFont::SansSerif},
    {"Courier New", "DejaVu Sans Mono", QFont::Monospace},
};

} // namespace

QFont DesignFont(const QString &family, int height) {
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setStyleHint(QFont::SansSerif);
  for (const Mapping &m : kMappings) {
    if (family.compare(QLatin1String(m.design), Qt::CaseInsensitive) == 0) {
      font.setFamily(QString::fromLatin1(m.family));
      font.setStyleHint(m.hint);
    }
  }
  font.setPixelSize(std::abs(height));
  return font;
}

QFont DialogFont() {
  return DesignFont(QStringLiteral("MS Sans Serif"), -11);
}

QFont ViewerFont() {
  return DesignFont(QStringLiteral("Courier New"), -11);
}

int PointsToPixels(int points) {
  return static_cast<int>(std::lround(points * kDesignDpi / 72.0));
}

int PixelsToPoints(int pixels) {
  return static_cast<int>(std::lround(pixels * 72.0 / kDesignDpi));
}

} // namespace gui
