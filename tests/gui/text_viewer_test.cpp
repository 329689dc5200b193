// The text viewer: which protocol it shows first, its two buttons, the
// caption line before every file, and Windows-1251 text shown as Cyrillic.
#include <QFile>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>

#include "BilingualControls.h"
#include "GuiTestSupport.h"
#include "TextViewer.h"

using namespace gui;

namespace {

QString Str(const char *utf8) {
  return QString::fromUtf8(utf8);
}

// "Помилка 1" and "Неточність 1" in Windows-1251, lines ended by CR LF.
const char kErrors[] = "\xCF\xEE\xEC\xE8\xEB\xEA\xE0 1\r\nline 2\r\n";
const char kWarnings[] = "\xCD\xE5\xF2\xEE\xF7\xED\xB3\xF1\xF2\xFC 1\rnext\n";

} // namespace

class TestTextViewer : public QObject {
  Q_OBJECT

  QTemporaryDir Dir;
  std::string Errors;
  std::string Warnings;

  std::string Write(const char *name, const char *bytes) {
    const QString path = Dir.filePath(QString::fromUtf8(name));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) < 0)
      return {};
    return path.toStdString();
  }

  static QStringList Lines(TViewPrt &v) { return v.LTxt->toPlainText().split(QLatin1Char('\n')); }

private slots:
  void initTestCase() {
    QVERIFY(Dir.isValid());
    Errors = Write("Помилки.txt", kErrors);
    Warnings = Write("Неточності.txt", kWarnings);
    QVERIFY(!Errors.empty() && !Warnings.empty());
  }
  void init() { guitest::ResetState(); }
  void cleanup() { guitest::ResetState(); }

  void designWindow() {
    TViewPrt v;
    QVERIFY(v.windowState() & Qt::WindowMaximized);
    QVERIFY(v.windowFlags() & Qt::WindowStaysOnTopHint);
    QVERIFY(v.LTxt->isReadOnly());
    QCOMPARE(v.LTxt->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QCOMPARE(v.LTxt->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QCOMPARE(v.kWar->geometry(), QRect(15, 14, 86, 25));
    QCOMPARE(v.kErr->geometry(), QRect(109, 14, 75, 25));
    QCOMPARE(v.Button1->geometry(), QRect(503, 14, 75, 25));
    QCOMPARE(v.kWar->text(), Str("Неточності"));
    QCOMPARE(v.kErr->text(), Str("Помилки"));
    QCOMPARE(v.Button1->text(), Str("Вихід"));
    QCOMPARE(v.LowerPanel->height(), 54);
  }

  void bothFilesErrorsFirstThenSwitching() {
    TViewPrt v;
    v.ErrFile = Errors;
    v.WarFile = Warnings;
    v.show();
    QVERIFY(v.kWar->isVisible());
    QVERIFY(v.kErr->isVisible());
    const QString errCaption = TViewPrt::CaptionLine(Errors);
    const QString warCaption = TViewPrt::CaptionLine(Warnings);
    QCOMPARE(v.windowTitle(), errCaption);
    QCOMPARE(Lines(v), QStringList({errCaption, Str("Помилка 1"), Str("line 2")}));
    QCOMPARE(v.LTxt->textCursor().position(), 0);

    QTest::mouseClick(v.kWar, Qt::LeftButton);
    QCOMPARE(v.windowTitle(), warCaption);
    QCOMPARE(Lines(v), QStringList({warCaption, Str("Неточність 1"), Str("next")}));

    QTest::mouseClick(v.kErr, Qt::LeftButton);
    QCOMPARE(Lines(v).first(), errCaption);
    QCOMPARE(Lines(v).size(), 3);
  }

  void onlyTheWarningsFileHidesTheButtons() {
    TViewPrt v;
    v.WarFile = Warnings;
    v.show();
    QVERIFY(!v.kWar->isVisible());
    QVERIFY(!v.kErr->isVisible());
    QVERIFY(v.Button1->isVisible());
    QCOMPARE(Lines(v).value(1), Str("Неточність 1"));
  }

  void captionLineByInterfaceLanguage() {
    const QString ukr = TViewPrt::CaptionLine("f.txt");
    QCOMPARE(ukr, Str("ЗЕП-5 (5-2.10.4)       Перегляд файла f.txt"));
    guitest::SetRussian();
    QCOMPARE(TViewPrt::CaptionLine("f.txt"), Str("ЗЕП-5 (5-2.10.4)       Просмотр файла f.txt"));
  }

  void aFileThatCannotBeReadShowsTheCaptionLineOnly() {
    TViewPrt v;
    v.StartView("/nonexistent/x.txt");
    QCOMPARE(Lines(v), QStringList({TViewPrt::CaptionLine("/nonexistent/x.txt")}));
  }

  void exitButtonCloses() {
    TViewPrt v;
    v.WarFile = Warnings;
    v.show();
    QTest::mouseClick(v.Button1, Qt::LeftButton);
    QVERIFY(!v.isVisible());
    QCOMPARE(v.result(), int(QDialog::Rejected));
  }
};

QTEST_MAIN(TestTextViewer)
#include "text_viewer_test.moc"
