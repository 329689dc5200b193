// Helpers of the window's tests: the program-wide language and presenter
// state put back as at start, and actions on the modal dialog that a call
// under test opens.
#pragma once

#include <QApplication>
#include <QDeadlineTimer>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <functional>

#include "BilingualText.h"
#include "DialogHooks.h"
#include "Messages.h"
#include "WindowPresenter.h"

namespace guitest {

// Ukrainian interface, the window's presenter, no scripted answers.
inline void ResetState() {
  Cfg[CfgIfaceLangPos] = 0;
  IFaceLang = elg_Ukr;
  gui::ResetDialogHooks();
  gui::InstallWindowPresenter();
}

inline void SetRussian() {
  Cfg[CfgIfaceLangPos] = 1;
  IFaceLang = elg_Rus;
}

// Once a modal dialog of type W is open, runs `act` on it. When none opens
// within the time, or the act leaves the dialog open (a failed check inside
// it returns early), closes the modal window, so that the test fails instead
// of hanging; `opened` and `leftOpen` tell what happened.
template <class W> class WhenModal : public QObject {
public:
  explicit WhenModal(std::function<void(W *)> act, int timeoutMs = 5000)
      : Act(std::move(act)), Deadline(timeoutMs) {
    Poll();
  }
  bool opened = false;
  bool leftOpen = false;

private:
  std::function<void(W *)> Act;
  QDeadlineTimer Deadline;

  void Poll() {
    QTimer::singleShot(10, this, [this] {
      if (auto *w = qobject_cast<W *>(QApplication::activeModalWidget())) {
        opened = true;
        Act(w);
        if (w->isVisible()) {
          leftOpen = true;
          w->close();
        }
      } else if (Deadline.hasExpired()) {
        if (QWidget *any = QApplication::activeModalWidget())
          any->close();
      } else {
        Poll();
      }
    });
  }
};

} // namespace guitest
