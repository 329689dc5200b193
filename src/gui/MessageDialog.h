// TDMessages: the one modal window through which the library shows errors,
// warnings and questions. A 64 x 64 icon at the left, the message laid out
// to its right, the buttons that suit the kind, a view button for messages
// that come with protocol files; it sizes itself to the text when shown and
// keeps itself on top. Positions are the design's, in device-independent
// pixels of the client area.
#pragma once

#include <QDialog>
#include <QString>

#include <string>

#include "Messages.h"
#include "TextLayout.h"

class QLabel;
class QTimer;

namespace gui {

class TZCheckBox;
class TZMLButton;

class TDMessages : public QDialog {
  Q_OBJECT
public:
  // The design's client area before layout, and the frame and small caption
  // of a tool window that the layout counts in (the window height less the
  // client height in the design).
  static constexpr int DesignWidth = 342;
  static constexpr int DesignHeight = 166;
  static constexpr int DesignFrameHeight = 22;

  TDMessages(QWidget *owner, EMsgKind kind, bool normal);

  // Set by the caller before showing.
  std::string Text; // composed message, UTF-8; "#" breaks a line, "~" first: left-aligned
  std::string ErrFile;
  std::string WarFile;
  bool HasLog = false;

  const EMsgKind Kind;
  const bool Normal; // false: the alarm appearance
  int Answer = 3;    // mk_Choice: the button pressed, 1 to 3
  bool Centered = true;

  QLabel *Image = nullptr;
  TZMLButton *btYes = nullptr;
  TZMLButton *btWatchExit = nullptr;
  TZMLButton *btNoWatch = nullptr;
  TZCheckBox *Ask = nullptr;
  QTimer *Timer = nullptr;
  QWidget *Anchor = nullptr; // its top bounds the text area

  // Results of the layout on showing.
  int LineCount = 0;
  int TextHeight = 0;
  int Shrink = 0;
  TLineTable Lines{};
  int IconIndex = -1;

  // The window title of a kind in the interface language.
  static QString Title(EMsgKind kind);
  // The text rectangle painting uses (valid after the layout).
  TTextRect TextRect() const;

  // The notice of the view button when a named protocol file is missing.
  static const char *const NoInfoNotice;

  void setVisible(bool visible) override;

protected:
  void paintEvent(QPaintEvent *event) override;

private:
  enum class Handler { Yes, No, View };
  void SetClick(TZMLButton *button, Handler handler);
  void YesClick();
  void NoClick();
  void ViewClick();
  void SetKind();
  void LayOut();
  QFont DrawingFont() const;

  bool LaidOut = false;
};

} // namespace gui
