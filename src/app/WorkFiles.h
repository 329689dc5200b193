// Files a conversion works with: its private temporary folder and the files
// in it, the target written under a temporary name in the target's own
// folder and its final rename, target folders made for a conversion, and
// block files that are abandoned quietly when a conversion fails.
//
// Nothing here depends on clean-up code running: a run may be killed or lose
// its power at any moment. Temporary files that need no name get none where
// the system allows it (they vanish with their process). Those that need one
// carry a fixed marker, "zepconv-" and six letters or digits for a private
// folder in the system's temporary folder, ".zepconv-" and six for a
// temporary target in a target's folder, and are held in use by their run
// (platform::ClaimInUse) for as long as it lives. A later run that finds one
// it can claim knows that its owner died and removes it; one held by a live
// run stays.
#pragma once

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "BlockFile.h"
#include "Platform.h"

// Which leftovers of dead runs a folder is searched for.
enum class Leftover {
  PrivateFolder,  // "zepconv-XXXXXX" folders in the system's temporary folder
  TemporaryTarget // ".zepconv-XXXXXX" files in a target's folder
};
// True when `name` carries the marker of such a leftover.
bool HasLeftoverMarker(const std::string &name, Leftover kind);
// Removes from `folder` the entries of that kind that no live run holds.
void RemoveDeadRunsLeftovers(const std::string &folder, Leftover kind);

// A private folder made for one conversion in the system's temporary folder,
// held in use while the object lives, and removed with everything in it when
// the object goes, whether the conversion succeeded or not.
class TempFolder {
public:
  TempFolder(); // raises ZError when no folder can be made
  ~TempFolder();
  TempFolder(const TempFolder &) = delete;
  TempFolder &operator=(const TempFolder &) = delete;

  const std::string &Path() const { return Path_; } // ends in the separator
  std::string File(const std::string &name) const { return Path_ + name; }

private:
  std::string Path_;
  platform::Handle Held = platform::InvalidHandle;
};

// A temporary file of a conversion, empty at first: without a name where the
// system allows it (it then goes with this object, or with the process
// however it ends), else the file `name` in the private folder. Path() opens
// it again while the object lives; the storage layer opens it by that name,
// for writing with SFile(Path(), InPlace{}).
class WorkFile {
public:
  WorkFile(const TempFolder &folder, const std::string &name); // raises ZError
  ~WorkFile();
  WorkFile(const WorkFile &) = delete;
  WorkFile &operator=(const WorkFile &) = delete;

  const std::string &Path() const { return Path_; }

private:
  std::string Path_;
  platform::Handle H = platform::InvalidHandle;
  bool Named = false;
};

// A final name of a converted file.
struct FinalName {
  std::string name;     // as the user gave it: what messages and results say
  std::string path;     // where the file goes: `name` with its links followed
  bool replace = false; // a file there may be replaced (agreed for a file that existed)
};
// `name` with its links followed (links that go round in a circle are not:
// the link itself is then the file).
FinalName FinalNameAt(const std::string &name, bool replace);

// Where a converted file goes: its final name, and the name it takes instead
// when the first one is taken at the final rename by a file that may not be
// replaced (the "-k" name), if any.
struct Destination {
  FinalName first;
  std::optional<FinalName> fallback;
};

// What the conversions of one run (a mass conversion) share: the files the
// run has written, whatever names lead to them, so that a later conversion
// never replaces one of them; and the folders in which it replaced files,
// whose entries reach the disk together when the run ends (one folder sync
// each, instead of one per file: the files' data is synced before each
// rename anyway, so a power cut meanwhile leaves old or new files, whole).
class RunFiles {
public:
  RunFiles() = default;
  ~RunFiles(); // syncs the folders still pending
  RunFiles(const RunFiles &) = delete;
  RunFiles &operator=(const RunFiles &) = delete;

  bool Has(const std::string &path) const;
  void Add(const std::string &path);
  void SyncFolderLater(const std::string &folder);
  void SyncFolders();

private:
  std::set<platform::FileId> Ids;
  std::set<std::string> Folders;
};

// The file a target is written under until it is complete: ".zepconv-" and
// six letters or digits in the target's folder (short and of fixed length,
// so that every target name the file system accepts can be written, and on
// the same file system, so that the final rename is atomic), held in use
// while the object lives. Unless committed, it is removed when the object goes.
class TempTarget {
public:
  // Creates it in `folder` (ending in the separator, or empty for the
  // current folder); a failure raises the system's error naming `shown`.
  TempTarget(const std::string &folder, const std::string &shown);
  ~TempTarget();
  TempTarget(const TempTarget &) = delete;
  TempTarget &operator=(const TempTarget &) = delete;

  const std::string &Path() const { return Path_; }

  // Gives the file its final name with one atomic rename and returns the name
  // it took. A name that may be replaced is replaced, unless `run` has written
  // it (a run never replaces its own output); the new file then takes the old
  // one's permissions, and its data reaches the disk before the rename and the
  // folder's entry after it (at the end of `run`, when given), so that a
  // power cut leaves the old file or the new one, whole. A name that may not
  // be replaced is taken only while it is free; when a file appeared there,
  // the fallback is tried the same way. Raises ZError naming the user's file
  // when no name can be taken.
  const FinalName &Commit(const Destination &d, RunFiles *run);

private:
  // Renames to f; false when f may not be replaced and is taken.
  bool Place(const FinalName &f, RunFiles *run);

  std::string Path_;
  platform::Handle Held = platform::InvalidHandle;
  bool Committed = false;
};

// Creates `folder` (ending in the separator) and its missing parents,
// appending each folder it creates to `made`, outermost first. A failure is
// left for the creation of the target to report.
void MakeFolders(const std::string &folder, std::vector<std::string> &made);
// Removes the folders of `made` that are empty, innermost first.
void RemoveEmptyFolders(const std::vector<std::string> &made);

// A block file owned by a conversion. Close() ends it normally and raises what
// closing raises; when the object goes without Close() (a failure is being
// handled), a logical file still under creation is discarded first, so that
// nothing is committed and nothing is reported.
class OpenBlock {
public:
  OpenBlock() = default;
  ~OpenBlock();
  OpenBlock(const OpenBlock &) = delete;
  OpenBlock &operator=(const OpenBlock &) = delete;

  template <class... Args> WFile &Open(Args &&...args) {
    F = std::make_unique<WFile>(std::forward<Args>(args)...);
    return *F;
  }
  void Close();

  WFile *operator->() const { return F.get(); }
  WFile &operator*() const { return *F; }
  WFile *get() const { return F.get(); }

private:
  std::unique_ptr<WFile> F;
};

// The folder part of a path, with its separator; empty for a bare file name.
std::string FolderOf(const std::string &path);
// The file name part of a path.
std::string FileNameOf(const std::string &path);
