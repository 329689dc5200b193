#include "MessageDialog.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QTimer>

#include <algorithm>
#include <vector>

#include "BilingualControls.h"
#include "BilingualText.h"
#include "DialogHooks.h"
#include "GuiFonts.h"
#include "MessageIcons.h"
#include "Platform.h"
#include "QtTextSurface.h"
#include "TextViewer.h"

namespace gui {

const char *const TDMessages::NoInfoNotice = "Нема ішформації для перегляду !";

namespace {

constexpr int kRaiseIntervalMs = 1000;

QString U(const char *utf8) {
  return QString::fromUtf8(utf8);
}

void MoveBy(QWidget *w, int dx, int dy) {
  w->move(w->x() + dx, w->y() + dy);
}

void SetWidth(QWidget *w, int width) {
  w->resize(width, w->height());
}

} // namespace

TDMessages::TDMessages(QWidget *owner, EMsgKind kind, bool normal)
    : QDialog(owner), Kind(kind), Normal(normal) {
  // A tool window (small caption) that stays on top and cannot be resized.
  setWindowFlags(Qt::Tool | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);
  setFont(DialogFont());
  setAutoFillBackground(true);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, Normal ? SkyBlue() : AlarmRed());
  setPalette(pal);
  setFixedSize(DesignWidth, DesignHeight);

  Image = new QLabel(this);
  Image->setGeometry(16, 36, MessageIconSize, MessageIconSize);
  Image->setScaledContents(true);

  auto button = [this](const QRect &r, const char *rus, const char *ukr) {
    auto *b = new TZMLButton(this);
    b->setGeometry(r);
    b->SetCaptions(U(rus), U(ukr));
    return b;
  };
  btYes = button(QRect(16, 136, 50, 20), "&Да", "&Так");
  btWatchExit = button(QRect(133, 136, 75, 20), "&Просмотр", "&Перегляд");
  btWatchExit->hide();
  btNoWatch = button(QRect(276, 136, 50, 20), "&Нет", "&Ні");
  SetClick(btYes, Handler::Yes);

  Ask = new TZCheckBox(this);
  Ask->setGeometry(80, 112, 193, 17);
  Ask->setFont(DialogFont());
  Ask->setLayoutDirection(Qt::RightToLeft); // the caption at the left of the box
  Ask->SetCaptions(U("&Не задавать больше этот вопрос"), U("&Не задавати більше це питання"));
  // DejaVu is wider than the design's font: the box grows to the right until
  // its caption fits.
  Ask->resize(std::max(Ask->width(), Ask->sizeHint().width()), Ask->height());
  Ask->hide();

  Timer = new QTimer(this);
  Timer->setInterval(kRaiseIntervalMs);
  connect(Timer, &QTimer::timeout, this, [this] { raise(); });
  Timer->start();

  SetKind();
}

void TDMessages::SetKind() {
  const int offset = Normal ? 0 : 3;
  // Settings for every kind, done first: an exit button and a hidden view
  // button that keeps its right edge.
  btWatchExit->SetCaptions(U("&Выход"), U("&Вихід"));
  btWatchExit->show();
  SetClick(btWatchExit, Handler::No);
  btYes->hide();
  btNoWatch->SetCaptions(U("&Просмотр"), U("&Перегляд"));
  SetClick(btNoWatch, Handler::View);
  MoveBy(btNoWatch, -25, 0);
  SetWidth(btNoWatch, 75);
  btNoWatch->hide();
  Anchor = btWatchExit;

  switch (Kind) {
  case mk_Error:
    IconIndex = 0 + offset;
    break;
  case mk_Warning:
    IconIndex = 2 + offset;
    break;
  case mk_Choice:
    IconIndex = 1 + offset;
    for (TZMLButton *b : {btYes, btWatchExit, btNoWatch}) {
      const QString digit = b == btYes         ? QStringLiteral("1")
                            : b == btWatchExit ? QStringLiteral("2")
                                               : QStringLiteral("3");
      b->SetCaptions(digit, digit);
    }
    SetClick(btWatchExit, Handler::View);
    SetClick(btNoWatch, Handler::No);
    MoveBy(btNoWatch, 25, 0);
    SetWidth(btNoWatch, 50);
    MoveBy(btWatchExit, (btWatchExit->width() - 50) / 2, 0);
    SetWidth(btWatchExit, 50);
    btYes->show();
    btWatchExit->show();
    btNoWatch->show();
    Anchor = btYes;
    break;
  case mk_QuestionAsk:
  case mk_Question:
    if (Kind == mk_QuestionAsk) {
      Ask->show();
      Anchor = Ask;
    }
    IconIndex = 1 + offset;
    btWatchExit->SetCaptions(U("&Просмотр"), U("&Перегляд"));
    btNoWatch->SetCaptions(U("&Нет"), U("&Ні"));
    SetClick(btWatchExit, Handler::View);
    SetClick(btNoWatch, Handler::No);
    btYes->show();
    MoveBy(btNoWatch, 25, 0);
    SetWidth(btNoWatch, 50);
    btNoWatch->show();
    btWatchExit->hide();
    if (Kind == mk_Question)
      Anchor = btYes;
    break;
  default:
    break; // the request title and nothing else
  }
  Image->setPixmap(MessageIcon(IconIndex, devicePixelRatioF()));
}

void TDMessages::SetClick(TZMLButton *button, Handler handler) {
  disconnect(button, &QPushButton::clicked, this, nullptr);
  connect(button, &QPushButton::clicked, this, [this, handler] {
    switch (handler) {
    case Handler::Yes:
      YesClick();
      break;
    case Handler::No:
      NoClick();
      break;
    case Handler::View:
      ViewClick();
      break;
    }
  });
}

QString TDMessages::Title(EMsgKind kind) {
  const bool rus = InterfaceRussian();
  switch (kind) {
  case mk_Error:
    return U(rus ? "     О ш и б к а  !" : "     П о м и л к а  !");
  case mk_Warning:
    return U(rus ? "     П р е д у п р е ж д е н и е  !" : "     П о п е р е д ж е н н я  !");
  default:
    return U(rus ? "     З а п р о с  !" : "     З а п и т  !");
  }
}

QFont TDMessages::DrawingFont() const {
  QFont f = DialogFont();
  f.setBold(!Normal);
  return f;
}

void TDMessages::setVisible(bool visible) {
  // The layout comes before the window appears, so that it is centred at its
  // final size.
  if (visible && !LaidOut) {
    LaidOut = true;
    LayOut();
  }
  QDialog::setVisible(visible);
}

void TDMessages::LayOut() {
  setWindowTitle(Title(Kind));
  if (!Text.empty() && Text[0] == '~') {
    Text.erase(0, 1);
    Centered = false;
  }
  QtTextSurface measure(DrawingFont(), Qt::black);
  int total = 0;
  int largest = 0;
  const int available = width() - (Image->width() + 2 * Image->x());
  LineCount = FormatTextWord(Text, available, measure, Lines, false, total, largest);
  TextHeight = total + 6;

  // A text too long for the screen is cut where the screen ends, so that the
  // buttons stay within reach; the lines below are not drawn.
  const QScreen *screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
  if (screen) {
    const int room =
        screen->availableGeometry().height() - 2 * DesignFrameHeight - (height() - Anchor->y());
    TextHeight = std::min(TextHeight, std::max(room, 0));
  }

  const int anchorTop = Anchor->y();
  const int floor = Image->height() + 10;
  Shrink = -DesignFrameHeight + anchorTop - TextHeight;
  if (anchorTop - Shrink < floor)
    Shrink = anchorTop - floor;

  std::vector<QWidget *> moved;
  switch (Kind) {
  case mk_Error:
  case mk_Warning:
    moved = {btWatchExit};
    break;
  case mk_Question:
    moved = {btYes, btNoWatch};
    break;
  case mk_Choice:
    moved = {btYes, btNoWatch, btWatchExit};
    break;
  case mk_QuestionAsk:
    moved = {Ask, btYes, btNoWatch};
    break;
  default:
    break;
  }
  for (QWidget *w : moved)
    MoveBy(w, 0, -Shrink);
  setFixedSize(width(), height() - Shrink);
  Image->move(Image->x(), (Anchor->y() - Image->height()) / 2);

  if (HasLog) {
    TZMLButton *view = nullptr;
    if (Kind == mk_Error || Kind == mk_Warning)
      view = btNoWatch;
    else if (Kind == mk_Question)
      view = btWatchExit;
    if (view) {
      view->show();
      MoveBy(view, 0, -Shrink);
    }
  }
}

TTextRect TDMessages::TextRect() const {
  TTextRect r;
  r.Left = Image->width() + 2 * Image->x();
  r.Top = (Anchor->y() - TextHeight) / 2;
  r.Right = width() - 3;
  r.Bottom = r.Top + TextHeight;
  return r;
}

void TDMessages::paintEvent(QPaintEvent *event) {
  QDialog::paintEvent(event);
  QPainter p(this);
  QtTextSurface surface(DrawingFont(), Normal ? QColor(Qt::black) : QColor(Qt::white), &p);
  CellOutText(Text, TextRect(), surface, Centered ? 1 : 0, 1, LineCount, TextHeight, Lines);
}

void TDMessages::YesClick() {
  if (Kind == mk_Choice)
    Answer = 1;
  done(1);
}

void TDMessages::NoClick() {
  if (Kind == mk_Choice)
    Answer = 3;
  reject();
}

void TDMessages::ViewClick() {
  if (Kind == mk_Choice) {
    Answer = 2;
    reject();
    return;
  }
  Timer->stop();
  const bool missing = (!ErrFile.empty() && !platform::FileExists(ErrFile)) ||
                       (!WarFile.empty() && !platform::FileExists(WarFile));
  if (missing) {
    ShowMessage(NoInfoNotice);
  } else if (!ViewerAnswers().Intercept({ErrFile, WarFile}, 0)) {
    TViewPrt viewer(this);
    viewer.WarFile = WarFile;
    viewer.ErrFile = ErrFile;
    viewer.exec();
  }
  Timer->start();
}

} // namespace gui
