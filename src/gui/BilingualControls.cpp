#include "BilingualControls.h"

#include <QVariant>

namespace gui {

TZLangBox::TZLangBox(QObject *owner, const char *property, const TLangChange *onLangChange)
    : Owner(owner), Property(property), OnLangChange(onLangChange), FLang(IFaceLang) {}

QString TZLangBox::CurText() const {
  return Owner->property(Property).toString();
}

void TZLangBox::WText(ELang lang, const QString &text) {
  if (lang == FLang || lang == elg_End)
    Owner->setProperty(Property, text);
  else
    Other = text;
}

QString TZLangBox::RText(ELang lang) const {
  return lang == FLang || lang == elg_End ? CurText() : Other;
}

void TZLangBox::WLang(ELang lang) {
  if (lang == elg_End)
    lang = elg_Rus;
  if (lang == FLang)
    return;
  bool ignore = false;
  if (OnLangChange && *OnLangChange && !Skip)
    (*OnLangChange)(this, lang, Other, ignore);
  else
    Skip = false;
  if (ignore)
    return;
  FLang = lang;
  const QString shown = CurText();
  Owner->setProperty(Property, Other);
  Other = shown;
}

void TZLangBox::Init() {
  QString text = CurText();
  Skip = true;
  bool ignore = false;
  if (OnLangChange && *OnLangChange)
    (*OnLangChange)(this, FLang, text, ignore);
  if (!ignore)
    Owner->setProperty(Property, text);
}

TZBilingual::TZBilingual(QObject *owner)
    : CaptionL(std::make_unique<TZLangBox>(owner, "Caption", &OnLangChange)),
      HintL(std::make_unique<TZLangBox>(owner, "toolTip", &OnLangChange)) {}

TZBilingual::~TZBilingual() = default;

void TZBilingual::SetCaptions(const QString &rus, const QString &ukr) {
  CaptionL->WText(elg_Rus, rus);
  CaptionL->WText(elg_Ukr, ukr);
}

TZMLButton::TZMLButton(QWidget *parent) : QPushButton(parent), TZBilingual(this) {}

void TZMLButton::WCaption(const QString &text) {
  if (text == RCaption())
    return;
  if (text.contains(QLatin1Char('#')))
    WMultiLine(true);
  QString shown = text;
  shown.replace(QLatin1Char('#'), QLatin1Char('\n'));
  setText(shown);
}

QString TZMLButton::RCaption() const {
  QString caption = text();
  caption.replace(QLatin1Char('\n'), QLatin1Char('#'));
  return caption;
}

void TZMLButton::WMultiLine(bool on) {
  if (on == FMultiLine)
    return;
  if (!on && RCaption().contains(QLatin1Char('#')))
    return;
  FMultiLine = on;
  update();
}

TZCheckBox::TZCheckBox(QWidget *parent) : QCheckBox(parent), TZBilingual(this) {}

} // namespace gui
