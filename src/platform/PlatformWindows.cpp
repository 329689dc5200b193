// The Windows side of the platform layer. Paths arrive as UTF-8 and go to the
// system as UTF-16 (the W functions), long ones in the "\\?\" form; names come
// back as UTF-8. Errors are the system's own codes (GetLastError).
#include "Platform.h"
#include "PlatformShared.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>

#include <windows.h>

#include <shellapi.h>

namespace platform {

using detail::BeforeCall;
using detail::Injected;

const int ErrNotFound = ERROR_FILE_NOT_FOUND;
const int ErrBadHandle = ERROR_INVALID_HANDLE;
const int ErrTooBig = ERROR_FILE_TOO_LARGE;
const int ErrInvalid = ERROR_INVALID_PARAMETER;
const int ErrIO = ERROR_IO_DEVICE;
const char *const TempDirVariable = "TMP";

namespace {

std::wstring Wide(const std::string &s) {
  if (s.empty())
    return std::wstring();
  const int n = ::MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring w(static_cast<size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
  return w;
}

std::string Utf8(const wchar_t *w, size_t len) {
  if (len == 0)
    return std::string();
  const int n =
      ::WideCharToMultiByte(CP_UTF8, 0, w, static_cast<int>(len), nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<size_t>(n), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, w, static_cast<int>(len), s.data(), n, nullptr, nullptr);
  return s;
}

std::string Utf8(const std::wstring &w) {
  return Utf8(w.data(), w.size());
}

// Paths up to this length work in their plain form everywhere (the folder
// functions allow 12 characters less than MAX_PATH, room for an 8.3 name).
constexpr size_t PlainPathMax = MAX_PATH - 12;

// A path as the system takes it: UTF-16 with backslashes; a long one made
// absolute and given the "\\?\" prefix that lifts the MAX_PATH limit (the
// prefix also turns off the parsing of "." and "..", hence the full path).
std::wstring WinPath(const std::string &path) {
  std::wstring w = Wide(path);
  std::replace(w.begin(), w.end(), L'/', L'\\');
  if (w.size() < PlainPathMax || w.starts_with(L"\\\\?\\"))
    return w;
  const DWORD n = ::GetFullPathNameW(w.c_str(), 0, nullptr, nullptr);
  if (n == 0)
    return w;
  std::wstring full(n, L'\0');
  const DWORD got = ::GetFullPathNameW(w.c_str(), n, full.data(), nullptr);
  if (got == 0 || got >= n)
    return w;
  full.resize(got);
  if (full.starts_with(L"\\\\?\\") || full.starts_with(L"\\\\.\\"))
    return full;
  if (full.starts_with(L"\\\\")) // \\server\share\... -> \\?\UNC\server\share\...
    return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

HANDLE Native(Handle h) {
  return reinterpret_cast<HANDLE>(h);
}

// Keeps the reason of a failure across the clean-up calls after it.
class KeepError {
public:
  KeepError() : Code(::GetLastError()) {}
  ~KeepError() { ::SetLastError(Code); }

private:
  DWORD Code;
};

// The attributes of what `path` names, links followed: a reparse point is
// opened to ask its target.
bool Attributes(const std::string &path, DWORD &attr) {
  const std::wstring w = WinPath(path);
  attr = ::GetFileAttributesW(w.c_str());
  if (attr == INVALID_FILE_ATTRIBUTES)
    return false;
  if (!(attr & FILE_ATTRIBUTE_REPARSE_POINT))
    return true;
  HANDLE h = ::CreateFileW(w.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE)
    return false;
  BY_HANDLE_FILE_INFORMATION info;
  const bool ok = ::GetFileInformationByHandle(h, &info) != 0;
  KeepError keep;
  ::CloseHandle(h);
  if (ok)
    attr = info.dwFileAttributes;
  return ok;
}

// Opens what `path` names (links followed) just to ask about it.
bool FileInformation(const std::string &path, BY_HANDLE_FILE_INFORMATION &info) {
  HANDLE h = ::CreateFileW(WinPath(path).c_str(), 0,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE)
    return false;
  const bool ok = ::GetFileInformationByHandle(h, &info) != 0;
  KeepError keep;
  ::CloseHandle(h);
  return ok;
}

bool HiddenAttributes(DWORD attr) {
  return (attr & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) != 0;
}

// Visits the entries of a folder except "." and ".."; false when it cannot be read.
template <class Visit> bool EachEntry(const std::string &path, Visit visit) {
  std::string pattern = path.empty() ? std::string(".") : path;
  if (!IsSeparator(pattern.back()))
    pattern += Separator;
  pattern += '*';
  WIN32_FIND_DATAW fd;
  HANDLE f = ::FindFirstFileExW(WinPath(pattern).c_str(), FindExInfoBasic, &fd,
                                FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (f == INVALID_HANDLE_VALUE)
    return false;
  do {
    const std::wstring name = fd.cFileName;
    if (name != L"." && name != L"..")
      visit(fd);
  } while (::FindNextFileW(f, &fd));
  const DWORD why = ::GetLastError();
  ::FindClose(f);
  ::SetLastError(why);
  return why == ERROR_NO_MORE_FILES;
}

// Others may read, write, rename and delete a file while it is open, as on
// POSIX systems.
constexpr DWORD ShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

Handle ClosedWithError(HANDLE h, DWORD code) {
  ::CloseHandle(h);
  ::SetLastError(code);
  return InvalidHandle;
}

// The names of the open files made by OpenUnnamed, by handle (ReopenPath).
std::mutex g_unnamedMutex;
std::map<Handle, std::string> g_unnamed;

} // namespace

std::string TempRoot() {
  wchar_t buf[MAX_PATH + 1];
  const DWORD n = ::GetTempPathW(MAX_PATH + 1, buf);
  std::string root = n == 0 || n > MAX_PATH ? std::string(".") : Utf8(buf, n);
  if (!IsSeparator(root.back()))
    root += Separator;
  return root;
}

Handle Open(const std::string &path, OpenMode mode, int64_t *size) {
  BeforeCall(Op::Open, path);
  if (Injected(Op::Open))
    return InvalidHandle;
  DWORD access = GENERIC_READ, disposition = OPEN_EXISTING;
  switch (mode) {
  case OpenMode::Read:
    break;
  case OpenMode::ReadWrite:
    access = GENERIC_READ | GENERIC_WRITE;
    break;
  case OpenMode::Create:
    access = GENERIC_WRITE;
    disposition = CREATE_ALWAYS;
    break;
  }
  // A folder cannot be opened this way (access denied). Opening a pipe or a
  // device does not wait either; such a handle is refused at once.
  HANDLE h = ::CreateFileW(WinPath(path).c_str(), access, ShareAll, nullptr, disposition,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE)
    return InvalidHandle;
  if (::GetFileType(h) != FILE_TYPE_DISK)
    return ClosedWithError(h, ErrorNotPlainFile);
  if (size) {
    LARGE_INTEGER s;
    if (!::GetFileSizeEx(h, &s)) {
      KeepError keep;
      ::CloseHandle(h);
      return InvalidHandle;
    }
    *size = s.QuadPart;
  }
  return reinterpret_cast<Handle>(h);
}

Handle OpenAnonymous(const std::string &label) {
  (void)label; // a Windows file has no label apart from its name
  if (Injected(Op::Open))
    return InvalidHandle;
  const std::string root = TempRoot();
  for (;;) {
    HANDLE h = ::CreateFileW(
        WinPath(root + "zepconv-" + detail::RandomName(8) + ".tmp").c_str(),
        GENERIC_READ | GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_NEW,
        FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h != INVALID_HANDLE_VALUE)
      return reinterpret_cast<Handle>(h);
    if (::GetLastError() != ERROR_FILE_EXISTS)
      return InvalidHandle;
  }
}

bool Close(Handle h) {
  if (h == InvalidHandle) {
    ::SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  {
    std::lock_guard<std::mutex> lock(g_unnamedMutex);
    g_unnamed.erase(h);
  }
  return ::CloseHandle(Native(h)) != 0;
}

// ReadFile and WriteFile take 32-bit counts.
constexpr int64_t MaxChunk = int64_t{1} << 30;

int64_t detail::ReadOnce(Handle h, void *buf, int64_t count) {
  DWORD n = 0;
  if (!::ReadFile(Native(h), buf, static_cast<DWORD>(std::min(count, MaxChunk)), &n, nullptr))
    return -1;
  return n;
}

int64_t detail::ReadOnceAt(Handle h, void *buf, int64_t count, int64_t at) {
  OVERLAPPED where{};
  where.Offset = static_cast<DWORD>(at);
  where.OffsetHigh = static_cast<DWORD>(at >> 32);
  DWORD n = 0;
  if (!::ReadFile(Native(h), buf, static_cast<DWORD>(std::min(count, MaxChunk)), &n, &where))
    return ::GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
  return n;
}

int64_t detail::WriteOnce(Handle h, const void *buf, int64_t count) {
  DWORD n = 0;
  if (!::WriteFile(Native(h), buf, static_cast<DWORD>(std::min(count, MaxChunk)), &n, nullptr))
    return -1;
  return n;
}

int64_t Seek(Handle h, int64_t pos) {
  if (Injected(Op::Seek))
    return -1;
  LARGE_INTEGER to, at;
  to.QuadPart = pos;
  if (!::SetFilePointerEx(Native(h), to, &at, FILE_BEGIN))
    return -1;
  return at.QuadPart;
}

int64_t Size(Handle h) {
  LARGE_INTEGER s;
  if (!::GetFileSizeEx(Native(h), &s))
    return -1;
  return s.QuadPart;
}

bool Flush(Handle h) {
  return h != InvalidHandle; // WriteFile already reached the system's cache
}

bool Sync(Handle h) {
  BeforeCall(Op::Sync, std::string());
  if (Injected(Op::Sync))
    return false;
  return h != InvalidHandle && ::FlushFileBuffers(Native(h)) != 0;
}

bool KeepPermissions(Handle h, const std::string &of) {
  // A file's access rights come from its folder when it is made there, as the
  // old file's did; only the read-only mark is the file's own, and a file
  // with it cannot be replaced anyway.
  (void)h;
  DWORD attr;
  return Attributes(of, attr);
}

bool SyncFolder(const std::string &path) {
  BeforeCall(Op::Sync, path);
  if (Injected(Op::Sync))
    return false;
  // NTFS writes a folder's entries through its journal, and renames here ask
  // for that to be done before they return (MOVEFILE_WRITE_THROUGH): a folder
  // handle has nothing left to flush.
  DWORD attr;
  return Attributes(path.empty() ? std::string(".") : path, attr);
}

bool FileExists(const std::string &path) {
  DWORD attr;
  return Attributes(path, attr) && !(attr & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirExists(const std::string &path) {
  DWORD attr;
  return Attributes(path, attr) && (attr & FILE_ATTRIBUTE_DIRECTORY);
}

bool PathExists(const std::string &path) {
  // Not followed: a link that leads nowhere exists too.
  return ::GetFileAttributesW(WinPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool RemoveFile(const std::string &path) {
  return ::DeleteFileW(WinPath(path).c_str()) != 0;
}

bool RenameFile(const std::string &from, const std::string &to) {
  BeforeCall(Op::Rename, from, to);
  if (Injected(Op::Rename))
    return false;
  return ::MoveFileExW(WinPath(from).c_str(), WinPath(to).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool RenameNoReplace(const std::string &from, const std::string &to) {
  BeforeCall(Op::Rename, from, to);
  if (Injected(Op::Rename))
    return false;
  // Without MOVEFILE_REPLACE_EXISTING the system refuses a taken name in the
  // same step as the rename.
  return ::MoveFileExW(WinPath(from).c_str(), WinPath(to).c_str(), MOVEFILE_WRITE_THROUGH) != 0;
}

bool NameTaken(int code) {
  return code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS;
}

std::string FollowLinks(const std::string &path) {
  const DWORD attr = ::GetFileAttributesW(WinPath(path).c_str());
  if (attr == INVALID_FILE_ATTRIBUTES || !(attr & FILE_ATTRIBUTE_REPARSE_POINT))
    return path;
  // The system follows every link of the path when it opens it and names the
  // file it reached; a link that leads nowhere (or round in a circle) opens
  // nothing, and is then the file itself.
  HANDLE h = ::CreateFileW(WinPath(path).c_str(), 0, ShareAll, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE)
    return path;
  std::wstring name(MAX_PATH, L'\0');
  DWORD n = ::GetFinalPathNameByHandleW(h, name.data(), static_cast<DWORD>(name.size()), 0);
  if (n >= name.size()) {
    name.resize(n + 1);
    n = ::GetFinalPathNameByHandleW(h, name.data(), static_cast<DWORD>(name.size()), 0);
  }
  ::CloseHandle(h);
  if (n == 0 || n >= name.size())
    return path;
  name.resize(n);
  if (name.starts_with(L"\\\\?\\UNC\\"))
    name = L"\\\\" + name.substr(8);
  else if (name.starts_with(L"\\\\?\\") && name.size() - 4 < PlainPathMax)
    name = name.substr(4);
  return Utf8(name);
}

bool MakeDirs(const std::string &path) {
  if (path.empty() || DirExists(path))
    return true;
  std::string p = path;
  while (!p.empty() && IsSeparator(p.back()))
    p.pop_back();
  const size_t sep = p.find_last_of(Separators);
  // The parent first; a drive or share root exists or cannot be made.
  if (sep != std::string::npos && sep > 0 && !MakeDirs(p.substr(0, sep + 1)))
    return false;
  if (::CreateDirectoryW(WinPath(p).c_str(), nullptr))
    return true;
  KeepError keep;
  return DirExists(p); // made meanwhile by somebody else
}

bool MakeDir(const std::string &path) {
  return ::CreateDirectoryW(WinPath(path).c_str(), nullptr) != 0;
}

bool RemoveEmptyDir(const std::string &path) {
  return ::RemoveDirectoryW(WinPath(path).c_str()) != 0;
}

bool SameFile(const std::string &a, const std::string &b) {
  BY_HANDLE_FILE_INFORMATION ia, ib;
  if (!FileInformation(a, ia) || !FileInformation(b, ib))
    return false;
  return ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
         ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
}

bool GetFileId(const std::string &path, FileId &id) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!FileInformation(path, info))
    return false;
  id = {info.dwVolumeSerialNumber,
        static_cast<uint64_t>(info.nFileIndexHigh) << 32 | info.nFileIndexLow};
  return true;
}

int64_t FileSize(const std::string &path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!::GetFileAttributesExW(WinPath(path).c_str(), GetFileExInfoStandard, &data))
    return -1;
  return static_cast<int64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
}

bool ListDir(const std::string &path, std::vector<DirEntry> &out) {
  std::vector<DirEntry> entries;
  const bool ok = EachEntry(path, [&](const WIN32_FIND_DATAW &fd) {
    DirEntry de;
    de.name = Utf8(fd.cFileName, wcslen(fd.cFileName));
    const DWORD attr = fd.dwFileAttributes;
    de.isLink = (attr & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    de.isDir = (attr & FILE_ATTRIBUTE_DIRECTORY) && !de.isLink;
    de.isFile = !(attr & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE));
    de.isHidden = HiddenAttributes(attr);
    entries.push_back(std::move(de));
  });
  if (!ok)
    return false;
  std::sort(entries.begin(), entries.end(),
            [](const DirEntry &x, const DirEntry &y) { return x.name < y.name; });
  out.insert(out.end(), entries.begin(), entries.end());
  return true;
}

std::string MakeTempDir(const std::string &prefix) {
  const std::string root = TempRoot();
  for (;;) {
    const std::string dir = root + prefix + detail::RandomName(6);
    if (::CreateDirectoryW(WinPath(dir).c_str(), nullptr))
      return dir + Separator;
    if (::GetLastError() != ERROR_ALREADY_EXISTS)
      return std::string();
  }
}

Handle CreateNew(const std::string &path) {
  BeforeCall(Op::Open, path);
  if (Injected(Op::Open))
    return InvalidHandle;
  // CREATE_NEW fails on any taken name, a link that leads nowhere too.
  HANDLE h = ::CreateFileW(WinPath(path).c_str(), GENERIC_READ | GENERIC_WRITE, ShareAll, nullptr,
                           CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  return h == INVALID_HANDLE_VALUE ? InvalidHandle : reinterpret_cast<Handle>(h);
}

Handle OpenEntry(const std::string &path) {
  // The entry itself: a link is opened as a link, not followed.
  HANDLE h = ::CreateFileW(WinPath(path).c_str(), GENERIC_READ, ShareAll, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE)
    return InvalidHandle;
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(h, &info)) {
    const DWORD e = ::GetLastError();
    return ClosedWithError(h, e);
  }
  if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
    return ClosedWithError(h, ERROR_CANT_ACCESS_FILE);
  return reinterpret_cast<Handle>(h);
}

Claim ClaimInUse(Handle h) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(Native(h), &info))
    return Claim::Unsupported;
  // A folder takes no lock on Windows: no run claims one, so none removes
  // another run's folder.
  if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
    return Claim::Unsupported;
  // A lock on one byte far beyond any end of the file: it hinders no reading
  // or writing, and the system drops it with the handle, however the process
  // ends.
  OVERLAPPED at{};
  at.Offset = 0;
  at.OffsetHigh = 0x40000000;
  if (!::LockFileEx(Native(h), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at))
    return ::GetLastError() == ERROR_LOCK_VIOLATION ? Claim::Held : Claim::Unsupported;
  // A cleaner may have removed the name between its creation and the lock.
  FILE_STANDARD_INFO standard;
  if (::GetFileInformationByHandleEx(Native(h), FileStandardInfo, &standard, sizeof standard) &&
      (standard.DeletePending || standard.NumberOfLinks == 0))
    return Claim::Gone;
  return Claim::Claimed;
}

Handle OpenUnnamed(const std::string &folder) {
  if (Injected(Op::Open))
    return InvalidHandle;
  // Windows has no file without a name; the nearest is one that the system
  // deletes with its last handle, also when the process is killed. Its name
  // is kept for ReopenPath.
  for (;;) {
    const std::string path = folder + ".zepconv-tmp-" + detail::RandomName(8);
    HANDLE h = ::CreateFileW(
        WinPath(path).c_str(), GENERIC_READ | GENERIC_WRITE, ShareAll, nullptr, CREATE_NEW,
        FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      const Handle handle = reinterpret_cast<Handle>(h);
      std::lock_guard<std::mutex> lock(g_unnamedMutex);
      g_unnamed[handle] = path;
      return handle;
    }
    if (::GetLastError() != ERROR_FILE_EXISTS)
      return InvalidHandle;
  }
}

std::string ReopenPath(Handle h) {
  std::lock_guard<std::mutex> lock(g_unnamedMutex);
  const auto it = g_unnamed.find(h);
  return it == g_unnamed.end() ? std::string() : it->second;
}

namespace {

std::atomic<int> g_interruption{0};

BOOL WINAPI NoteInterruption(DWORD event) {
  // The system calls this on a thread of its own; the work notices the flag
  // between its steps. A second request goes to the system's own handler,
  // which ends the process at once.
  if (g_interruption.load() != 0)
    return FALSE;
  switch (event) {
  case CTRL_C_EVENT:
    g_interruption.store(SIGINT);
    return TRUE;
  case CTRL_BREAK_EVENT:
    g_interruption.store(SIGBREAK);
    return TRUE;
  default:
    // The console is closing, or the user logs off: the system ends the
    // process when this returns, so it waits here while the work cleans up
    // and the program ends by itself (the system gives it a few seconds).
    g_interruption.store(SIGTERM);
    ::Sleep(INFINITE);
    return TRUE;
  }
}

} // namespace

void KeepFreedMemory() {} // the system's heap has no such setting to ask for

void CatchInterruptions() {
  ::SetConsoleCtrlHandler(NoteInterruption, TRUE);
}

int Interruption() {
  return g_interruption.load();
}

void SetInterruption(int signal) {
  g_interruption.store(signal);
}

bool RemoveTree(const std::string &path) {
  std::string dir = path;
  while (dir.size() > 1 && IsSeparator(dir.back()))
    dir.pop_back();
  bool ok = true;
  EachEntry(dir, [&](const WIN32_FIND_DATAW &fd) {
    const std::string full = dir + Separator + Utf8(fd.cFileName, wcslen(fd.cFileName));
    const DWORD attr = fd.dwFileAttributes;
    const std::wstring w = WinPath(full);
    if (attr & FILE_ATTRIBUTE_READONLY)
      ::SetFileAttributesW(w.c_str(), attr & ~FILE_ATTRIBUTE_READONLY);
    if (!(attr & FILE_ATTRIBUTE_DIRECTORY))
      ok &= ::DeleteFileW(w.c_str()) != 0;
    else if (attr & FILE_ATTRIBUTE_REPARSE_POINT) // a link to a folder goes, not its content
      ok &= ::RemoveDirectoryW(w.c_str()) != 0;
    else
      ok &= RemoveTree(full);
  });
  if (!::RemoveDirectoryW(WinPath(dir).c_str()))
    return ::GetLastError() == ERROR_FILE_NOT_FOUND || ::GetLastError() == ERROR_PATH_NOT_FOUND
               ? ok
               : false;
  return ok;
}

std::string CurrentDir() {
  const DWORD n = ::GetCurrentDirectoryW(0, nullptr);
  std::wstring w(n, L'\0');
  const DWORD got = ::GetCurrentDirectoryW(n, w.data());
  w.resize(got < n ? got : 0);
  std::string cwd = Utf8(w);
  if (cwd.empty() || !IsSeparator(cwd.back()))
    cwd += Separator;
  return cwd;
}

bool SetCurrentDir(const std::string &path) {
  return ::SetCurrentDirectoryW(Wide(path).c_str()) != 0;
}

bool MarkHidden(const std::string &path) {
  const std::wstring w = WinPath(path);
  const DWORD attr = ::GetFileAttributesW(w.c_str());
  return attr != INVALID_FILE_ATTRIBUTES &&
         ::SetFileAttributesW(w.c_str(), attr | FILE_ATTRIBUTE_HIDDEN) != 0;
}

std::string AbsolutePath(const std::string &path) {
  std::wstring w = Wide(path);
  std::replace(w.begin(), w.end(), L'/', L'\\');
  const DWORD n = ::GetFullPathNameW(w.c_str(), 0, nullptr, nullptr);
  if (n == 0)
    return std::string();
  std::wstring full(n, L'\0');
  const DWORD got = ::GetFullPathNameW(w.c_str(), n, full.data(), nullptr);
  if (got == 0 || got >= n)
    return std::string();
  full.resize(got);
  return Utf8(full);
}

int LastError() {
  return static_cast<int>(::GetLastError());
}
void SetLastError(int code) {
  ::SetLastError(static_cast<DWORD>(code));
}

std::string ErrorText(int code) {
  if (code == ErrorNotPlainFile)
    return "Not a regular file";
  wchar_t *text = nullptr;
  const DWORD n = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
  std::string s = n && text ? Utf8(text, n) : std::string();
  if (text)
    ::LocalFree(text);
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r'))
    s.pop_back(); // the system ends its texts with a line break
  return s;
}

bool GetEnv(const std::string &name, std::string &value) {
  const std::wstring w = Wide(name);
  const DWORD n = ::GetEnvironmentVariableW(w.c_str(), nullptr, 0);
  if (n == 0)
    return false;
  std::wstring v(n, L'\0');
  const DWORD got = ::GetEnvironmentVariableW(w.c_str(), v.data(), n);
  v.resize(got < n ? got : 0);
  value = Utf8(v);
  return true;
}

bool SetEnv(const std::string &name, const std::string &value) {
  return ::SetEnvironmentVariableW(Wide(name).c_str(), Wide(value).c_str()) != 0;
}

bool UnsetEnv(const std::string &name) {
  return ::SetEnvironmentVariableW(Wide(name).c_str(), nullptr) != 0;
}

std::vector<std::string> ProgramArguments(int argc, char **argv) {
  // The narrow argv holds the arguments in the ANSI code page, which loses
  // every letter outside it; the UTF-16 command line keeps them all.
  int n = 0;
  wchar_t **w = ::CommandLineToArgvW(::GetCommandLineW(), &n);
  if (!w)
    return argc > 1 ? std::vector<std::string>(argv + 1, argv + argc) : std::vector<std::string>();
  std::vector<std::string> args;
  for (int i = 1; i < n; ++i)
    args.push_back(Utf8(w[i], wcslen(w[i])));
  ::LocalFree(w);
  return args;
}

namespace {

UINT g_consoleOutputCP = 0;

void RestoreConsole() {
  std::fflush(stdout);
  std::fflush(stderr);
  if (g_consoleOutputCP)
    ::SetConsoleOutputCP(g_consoleOutputCP);
}

} // namespace

void PrepareConsole() {
  // The console shows UTF-8 once its output code page says so; the code page
  // belongs to the console, so the old one comes back when the program ends.
  g_consoleOutputCP = ::GetConsoleOutputCP();
  if (g_consoleOutputCP && g_consoleOutputCP != CP_UTF8 && ::SetConsoleOutputCP(CP_UTF8))
    std::atexit(RestoreConsole);
  else
    g_consoleOutputCP = 0;
  // Whole lines reach the console in one write, so no letter is cut in two.
  std::setvbuf(stdout, nullptr, _IOFBF, 1 << 14);
  std::setvbuf(stderr, nullptr, _IOFBF, 1 << 12);
}

int ErrorTerminalColumns() {
  const HANDLE err = ::GetStdHandle(STD_ERROR_HANDLE);
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (err == INVALID_HANDLE_VALUE || !::GetConsoleScreenBufferInfo(err, &info))
    return 0; // not a console
  // The progress line redraws itself with terminal escapes, which a console
  // reads only once asked to.
  DWORD mode = 0;
  if (!::GetConsoleMode(err, &mode) ||
      !::SetConsoleMode(err, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING))
    return 0;
  const int columns = info.srWindow.Right - info.srWindow.Left + 1;
  return columns > 0 ? columns : 80;
}

LocalTime LocalNow() {
  SYSTEMTIME st;
  ::GetLocalTime(&st);
  LocalTime t;
  t.Year = st.wYear;
  t.Month = st.wMonth;
  t.Day = st.wDay;
  t.Hour = st.wHour;
  t.Minute = st.wMinute;
  t.Second = st.wSecond;
  return t;
}

} // namespace platform
