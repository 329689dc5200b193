// The bilingual controls: the two captions of a TZLangBox, switching the
// language with its hook, and the "#" line breaks of TZMLButton.
#include <QTest>

#include "BilingualControls.h"
#include "GuiTestSupport.h"

using namespace gui;

namespace {

// A hook that records its calls and does what the test says.
struct HookLog {
  int calls = 0;
  ELang lang = elg_End;
  QString other;
  bool ignore = false;  // what the hook answers
  QString replaceOther; // when not empty, the hook puts it in place of the other text
};

TLangChange Hook(HookLog &log) {
  return [&log](TZLangBox *, ELang lang, QString &other, bool &ignore) {
    ++log.calls;
    log.lang = lang;
    log.other = other;
    if (!log.replaceOther.isEmpty())
      other = log.replaceOther;
    ignore = log.ignore;
  };
}

} // namespace

class TestBilingualControls : public QObject {
  Q_OBJECT
private slots:
  void init() { guitest::ResetState(); }
  void cleanup() { guitest::ResetState(); }

  void textOfTheOtherLanguageIsKeptAside() {
    TZMLButton b;
    QCOMPARE(b.CaptionL->Lang(), elg_Ukr);
    b.CaptionL->WText(elg_Ukr, QStringLiteral("Ні"));
    b.CaptionL->WText(elg_Rus, QStringLiteral("Да"));
    QCOMPARE(b.text(), QStringLiteral("Ні"));
    QCOMPARE(b.CaptionL->RText(elg_Rus), QStringLiteral("Да"));
    QCOMPARE(b.CaptionL->LUkr(), QStringLiteral("Ні"));

    b.CaptionL->WLang(elg_Rus);
    QCOMPARE(b.CaptionL->Lang(), elg_Rus);
    QCOMPARE(b.text(), QStringLiteral("Да"));
    QCOMPARE(b.CaptionL->RText(elg_Ukr), QStringLiteral("Ні"));
    QCOMPARE(b.CaptionL->CurText(), QStringLiteral("Да"));
  }

  void endLanguageMeansTheShownTextAndSwitchesToRussian() {
    TZMLButton b;
    b.CaptionL->WText(elg_End, QStringLiteral("shown"));
    b.CaptionL->WText(elg_Rus, QStringLiteral("рус"));
    QCOMPARE(b.CaptionL->RText(elg_End), QStringLiteral("shown"));
    b.CaptionL->WLang(elg_End);
    QCOMPARE(b.CaptionL->Lang(), elg_Rus);
    QCOMPARE(b.text(), QStringLiteral("рус"));
  }

  void controlsStartInTheInterfaceLanguage() {
    IFaceLang = elg_Rus;
    TZCheckBox c;
    c.SetCaptions(QStringLiteral("Да"), QStringLiteral("Так"));
    QCOMPARE(c.text(), QStringLiteral("Да"));
    QCOMPARE(c.CaptionL->LUkr(), QStringLiteral("Так"));
  }

  void hintFollowsItsOwnBox() {
    TZCheckBox c;
    c.HintL->SetLUkr(QStringLiteral("підказка"));
    c.HintL->SetLRus(QStringLiteral("подсказка"));
    QCOMPARE(c.toolTip(), QStringLiteral("підказка"));
    c.HintL->WLang(elg_Rus);
    QCOMPARE(c.toolTip(), QStringLiteral("подсказка"));
  }

  void hookSeesTheSwitchAndMayChangeTheOtherText() {
    TZMLButton b;
    HookLog log;
    log.replaceOther = QStringLiteral("Выход!");
    b.OnLangChange = Hook(log); // set after the boxes exist: they see it
    b.SetCaptions(QStringLiteral("Выход"), QStringLiteral("Вихід"));
    b.CaptionL->WLang(elg_Rus);
    QCOMPARE(log.calls, 1);
    QCOMPARE(log.lang, elg_Rus);
    QCOMPARE(log.other, QStringLiteral("Выход"));
    QCOMPARE(b.text(), QStringLiteral("Выход!"));
    QCOMPARE(b.CaptionL->RText(elg_Ukr), QStringLiteral("Вихід"));
  }

  void hookMayCancelTheSwitch() {
    TZMLButton b;
    HookLog log;
    log.ignore = true;
    b.OnLangChange = Hook(log);
    b.SetCaptions(QStringLiteral("Да"), QStringLiteral("Так"));
    b.CaptionL->WLang(elg_Rus);
    QCOMPARE(log.calls, 1);
    QCOMPARE(b.CaptionL->Lang(), elg_Ukr);
    QCOMPARE(b.text(), QStringLiteral("Так"));
  }

  void switchingToTheShownLanguageDoesNothing() {
    TZMLButton b;
    HookLog log;
    b.OnLangChange = Hook(log);
    b.SetCaptions(QStringLiteral("Да"), QStringLiteral("Так"));
    b.CaptionL->WLang(elg_Ukr);
    QCOMPARE(log.calls, 0);
    QCOMPARE(b.text(), QStringLiteral("Так"));
  }

  void initLetsTheHookChangeTheShownTextAndSkipsItOnce() {
    TZMLButton b;
    HookLog log;
    log.replaceOther = QStringLiteral("Так!");
    b.OnLangChange = Hook(log);
    b.SetCaptions(QStringLiteral("Да"), QStringLiteral("Так"));
    b.CaptionL->Init();
    QCOMPARE(log.calls, 1);
    QCOMPARE(log.lang, elg_Ukr);
    QCOMPARE(log.other, QStringLiteral("Так"));
    QCOMPARE(b.text(), QStringLiteral("Так!"));

    log.replaceOther.clear();
    b.CaptionL->WLang(elg_Rus); // skipped once
    QCOMPARE(log.calls, 1);
    QCOMPARE(b.text(), QStringLiteral("Да"));
    b.CaptionL->WLang(elg_Ukr); // asked again
    QCOMPARE(log.calls, 2);
    QCOMPARE(b.text(), QStringLiteral("Так!"));
  }

  void skipSetByInitHoldsForAHookSetLater() {
    TZMLButton b;
    b.SetCaptions(QStringLiteral("Да"), QStringLiteral("Так"));
    b.CaptionL->Init();
    QCOMPARE(b.text(), QStringLiteral("Так"));
    HookLog log;
    b.OnLangChange = Hook(log);
    b.CaptionL->WLang(elg_Rus); // the skip flag set by Init still holds
    QCOMPARE(log.calls, 0);
    QCOMPARE(b.text(), QStringLiteral("Да"));
  }

  void hashIsALineBreakInButtonCaptions() {
    TZMLButton b;
    QVERIFY(!b.MultiLine());
    b.WCaption(QStringLiteral("A#B"));
    QCOMPARE(b.text(), QStringLiteral("A\nB"));
    QCOMPARE(b.RCaption(), QStringLiteral("A#B"));
    QCOMPARE(b.property("Caption").toString(), QStringLiteral("A#B"));
    QVERIFY(b.MultiLine());
    b.WMultiLine(false);
    QVERIFY(b.MultiLine()); // refused while the caption holds "#"

    b.WCaption(QStringLiteral("AB"));
    QCOMPARE(b.text(), QStringLiteral("AB"));
    QVERIFY(b.MultiLine()); // a caption without "#" leaves it on
    b.WMultiLine(false);
    QVERIFY(!b.MultiLine());
  }

  void bilingualCaptionsKeepTheirHashes() {
    TZMLButton b;
    b.SetCaptions(QStringLiteral("Один#два"), QStringLiteral("Один#два укр"));
    QCOMPARE(b.text(), QStringLiteral("Один\nдва укр"));
    b.CaptionL->WLang(elg_Rus);
    QCOMPARE(b.text(), QStringLiteral("Один\nдва"));
    QCOMPARE(b.CaptionL->RText(elg_Ukr), QStringLiteral("Один#два укр"));
  }
};

QTEST_MAIN(TestBilingualControls)
#include "bilingual_controls_test.moc"
