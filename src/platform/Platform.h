// The one place where the program talks to the operating system: plain file
// handles, folders, the last error and its text, temporary folders. The
// portable core calls only these; a port to another system changes this
// module alone. Tests inject I/O failures here (see InjectFailure).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace platform {

// Opening modes of a plain file handle.
enum class OpenMode {
  Read,      // existing file, read only
  ReadWrite, // existing file, read and write
  Create,    // create or truncate, write only
};

using Handle = int;
constexpr Handle InvalidHandle = -1;

// Every call that fails returns InvalidHandle / -1 / false and leaves the
// reason in LastError(), as the system's own calls do.
Handle Open(const std::string &path, OpenMode mode);
// As above, and gives the size of the opened file in *size, known from the
// check the opening makes anyway (a folder is refused).
Handle Open(const std::string &path, OpenMode mode, int64_t *size);
// Files from this size on are read with the system's sequential read-ahead hint.
constexpr int64_t SequentialHintSize = int64_t{1} << 20;
// A new file in memory without a name, open for reading and writing; it goes
// with its last handle and never appears in any folder.
Handle OpenAnonymous(const std::string &label);
bool Close(Handle h);
// Reads up to count bytes; returns the number read (0 at the end), -1 on failure.
int64_t Read(Handle h, void *buf, int64_t count);
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

bool FileExists(const std::string &path); // a plain file (symlinks followed)
bool DirExists(const std::string &path);  // a folder (symlinks followed)
bool RemoveFile(const std::string &path);
// Replaces `to` atomically when it exists.
bool RenameFile(const std::string &from, const std::string &to);
// Creates the folder and every missing parent; true when it exists afterwards.
bool MakeDirs(const std::string &path);
// Copies a plain file, replacing an existing target.
bool CopyFile(const std::string &from, const std::string &to);
// True when both names lead to the same existing file (links, other spellings).
bool SameFile(const std::string &a, const std::string &b);
// Physical size of a file by name, or -1.
int64_t FileSize(const std::string &path);

struct DirEntry {
  std::string name;
  bool isDir = false;    // a real folder (not a link to one)
  bool isFile = false;   // a plain file, or a link to one
  bool isLink = false;   // a symbolic link
  bool isHidden = false; // name starts with "."
};
// Entries of a folder except "." and "..", sorted by name (byte order) so that
// every walk is repeatable. Returns false when the folder cannot be read.
bool ListDir(const std::string &path, std::vector<DirEntry> &out);

// A new private folder under the system's temporary folder, ending in the
// separator; empty on failure.
std::string MakeTempDir(const std::string &prefix);
// Removes a folder and everything below it; links are removed, not followed.
bool RemoveTree(const std::string &path);
std::string CurrentDir(); // ends in the separator

// Absolute form of a path (no link resolution); empty on failure.
std::string AbsolutePath(const std::string &path);

constexpr char Separator = '/';

// Width in columns of the terminal that standard error writes to; 0 when
// standard error is not a terminal.
int ErrorTerminalColumns();

// The last error code of the calling thread and the system's text for a code.
int LastError();
void SetLastError(int code);
std::string ErrorText(int code);

// Test seam: after `countdown` more successful calls of `op`, the next call
// fails with an I/O error. A negative countdown switches injection off.
enum class Op { Open, Read, Write, Seek, Rename, Sync, Any };
void InjectFailure(Op op, int countdown);
// Test seam: `hook` runs just before every call of `op` (Open: the path;
// Rename, with or without replacing: from and to), so that a test can change
// the file system at that very moment. An empty hook removes it.
using CallHook = std::function<void(const std::string &path, const std::string &other)>;
void SetCallHook(Op op, CallHook hook);
// Switches off the injected failure and the hook.
void ClearInjectedFailures();

// The local date and time of the system clock (month 1-12, day 1-31).
struct LocalTime {
  int Year = 0, Month = 0, Day = 0, Hour = 0, Minute = 0, Second = 0;
};
LocalTime LocalNow();

} // namespace platform
