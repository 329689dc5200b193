// The window's drawing surface and the font mapping: the design's fonts
// become DejaVu at the same pixel height, points become pixels at 96 dots
// per inch, colours keep red in the low byte, and text is drawn with its top
// at the point given.
#include <QFontInfo>
#include <QImage>
#include <QPainter>
#include <QTest>

#include "GuiFonts.h"
#include "QtTextSurface.h"

using namespace gui;

class TestSurfaceFonts : public QObject {
  Q_OBJECT
private slots:
  void designFontsMapToDejaVuAtTheSamePixelHeight() {
    QCOMPARE(QFontInfo(DialogFont()).family(), QStringLiteral("DejaVu Sans"));
    QCOMPARE(DialogFont().pixelSize(), 11);
    QCOMPARE(QFontInfo(ViewerFont()).family(), QStringLiteral("DejaVu Sans Mono"));
    QVERIFY(QFontInfo(ViewerFont()).fixedPitch());
    QCOMPARE(ViewerFont().pixelSize(), 11);
    QCOMPARE(DesignFont(QStringLiteral("Arial"), -14).pixelSize(), 14);
  }

  void pointsAndPixels() {
    QCOMPARE(PointsToPixels(8), 11);
    QCOMPARE(PointsToPixels(12), 16);
    QCOMPARE(PixelsToPoints(11), 8);
  }

  void colours() {
    QCOMPARE(ToQColor(0x0000FF), QColor(255, 0, 0));
    QCOMPARE(ToQColor(0xFF0000), QColor(0, 0, 255));
    QCOMPARE(FromQColor(QColor(1, 2, 3)), 0x030201u);
  }

  void surfaceStartsFromItsBaseAndFollowsTheFormat() {
    QtTextSurface s(DialogFont(), QColor(255, 255, 255));
    QCOMPARE(s.Font(), (TSurfaceFont{8, 0, 0xFFFFFF}));
    QCOMPARE(s.HeightOfW(), QFontMetrics(DialogFont()).height());
    const int plain = s.TextWidth("Файл");
    QCOMPARE(plain, QFontMetrics(DialogFont()).horizontalAdvance(QStringLiteral("Файл")));
    s.SetFont({12, fsBold | fsItalic, 0});
    QCOMPARE(s.CurrentQFont().pixelSize(), 16);
    QVERIFY(s.CurrentQFont().bold() && s.CurrentQFont().italic());
    QVERIFY(s.TextWidth("Файл") > plain);
    QVERIFY(s.HeightOfW() > QFontMetrics(DialogFont()).height());
  }

  void textIsDrawnBelowThePointInItsColour() {
    QImage img(100, 40, QImage::Format_RGB32);
    img.fill(Qt::white);
    {
      QPainter p(&img);
      QtTextSurface s(DialogFont(), Qt::black, &p);
      s.SetFont({8, 0, 0x0000FF});
      s.TextOut(10, 20, "W");
    }
    int top = 40;
    int left = 100;
    bool red = false;
    for (int y = 0; y < 40; ++y)
      for (int x = 0; x < 100; ++x) {
        const QColor c = img.pixelColor(x, y);
        if (c == QColor(Qt::white))
          continue;
        top = std::min(top, y);
        left = std::min(left, x);
        red = red || (c.red() > 200 && c.green() < 60 && c.blue() < 60);
      }
    QVERIFY(top >= 20 && top < 20 + QFontMetrics(DialogFont()).height());
    QVERIFY(left >= 10 && left < 13);
    QVERIFY(red);
  }
};

QTEST_MAIN(TestSurfaceFonts)
#include "surface_fonts_test.moc"
