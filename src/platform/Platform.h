// The one place where the program talks to the operating system: plain file
// handles, folders, the last error and its text, temporary folders and files,
// interruptions, the environment and the console. The portable core calls only
// these; a port to another system changes this module alone. There are two
// sides, chosen when the program is built: POSIX (PlatformPosix.cpp) and
// Windows (PlatformWindows.cpp); what both share, with the test seams, lives
// in PlatformShared.cpp. Texts are UTF-8 on this side of the layer; the
// Windows side speaks UTF-16 to the system. Tests inject I/O failures here
// (see InjectFailure).
#pragma once

#include <compare>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace platform {

// Paths use the system's separator; a folder text ends with exactly one.
// Windows also takes "/" in a path, so splitting a path looks for both there.
#ifdef _WIN32
constexpr char Separator = '\\';
constexpr const char *Separators = "\\/";
#else
constexpr char Separator = '/';
constexpr const char *Separators = "/";
#endif
constexpr bool IsSeparator(char c) {
  for (const char *s = Separators; *s; ++s)
    if (*s == c)
      return true;
  return false;
}
// `path` with every "/" turned into the system's separator, for relative
// paths that code and tests write with "/".
inline std::string NativePath(std::string path) {
  for (char &c : path)
    if (c == '/')
      c = Separator;
  return path;
}

// Opening modes of a plain file handle.
enum class OpenMode {
  Read,      // existing file, read only
  ReadWrite, // existing file, read and write
  Create,    // create or truncate, write only
};

// A file descriptor on POSIX systems, a HANDLE on Windows.
using Handle = std::intptr_t;
constexpr Handle InvalidHandle = -1;

// Every call that fails returns InvalidHandle / -1 / false and leaves the
// reason in LastError(), as the system's own calls do.
//
// Opens a plain file. Anything else is refused once opened (a folder with the
// system's own code, a pipe or a device with ErrorNotPlainFile), and opening
// never waits: a name that turned into a pipe since it was checked does not
// block the caller.
Handle Open(const std::string &path, OpenMode mode);
// As above, and gives the size of the opened file in *size, known from the
// check the opening makes anyway.
Handle Open(const std::string &path, OpenMode mode, int64_t *size);
// The error code of Open for a name that is neither a plain file nor a folder.
constexpr int ErrorNotPlainFile = 0x20000001;
// Files from this size on are read with the system's sequential read-ahead hint.
constexpr int64_t SequentialHintSize = int64_t{1} << 20;
// A new file without a name, open for reading and writing, that goes with its
// last handle (even when the process is killed): a file in memory on Linux; on
// Windows a temporary file in the system's temporary folder that the system
// deletes on closing.
Handle OpenAnonymous(const std::string &label);
bool Close(Handle h);
// Reads up to count bytes; returns the number read (0 at the end), -1 on failure.
int64_t Read(Handle h, void *buf, int64_t count);
// Reads up to count bytes from offset `at`, as Read does, without a seek of
// its own; where the handle's position is afterwards is not said.
int64_t ReadAt(Handle h, void *buf, int64_t count, int64_t at);
// Writes all count bytes; returns false on failure (short writes are retried).
bool Write(Handle h, const void *buf, int64_t count);
// Absolute position; returns the new position or -1.
int64_t Seek(Handle h, int64_t pos);
// Size of the open file, or -1.
int64_t Size(Handle h);
// Pushes written bytes to the file system (not to the disk).
bool Flush(Handle h);
// Pushes written bytes to the disk (used before an atomic rename).
bool Sync(Handle h);

// Gives the open file the access permissions of the file `of` (links
// followed), as a file that replaces it should keep them.
bool KeepPermissions(Handle h, const std::string &of);
// Pushes the folder's entries (names created, renamed or removed in it) to the disk.
bool SyncFolder(const std::string &path);

bool FileExists(const std::string &path); // a plain file (symlinks followed)
bool DirExists(const std::string &path);  // a folder (symlinks followed)
// Anything under this name: also a symbolic link that leads nowhere.
bool PathExists(const std::string &path);
bool RemoveFile(const std::string &path);
// Replaces `to` atomically when it exists.
bool RenameFile(const std::string &from, const std::string &to);
// Gives `from` the name `to` only while no file, folder or link has that
// name: fails with a code NameTaken() recognises when one has, and leaves it
// untouched, also when it appears at the very moment.
bool RenameNoReplace(const std::string &from, const std::string &to);
// True for the error codes that say a name is taken (RenameNoReplace, CreateNew, MakeDir).
bool NameTaken(int code);
// The name a path leads to through symbolic links of its last part, as far
// as they go (the name reached need not exist); the path itself when it is
// no link. Empty when the links go round in a circle.
std::string FollowLinks(const std::string &path);
// Creates the folder and every missing parent; true when it exists afterwards.
bool MakeDirs(const std::string &path);
// Creates one folder whose parent exists; false when the name is taken.
bool MakeDir(const std::string &path);
// Removes a folder only when it is empty.
bool RemoveEmptyDir(const std::string &path);
// Copies a plain file, replacing an existing target.
bool CopyPlainFile(const std::string &from, const std::string &to);
// True when both names lead to the same existing file (links, other spellings).
bool SameFile(const std::string &a, const std::string &b);
// What tells one file from every other while it exists, whatever its names.
struct FileId {
  uint64_t device = 0, index = 0;
  auto operator<=>(const FileId &) const = default;
};
// The id of the file a name leads to (links followed); false when there is none.
bool GetFileId(const std::string &path, FileId &id);
// Physical size of a file by name, or -1.
int64_t FileSize(const std::string &path);

struct DirEntry {
  std::string name;
  bool isDir = false;    // a real folder (not a link to one)
  bool isFile = false;   // a plain file, or a link to one
  bool isLink = false;   // a symbolic link
  bool isHidden = false; // hidden by the system's rule: a name starting with
                         // "." on POSIX systems, the hidden or system
                         // attribute on Windows
};
// Entries of a folder except "." and "..", sorted by name (byte order) so that
// every walk is repeatable. Returns false when the folder cannot be read.
bool ListDir(const std::string &path, std::vector<DirEntry> &out);

// The system's temporary folder, ending in the separator.
std::string TempRoot();
// A new private folder under the system's temporary folder, named `prefix`
// and six letters or digits, ending in the separator; empty on failure.
std::string MakeTempDir(const std::string &prefix);

// ---- temporary files that outlive no process ----
//
// Creates a file that must not exist yet (not even as a link), open for
// reading and writing; fails (NameTaken) when the name is taken.
Handle CreateNew(const std::string &path);
// Opens a file or folder itself, never through a link and without waiting,
// only to claim it (ClaimInUse) or to keep it in use.
Handle OpenEntry(const std::string &path);
// Marks the open file or folder as in use by this process until the handle
// is closed or the process ends, however it ends (also killed, or by a power
// cut). A process that can claim a leftover of a dead process may remove it;
// one that cannot must leave it.
enum class Claim {
  Claimed,    // this process holds it now
  Held,       // another process holds it
  Gone,       // it lost its name meanwhile
  Unsupported // the file system keeps no such marks: no process can claim it
};
Claim ClaimInUse(Handle h);
// A new empty file without a name, on the file system of `folder`, open for
// reading and writing: it goes with its last handle, also when the process
// is killed, and never appears in the folder. InvalidHandle where the system
// cannot make one; the caller then makes a named file instead.
Handle OpenUnnamed(const std::string &folder);
// A name that opens the file of `h` again while h is open (for a file of
// OpenUnnamed); empty where the system has none.
std::string ReopenPath(Handle h);

// ---- interruptions ----
//
// From this call on, the user's requests to stop (on POSIX the signals
// SIGINT, SIGTERM and SIGHUP) no longer end the process at once: the first
// one is noted, and the work that asks Interruption() between its steps stops
// and cleans up. A second request ends the process at once.
void CatchInterruptions();
// Asks the memory allocator to keep freed memory for reuse instead of giving
// it back to the system at once: a conversion allocates and frees the same
// buffers for every file or part, and memory given back is faulted in and
// zeroed again each time. Where the allocator has no such setting, nothing.
void KeepFreedMemory();
// The number of the signal that asked to stop (0: none yet). Safe from any thread.
int Interruption();
// Notes a request to stop as if it had come (0 forgets it): for tests, and
// for a front end's own stop button.
void SetInterruption(int signal);
// A short name of such a signal ("SIGINT"), or its number.
std::string InterruptionName(int signal);
// Removes a folder and everything below it; links are removed, not followed.
bool RemoveTree(const std::string &path);
std::string CurrentDir(); // ends in the separator
bool SetCurrentDir(const std::string &path);
// Gives a file or folder the system's hidden mark: the hidden attribute on
// Windows. On POSIX systems a name starting with "." is the mark, so this only
// checks that the name has it.
bool MarkHidden(const std::string &path);

// Absolute form of a path (no link resolution); empty on failure.
std::string AbsolutePath(const std::string &path);

// Width in columns of the terminal that standard error writes to; 0 when
// standard error is not a terminal.
int ErrorTerminalColumns();

// The last error code of the calling thread (errno; GetLastError() on
// Windows) and the system's text for a code, without a closing line break.
int LastError();
void SetLastError(int code);
std::string ErrorText(int code);
// The system's codes for the failures that the core detects itself.
extern const int ErrNotFound;  // no such file
extern const int ErrBadHandle; // the file is not open
extern const int ErrTooBig;    // the file would grow beyond what it can hold
extern const int ErrInvalid;   // an argument out of range
extern const int ErrIO;        // an input/output failure (injected failures give it)

// Environment variables, UTF-8 both ways. GetEnv is false when `name` is not set.
bool GetEnv(const std::string &name, std::string &value);
bool SetEnv(const std::string &name, const std::string &value);
bool UnsetEnv(const std::string &name);
// The variable that names the system's temporary folder (MakeTempDir,
// OpenAnonymous): TMPDIR on POSIX systems, TMP on Windows.
extern const char *const TempDirVariable;

// The arguments of a command-line program after its own name, UTF-8 (taken
// from the UTF-16 command line on Windows, as given on POSIX systems).
std::vector<std::string> ProgramArguments(int argc, char **argv);
// Makes the console show the program's UTF-8 output (on Windows it switches
// the console's output code page to UTF-8 until the program ends).
void PrepareConsole();

// Test seam: after `countdown` more successful calls of `op`, the next call
// fails with an I/O error. A negative countdown switches injection off.
enum class Op { Open, Read, Write, Seek, Rename, Sync, Any };
void InjectFailure(Op op, int countdown);
// Test seam: `hook` runs just before every call of `op` (Open: the path;
// Rename, with or without replacing: from and to; Sync: the folder, or
// nothing for a file's data), so that a test can change the file system at
// that very moment, or see the calls. An empty hook removes it.
using CallHook = std::function<void(Op op, const std::string &path, const std::string &other)>;
void SetCallHook(Op op, CallHook hook);
// Switches off the injected failure and the hook.
void ClearInjectedFailures();

// The local date and time of the system clock (month 1-12, day 1-31).
struct LocalTime {
  int Year = 0, Month = 0, Day = 0, Hour = 0, Minute = 0, Second = 0;
};
LocalTime LocalNow();

} // namespace platform
