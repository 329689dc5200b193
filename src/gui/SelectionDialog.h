// TFrmChkSel: the dialog in which the user unticks files before a mass
// conversion. One row per kind that has files (disabled, never ticked) and
// below it one ticked row per file; four buttons in a panel at the bottom.
// Created once with the main window and reused by every command.
#pragma once

#include <QDialog>

#include "MassConversion.h"

class QListWidget;
class QPushButton;
class QWidget;

namespace gui {

class TFrmChkSel : public QDialog {
  Q_OBJECT
public:
  static constexpr int DesignWidth = 700;
  static constexpr int DesignHeight = 442;
  static constexpr int PanelHeight = 42;

  explicit TFrmChkSel(QWidget *owner = nullptr);

  // Fills the list from `sel`, lets the user untick rows and copies the ticks
  // back into `sel`. True when the dialog closed with OK ("Да, выбор окончен,
  // начать!"); Cancel, Esc and the window frame give false and leave `sel`
  // as it was. A scripted answer (SelectionAnswers) acts instead of the user.
  bool Choose(Selection &sel);

  // The list as the dialog shows it: rebuilt from `sel`.
  void Fill(const Selection &sel);
  // The ticks of the list copied into `sel` (the selection it was filled from).
  void ReadTicks(Selection &sel) const;

  QListWidget *ChkLsBx_Sel = nullptr;
  QWidget *Panel1 = nullptr;
  QPushButton *Btn_Cancel = nullptr;
  QPushButton *Button1 = nullptr; // "Убрать все галочки"
  QPushButton *Button2 = nullptr; // "Выставить все галочки"
  QPushButton *Btn_Yes = nullptr;

  void Btn_CancelClick() { reject(); }
  void Btn_YesClick() { accept(); }
  void Button1Click() { TickEnabledRows(false); }
  void Button2Click() { TickEnabledRows(true); }

private:
  void TickEnabledRows(bool ticked);
};

} // namespace gui
