// The conversion engine: the edition check, the per-file driver and the
// conversions of model and composite files from edition 2.10.5 to 2.10.4.
//
// The engine shows nothing itself: messages and questions go through the
// presenter of the messages layer (OutErr, OutUnDefError, ShowMessage, AskYesNo).
// Sources are only read. A target is written under a temporary name in its own
// folder, checked, and takes its final name with one atomic rename that
// replaces only what the user agreed to replace; a failed conversion leaves no
// file behind and an existing target untouched. Temporary files (the unpacked
// inner file, the parts of a composite) live in a private temporary folder
// made for each conversion and removed afterwards; see WorkFiles.h for what
// happens when a run is killed.
#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "Messages.h"
#include "RecordBuffer.h"
#include "WorkFiles.h"

class WFile;
class TempFolder;
class ScopedPlainNames;
struct BoibFieldList;

// What happens when the target of ConvertFile already exists.
enum class ExistingTarget {
  Copy,    // the new file goes to the "-k" name; the existing file stays
  Replace, // the existing file is replaced, without a question, at the final rename
  Ask, // AskYesNo("Заменить файл?\n" + target): Yes replaces, No gives the "-k" name
};

// How ConvertFile ended.
enum class ConvertStatus {
  Converted,   // the target is written
  Refused,     // refused before anything was done; see Refusal
  Failed,      // the conversion ran and failed; no target was written
  Interrupted, // the user asked to stop (a signal) before it ended; no target was written
};

// Why a file was refused.
enum class Refusal {
  None,
  SameFile,     // the target is the source itself ("сам в себя")
  OtherEdition, // not a block file of edition 2.10.5
  NoSource,     // the source does not exist, is not a plain file or cannot be opened
};

struct ConvertOutcome {
  ConvertStatus status = ConvertStatus::Failed;
  Refusal refusal = Refusal::None;
  // Where the converted file went, or would have gone (the "-k" name when chosen).
  std::string target;
  // Refused or failed: why, as one text for the front ends, besides the
  // messages the engine has shown. A failure gives the error that ended it:
  // its composed text, or "NAME: system text" for a failure of the operating
  // system. Names in it are the user's paths, never temporary ones.
  std::string reason;
  bool ok() const { return status == ConvertStatus::Converted; }
};

// The closing message a front end shows after ConvertFile: "Преобразование
// завершено." after a conversion, "Преобразование завершено с ошибкой!" after a
// failure, "Преобразование прервано!" after an interruption; empty after a
// refusal, whose own message has said everything.
std::string ClosingMessage(const ConvertOutcome &outcome);

// What the edition check finds in a file.
enum class SourceState {
  Convertible,  // a block file of edition 2.10.5
  OtherEdition, // opened and read, but not a block file of edition 2.10.5
  Unreadable,   // missing, not a plain file, or refused by the system
};

struct SourceCheck {
  SourceState state = SourceState::Unreadable;
  std::string reason; // Unreadable: why, in the system's words where it gave them
};

// One line for a front end from an error: its composed text, or "NAME: system
// text" for a failure of the operating system ("system text" alone when it
// names nothing).
std::string ErrorReason(const ZError &e);

// Created once by the window or the command line; one conversion at a time.
class Engine {
public:
  Engine();  // creates Rec, initialises the record-buffer pool, builds the Boib field list
  ~Engine(); // releases in reverse: the Boib field list, the pool, Rec last
  Engine(const Engine &) = delete;
  Engine &operator=(const Engine &) = delete;

  // The edition check: Convertible when `path` is a block file whose logical
  // file 0 begins with "5-2.10.5". Opens the file read-only and reads only
  // that record: a file damaged elsewhere passes, and its conversion reports
  // the damage. Unreadable when the file is missing, is no plain file, or the
  // system refuses to open or read it; OtherEdition for everything else.
  // Shows nothing; raises nothing but Interrupted.
  SourceCheck CheckSource(const std::string &path);
  bool IsSourceEdition(const std::string &path) {
    return CheckSource(path).state == SourceState::Convertible;
  }

  // The one road by which a file is converted: the edition gate, the same-file
  // refusal, the decision for an existing target, the target folder and the
  // dispatch by kind (3: composite, any other: model). Shows its messages;
  // never throws.
  //
  // Anything under the target's name counts as existing, also a link that
  // leads nowhere. A target that is a link is written through it (the link
  // stays). The final rename replaces a file only when it existed at the
  // start and replacing was agreed (or it is an earlier "-k" copy); a file
  // that appears at the target meanwhile sends the result to the "-k" name,
  // and one that appears there too fails the conversion. With `run`, a final
  // name that the run has written fails the conversion, the file written is
  // added to it, and the folder of a replaced file is synced when it ends. Target folders the
  // conversion made are removed again, when empty, if it does not succeed.
  ConvertOutcome ConvertFile(const std::string &source, const std::string &target, uint8_t kind,
                             ExistingTarget policy, RunFiles *run = nullptr);

  // Converts one model file of kind `kind` (1, 2 and 11 with Boib conversion)
  // into `target`, replacing a file there at the final rename. True = failed
  // (the failure messages have been shown and no target was written).
  bool ConvertModel(const std::string &source, const std::string &target, uint8_t kind);

  // Converts a composite file into `target`. True = failed, as above.
  bool ConvertComposite(const std::string &source, const std::string &target);

  // Why the last ConvertModel or ConvertComposite failed (see ConvertOutcome::reason).
  const std::string &FailureReason() const { return Reason_; }
  // Whether it failed because the user asked to stop.
  bool Stopped() const { return Stopped_; }

  WRec Rec; // the shared record buffer

  // The Boib field list (612 descriptors), built by the constructor.
  const BoibFieldList &BoibFields() const { return *Boib_; }

private:
  // The procedures, writing to `dest` and committing with `run`.
  bool ConvertModelTo(const std::string &source, const Destination &dest, uint8_t kind,
                      RunFiles *run);
  bool ConvertCompositeTo(const std::string &source, const Destination &dest, RunFiles *run);
  // Before the first private folder, or the first temporary target in a
  // folder, of this engine: what dead runs left there goes.
  void SweepOnce(const std::string &folder, Leftover kind);
  // The message of a conversion that failed or was stopped.
  void ShowFailure(const std::string &source) const;

  // The model conversion into `out`, with its temporary files in `work`; raises on failure.
  void ModelSteps(const std::string &source, const std::string &out, uint8_t kind,
                  const TempFolder &work);
  // One part of a composite: converted into `out` inside `work`; on failure shows
  // the failure message for `label` (the part's stored name) and returns true.
  bool ConvertPart(const std::string &part, const std::string &out, uint8_t kind,
                   const TempFolder &work, const std::string &label);

  // A conversion starts with no names to replace and no reason.
  void Start();
  // From now on, messages and reasons name `shown` where they would name the
  // temporary file `temp`.
  void ShowAs(const std::string &temp, const std::string &shown);
  // The temporary target and the storage layer's companions of it ("$", "$$").
  void ShowTargetAs(const std::string &temp, const std::string &target);
  std::string Named(std::string text) const;
  ZError Named(const ZError &e) const;
  // Shows e through OutErr, naming the user's files.
  void Show(const ZError &e) const;
  // Keeps the reason of the first failure of the conversion.
  void NoteFailure(const std::exception_ptr &error);

  class NamingPresenter;
  std::vector<std::pair<std::string, std::string>> ShownNames_; // longest temporary name first
  std::string Reason_;
  bool Stopped_ = false; // the failure noted was the user's request to stop
  FinalName Landed_;     // where the last conversion's file went
  std::set<std::pair<std::string, Leftover>> Swept_;

  // The converter loads no aliases: every name it is given is a real path,
  // also one with "#" in it.
  std::unique_ptr<ScopedPlainNames> PlainNames_;
  std::unique_ptr<BoibFieldList> Boib_;
};

// The "-k" name of a target: "-k" before the last dot of the file name (never
// in a folder name); a file name without a dot gets "-k" appended.
std::string KName(const std::string &target);

// Writes the plain file `plainPath` into logical file n of f, which the caller
// has created with WCreat_file and not yet closed, in records of at most 10000
// bytes; the first record has the flag byte 1, the others 0. On failure shows
// "Неопределенная ошибка при создании файлов ИМСП" (unless the user asked to
// stop), commits what was written and returns true. On success logical file n is left open for the
// caller. When `error` is given, it receives what ended a failure.
bool EmbedFile(WFile &f, uint32_t n, const std::string &plainPath,
               std::exception_ptr *error = nullptr);

// Replaces logical file 0 of f by one record holding NewEdition.
void StampEdition(WFile &f);

// Appends the 8-byte checksum trailer (ASumKs over 512-byte blocks: sum, then
// carry count, little-endian) to the file at `path`.
void AppendChecksum(const std::string &path);
