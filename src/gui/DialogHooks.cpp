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

AnswerQueue<std::string, std::string> &FolderAnswers() {
  static AnswerQueue<std::string, std::string> queue;
  return queue;
}

AnswerQueue<std::string, FileDialogRequest> &OpenFileAnswers() {
  static AnswerQueue<std::string, FileDialogRequest> queue;
  return queue;
}

AnswerQueue<std::string, FileDialogRequest> &SaveFileAnswers() {
  static AnswerQueue<std::string, FileDialogRequest> queue;
  return queue;
}

AnswerQueue<SelectionAnswer, Selection> &SelectionAnswers() {
  static AnswerQueue<SelectionAnswer, Selection> queue;
  return queue;
}

void ResetDialogHooks() {
  MessageAnswers().Reset();
  ViewerAnswers().Reset();
  FolderAnswers().Reset();
  OpenFileAnswers().Reset();
  SaveFileAnswers().Reset();
  SelectionAnswers().Reset();
}

} // namespace gui
