// Controls that hold a Russian and a Ukrainian caption and show one of them:
// TZLangBox binds one string property of its owner ("Caption" or "toolTip")
// to the two languages; TZMLButton is a push button whose caption takes "#"
// as a line break; TZCheckBox a check box. A control shows IFaceLang's text
// when it is created.
#pragma once

#include <QCheckBox>
#include <QPushButton>
#include <QString>

#include <functional>
#include <memory>

#include "BilingualText.h"

namespace gui {

class TZLangBox;

// Asked before a control switches language: the box, the new language, the
// other language's text (may be changed), and a flag that cancels the switch.
using TLangChange =
    std::function<void(TZLangBox *box, ELang lang, QString &otherText, bool &ignore)>;

class TZLangBox {
public:
  // `property` names a QString property of `owner`; `onLangChange` points at
  // the owner's hook, which may be empty and may be set later.
  TZLangBox(QObject *owner, const char *property, const TLangChange *onLangChange);

  ELang Lang() const { return FLang; }
  QString CurText() const;
  QString LRus() const { return RText(elg_Rus); }
  QString LUkr() const { return RText(elg_Ukr); }
  void SetLRus(const QString &text) { WText(elg_Rus, text); }
  void SetLUkr(const QString &text) { WText(elg_Ukr, text); }

  // The text of a language: the shown one for Lang or elg_End, else the one
  // kept aside.
  void WText(ELang lang, const QString &text);
  QString RText(ELang lang) const;
  // Shows `lang` (elg_End means Russian): the shown text and the one kept
  // aside change places unless the hook cancels.
  void WLang(ELang lang);
  // Lets the hook see and change the shown text, and skips it on the next
  // WLang once.
  void Init();

private:
  QObject *Owner;
  const char *Property;
  const TLangChange *OnLangChange;
  ELang FLang;
  QString Other;
  bool Skip = false;
};

// What every bilingual control has: its hook and the two boxes on its
// "Caption" and "toolTip" properties, created with the control.
struct TZBilingual {
  explicit TZBilingual(QObject *owner);
  ~TZBilingual();

  TLangChange OnLangChange;
  std::unique_ptr<TZLangBox> CaptionL; // on "Caption"
  std::unique_ptr<TZLangBox> HintL;    // on "toolTip"

  // Both captions at once.
  void SetCaptions(const QString &rus, const QString &ukr);
};

// A bilingual push button; in its captions "#" is a line break.
class TZMLButton : public QPushButton, public TZBilingual {
  Q_OBJECT
  Q_PROPERTY(QString Caption READ RCaption WRITE WCaption)
public:
  explicit TZMLButton(QWidget *parent = nullptr);

  // A caption with "#" switches MultiLine on; "#" is shown as a line break.
  void WCaption(const QString &text);
  QString RCaption() const;
  bool MultiLine() const { return FMultiLine; }
  // Switching off is refused while the caption holds "#".
  void WMultiLine(bool on);

private:
  bool FMultiLine = false;
};

// A bilingual check box.
class TZCheckBox : public QCheckBox, public TZBilingual {
  Q_OBJECT
  Q_PROPERTY(QString Caption READ text WRITE setText)
public:
  explicit TZCheckBox(QWidget *parent = nullptr);
};

} // namespace gui
