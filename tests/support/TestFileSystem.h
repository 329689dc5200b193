// What tests make in the file system beyond plain files and folders, and the
// platform layer only reads: links and read-only files. Each call says
// whether it worked, so a test can skip with the reason where the system or
// the user's rights do not allow it.
#pragma once

#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace testfs {

// The system's codes when a path leads through no folder: a folder that does
// not exist, and a plain file standing where the path needs a folder. POSIX
// systems tell the second apart; Windows reports both as a path not found.
#ifdef _WIN32
inline constexpr int NoFolder = ERROR_PATH_NOT_FOUND;
inline constexpr int FileAsFolder = ERROR_PATH_NOT_FOUND;
#else
inline constexpr int NoFolder = ENOENT;
inline constexpr int FileAsFolder = ENOTDIR;
#endif

#ifdef _WIN32
inline std::wstring Wide(const std::string &s) {
  std::wstring w(s.size(), L'\0');
  const int n = ::MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(),
                                      static_cast<int>(w.size()));
  w.resize(static_cast<size_t>(n));
  for (auto &c : w)
    if (c == L'/')
      c = L'\\';
  return w;
}

// Windows lets only some users make links, and Wine reports success without
// making one: the link counts when it is there afterwards.
inline bool MakeLink(const std::string &target, const std::string &link, DWORD flags) {
  if (!::CreateSymbolicLinkW(Wide(link).c_str(), Wide(target).c_str(),
                             flags | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE))
    return false;
  const DWORD attr = ::GetFileAttributesW(Wide(link).c_str());
  return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_REPARSE_POINT);
}
#endif

// The reason a test gives when it cannot make a link here.
inline constexpr const char *NoLinks = "this system does not let the test make a symbolic link";

// A symbolic link at `link` to the file `target`.
inline bool MakeSymlink(const std::string &target, const std::string &link) {
#ifdef _WIN32
  return MakeLink(target, link, 0);
#else
  return ::symlink(target.c_str(), link.c_str()) == 0;
#endif
}

// A symbolic link at `link` to the folder `target`.
inline bool MakeFolderSymlink(const std::string &target, const std::string &link) {
#ifdef _WIN32
  return MakeLink(target, link, SYMBOLIC_LINK_FLAG_DIRECTORY);
#else
  return ::symlink(target.c_str(), link.c_str()) == 0;
#endif
}

// A second name `link` for the file `existing`.
inline bool MakeHardLink(const std::string &existing, const std::string &link) {
#ifdef _WIN32
  return ::CreateHardLinkW(Wide(link).c_str(), Wide(existing).c_str(), nullptr) != 0;
#else
  return ::link(existing.c_str(), link.c_str()) == 0;
#endif
}

// Makes a file read-only (mode 0444; the read-only attribute on Windows) or
// writable again.
inline bool SetReadOnly(const std::string &path, bool on) {
#ifdef _WIN32
  const std::wstring w = Wide(path);
  const DWORD attr = ::GetFileAttributesW(w.c_str());
  if (attr == INVALID_FILE_ATTRIBUTES)
    return false;
  return ::SetFileAttributesW(w.c_str(), on ? attr | FILE_ATTRIBUTE_READONLY
                                            : attr & ~DWORD{FILE_ATTRIBUTE_READONLY}) != 0;
#else
  return ::chmod(path.c_str(), on ? 0444 : 0644) == 0;
#endif
}

#ifdef _WIN32
// Gives a file or folder the system attribute, which hides it like the hidden one.
inline bool MarkSystem(const std::string &path) {
  const std::wstring w = Wide(path);
  const DWORD attr = ::GetFileAttributesW(w.c_str());
  return attr != INVALID_FILE_ATTRIBUTES &&
         ::SetFileAttributesW(w.c_str(), attr | FILE_ATTRIBUTE_SYSTEM) != 0;
}
#endif

} // namespace testfs
