// The window's presenter for the message core: requests of kinds 0 to 4 are
// shown in the message dialog, the converter's information box and its
// "Внимание!" question in Qt's standard message boxes, modal for the whole
// application and on top. The answer queues of DialogHooks.h intercept every
// request first. A request raised on a worker thread is shown by the window
// thread while the worker waits for the answer, so messages and questions
// keep the engine's order.
#pragma once

#include <functional>

#include "Messages.h"

namespace gui {

// Shows one request on the calling (window) thread and returns its answer as
// the presenter seam gives it: questions 1 yes / 0 no, mk_Choice 1 to 3,
// mk_QuestionAsk bit 0 yes and bit 1 the Ask box ticked, otherwise 0.
int ShowRequest(const MsgRequest &r);

// Installs the presenter of the message core: ShowRequest on the window
// thread, called there from any other thread.
void InstallWindowPresenter();

// Runs `f` on the window thread and returns when it has run (at once when
// called there). The calling thread must not be one the window thread waits for.
void OnWindowThread(const std::function<void()> &f);

// The caption of the Yes/No question box.
extern const char *const AskYesNoTitle;

} // namespace gui
