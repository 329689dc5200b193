#include "ProgressDialog.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "GuiFonts.h"

namespace gui {

TProgress::TProgress(QWidget *owner) : QDialog(owner) {
  setWindowTitle(QStringLiteral("Преобразование"));
  setWindowModality(Qt::WindowModal);
  setFont(DialogFont());
  setFixedWidth(520);

  Counts = new QLabel(this);
  Current = new QLabel(this);
  Current->setTextFormat(Qt::PlainText);
  Bar = new QProgressBar(this);
  Bar->setAccessibleName(QStringLiteral("Ход преобразования"));
  Btn_Cancel = new QPushButton(QStringLiteral("Отмена"), this);
  Btn_Cancel->setAccessibleName(QStringLiteral("Остановить после текущего файла"));
  Btn_Cancel->setAutoDefault(false);
  connect(Btn_Cancel, &QPushButton::clicked, this, &TProgress::Cancel);

  auto *buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(Btn_Cancel);
  auto *layout = new QVBoxLayout(this);
  layout->setContentsMargins(12, 12, 12, 12);
  layout->addWidget(Counts);
  layout->addWidget(Current);
  layout->addWidget(Bar);
  layout->addLayout(buttons);
}

void TProgress::StartMass() {
  Cancelled_ = false;
  Counts->setText(QStringLiteral("Поиск файлов…"));
  Current->clear();
  Bar->setRange(0, 0);
  Btn_Cancel->setVisible(true);
  Btn_Cancel->setEnabled(true);
}

void TProgress::StartSingle(const std::string &source) {
  Cancelled_ = false;
  Counts->setText(QStringLiteral("Преобразуется файл"));
  ShowPath(source);
  Bar->setRange(0, 0);
  Btn_Cancel->setVisible(false);
}

void TProgress::FileStarts(size_t index, size_t total, const std::string &source) {
  if (!Cancelled_)
    Counts->setText(QStringLiteral("Файл %1 из %2").arg(index + 1).arg(total));
  ShowPath(source);
  Bar->setRange(0, static_cast<int>(total));
  Bar->setValue(static_cast<int>(index));
}

void TProgress::FilesDone(size_t done) {
  Bar->setValue(static_cast<int>(done));
  if (Bar->maximum() > 0 && Bar->value() >= Bar->maximum())
    hide();
}

void TProgress::reject() {
  if (Btn_Cancel->isVisible())
    Cancel();
}

void TProgress::Cancel() {
  if (Cancelled_)
    return;
  Cancelled_ = true;
  Btn_Cancel->setEnabled(false);
  Counts->setText(QStringLiteral("Остановка после текущего файла…"));
  emit CancelPressed();
}

void TProgress::ShowPath(const std::string &path) {
  const QString text = QString::fromStdString(path);
  Current->setToolTip(text);
  Current->setText(Current->fontMetrics().elidedText(text, Qt::ElideMiddle,
                                                     width() - 24 > 100 ? width() - 24 : 100));
}

} // namespace gui
