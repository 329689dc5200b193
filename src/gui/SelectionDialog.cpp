#include "SelectionDialog.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "DialogHooks.h"
#include "GuiFonts.h"

namespace gui {

TFrmChkSel::TFrmChkSel(QWidget *owner) : QDialog(owner) {
  setWindowTitle(QStringLiteral("Уточнение перечня преобразуемых файлов"));
  setFont(DialogFont());
  resize(DesignWidth, DesignHeight);

  ChkLsBx_Sel = new QListWidget(this);
  ChkLsBx_Sel->setAccessibleName(QStringLiteral("Перечень преобразуемых файлов"));
  ChkLsBx_Sel->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  ChkLsBx_Sel->setUniformItemSizes(true);

  Panel1 = new QWidget(this);
  Panel1->setFixedHeight(PanelHeight);
  auto button = [this](const char *caption, void (TFrmChkSel::*handler)()) {
    auto *b = new QPushButton(QString::fromUtf8(caption), Panel1);
    b->setAccessibleName(b->text());
    b->setAutoDefault(false);
    connect(b, &QPushButton::clicked, this, handler);
    return b;
  };
  Btn_Cancel = button("Отмена", &TFrmChkSel::Btn_CancelClick);
  Button1 = button("Убрать все галочки", &TFrmChkSel::Button1Click);
  Button2 = button("Выставить все галочки", &TFrmChkSel::Button2Click);
  Btn_Yes = button("Да, выбор окончен, начать!", &TFrmChkSel::Btn_YesClick);
  Btn_Yes->setDefault(true);

  auto *panel = new QHBoxLayout(Panel1);
  panel->setContentsMargins(8, 8, 8, 8);
  panel->addWidget(Btn_Cancel);
  panel->addWidget(Button1);
  panel->addWidget(Button2);
  panel->addStretch(1);
  panel->addWidget(Btn_Yes); // anchored to the right edge

  auto *layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(ChkLsBx_Sel, 1);
  layout->addWidget(Panel1);
}

void TFrmChkSel::Fill(const Selection &sel) {
  ChkLsBx_Sel->setUpdatesEnabled(false);
  ChkLsBx_Sel->clear();
  for (const SelectionRow &row : sel) {
    auto *item = new QListWidgetItem(QString::fromStdString(row.text), ChkLsBx_Sel);
    // A header row shows an empty box that nobody can tick.
    item->setFlags(row.enabled ? Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable
                               : Qt::ItemIsUserCheckable);
    item->setCheckState(row.ticked ? Qt::Checked : Qt::Unchecked);
    if (row.header) {
      QFont bold = item->font();
      bold.setBold(true);
      item->setFont(bold);
    }
  }
  ChkLsBx_Sel->setUpdatesEnabled(true);
  if (ChkLsBx_Sel->count() > 0)
    ChkLsBx_Sel->scrollToTop();
}

void TFrmChkSel::ReadTicks(Selection &sel) const {
  const int n = std::min<int>(ChkLsBx_Sel->count(), static_cast<int>(sel.size()));
  for (int i = 0; i < n; ++i)
    if (sel[i].enabled)
      sel[i].ticked = ChkLsBx_Sel->item(i)->checkState() == Qt::Checked;
}

void TFrmChkSel::TickEnabledRows(bool ticked) {
  for (int i = 0; i < ChkLsBx_Sel->count(); ++i) {
    QListWidgetItem *item = ChkLsBx_Sel->item(i);
    if (item->flags() & Qt::ItemIsEnabled)
      item->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
  }
}

bool TFrmChkSel::Choose(Selection &sel) {
  Fill(sel);
  bool ok = false;
  const SelectionAnswer closed = [](TFrmChkSel &) { return false; };
  if (const auto answer = SelectionAnswers().Intercept(sel, closed))
    ok = (*answer)(*this);
  else
    ok = exec() == QDialog::Accepted;
  if (ok)
    ReadTicks(sel);
  return ok;
}

} // namespace gui
