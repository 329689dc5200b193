// Plain physical files with an open mode. Every read and write goes through a
// buffer of the object's own, so small reads and writes cost no system call;
// Seek and Tell stay exact across the buffer.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "Platform.h"

enum ZFileMode : int {
  zfmRead = 1,      // existing file, read only (opened read-only by the system)
  zfmCreate = 2,    // asks through OutSel before replacing an existing file
  zfmRewrite = 3,   // replaces an existing file silently
  zfmReadWrite = 4, // existing file, read and write
  zfmAppend = 5,    // simple block files only (WFile); SFile refuses it
};

// Selects the constructor of an anonymous file.
struct AnonymousFile {};
// Selects the constructor that writes an empty temporary file where it is.
struct InPlace {};

class SFile {
public:
  // Resolves name through GetRealName and opens it. Raises ZError 1 (missing
  // for zfmRead/zfmReadWrite), 999 (replacing declined), 99 (system refusal,
  // with the resolved name); an unknown mode raises std::invalid_argument.
  SFile(const std::string &name, ZFileMode mode);
  // An empty file in memory without a name (platform::OpenAnonymous), open
  // for writing like zfmCreate; `name` only labels its messages. Raises ZError
  // 99 when the system refuses.
  SFile(const std::string &name, AnonymousFile);
  // The program's own empty temporary file `name` (just made and held by its
  // owner, or a name that opens an unnamed one again) opened for writing
  // like zfmCreate, where it is: not created, truncated or replaced, so it
  // keeps its identity and what its owner holds on it (and a file system
  // that writes a truncated file out at closing has no cause to). Raises
  // ZError 99 when the system refuses or the file is not empty.
  SFile(const std::string &name, InPlace);
  // Writes pending bytes and closes; a failure is shown through OutErr.
  ~SFile();
  SFile(const SFile &) = delete;
  SFile &operator=(const SFile &) = delete;

  // Up to count bytes at the current position; 0 at the end. Code 17 in a
  // creating mode.
  int SRead(void *buffer, int count);
  // count bytes at the current position. Code 18 in zfmRead.
  void SWrite(const void *buffer, int count);
  // The text followed by "\r\n".
  void SWrite(const std::string &text);
  // Absolute position from the start; returns it.
  int Seek(int position);
  // origin 0: from the start, 1: from the current position, 2: from the end.
  int Seek(int offset, uint32_t origin);
  int Tell() const { return static_cast<int>(Pos); }
  // Size of the file including bytes still in the buffer.
  int Size() const;
  // Writes pending bytes to the file system.
  void Flush();
  // Flush, then close the handle; raises on failure. Idempotent.
  void Close();
  // Ends writing: a named file is closed (and opened again by name to be
  // read); an anonymous one, which closing would lose, is flushed and turns
  // to reading (Mode zfmRead).
  void EndWriting();

  std::string Name; // resolved name; every message of the file uses it
  ZFileMode Mode;
  platform::Handle Handle = platform::InvalidHandle;
  bool Anonymous = false; // in memory, without a name

  static constexpr int BufSize = 64 * 1024;
  static constexpr int MinBuf = 4096; // window of a small file opened for reading

private:
  [[noreturn]] void SysError() const;
  void CheckOpen() const;
  void WriteBack();            // writes the dirty part of the window
  void Load(int64_t at);       // fills the window from at
  void SeekHandle(int64_t at); // positions the handle unless it is there

  std::unique_ptr<char[]> Buf;
  int64_t Cap = BufSize; // size of Buf
  int64_t Pos = 0;       // logical position
  int64_t WinStart = 0;  // file offset of Buf[0]
  int64_t WinLen = 0;    // valid bytes in Buf
  int64_t DirtyLo = 0;   // dirty bytes [DirtyLo, DirtyHi) of the window
  int64_t DirtyHi = 0;
  int64_t PhysSize = 0;   // size of the file on disk as far as this object knows
  int64_t HandlePos = -1; // the handle's own position; -1: not known
};
