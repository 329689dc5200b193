// Mass conversion: every convertible file of edition 2.10.5 in a source
// folder tree, converted into the same relative place under a target folder.
// The engine part of the mass page: the selection list (kind by kind in code
// order), the questions about existing targets, and the run. Front ends show
// the selection, print the results and install the presenter that answers
// the questions.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "Conversion.h"

// One row of the selection list: a header row per kind that has files, then
// one row per file of that kind.
struct SelectionRow {
  bool header = false;
  uint8_t kind = 0;    // the kind code (header rows; file rows: of their header)
  std::string text;    // header: the kind's description; file: its full path
  bool enabled = true; // header rows are disabled
  bool ticked = false; // file rows start ticked; header rows never are
};
using Selection = std::vector<SelectionRow>;

// What the mass conversion could not look at, and why. A file is here when
// it could not be opened or read for the edition check (no permission, a
// path too long); files that are simply not of edition 2.10.5 are passed
// over without a word. A folder is here when it could not be listed.
struct Skipped {
  std::string path;   // a folder's path ends with the separator
  std::string reason; // in the system's words where it gave them
  uint8_t kind = 0;   // a file: the kind whose search found it; a folder: 0
};

// Keeps the paths of `files` that pass the edition check (in their order)
// and, when any is left, appends the kind's header row and one ticked row per
// path to `sel`. Files that cannot be opened for the check are appended to
// `skipped` when it is given.
void AddKindToSelection(Engine &engine, uint8_t kind, std::vector<std::string> &files,
                        Selection &sel, std::vector<Skipped> *skipped = nullptr);

// The selection for a whole tree: for each offered kind in code order, the
// files found by GetFileList(sourceFolder, "*." + extension). `sourceFolder`
// ends with the separator. Folders that cannot be listed, and files that
// cannot be opened for the edition check, go to `skipped` when it is given.
Selection BuildSelection(Engine &engine, const std::string &sourceFolder,
                         std::vector<Skipped> *skipped = nullptr);

// The target of `source`: `targetFolder` followed by the part of `source`
// after the length of `sourceFolder` (both folders end with the separator).
std::string MassTargetPath(const std::string &sourceFolder, const std::string &targetFolder,
                           const std::string &source);

// What a file of the run will do with an existing target.
struct PlannedFile {
  size_t row = 0; // index of its row in the selection
  std::string source, target;
  uint8_t kind = 0;
  ExistingTarget policy = ExistingTarget::Copy;
};

// Settles the existing targets of every enabled, ticked file row, in list
// order. With policy Ask and an existing target: AskYesNo("Заменить файл?\n" +
// target); Yes gives that file Replace (replaced at its final rename, nothing
// is deleted now); No asks AskYesNo("Прервать преобразование?"): Yes cancels
// (returns false, `plan` is then incomplete), No gives that file Copy (the
// "-k" name). With Copy or Replace nothing is asked; a target that does not
// exist gets Copy when the policy is Ask. Returns true when the run may start.
bool PrepareMassConversion(const Selection &sel, const std::string &sourceFolder,
                           const std::string &targetFolder, ExistingTarget policy,
                           std::vector<PlannedFile> &plan);

struct MassResult {
  std::string source;
  uint8_t kind = 0;
  ConvertOutcome outcome; // status, target (where it went or would have gone), reason
  bool ok() const { return outcome.ok(); }
};

// Told before each file of a run: the file, its place in the run (from 0) and
// the number of files planned.
using MassStartHook = std::function<void(const PlannedFile &, size_t index, size_t total)>;
using MassResultHook = std::function<void(const MassResult &)>;

// Asked before each file of a run; true ends the run before that file.
using MassStopHook = std::function<bool()>;

// Converts every planned file with ConvertFile. After a failure or refusal,
// when `askAfterFailure`, AskYesNo("Прервать преобразование?"): Yes stops the
// run. An interruption (the user's request to stop) ends the run after the
// file it stopped, or before the next one. No file of the run replaces one
// that an earlier file of the run wrote. `onStart` and `onResult`, when given,
// see each file as it starts and each result as it comes; `shouldStop`, when
// given, is asked before each file.
//
// With `jobs` above 1 (not yet on Windows), no question after a failure and
// no `shouldStop`, up to `jobs` files are converted at once, each by an
// engine of its own on a thread of its own
// (`engine` is not used). Everything is still told in list order: a file's
// messages are kept until the files before it are told, then shown together,
// with `onStart` just before them and `onResult` after them. A file whose
// source or possible targets are those of an earlier file waits for it, so
// that the files written are the same for every number of jobs. A question
// asked during the run (none is: they are settled before it) is answered no,
// a choice 3. An interruption stops every file under way; the files not begun
// get no result.
std::vector<MassResult> RunMassConversion(Engine &engine, const std::vector<PlannedFile> &plan,
                                          bool askAfterFailure, const MassResultHook &onResult,
                                          const MassStartHook &onStart = {},
                                          const MassStopHook &shouldStop = {}, unsigned jobs = 1);

enum class MassStatus {
  SameFolder,   // source and target folders are equal: nothing searched
  NothingFound, // no file of edition 2.10.5 in the tree
  Cancelled,    // the selection was cancelled, or "Прервать" during the questions
  Done,         // the run took place (some files may have failed)
  Stopped,      // the run was stopped between two files by `shouldStop`
  Interrupted,  // the user asked to stop; the results so far are in the report
};

struct MassReport {
  MassStatus status = MassStatus::Done;
  std::vector<MassResult> results;
  std::vector<Skipped> skipped; // in the order they were met
  int converted() const;
  int failed() const; // failed or refused
};

struct MassRequest {
  std::string sourceFolder, targetFolder; // each ends with the separator
  ExistingTarget policy = ExistingTarget::Ask;
  bool askAfterFailure = true;
  // Shown the selection before the questions (the selection dialog); may
  // untick rows. Returning false cancels.
  std::function<bool(Selection &)> select;
  MassStartHook onStart;
  MassResultHook onResult;
  // Asked before each file of the run (the window's Cancel): true ends the run
  // there, the file under way having finished, with "Отменено пользователем".
  MassStopHook shouldStop;
  // The closing "Преобразование завершено !" gets a second line with the
  // counts (the window, which prints no line per file).
  bool closingCounts = false;
  unsigned jobs = 1; // files converted at once (see RunMassConversion)
};

// The whole mass command: the same-folder refusal, the selection, the
// questions and the run, with their final messages ("Не найдено ни одного
// файла", "Отменено пользователем", "Преобразование завершено !",
// "Преобразование прервано !"; a run stopped by `shouldStop` also ends with
// "Отменено пользователем"). What could not be looked at is in the report's
// `skipped`, whatever the status.
MassReport MassConvert(Engine &engine, const MassRequest &request);
