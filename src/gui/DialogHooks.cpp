#include "DialogHooks.h"

namespace gui {

AnswerQueue<int, MsgRequest> &MessageAnswers() {
  static AnswerQueue<int, MsgRequest> queue;
  return queue;
}

AnswerQueue<int, ViewerRequest> &ViewerAnswers() {
  static AnswerQueue<int, ViewerRequest> queue;
  return queue;
}

void ResetDialogHooks() {
  MessageAnswers().Reset();
  ViewerAnswers().Reset();
}

} // namespace gui
