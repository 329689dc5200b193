#include "Platform.h"
#include "PlatformShared.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <filesystem>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

using detail::BeforeCall;
using detail::Injected;

const int ErrNotFound = ENOENT;
const int ErrBadHandle = EBADF;
const int ErrTooBig = EFBIG;
const int ErrInvalid = EINVAL;
const int ErrIO = EIO;
const char *const TempDirVariable = "TMPDIR";

namespace {

// Closes fd keeping errno, and returns InvalidHandle.
Handle CloseFailed(int fd) {
  const int e = errno;
  ::close(fd);
  errno = e;
  return InvalidHandle;
}

int OpenRetrying(const char *path, int flags, mode_t mode) {
  int fd;
  do {
    fd = ::open(path, flags, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

} // namespace

Handle Open(const std::string &path, OpenMode mode, int64_t *size) {
  BeforeCall(Op::Open, path);
  if (Injected(Op::Open))
    return InvalidHandle;
  // Without O_NONBLOCK, opening a pipe waits for its other end; a plain file
  // does not notice the flag.
  int flags = O_CLOEXEC | O_NONBLOCK;
  switch (mode) {
  case OpenMode::Read:
    flags |= O_RDONLY;
    break;
  case OpenMode::ReadWrite:
    flags |= O_RDWR;
    break;
  case OpenMode::Create:
    flags |= O_WRONLY | O_CREAT | O_TRUNC;
    break;
  }
  const int fd = OpenRetrying(path.c_str(), flags, 0666);
  if (fd < 0)
    return InvalidHandle;
  struct stat st;
  if (::fstat(fd, &st) != 0)
    return CloseFailed(fd);
  if (!S_ISREG(st.st_mode)) {
    errno = S_ISDIR(st.st_mode) ? EISDIR : ErrorNotPlainFile;
    return CloseFailed(fd);
  }
  if (size)
    *size = static_cast<int64_t>(st.st_size);
#ifdef POSIX_FADV_SEQUENTIAL
  // The hint costs a system call per opening and pays only for long reads.
  if (mode != OpenMode::Create && st.st_size >= SequentialHintSize)
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
  return fd;
}

Handle OpenAnonymous(const std::string &label) {
  if (Injected(Op::Open))
    return InvalidHandle;
  const int fd = ::memfd_create(label.c_str(), MFD_CLOEXEC);
  return fd < 0 ? InvalidHandle : fd;
}

bool Close(Handle h) {
  return h >= 0 && ::close(h) == 0;
}

int64_t detail::ReadOnce(Handle h, void *buf, int64_t count) {
  ssize_t n;
  do {
    n = ::read(static_cast<int>(h), buf, static_cast<size_t>(count));
  } while (n < 0 && errno == EINTR);
  return n;
}

int64_t detail::ReadOnceAt(Handle h, void *buf, int64_t count, int64_t at) {
  ssize_t n;
  do {
    n = ::pread(static_cast<int>(h), buf, static_cast<size_t>(count), static_cast<off_t>(at));
  } while (n < 0 && errno == EINTR);
  return n;
}

int64_t detail::WriteOnce(Handle h, const void *buf, int64_t count) {
  ssize_t n;
  do {
    n = ::write(static_cast<int>(h), buf, static_cast<size_t>(count));
  } while (n < 0 && errno == EINTR);
  return n;
}

int64_t Seek(Handle h, int64_t pos) {
  if (Injected(Op::Seek))
    return -1;
  off_t r = ::lseek(h, static_cast<off_t>(pos), SEEK_SET);
  return r < 0 ? -1 : static_cast<int64_t>(r);
}

int64_t Size(Handle h) {
  struct stat st;
  if (::fstat(h, &st) != 0)
    return -1;
  return static_cast<int64_t>(st.st_size);
}

bool Flush(Handle h) {
  return h >= 0;
} // write() already reached the file system

bool Sync(Handle h) {
  BeforeCall(Op::Sync, std::string());
  if (Injected(Op::Sync))
    return false;
  return h >= 0 && ::fdatasync(h) == 0;
}

bool KeepPermissions(Handle h, const std::string &of) {
  struct stat st;
  return ::stat(of.c_str(), &st) == 0 && ::fchmod(h, st.st_mode & 07777) == 0;
}

bool SyncFolder(const std::string &path) {
  BeforeCall(Op::Sync, path);
  if (Injected(Op::Sync))
    return false;
  const int fd =
      OpenRetrying(path.empty() ? "." : path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
  if (fd < 0)
    return false;
  const bool ok = ::fsync(fd) == 0;
  const int e = errno;
  ::close(fd);
  errno = e;
  return ok;
}

bool FileExists(const std::string &path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirExists(const std::string &path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool PathExists(const std::string &path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

bool RemoveFile(const std::string &path) {
  return ::unlink(path.c_str()) == 0;
}

bool RenameFile(const std::string &from, const std::string &to) {
  BeforeCall(Op::Rename, from, to);
  if (Injected(Op::Rename))
    return false;
  return ::rename(from.c_str(), to.c_str()) == 0;
}

bool RenameNoReplace(const std::string &from, const std::string &to) {
  BeforeCall(Op::Rename, from, to);
  if (Injected(Op::Rename))
    return false;
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
    return true;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
    return false;
  // A file system that cannot rename without replacing: a second link fails
  // on a taken name just the same, and the first one then goes.
  if (::link(from.c_str(), to.c_str()) != 0) {
    if (errno != EPERM && errno != ENOTSUP && errno != ENOSYS)
      return false;
    // Nor any links (some network and foreign file systems): the name is
    // looked at just before the rename, the best such a system allows.
    struct stat st;
    if (::lstat(to.c_str(), &st) == 0) {
      errno = EEXIST;
      return false;
    }
    return ::rename(from.c_str(), to.c_str()) == 0;
  }
  if (::unlink(from.c_str()) != 0) {
    const int e = errno;
    ::unlink(to.c_str());
    errno = e;
    return false;
  }
  return true;
}

bool NameTaken(int code) {
  return code == EEXIST;
}

std::string FollowLinks(const std::string &path) {
  std::string at = path;
  // As many links as the system itself follows before it gives up.
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st;
    if (::lstat(at.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
      return at;
    std::vector<char> buf(static_cast<size_t>(st.st_size > 0 ? st.st_size : PATH_MAX) + 1);
    const ssize_t n = ::readlink(at.c_str(), buf.data(), buf.size());
    if (n < 0 || static_cast<size_t>(n) >= buf.size())
      return at;
    const std::string dest(buf.data(), static_cast<size_t>(n));
    if (!dest.empty() && dest[0] == Separator) {
      at = dest;
    } else {
      const size_t sep = at.rfind(Separator);
      at = (sep == std::string::npos ? std::string() : at.substr(0, sep + 1)) + dest;
    }
  }
  errno = ELOOP;
  return std::string();
}

bool MakeDirs(const std::string &path) {
  if (path.empty())
    return true;
  std::error_code ec;
  std::filesystem::create_directories(path, ec);
  if (ec) {
    errno = ec.value();
  }
  return DirExists(path);
}

bool MakeDir(const std::string &path) {
  return ::mkdir(path.c_str(), 0777) == 0;
}

bool RemoveEmptyDir(const std::string &path) {
  return ::rmdir(path.c_str()) == 0;
}

bool SameFile(const std::string &a, const std::string &b) {
  struct stat sa, sb;
  if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0)
    return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool GetFileId(const std::string &path, FileId &id) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0)
    return false;
  id = {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
  return true;
}

int64_t FileSize(const std::string &path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0)
    return -1;
  return static_cast<int64_t>(st.st_size);
}

bool ListDir(const std::string &path, std::vector<DirEntry> &out) {
  DIR *d = ::opendir(path.empty() ? "." : path.c_str());
  if (!d)
    return false;
  std::vector<DirEntry> entries;
  std::string base = path;
  if (!base.empty() && base.back() != Separator)
    base += Separator;
  while (struct dirent *e = ::readdir(d)) {
    std::string name = e->d_name;
    if (name == "." || name == "..")
      continue;
    DirEntry de;
    de.name = name;
    de.isHidden = name[0] == '.';
    std::string full = base + name;
    // The entry's type from the folder itself saves a stat per entry; file
    // systems that do not keep it (DT_UNKNOWN) are asked by lstat.
    unsigned char type = e->d_type;
    if (type == DT_UNKNOWN) {
      struct stat lst;
      if (::lstat(full.c_str(), &lst) != 0)
        continue;
      type = S_ISLNK(lst.st_mode)   ? DT_LNK
             : S_ISDIR(lst.st_mode) ? DT_DIR
             : S_ISREG(lst.st_mode) ? DT_REG
                                    : DT_UNKNOWN;
    }
    de.isLink = type == DT_LNK;
    if (de.isLink) {
      struct stat st;
      de.isFile = ::stat(full.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    } else {
      de.isDir = type == DT_DIR;
      de.isFile = type == DT_REG;
    }
    entries.push_back(std::move(de));
  }
  ::closedir(d);
  std::sort(entries.begin(), entries.end(),
            [](const DirEntry &x, const DirEntry &y) { return x.name < y.name; });
  out.insert(out.end(), entries.begin(), entries.end());
  return true;
}

std::string TempRoot() {
  std::error_code ec;
  std::string base = std::filesystem::temp_directory_path(ec).string();
  if (ec || base.empty())
    base = "/tmp";
  if (base.back() != Separator)
    base += Separator;
  return base;
}

std::string MakeTempDir(const std::string &prefix) {
  std::string templ = TempRoot() + prefix + "XXXXXX";
  std::vector<char> buf(templ.begin(), templ.end());
  buf.push_back('\0');
  if (!::mkdtemp(buf.data()))
    return std::string();
  return std::string(buf.data()) + Separator;
}

Handle CreateNew(const std::string &path) {
  BeforeCall(Op::Open, path);
  if (Injected(Op::Open))
    return InvalidHandle;
  const int fd =
      OpenRetrying(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  return fd < 0 ? InvalidHandle : fd;
}

Handle OpenEntry(const std::string &path) {
  const int fd = OpenRetrying(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0);
  return fd < 0 ? InvalidHandle : fd;
}

Claim ClaimInUse(Handle h) {
  // The system drops the lock with the last handle of the open file, so it
  // holds exactly as long as the process that took it.
  int r;
  do {
    r = ::flock(h, LOCK_EX | LOCK_NB);
  } while (r != 0 && errno == EINTR);
  if (r != 0)
    return errno == EWOULDBLOCK ? Claim::Held : Claim::Unsupported;
  // A cleaner may have removed the name between its creation and the lock.
  struct stat st;
  if (::fstat(h, &st) != 0 || st.st_nlink == 0)
    return Claim::Gone;
  return Claim::Claimed;
}

Handle OpenUnnamed(const std::string &folder) {
  if (Injected(Op::Open))
    return InvalidHandle;
  const int fd =
      OpenRetrying(folder.empty() ? "." : folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  return fd < 0 ? InvalidHandle : fd;
}

std::string ReopenPath(Handle h) {
  if (h < 0)
    return std::string();
  const std::string path = "/proc/self/fd/" + std::to_string(h);
  struct stat byName, byHandle;
  if (::stat(path.c_str(), &byName) != 0 || ::fstat(h, &byHandle) != 0 ||
      byName.st_dev != byHandle.st_dev || byName.st_ino != byHandle.st_ino)
    return std::string();
  return path;
}

namespace {

std::atomic<int> g_interruption{0};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler only stores");

extern "C" void NoteInterruption(int signal) {
  // Only a lock-free store: the work notices it between its steps.
  g_interruption.store(signal);
}

} // namespace

void KeepFreedMemory() {
#if defined(__GLIBC__)
  // Fixed thresholds also end the allocator's own adjusting of them.
  ::mallopt(M_MMAP_THRESHOLD, 4 << 20);
  ::mallopt(M_TRIM_THRESHOLD, 16 << 20);
#endif
}

void CatchInterruptions() {
  struct sigaction sa {};
  sa.sa_handler = NoteInterruption;
  sigemptyset(&sa.sa_mask);
  // System calls go on after the handler; the second signal finds the
  // default action again and ends the process at once.
  sa.sa_flags = SA_RESTART | SA_RESETHAND;
  for (int sig : {SIGINT, SIGTERM, SIGHUP})
    ::sigaction(sig, &sa, nullptr);
}

int Interruption() {
  return g_interruption.load();
}

void SetInterruption(int signal) {
  g_interruption.store(signal);
}

bool RemoveTree(const std::string &path) {
  std::error_code ec;
  std::filesystem::remove_all(path, ec);
  return !ec;
}

std::string CurrentDir() {
  std::error_code ec;
  std::string cwd = std::filesystem::current_path(ec).string();
  if (cwd.empty() || cwd.back() != Separator)
    cwd += Separator;
  return cwd;
}

bool SetCurrentDir(const std::string &path) {
  return ::chdir(path.c_str()) == 0;
}

bool MarkHidden(const std::string &path) {
  const size_t sep = path.find_last_not_of(Separator);
  const size_t start = sep == std::string::npos ? 0 : path.find_last_of(Separator, sep) + 1;
  if (start < path.size() && path[start] == '.')
    return true;
  errno = EINVAL;
  return false;
}

std::string AbsolutePath(const std::string &path) {
  std::error_code ec;
  auto p = std::filesystem::absolute(path, ec);
  if (ec)
    return std::string();
  return p.lexically_normal().string();
}

int ErrorTerminalColumns() {
  if (::isatty(STDERR_FILENO) != 1)
    return 0;
  struct winsize w {};
  // A terminal that does not tell its width is taken as the classic 80 columns.
  if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &w) != 0 || w.ws_col == 0)
    return 80;
  return w.ws_col;
}

int LastError() {
  return errno;
}
void SetLastError(int code) {
  errno = code;
}

std::string ErrorText(int code) {
  if (code == ErrorNotPlainFile)
    return "Not a regular file";
  char buf[256];
  // GNU strerror_r returns the text it chose.
  const char *s = ::strerror_r(code, buf, sizeof buf);
  return s ? std::string(s) : std::string();
}

bool GetEnv(const std::string &name, std::string &value) {
  const char *v = std::getenv(name.c_str());
  if (!v)
    return false;
  value = v;
  return true;
}

bool SetEnv(const std::string &name, const std::string &value) {
  return ::setenv(name.c_str(), value.c_str(), 1) == 0;
}

bool UnsetEnv(const std::string &name) {
  return ::unsetenv(name.c_str()) == 0;
}

std::vector<std::string> ProgramArguments(int argc, char **argv) {
  return argc > 1 ? std::vector<std::string>(argv + 1, argv + argc) : std::vector<std::string>();
}

void PrepareConsole() {} // terminals take the bytes as they are

LocalTime LocalNow() {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  LocalTime t;
  if (::localtime_r(&now, &tm) == nullptr)
    return t;
  t.Year = tm.tm_year + 1900;
  t.Month = tm.tm_mon + 1;
  t.Day = tm.tm_mday;
  t.Hour = tm.tm_hour;
  t.Minute = tm.tm_min;
  t.Second = tm.tm_sec;
  return t;
}

} // namespace platform
