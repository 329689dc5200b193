// Scripted answers for dialogs, in the style of "next answer": a test or a
// scripted demo queues the answers the next dialogs of a kind give. While a
// queue is armed (by a Push or by Arm), a dialog of its kind does not open:
// it records what it would have shown and returns the next queued answer, or
// the answer of closing it when the queue has run dry (counted as
// unanswered). A queue that is not armed lets the dialogs open for real.
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "MassConversion.h"
#include "Messages.h"

namespace gui {

template <class Answer, class Record> class AnswerQueue {
public:
  void Push(Answer answer) {
    Armed_ = true;
    Queue_.push_back(std::move(answer));
  }
  void Arm() { Armed_ = true; }
  // Disarms and forgets the answers and the records.
  void Reset() {
    Armed_ = false;
    Queue_.clear();
    Shown_.clear();
    Unanswered_ = 0;
  }
  bool Armed() const { return Armed_; }

  // Asked by a dialog before it opens: no value means "open for real".
  std::optional<Answer> Intercept(Record shown, Answer closed) {
    if (!Armed_)
      return std::nullopt;
    Shown_.push_back(std::move(shown));
    if (Queue_.empty()) {
      ++Unanswered_;
      return closed;
    }
    Answer a = std::move(Queue_.front());
    Queue_.pop_front();
    return a;
  }

  const std::vector<Record> &Shown() const { return Shown_; }
  size_t Pending() const { return Queue_.size(); }
  int Unanswered() const { return Unanswered_; }

private:
  bool Armed_ = false;
  std::deque<Answer> Queue_;
  std::vector<Record> Shown_;
  int Unanswered_ = 0;
};

// Every request of the presenter: the message dialog (kinds 0 to 4), the
// information box and the Yes/No question. Answers as the presenter seam
// gives them (see MsgPresenter).
AnswerQueue<int, MsgRequest> &MessageAnswers();

// The text viewer opened from the message dialog's view button.
struct ViewerRequest {
  std::string ErrFile;
  std::string WarFile;
};
AnswerQueue<int, ViewerRequest> &ViewerAnswers();

// The folder dialog: the answer is the chosen folder, empty for cancel; the
// record is the dialog's title.
AnswerQueue<std::string, std::string> &FolderAnswers();

// The open and save dialogs of a file: the answer is the chosen name, empty
// for cancel.
struct FileDialogRequest {
  std::string Title;
  std::string Folder; // where it opens; empty: where it opened last
  std::string Name;   // the file name it proposes
  std::string Filter; // its one filter entry, "description (*.EXT)"
};
AnswerQueue<std::string, FileDialogRequest> &OpenFileAnswers();
AnswerQueue<std::string, FileDialogRequest> &SaveFileAnswers();

// The selection dialog: the answer acts on the filled dialog (ticks rows,
// presses its buttons) and returns true for OK; the record is the selection
// as it was offered. A dialog without an answer is cancelled.
class TFrmChkSel;
using SelectionAnswer = std::function<bool(TFrmChkSel &)>;
AnswerQueue<SelectionAnswer, Selection> &SelectionAnswers();

// Resets every queue.
void ResetDialogHooks();

} // namespace gui
