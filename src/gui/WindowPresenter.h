// The window's presenter for the message core: requests of kinds 0 to 4 are
// shown in the message dialog, the converter's information box and its
// "Внимание!" question in Qt's standard message boxes, modal for the whole
// application and on top. The answer queues of DialogHooks.h intercept every
// request first.
#pragma once

#include "Messages.h"

namespace gui {

// Shows one request on the calling (window) thread and returns its answer as
// the presenter seam gives it: questions 1 yes / 0 no, mk_Choice 1 to 3,
// mk_QuestionAsk bit 0 yes and bit 1 the Ask box ticked, otherwise 0.
int ShowRequest(const MsgRequest &r);

// Installs ShowRequest as the presenter of the message core.
void InstallWindowPresenter();

// The caption of the Yes/No question box.
extern const char *const AskYesNoTitle;

} // namespace gui
