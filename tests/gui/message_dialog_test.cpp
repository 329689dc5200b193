// The message dialog: its geometry and controls per kind, the alarm look, the
// layout on showing, the answers through the window's presenter (scripted
// and with the real dialog, its buttons and Esc), and the view button.
#include <QFile>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

#include "BilingualControls.h"
#include "GuiFonts.h"
#include "GuiTestSupport.h"
#include "MessageDialog.h"
#include "MessageIcons.h"
#include "TextViewer.h"

using namespace gui;

namespace {

std::unique_ptr<TDMessages> Shown(EMsgKind kind, const std::string &text, bool normal = true,
                                  bool hasLog = false) {
  auto d = std::make_unique<TDMessages>(nullptr, kind, normal);
  d->Text = text;
  d->HasLog = hasLog;
  d->show();
  return d;
}

QString Str(const char *utf8) {
  return QString::fromUtf8(utf8);
}

// Pixels of the text rectangle that are not the window's colour.
struct Ink {
  int pixels = 0;
  int white = 0;
  int black = 0;
  int left = 1 << 30; // leftmost column with ink
};

Ink InkOf(TDMessages &d) {
  const QImage img = d.grab().toImage();
  const TTextRect r = d.TextRect();
  const QColor background = d.palette().color(QPalette::Window);
  Ink ink;
  for (int y = std::max(r.Top, 0); y < r.Bottom && y < img.height(); ++y)
    for (int x = r.Left; x < r.Right && x < img.width(); ++x) {
      const QColor c = img.pixelColor(x, y);
      if (c == background)
        continue;
      ++ink.pixels;
      ink.left = std::min(ink.left, x);
      if (c.lightness() > 240)
        ++ink.white;
      if (c.lightness() < 15)
        ++ink.black;
    }
  return ink;
}

} // namespace

class TestMessageDialog : public QObject {
  Q_OBJECT
private slots:
  void init() { guitest::ResetState(); }
  void cleanup() { guitest::ResetState(); }

  // --- Geometry and controls -------------------------------------------------

  void designWindow() {
    TDMessages d(nullptr, mk_Error, true);
    QCOMPARE(d.size(), QSize(342, 166));
    QVERIFY(d.windowFlags() & Qt::WindowStaysOnTopHint);
    QCOMPARE(d.windowFlags() & Qt::WindowType_Mask, Qt::Tool);
    QCOMPARE(d.palette().color(QPalette::Window), QColor(166, 202, 240));
    QCOMPARE(d.Image->geometry(), QRect(16, 36, 64, 64));
    QCOMPARE(d.Timer->interval(), 1000);
    QVERIFY(d.Timer->isActive());
    QCOMPARE(d.Answer, 3);
    QVERIFY(d.Centered);
  }

  void oneLineMessagePutsTheButtonsAtTop74_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("anchorTop");
    QTest::addColumn<int>("buttonsTop");
    QTest::addColumn<int>("clientHeight");
    QTest::newRow("error") << int(mk_Error) << 74 << 74 << 104;
    QTest::newRow("question") << int(mk_Question) << 74 << 74 << 104;
    QTest::newRow("warning") << int(mk_Warning) << 74 << 74 << 104;
    QTest::newRow("choice") << int(mk_Choice) << 74 << 74 << 104;
    QTest::newRow("question with Ask") << int(mk_QuestionAsk) << 74 << 98 << 128;
  }
  void oneLineMessagePutsTheButtonsAtTop74() {
    QFETCH(int, kind);
    QFETCH(int, anchorTop);
    QFETCH(int, buttonsTop);
    QFETCH(int, clientHeight);
    auto d = Shown(static_cast<EMsgKind>(kind), "Файл x не iснує");
    QCOMPARE(d->LineCount, 1);
    QCOMPARE(d->Anchor->y(), anchorTop);
    for (QWidget *b : {static_cast<QWidget *>(d->btYes), static_cast<QWidget *>(d->btWatchExit),
                       static_cast<QWidget *>(d->btNoWatch)})
      if (b->isVisible())
        QCOMPARE(b->y(), buttonsTop);
    QCOMPARE(d->height(), clientHeight);
    QCOMPARE(d->Image->y(), (anchorTop - 64) / 2);
  }

  void buttonsPerKind_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("hasLog");
    QTest::addColumn<QString>("yes");       // empty: hidden
    QTest::addColumn<QString>("watchExit"); // empty: hidden
    QTest::addColumn<QString>("noWatch");   // empty: hidden
    QTest::addColumn<QRect>("watchExitRect");
    QTest::addColumn<QRect>("noWatchRect");
    const QString none;
    QTest::newRow("error") << int(mk_Error) << false << none << Str("&Вихід") << none
                           << QRect(133, 74, 75, 20) << QRect(251, 136, 75, 20);
    QTest::newRow("error with log")
        << int(mk_Error) << true << none << Str("&Вихід") << Str("&Перегляд")
        << QRect(133, 74, 75, 20) << QRect(251, 74, 75, 20);
    QTest::newRow("warning with log")
        << int(mk_Warning) << true << none << Str("&Вихід") << Str("&Перегляд")
        << QRect(133, 74, 75, 20) << QRect(251, 74, 75, 20);
    QTest::newRow("question") << int(mk_Question) << false << Str("&Так") << none << Str("&Ні")
                              << QRect(133, 136, 75, 20) << QRect(276, 74, 50, 20);
    QTest::newRow("question with log")
        << int(mk_Question) << true << Str("&Так") << Str("&Перегляд") << Str("&Ні")
        << QRect(133, 74, 75, 20) << QRect(276, 74, 50, 20);
    QTest::newRow("choice, no view button")
        << int(mk_Choice) << true << Str("1") << Str("2") << Str("3") << QRect(145, 74, 50, 20)
        << QRect(276, 74, 50, 20);
    QTest::newRow("question with Ask, no view button")
        << int(mk_QuestionAsk) << true << Str("&Так") << none << Str("&Ні")
        << QRect(133, 136, 75, 20) << QRect(276, 98, 50, 20);
  }
  void buttonsPerKind() {
    QFETCH(int, kind);
    QFETCH(bool, hasLog);
    QFETCH(QString, yes);
    QFETCH(QString, watchExit);
    QFETCH(QString, noWatch);
    QFETCH(QRect, watchExitRect);
    QFETCH(QRect, noWatchRect);
    auto d = Shown(static_cast<EMsgKind>(kind), "x", true, hasLog);
    auto check = [](TZMLButton *b, const QString &caption) {
      QCOMPARE(b->isVisible(), !caption.isEmpty());
      if (!caption.isEmpty())
        QCOMPARE(b->text(), caption);
    };
    check(d->btYes, yes);
    check(d->btWatchExit, watchExit);
    check(d->btNoWatch, noWatch);
    QCOMPARE(d->btWatchExit->geometry(), watchExitRect);
    QCOMPARE(d->btNoWatch->geometry(), noWatchRect);
    if (d->btYes->isVisible())
      QCOMPARE(d->btYes->geometry(), QRect(16, d->btNoWatch->y(), 50, 20));
    QCOMPARE(d->Ask->isVisible(), kind == mk_QuestionAsk);
  }

  void titlesFollowTheInterfaceLanguage_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("russian");
    QTest::addColumn<QString>("title");
    QTest::newRow("error ukr") << int(mk_Error) << false << Str("     П о м и л к а  !");
    QTest::newRow("error rus") << int(mk_Error) << true << Str("     О ш и б к а  !");
    QTest::newRow("warning ukr") << int(mk_Warning) << false
                                 << Str("     П о п е р е д ж е н н я  !");
    QTest::newRow("warning rus") << int(mk_Warning) << true
                                 << Str("     П р е д у п р е ж д е н и е  !");
    QTest::newRow("question ukr") << int(mk_Question) << false << Str("     З а п и т  !");
    QTest::newRow("choice rus") << int(mk_Choice) << true << Str("     З а п р о с  !");
    QTest::newRow("ask ukr") << int(mk_QuestionAsk) << false << Str("     З а п и т  !");
    QTest::newRow("other kind") << 7 << false << Str("     З а п и т  !");
  }
  void titlesFollowTheInterfaceLanguage() {
    QFETCH(int, kind);
    QFETCH(bool, russian);
    QFETCH(QString, title);
    if (russian)
      Cfg[CfgIfaceLangPos] = 1;
    auto d = Shown(static_cast<EMsgKind>(kind), "x");
    QCOMPARE(d->windowTitle(), title);
  }

  void captionsFollowIFaceLang() {
    guitest::SetRussian();
    auto d = Shown(mk_QuestionAsk, "x");
    QCOMPARE(d->btYes->text(), Str("&Да"));
    QCOMPARE(d->btNoWatch->text(), Str("&Нет"));
    QCOMPARE(d->Ask->text(), Str("&Не задавать больше этот вопрос"));
    auto e = Shown(mk_Error, "x");
    QCOMPARE(e->btWatchExit->text(), Str("&Выход"));
  }

  void askCaptionFitsItsBox() {
    auto d = Shown(mk_QuestionAsk, "x");
    QVERIFY(d->Ask->width() >= d->Ask->sizeHint().width());
    QCOMPARE(d->Ask->x(), 80);
    QVERIFY(d->Ask->geometry().right() < d->width());
  }

  void iconsPerKindAndLook_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("normal");
    QTest::addColumn<int>("icon");
    QTest::newRow("error") << int(mk_Error) << true << 0;
    QTest::newRow("question") << int(mk_Question) << true << 1;
    QTest::newRow("warning") << int(mk_Warning) << true << 2;
    QTest::newRow("choice") << int(mk_Choice) << true << 1;
    QTest::newRow("ask") << int(mk_QuestionAsk) << true << 1;
    QTest::newRow("alarm error") << int(mk_Error) << false << 3;
    QTest::newRow("alarm question") << int(mk_Question) << false << 4;
    QTest::newRow("alarm warning") << int(mk_Warning) << false << 5;
  }
  void iconsPerKindAndLook() {
    QFETCH(int, kind);
    QFETCH(bool, normal);
    QFETCH(int, icon);
    TDMessages d(nullptr, static_cast<EMsgKind>(kind), normal);
    QCOMPARE(d.IconIndex, icon);
    QCOMPARE(d.Image->pixmap().toImage(), MessageIcon(icon, d.devicePixelRatioF()).toImage());
  }

  void iconsAreDistinctAndOnTheirBackground() {
    for (int i = 0; i < MessageIconCount; ++i) {
      const QImage img = MessageIcon(i).toImage();
      QCOMPARE(img.size(), QSize(64, 64));
      QCOMPARE(img.pixelColor(0, 0), i < 3 ? SkyBlue() : AlarmRed());
      for (int j = 0; j < i; ++j)
        QVERIFY2(img != MessageIcon(j).toImage(),
                 qPrintable(QStringLiteral("%1 %2").arg(i).arg(j)));
    }
  }

  void alarmLookIsRedWithBoldWhiteText() {
    auto alarm = Shown(mk_Question, "Повторити?", false);
    auto normal = Shown(mk_Question, "Повторити?", true);
    QCOMPARE(alarm->palette().color(QPalette::Window), QColor(255, 0, 0));
    QCOMPARE(alarm->IconIndex, 4);
    const Ink a = InkOf(*alarm);
    const Ink n = InkOf(*normal);
    QVERIFY(a.white > 0);
    QCOMPARE(a.black, 0);
    QVERIFY(n.black > 0);
    QCOMPARE(n.white, 0);
    QVERIFY2(a.pixels > n.pixels, "bold text has more ink");
  }

  void tildeDropsAndAlignsLeft() {
    auto left = Shown(mk_Error, "~ab");
    auto centred = Shown(mk_Error, "ab");
    QCOMPARE(left->Text, std::string("ab"));
    QVERIFY(!left->Centered);
    QVERIFY(centred->Centered);
    QVERIFY(InkOf(*left).left <= 98);
    QVERIFY(InkOf(*centred).left > 180);
  }

  void longTextMakesTheWindowGrow() {
    std::string text;
    for (int i = 0; i < 12; ++i)
      text += "рядок " + std::to_string(i) + "#";
    auto d = Shown(mk_Warning, text);
    QCOMPARE(d->LineCount, 12);
    const int lineHeight = QFontMetrics(DialogFont()).height();
    QCOMPARE(d->TextHeight, 12 * lineHeight + 6);
    QCOMPARE(d->btWatchExit->y(), d->TextHeight + TDMessages::DesignFrameHeight);
    QCOMPARE(d->height(), d->btWatchExit->y() + 30);
    QVERIFY(d->height() > 166);
  }

  void textTooLongForTheScreenKeepsTheButtonsOnIt() {
    std::string text;
    for (int i = 0; i < 150; ++i)
      text += "рядок " + std::to_string(i) + "#";
    auto d = Shown(mk_Warning, text);
    QCOMPARE(d->LineCount, 100);
    const QRect screen = d->screen()->availableGeometry();
    QVERIFY(d->height() + TDMessages::DesignFrameHeight <= screen.height());
    QVERIFY(d->btWatchExit->geometry().bottom() < d->height());
  }

  // --- Answers through the presenter, scripted -----------------------------------

  void scriptedAnswersOpenNoDialogAndRecordTheRequest() {
    MessageAnswers().Push(1);
    MessageAnswers().Push(2);
    MessageAnswers().Push(3); // bit 0 yes, bit 1 the Ask box
    MessageAnswers().Push(0);
    QVERIFY(OutSel("x", 99));
    QCOMPARE(SelVarAnswer("y", 99), 2);
    QCOMPARE(MRestNo("z"), 3);
    QVERIFY(!AskYesNo("Заменить файл?"));
    OutErr("a|b|c", 11); // nothing queued: recorded, closed
    ShowMessage("done");
    QVERIFY(!QApplication::activeModalWidget());
    const auto &shown = MessageAnswers().Shown();
    QCOMPARE(shown.size(), size_t(6));
    QCOMPARE(shown[0].Kind, mk_Question);
    QCOMPARE(shown[0].Text, std::string("x"));
    QCOMPARE(shown[1].Kind, mk_Choice);
    QCOMPARE(shown[2].Kind, mk_QuestionAsk);
    QCOMPARE(shown[3].Kind, mk_YesNo);
    QCOMPARE(shown[4].Kind, mk_Error);
    QCOMPARE(shown[4].Text, std::string("У файлi a довжина запису ( b ) перевищує припустиму c"));
    QCOMPARE(shown[5].Kind, mk_Info);
    QCOMPARE(MessageAnswers().Unanswered(), 2);
  }

  void unansweredDialogsGiveTheAnswerOfClosing() {
    MessageAnswers().Arm();
    QVERIFY(!OutSel("x", 99));
    QCOMPARE(SelVarAnswer("y", 99), 3);
    QCOMPARE(MRestNo("z"), 0);
    QCOMPARE(MessageAnswers().Unanswered(), 3);
    QVERIFY(!OutSelRepeat("r", 99));
    QVERIFY(!MessageAnswers().Shown().back().Normal);
  }

  // --- The real dialog, its buttons and Esc ----------------------------------------

  void errorClosesByItsButtonAndByEsc() {
    for (bool esc : {false, true}) {
      guitest::WhenModal<TDMessages> act([esc](TDMessages *d) {
        QCOMPARE(d->Kind, mk_Error);
        QVERIFY(d->btWatchExit->isVisible());
        QCOMPARE(d->btWatchExit->text(), Str("&Вихід"));
        QVERIFY(!d->btYes->isVisible());
        QVERIFY(!d->btNoWatch->isVisible());
        if (esc)
          QTest::keyClick(d, Qt::Key_Escape);
        else
          QTest::mouseClick(d->btWatchExit, Qt::LeftButton);
      });
      OutErr("x", 1);
      QVERIFY(act.opened);
      QVERIFY(!act.leftOpen);
      QVERIFY(!QApplication::activeModalWidget());
    }
  }

  void questionIsYesOnlyThroughTheYesButton() {
    struct Case {
      const char *how;
      bool yes;
    };
    for (const Case c : {Case{"yes", true}, Case{"no", false}, Case{"esc", false}}) {
      const std::string how = c.how;
      guitest::WhenModal<TDMessages> act([how](TDMessages *d) {
        if (how == "yes")
          QTest::mouseClick(d->btYes, Qt::LeftButton);
        else if (how == "no")
          QTest::mouseClick(d->btNoWatch, Qt::LeftButton);
        else
          QTest::keyClick(d, Qt::Key_Escape);
      });
      QCOMPARE(OutSel("x", 99), c.yes);
      QVERIFY2(act.opened && !act.leftOpen, c.how);
    }
  }

  void choiceGivesTheButtonPressedAndThreeOnEsc() {
    struct Case {
      int button; // 0 Esc
      int answer;
    };
    for (const Case c : {Case{1, 1}, Case{2, 2}, Case{3, 3}, Case{0, 3}}) {
      guitest::WhenModal<TDMessages> act([c](TDMessages *d) {
        TZMLButton *b = c.button == 1 ? d->btYes : c.button == 2 ? d->btWatchExit : d->btNoWatch;
        if (c.button == 0)
          QTest::keyClick(d, Qt::Key_Escape);
        else
          QTest::mouseClick(b, Qt::LeftButton);
      });
      QCOMPARE(SelVarAnswer("x", 99), c.answer);
      QVERIFY(act.opened && !act.leftOpen);
    }
  }

  void questionWithAskReportsTheTick() {
    struct Case {
      bool tick;
      bool yes;
      int result;
    };
    for (const Case c :
         {Case{true, true, 3}, Case{true, false, 2}, Case{false, true, 1}, Case{false, false, 0}}) {
      guitest::WhenModal<TDMessages> act([c](TDMessages *d) {
        if (c.tick)
          QTest::mouseClick(d->Ask, Qt::LeftButton, {}, QPoint(d->Ask->width() - 8, 8));
        QCOMPARE(d->Ask->isChecked(), c.tick);
        QTest::mouseClick(c.yes ? d->btYes : d->btNoWatch, Qt::LeftButton);
      });
      QCOMPARE(MRestNo("x"), c.result);
      QVERIFY(act.opened && !act.leftOpen);
    }
  }

  // --- The view button ---------------------------------------------------------------

  void missingProtocolShowsTheNoticeAndNoViewer() {
    ViewerAnswers().Arm();
    MessageAnswers().Arm(); // catches the notice only: the dialog is opened directly
    auto d = Shown(mk_Error, "x", true, true);
    d->ErrFile = "/nonexistent/errors.txt";
    QTest::mouseClick(d->btNoWatch, Qt::LeftButton);
    QCOMPARE(MessageAnswers().Shown().size(), size_t(1));
    QCOMPARE(MessageAnswers().Shown()[0].Kind, mk_Info);
    QCOMPARE(MessageAnswers().Shown()[0].Text, std::string(TDMessages::NoInfoNotice));
    QVERIFY(ViewerAnswers().Shown().empty());
    QVERIFY(d->isVisible());
    QVERIFY(d->Timer->isActive());
  }

  void viewButtonHandsBothProtocolsToTheViewer() {
    QTemporaryDir dir;
    const std::string err = dir.filePath(QStringLiteral("e.txt")).toStdString();
    const std::string war = dir.filePath(QStringLiteral("w.txt")).toStdString();
    for (const std::string &f : {err, war}) {
      QFile file(QString::fromStdString(f));
      QVERIFY(file.open(QIODevice::WriteOnly));
    }
    ViewerAnswers().Arm();
    auto d = Shown(mk_Question, "x", true, true);
    d->ErrFile = err;
    d->WarFile = war;
    QTest::mouseClick(d->btWatchExit, Qt::LeftButton);
    QCOMPARE(ViewerAnswers().Shown().size(), size_t(1));
    QCOMPARE(ViewerAnswers().Shown()[0].ErrFile, err);
    QCOMPARE(ViewerAnswers().Shown()[0].WarFile, war);
    QVERIFY(d->isVisible());
    QVERIFY(d->Timer->isActive());
  }

  void viewButtonOpensTheRealViewerAndTheDialogStaysOpen() {
    QTemporaryDir dir;
    const std::string err = dir.filePath(QStringLiteral("e.txt")).toStdString();
    {
      QFile file(QString::fromStdString(err));
      QVERIFY(file.open(QIODevice::WriteOnly));
      file.write("\xCF\xEE\xEC\xE8\xEB\xEA\xE0\r\n"); // "Помилка" in Windows-1251
    }
    auto d = Shown(mk_Error, "x", true, true);
    d->ErrFile = err;
    QString title;
    guitest::WhenModal<TViewPrt> act([&title](TViewPrt *v) {
      title = v->windowTitle();
      QTest::mouseClick(v->Button1, Qt::LeftButton);
    });
    QTest::mouseClick(d->btNoWatch, Qt::LeftButton);
    QVERIFY(act.opened && !act.leftOpen);
    QVERIFY(title.endsWith(QString::fromStdString(err)));
    QVERIFY(d->isVisible());
    QVERIFY(d->Timer->isActive());
  }
};

QTEST_MAIN(TestMessageDialog)
#include "message_dialog_test.moc"
