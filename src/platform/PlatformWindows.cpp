// The Windows side of the platform layer. Paths arrive as UTF-8 and go to the
// system as UTF-16 (the W functions), long ones in the "\\?\" form; names come
// back as UTF-8. Errors are the system's own codes (GetLastError).
#include "Platform.h"
#include "PlatformShared.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include <windows.h>

#include <shellapi.h>

namespace platform {

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
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, w, static_cast<int>(len), nullptr, 0, nullptr,
                                      nullptr);
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

std::string TempRoot() {
  wchar_t buf[MAX_PATH + 1];
  const DWORD n = ::GetTempPathW(MAX_PATH + 1, buf);
  std::string root = n == 0 || n > MAX_PATH ? std::string(".") : Utf8(buf, n);
  if (!IsSeparator(root.back()))
    root += Separator;
  return root;
}

} // namespace

Handle Open(const std::string &path, OpenMode mode, int64_t *size) {
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
  // Others may read, write, rename and delete the file while it is open, as
  // on POSIX systems. A folder cannot be opened this way (access denied).
  HANDLE h = ::CreateFileW(WinPath(path).c_str(), access,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE)
    return InvalidHandle;
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
  if (Injected(Op::Sync))
    return false;
  return h != InvalidHandle && ::FlushFileBuffers(Native(h)) != 0;
}

bool FileExists(const std::string &path) {
  DWORD attr;
  return Attributes(path, attr) && !(attr & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirExists(const std::string &path) {
  DWORD attr;
  return Attributes(path, attr) && (attr & FILE_ATTRIBUTE_DIRECTORY);
}

bool RemoveFile(const std::string &path) {
  return ::DeleteFileW(WinPath(path).c_str()) != 0;
}

bool RenameFile(const std::string &from, const std::string &to) {
  if (Injected(Op::Rename))
    return false;
  return ::MoveFileExW(WinPath(from).c_str(), WinPath(to).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
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

bool SameFile(const std::string &a, const std::string &b) {
  BY_HANDLE_FILE_INFORMATION ia, ib;
  if (!FileInformation(a, ia) || !FileInformation(b, ib))
    return false;
  return ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
         ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
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
