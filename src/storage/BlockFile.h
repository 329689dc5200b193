// Block files: one physical file holding numbered logical files, each a chain
// of records (7-byte prefix: flag, link, length; then the body).
//
// Composite block file layout (all integers little-endian):
//   0          EndAdr  u32   address just past the used data
//   4          Count   u32   number of logical files
//   8 + 8*i    Adr     u32   first record of logical file i
//   12 + 8*i   Len     u32   bytes of its live records incl. the end record
//   8 + 8*Count          data area: record chains in any order, dead space
// A simple block file is one bare chain from offset 0.
// Every chain ends with the end record 00 FF FF FF FF 01 00 40.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "Edition.h"
#include "Messages.h"
#include "PlainFile.h"
#include "RecordBuffer.h"

struct WHeader {
  uint32_t EndAdr = 0;
  uint32_t Count = 0;
};
constexpr uint32_t LenHeader = 4 + 4;

struct LogInfo {
  uint32_t Adr = 0;
  uint32_t Len = 0;
};
constexpr uint32_t LenLogInfo = 4 + 4;

// Edit modes of WEditFile; other values change nothing.
enum WEdit : int { weDelete = 1, weReplace = 2, weInsert = 3, weUpdate = 4, weModify = 5 };

// Position of an item in a stream: record address and offset in its body.
struct FullAdr {
  uint32_t Adr = 0;
  uint32_t Off = 0;
};

// Suffix of the temporary area of a logical file under creation.
inline constexpr const char *TmpSuffix = "$$";

class WFile {
public:
  // Composite, read/write, no coding.
  explicit WFile(const std::string &name);
  // Composite, read/write, stored bytes XOR-coded with parameter kod.
  WFile(const std::string &name, int kod);
  // Simple block file in mode m (zfmAppend: positioned over the end record).
  WFile(const std::string &name, ZFileMode m);
  // Composite, read-only (the flag does not matter).
  WFile(const std::string &name, bool readOnly);
  // Composite, read-only, over a file opened for reading (a file made of
  // pieces of another: an inner file read where it lies).
  explicit WFile(std::unique_ptr<SFile> main);
  // Does what Close() does, but reports through OutErr and never throws.
  ~WFile();
  WFile(const WFile &) = delete;
  WFile &operator=(const WFile &) = delete;

  // Commits a logical file still under creation (and raises the "не выполнено
  // закрытие" error afterwards), ends a simple file opened for writing with its
  // end record, returns stream buffers and closes Main. Idempotent.
  void Close();

  // Reads the first record of logical file 0, the edition record, into r.
  // Opens the file read-only and looks at nothing else: the header's Count
  // and EndAdr and the other directory entries are not checked against the
  // file, so that damage elsewhere does not hide the file's edition. False
  // when logical file 0 is empty; raises ZError when the record cannot be read.
  static bool ReadEditionRecord(const std::string &name, WRec &r);

  // ---- reading ----
  uint32_t WOpen_file(uint32_t n);
  uint32_t WOpen_file(uint32_t n, int &adr);
  void WSeek(uint32_t adr);    // adr > EndAdr raises code 10
  void WAbsSeek(uint32_t adr); // no bound test
  bool WRead(WRec *r);         // next live record; false at the end record
  bool WRead(uint32_t adr, WRec *r);
  bool WRead(WRec *r, int &adr); // adr in: where to read; out: CurPos
  bool WRead(WRec *r, bool raw); // raw prefix + body at the physical position
  bool WReadPrefix(WRec *r);
  bool WReadPrefix(uint32_t adr, WRec *r);
  int CompareVersion();

  // ---- writing (whole logical files) ----
  void WCreat_file(uint32_t n);
  uint32_t WWrite(WRec *r);
  uint32_t WWrite(const std::string &s);
  uint32_t WWrite(char flag, uint16_t length, const char *data);
  void WUpdateTmp(uint32_t adr, WRec *r, int count);
  void WClose_file(uint32_t n, bool commit);
  void WClear_file(uint32_t n);
  uint32_t WWriteEdit(WRec *r);
  void WCloseOpen(); // pushes Main's buffered bytes to the file system
  void WSeekEnd();
  void WWriteAppend(WRec *r);

  // ---- editing records in place (BlockFileEdit.cpp) ----
  void WUpdate(uint32_t adr, WRec *r);
  uint16_t WUpdatePrefix(uint32_t adr, uint32_t link, char bits);
  uint16_t WUpdatePrefix(uint32_t adr, char bits);
  void WUpdateLogInfo(int n, uint32_t adr);
  uint32_t WEditFile(WEdit mode, int n, uint32_t adr, uint32_t link, WRec *r);
  void WAppendRecToLogFile(int n, WRec *r);
  void WAppendGroup(int n, const std::string &name);

  // ---- item streams (BlockFileStream.cpp) ----
  uint32_t WBOpenFile(uint32_t n, const char *delimiter, int fixedLen);
  uint32_t WBOpenFile(uint32_t n, const char *delimiter);
  uint32_t WBOpenFile(uint32_t n, int fixedLen);
  bool WGet(char **item, int &length, FullAdr *at);
  int WGet(char **item);
  int WGet(char **item, FullAdr *at);
  int WGet(char *destination);
  bool WGet(char *destination, int &length);
  void WBCreatFile(uint32_t n, const char *delimiter, int fixedLen);
  void WBCreatFile(uint32_t n, const char *delimiter);
  void WBCreatFile(uint32_t n, int fixedLen);
  void WPut(const char *data, int length);
  void WCommit();
  void WBCloseFile(uint32_t n);

  // ---- shared checks and low-level writers ----
  // Raises "Для файла <Name> неверен номер лог. файла <n>" (code 0) when
  // the file is simple or n >= Count; n is printed as a signed 32-bit value.
  void CheckLogNo(uint32_t n) const;
  // Writes EndAdr at offset 0 / entry n of Dir at 8 + 8*n / Len of entry n
  // at 12 + 8*n. Main's position afterwards is undefined.
  void WriteEndAdr();
  void WriteLogInfo(uint32_t n);
  void WriteLogLen(uint32_t n);
  // Positions Main at adr and sets CurPos without changing the chain bound.
  void SeekMain(uint32_t adr);

  // ---- state ----
  WHeader Header;                 // composite: as read, kept current; simple: {end, 1}
  std::unique_ptr<LogInfo[]> Dir; // composite: Count entries
  std::string Name;               // resolved physical name
  bool Composite = true;
  ZFileMode Mode = zfmReadWrite;
  std::unique_ptr<SFile> Main;
  std::unique_ptr<SFile> Tmp; // temporary area Name + "$$" while creating
  // The temporary area lives in memory instead of the file Name + "$$": for
  // the program's own temporary block files, whose areas are small and never
  // seen by anyone, so that no file is made and removed for each logical file
  // created. Set before WCreat_file; off by default.
  bool MemoryTmp = false;
  uint32_t Written = 0;
  uint32_t CurPos = EmptyAdr;
  uint32_t CurAdr = EmptyAdr;
  uint32_t OpenLog = EmptyAdr;
  int Kod = 0;
  uint32_t WriteStart = 0; // simple file: physical offset where writing began
  uint64_t ChainBytes = 0; // bytes of the records passed since the chain was entered

  // Item stream state.
  WRec *RBuf = nullptr; // pooled
  FullAdr ItemAt;
  FullAdr NextAt;
  const char *RDelim = nullptr; // caller's text
  int RDelimLen = 0;
  uint32_t RNext = EmptyAdr;
  int RKind = 0;
  int RFixLen = 0;
  uint32_t RBufAdr = EmptyAdr; // address of the record RBuf holds; EmptyAdr: none
  WRec *WBuf = nullptr;        // pooled
  int WFill = 0;
  const char *WDelim = nullptr; // caller's text
  int WExtra = 0;
  int WKind = 0;

  SZEPVER Ver;

private:
  // Composite, read-only, with logical file 0 alone open to reading.
  struct FirstLogicalFileOnly {};
  WFile(const std::string &name, FirstLogicalFileOnly);
  void CreatWFile(const std::string &name, int kod, ZFileMode mode, bool simple,
                  bool firstOnly = false, std::unique_ptr<SFile> main = nullptr);
  ZError Damaged(const std::string &what) const;
  void ReadPrefix(WRec *r);
  void ReadBody(WRec *r, int count);
  void PassRecord(const WRec *r);
  void FollowLink(uint32_t adr);
  void CountStep(uint32_t len); // adds a record of body length len to the chain
  void CheckRecLen(int len, int capacity) const;
  SFile &WriteTarget(const char *notWritable);
  uint32_t Append(SFile &f, uint8_t flag, uint32_t link, uint16_t len, const char *body);
  void Commit(uint32_t n);
  void DropTmp(); // the temporary area goes, with its file when it has one
  void FlushStream();
  void ReleaseStreams();
  bool Closed = false;
};
