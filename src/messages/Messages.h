// The library's error type and its message output. A caller names a message
// number and passes the variable parts as one argument text ("|" separates
// arguments); creat_msg composes the sentence in the interface language and
// a presenter installed by the front end shows it. The core never shows
// anything itself: every output goes through Present().
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <utility>

// Common exception base of the program.
struct ZException : std::exception {
  std::string Message;
  int32_t HelpContext = 0;
  ZException(std::string message, int32_t helpContext)
      : Message(std::move(message)), HelpContext(helpContext) {}
  const char *what() const noexcept override { return Message.c_str(); }
};

// Failure of the storage, record and service layers: the argument text in
// Message and the message number in HelpContext. Number 0: the text is the
// message; 999: silent; 99: operating-system failure.
struct ZError : ZException {
  ZError(std::string text, int32_t number) : ZException(std::move(text), number) {}
};

// The user asked the program to stop (platform::Interruption()): raised
// between steps of long work by CheckInterruption, it unwinds through the
// failure paths as a failure does, but is reported as a stop, not as an error.
struct Interrupted : ZException {
  explicit Interrupted(int signal);
  int Signal;
};

// Raises Interrupted once the user has asked to stop; otherwise does nothing.
// Loops over records and chunks call it at each step.
void CheckInterruption();

// --- Presenter seam ---------------------------------------------------------

enum EMsgKind : uint8_t {
  mk_Error = 0,
  mk_Question = 1,
  mk_Warning = 2,
  mk_Choice = 3,
  mk_QuestionAsk = 4,
  mk_Info = 100,  // the converter's plain information box (OK only)
  mk_YesNo = 101, // the converter's "Внимание!" Yes/No question box
};

struct MsgRequest {
  EMsgKind Kind = mk_Error;
  bool Normal = true;  // false: the alarm appearance (OutSelRepeat)
  std::string Text;    // composed, UTF-8; "#" is a line break
  bool HasLog = false; // show the view button for the protocols below
  std::string ErrFile; // protocol of errors; empty: none
  std::string WarFile; // protocol of warnings; empty: none
};

// Answers: questions 1 yes / 0 no; mk_Choice 1, 2 or 3; mk_QuestionAsk a bit
// set (bit 0 yes, bit 1 the Ask box ticked); other kinds are ignored.
using MsgPresenter = std::function<int(const MsgRequest &)>;

// Installs a presenter; an empty one restores the default presenter, which
// writes errors, warnings and information to standard error (one line each)
// and answers questions no (0) and choices 3.
void SetPresenter(MsgPresenter p);
// The installed presenter (empty when the default one is in use).
const MsgPresenter &CurrentPresenter();
int Present(const MsgRequest &r);

// Installs a presenter for its lifetime and restores the previous one.
struct ScopedPresenter {
  explicit ScopedPresenter(MsgPresenter p);
  ~ScopedPresenter();
  ScopedPresenter(const ScopedPresenter &) = delete;
  ScopedPresenter &operator=(const ScopedPresenter &) = delete;

private:
  MsgPresenter Previous;
};

// --- Composition --------------------------------------------------------------

// Asked for templates outside the built-in ranges: (number as 16 bits,
// interface language is Russian, maximum length 800) -> template or empty.
using MsgLoader = std::function<std::string(uint16_t number, bool russian, int maxLen)>;
extern MsgLoader cLoadMsg; // empty at start

// The program's string table (empty: the program ships no message texts).
std::string LoadResString(int32_t number);
void SetResString(int32_t number, std::string text); // for front ends and tests
void ClearResStrings();

// Composes the message `number` with the arguments of `args`.
std::string creat_msg(const std::string &args, int32_t number);

// --- Output -------------------------------------------------------------------

void OutErr(const std::string &text, int32_t number); // 999 shows nothing
void OutErr(const ZError *e);                         // null or 999: nothing
void OutErr(const ZError &e);

// Runs close() for a destructor: a ZError it raises is shown through OutErr,
// anything else is swallowed; nothing leaves.
template <class Close> void CloseAndReport(Close close) noexcept {
  try {
    close();
  } catch (const ZError &e) {
    try {
      OutErr(e);
    } catch (...) {
    }
  } catch (...) {
  }
}
void OutErrLog(const std::string &text, int32_t number, const std::string &errFile,
               const std::string &warFile);
void OutWar(const std::string &text, int32_t number); // composes number + 1000
void OutWarLog(const std::string &text, int32_t number, const std::string &errFile,
               const std::string &warFile);
bool OutSel(const std::string &text, int32_t number); // composes number + 2000
bool OutSelRepeat(const std::string &text, int32_t number);
bool OutSelLog(const std::string &text, int32_t number, const std::string &errFile,
               const std::string &warFile);
int SelVarAnswer(const std::string &text, int32_t number); // 1, 2 or 3
int MRestNo(const std::string &text); // bit 0 yes, bit 1 Ask ticked; text not composed
// Generic error 99 with the system's text of the last error, when there is one.
void OutUnDefError(const std::string &text);
// Raises ZError(text + "#(" + system text + "[Win=XXXXXXXX])", 99).
[[noreturn]] void OutSystemError(const std::string &text);
[[noreturn]] void SetError(const std::string &text, int32_t number);

// The converter's own boxes.
void ShowMessage(const std::string &text); // mk_Info
bool AskYesNo(const std::string &text);    // mk_YesNo; true for yes
