#include "WindowPresenter.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>

#include "BilingualControls.h"
#include "DialogHooks.h"
#include "MessageDialog.h"

namespace gui {

const char *const AskYesNoTitle = "Внимание!";

namespace {

// The answer of closing a dialog of the kind without choosing.
int ClosedAnswer(EMsgKind kind) {
  return kind == mk_Choice ? 3 : 0;
}

int ShowMessageDialog(const MsgRequest &r) {
  TDMessages dlg(nullptr, r.Kind, r.Normal);
  dlg.Text = r.Text;
  dlg.HasLog = r.HasLog;
  dlg.ErrFile = r.ErrFile;
  dlg.WarFile = r.WarFile;
  const bool yes = dlg.exec() == 1;
  switch (r.Kind) {
  case mk_Question:
    return yes ? 1 : 0;
  case mk_Choice:
    return dlg.Answer;
  case mk_QuestionAsk:
    return (yes ? 1 : 0) | (dlg.Ask->isChecked() ? 2 : 0);
  default:
    return 0;
  }
}

// A standard box, modal for the whole application and on top.
int ShowBox(QMessageBox::Icon icon, const QString &title, const std::string &text,
            QMessageBox::StandardButtons buttons) {
  QMessageBox box(icon, title, QString::fromUtf8(text), buttons);
  box.setTextFormat(Qt::PlainText);
  box.setWindowModality(Qt::ApplicationModal);
  box.setWindowFlag(Qt::WindowStaysOnTopHint);
  return box.exec();
}

} // namespace

int ShowRequest(const MsgRequest &r) {
  if (const auto answer = MessageAnswers().Intercept(r, ClosedAnswer(r.Kind)))
    return *answer;
  switch (r.Kind) {
  case mk_Info:
    ShowBox(QMessageBox::NoIcon, QGuiApplication::applicationDisplayName(), r.Text,
            QMessageBox::Ok);
    return 0;
  case mk_YesNo:
    return ShowBox(QMessageBox::Question, QString::fromUtf8(AskYesNoTitle), r.Text,
                   QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes
               ? 1
               : 0;
  default:
    return ShowMessageDialog(r);
  }
}

void OnWindowThread(const std::function<void()> &f) {
  QCoreApplication *app = QCoreApplication::instance();
  if (!app || QThread::currentThread() == app->thread()) {
    f();
    return;
  }
  QMetaObject::invokeMethod(app, f, Qt::BlockingQueuedConnection);
}

void InstallWindowPresenter() {
  SetPresenter([](const MsgRequest &r) {
    int answer = 0;
    OnWindowThread([&] { answer = ShowRequest(r); });
    return answer;
  });
}

} // namespace gui
