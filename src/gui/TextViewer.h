// TViewPrt: a read-only window over the two protocol files an operation may
// leave behind, one of errors and one of warnings, with a button for each.
// Protocol files are Windows-1251 text.
#pragma once

#include <QDialog>
#include <QString>

#include <string>

class QFrame;
class QPlainTextEdit;

namespace gui {

class TZMLButton;

class TViewPrt : public QDialog {
  Q_OBJECT
public:
  explicit TViewPrt(QWidget *owner = nullptr);

  // Set by the opener before showing; empty: that protocol does not exist.
  std::string WarFile;
  std::string ErrFile;

  QFrame *UpperPanel = nullptr;
  QFrame *LowerPanel = nullptr;
  QPlainTextEdit *LTxt = nullptr;
  TZMLButton *kWar = nullptr;
  TZMLButton *kErr = nullptr;
  TZMLButton *Button1 = nullptr;

  // Shows one file, its caption line first.
  void StartView(const std::string &name);
  // "ЗЕП-5 (" + ZEPVER + ")       Перегляд файла " + name, or "Просмотр
  // файла" in the Russian interface.
  static QString CaptionLine(const std::string &name);

protected:
  void showEvent(QShowEvent *event) override;
};

} // namespace gui
