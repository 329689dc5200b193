#include "WorkFiles.h"

#include <random>

#include "Messages.h"
#include "Platform.h"

namespace {

const std::string FolderMarker = "zepconv-";
const std::string TargetMarker = ".zepconv-";
constexpr size_t MarkLetters = 6;
// Attempts at a fresh temporary name before the last failure is reported.
constexpr int NameAttempts = 100;

bool LetterOrDigit(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

std::string RandomLetters() {
  // One generator per thread: runs on several threads draw names independently.
  thread_local std::mt19937 gen(std::random_device{}());
  static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::uniform_int_distribution<int> pick(0, 35);
  std::string s;
  for (size_t i = 0; i < MarkLetters; ++i)
    s += letters[pick(gen)];
  return s;
}

// True when the claim on a new entry of our own holds, or cannot hold on this
// file system (where no run can claim, and so none removes, anything).
bool ClaimedForUs(platform::Handle h) {
  const platform::Claim c = platform::ClaimInUse(h);
  return c == platform::Claim::Claimed || c == platform::Claim::Unsupported;
}

std::string TakenMessage(const std::string &name) {
  return "Файл " + name + " появился во время преобразования: он не заменен";
}

std::string OwnOutputMessage(const FinalName &f) {
  const std::string link = f.path == f.name ? "" : " (ссылка на " + f.path + ")";
  return "Файл " + f.name + link +
         " уже записан этим же преобразованием из другого файла: он не заменен";
}

} // namespace

bool HasLeftoverMarker(const std::string &name, Leftover kind) {
  const std::string &marker = kind == Leftover::PrivateFolder ? FolderMarker : TargetMarker;
  if (name.size() != marker.size() + MarkLetters || name.compare(0, marker.size(), marker) != 0)
    return false;
  for (size_t i = marker.size(); i < name.size(); ++i)
    if (!LetterOrDigit(name[i]))
      return false;
  return true;
}

void RemoveDeadRunsLeftovers(const std::string &folder, Leftover kind) {
  std::vector<platform::DirEntry> entries;
  if (!platform::ListDir(folder, entries))
    return;
  const bool folders = kind == Leftover::PrivateFolder;
  for (const platform::DirEntry &e : entries) {
    // A link is never ours, whatever its name: it is neither followed nor removed.
    if (e.isLink || (folders ? !e.isDir : !e.isFile) || !HasLeftoverMarker(e.name, kind))
      continue;
    const std::string path = folder + e.name;
    const platform::Handle h = platform::OpenEntry(path);
    if (h == platform::InvalidHandle)
      continue;
    // Removed while claimed, so that no run can take it up meanwhile.
    if (platform::ClaimInUse(h) == platform::Claim::Claimed) {
      if (folders)
        platform::RemoveTree(path);
      else
        platform::RemoveFile(path);
    }
    platform::Close(h);
  }
}

TempFolder::TempFolder() {
  for (int attempt = 0; attempt < NameAttempts && Path_.empty(); ++attempt) {
    const std::string path = platform::MakeTempDir(FolderMarker);
    if (path.empty())
      break;
    const platform::Handle h = platform::OpenEntry(path);
    if (h == platform::InvalidHandle) {
      platform::RemoveEmptyDir(path);
      break;
    }
    if (ClaimedForUs(h)) {
      Path_ = path;
      Held = h;
      break;
    }
    // Another run took it for a dead one's between its creation and the claim.
    platform::Close(h);
  }
  if (Path_.empty())
    throw ZError("Не удается создать временную папку", 0);
}

TempFolder::~TempFolder() {
  platform::RemoveTree(Path_);
  platform::Close(Held);
}

WorkFile::WorkFile(const TempFolder &folder, const std::string &name) {
  H = platform::OpenUnnamed(folder.Path());
  if (H != platform::InvalidHandle) {
    Path_ = platform::ReopenPath(H);
    if (!Path_.empty())
      return;
    platform::Close(H);
  }
  // No unnamed files here: a named one in the private folder, which a later
  // run removes with the folder if this one dies.
  Named = true;
  Path_ = folder.File(name);
  H = platform::CreateNew(Path_);
  if (H == platform::InvalidHandle)
    OutSystemError(Path_);
}

WorkFile::~WorkFile() {
  if (Named)
    platform::RemoveFile(Path_);
  platform::Close(H);
}

FinalName FinalNameAt(const std::string &name, bool replace) {
  const std::string path = platform::FollowLinks(name);
  // Links that go round in a circle lead to no file: the link is the file.
  return {name, path.empty() ? name : path, replace};
}

RunFiles::~RunFiles() {
  SyncFolders();
}

bool RunFiles::Has(const std::string &path) const {
  platform::FileId id;
  if (!platform::GetFileId(path, id))
    return false;
  const std::lock_guard hold(Lock);
  return Ids.count(id) > 0;
}

void RunFiles::Add(const std::string &path) {
  platform::FileId id;
  if (!platform::GetFileId(path, id))
    return;
  const std::lock_guard hold(Lock);
  Ids.insert(id);
}

void RunFiles::SyncFolderLater(const std::string &folder) {
  const std::lock_guard hold(Lock);
  Folders.insert(folder);
}

void RunFiles::SweepOnce(const std::string &folder, Leftover kind) {
  const std::lock_guard hold(SweepLock);
  if (Swept.emplace(folder, kind).second)
    RemoveDeadRunsLeftovers(folder, kind);
}

void RunFiles::SyncFolders() {
  const std::lock_guard hold(Lock);
  // A folder whose entries do not reach the disk leaves its files old or new,
  // whole, after a power cut: nothing to report.
  for (const std::string &f : Folders)
    platform::SyncFolder(f);
  Folders.clear();
}

TempTarget::TempTarget(const std::string &folder, const std::string &shown) {
  for (int attempt = 0; attempt < NameAttempts; ++attempt) {
    const std::string path = folder + TargetMarker + RandomLetters();
    const platform::Handle h = platform::CreateNew(path);
    if (h == platform::InvalidHandle) {
      if (platform::NameTaken(platform::LastError()))
        continue;
      break;
    }
    if (ClaimedForUs(h)) {
      Path_ = path;
      Held = h;
      return;
    }
    // Another run took it for a dead one's between its creation and the claim.
    platform::Close(h);
  }
  OutSystemError(shown);
}

TempTarget::~TempTarget() {
  if (!Committed)
    platform::RemoveFile(Path_);
  platform::Close(Held);
}

bool TempTarget::Place(const FinalName &f, RunFiles *run) {
  if (!f.replace) {
    if (platform::RenameNoReplace(Path_, f.path))
      return Committed = true;
    if (platform::NameTaken(platform::LastError()))
      return false;
    OutSystemError(f.name);
  }
  if (run && run->Has(f.path))
    throw ZError(OwnOutputMessage(f), 0);
  const bool replacing = platform::PathExists(f.path);
  // The new file keeps what the old one allowed whom; and the old file goes
  // with the rename, so the new data is on the disk first.
  if (replacing)
    platform::KeepPermissions(Held, f.path);
  if (replacing && !platform::Sync(Held))
    OutSystemError(f.name);
  if (!platform::RenameFile(Path_, f.path))
    OutSystemError(f.name);
  Committed = true;
  // Should the folder's entry not reach the disk, a power cut still leaves
  // the old file or the new one, both whole; so the result is not a failure.
  if (replacing && run)
    run->SyncFolderLater(FolderOf(f.path));
  else if (replacing)
    platform::SyncFolder(FolderOf(f.path));
  return true;
}

const FinalName &TempTarget::Commit(const Destination &d, RunFiles *run) {
  if (Place(d.first, run))
    return d.first;
  if (!d.fallback)
    throw ZError(TakenMessage(d.first.name), 0);
  if (Place(*d.fallback, run))
    return *d.fallback;
  throw ZError(TakenMessage(d.fallback->name), 0);
}

void MakeFolders(const std::string &folder, std::vector<std::string> &made) {
  if (folder.empty() || platform::DirExists(folder))
    return;
  MakeFolders(FolderOf(folder.substr(0, folder.size() - 1)), made);
  if (platform::MakeDir(folder))
    made.push_back(folder);
}

void RemoveEmptyFolders(const std::vector<std::string> &made) {
  for (auto f = made.rbegin(); f != made.rend(); ++f)
    platform::RemoveEmptyDir(*f);
}

OpenBlock::~OpenBlock() {
  if (!F)
    return;
  try {
    if (F->OpenLog != EmptyAdr)
      F->WClose_file(F->OpenLog, false);
  } catch (...) {
  }
  try {
    F->Close();
  } catch (...) {
  }
}

void OpenBlock::Close() {
  if (!F)
    return;
  F->Close();
  F.reset();
}

std::string FolderOf(const std::string &path) {
  const size_t sep = path.find_last_of(platform::Separators);
  return sep == std::string::npos ? std::string() : path.substr(0, sep + 1);
}

std::string FileNameOf(const std::string &path) {
  const size_t sep = path.find_last_of(platform::Separators);
  return sep == std::string::npos ? path : path.substr(sep + 1);
}
