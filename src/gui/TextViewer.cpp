#include "TextViewer.h"

#include <QFrame>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QVBoxLayout>

#include "BilingualControls.h"
#include "BilingualText.h"
#include "Edition.h"
#include "GuiFonts.h"
#include "Platform.h"

namespace gui {

namespace {

// The whole file, or nothing when it cannot be read.
std::string ReadWholeFile(const std::string &path) {
  std::string bytes;
  const platform::Handle h = platform::Open(path, platform::OpenMode::Read);
  if (h == platform::InvalidHandle)
    return bytes;
  char buf[65536];
  for (int64_t got; (got = platform::Read(h, buf, sizeof buf)) > 0;)
    bytes.append(buf, static_cast<size_t>(got));
  platform::Close(h);
  return bytes;
}

// Lines as a text list reads them: CR, LF and CR LF each end a line, and a
// final line break adds no empty line.
QString AsLines(const QString &text) {
  QString out = text;
  out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  out.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  if (out.endsWith(QLatin1Char('\n')))
    out.chop(1);
  return out;
}

QFrame *Panel(QWidget *parent) {
  auto *panel = new QFrame(parent);
  panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
  panel->setLineWidth(2);
  return panel;
}

TZMLButton *Button(QWidget *parent, const QRect &rect, const char *rus, const char *ukr) {
  auto *b = new TZMLButton(parent);
  b->setGeometry(rect);
  b->SetCaptions(QString::fromUtf8(rus), QString::fromUtf8(ukr));
  b->setAutoDefault(false);
  return b;
}

} // namespace

TViewPrt::TViewPrt(QWidget *owner) : QDialog(owner) {
  setWindowFlags(Qt::Tool | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint | Qt::WindowMaximizeButtonHint);
  setFont(ViewerFont());
  setGeometry(2, 43, 789, 498);
  setWindowState(Qt::WindowMaximized);

  auto *layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  UpperPanel = Panel(this);
  LowerPanel = Panel(this);
  LowerPanel->setFixedHeight(54);
  layout->addWidget(UpperPanel, 1);
  layout->addWidget(LowerPanel);

  auto *upper = new QVBoxLayout(UpperPanel);
  upper->setContentsMargins(2, 2, 2, 2);
  LTxt = new QPlainTextEdit(UpperPanel);
  LTxt->setReadOnly(true);
  LTxt->setLineWrapMode(QPlainTextEdit::NoWrap);
  LTxt->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  LTxt->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  QPalette p = LTxt->palette();
  p.setColor(QPalette::Base, palette().color(QPalette::Window));
  LTxt->setPalette(p);
  upper->addWidget(LTxt);

  kWar = Button(LowerPanel, QRect(15, 14, 86, 25), "Неточности", "Неточності");
  kErr = Button(LowerPanel, QRect(109, 14, 75, 25), "Ошибки", "Помилки");
  Button1 = Button(LowerPanel, QRect(503, 14, 75, 25), "Выход", "Вихід");
  connect(kWar, &QPushButton::clicked, this, [this] { StartView(WarFile); });
  connect(kErr, &QPushButton::clicked, this, [this] { StartView(ErrFile); });
  connect(Button1, &QPushButton::clicked, this, &QDialog::reject);
}

QString TViewPrt::CaptionLine(const std::string &name) {
  const char *view = InterfaceRussian() ? ")       Просмотр файла " : ")       Перегляд файла ";
  return QString::fromUtf8("ЗЕП-5 (" + Cp1251ToUtf8(ZEPVER) + view + name);
}

void TViewPrt::StartView(const std::string &name) {
  const QString caption = CaptionLine(name);
  setWindowTitle(caption);
  LTxt->clear();
  const std::string bytes = ReadWholeFile(name);
  QString text = caption;
  if (!bytes.empty())
    text += QLatin1Char('\n') + AsLines(QString::fromUtf8(Cp1251ToUtf8(bytes)));
  LTxt->setPlainText(text);
  LTxt->moveCursor(QTextCursor::Start);
}

void TViewPrt::showEvent(QShowEvent *event) {
  if (WarFile.empty() || ErrFile.empty()) {
    kWar->hide();
    kErr->hide();
  }
  if (!ErrFile.empty())
    StartView(ErrFile);
  else if (!WarFile.empty())
    StartView(WarFile);
  else
    setWindowTitle(QString::fromUtf8("ЗЕП-5 (" + Cp1251ToUtf8(ZEPVER) + ")"));
  QDialog::showEvent(event);
}

} // namespace gui
