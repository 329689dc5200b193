#include "BlockFile.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#include "Cursor.h"
#include "Messages.h"
#include "PathAliases.h"
#include "XorCoding.h"

namespace {

constexpr char EndRecord[LenEof] = {0, '\xFF', '\xFF', '\xFF', '\xFF', 1, 0, EofMark};

uint16_t Get16(const unsigned char *p) {
  return static_cast<uint16_t>(p[0] | p[1] << 8);
}

std::string Signed(uint32_t v) {
  return std::to_string(static_cast<int32_t>(v));
}

void MakePrefix(unsigned char *p, uint8_t flag, uint32_t link, uint16_t len) {
  p[0] = flag;
  Put32(p + 1, link);
  p[5] = static_cast<unsigned char>(len);
  p[6] = static_cast<unsigned char>(len >> 8);
}

} // namespace

// ---------------------------------------------------------------- opening

WFile::WFile(const std::string &name) {
  CreatWFile(name, 0, zfmReadWrite, false);
}

WFile::WFile(const std::string &name, int kod) {
  CreatWFile(name, kod, zfmReadWrite, false);
}

WFile::WFile(const std::string &name, ZFileMode m) {
  CreatWFile(name, 0, m, true);
}

WFile::WFile(const std::string &name, bool) {
  CreatWFile(name, 0, zfmRead, false);
}

WFile::WFile(const std::string &name, FirstLogicalFileOnly) {
  CreatWFile(name, 0, zfmRead, false, true);
}

bool WFile::ReadEditionRecord(const std::string &name, WRec &r) {
  WFile f(name, FirstLogicalFileOnly{});
  f.WOpen_file(0);
  const bool got = f.WRead(&r);
  f.Close();
  return got;
}

ZError WFile::Damaged(const std::string &what) const {
  return ZError("Файл " + Name + " поврежден: " + what, 0);
}

void WFile::CreatWFile(const std::string &name, int kod, ZFileMode mode, bool simple,
                       bool firstOnly) {
  Kod = kod;
  Mode = mode;
  if (!simple) {
    Composite = true;
    Main = std::make_unique<SFile>(name, mode);
    Name = Main->Name;
    unsigned char h[LenHeader];
    if (Main->SRead(h, LenHeader) != static_cast<int>(LenHeader))
      throw Damaged("заголовок обрезан концом файла");
    if (Kod != 0)
      KodDekodXor(h, LenHeader, KeyHeader(Kod));
    Header.EndAdr = Get32(h);
    Header.Count = Get32(h + 4);
    if (firstOnly) {
      // Only the entry of logical file 0 is read; a chain that runs past the
      // end of the file still fails when it is read.
      Header.Count = std::min<uint32_t>(Header.Count, 1);
    } else {
      // The header is all a reader has to go on: refuse what the file cannot
      // hold before allocating the directory or following any address.
      const uint64_t size = static_cast<uint64_t>(Main->Size());
      const uint64_t dirEnd = LenHeader + uint64_t(LenLogInfo) * Header.Count;
      if (dirEnd > size)
        throw Damaged("число логических файлов " + std::to_string(Header.Count) +
                      " не помещается в файле");
      if (Header.EndAdr > size)
        throw Damaged("адрес конца данных " + std::to_string(Header.EndAdr) + " за концом файла (" +
                      std::to_string(size) + ")");
      if (Header.EndAdr < dirEnd)
        throw Damaged("адрес конца данных " + std::to_string(Header.EndAdr) + " внутри каталога");
    }
    Dir = std::make_unique<LogInfo[]>(Header.Count);
    for (uint32_t i = 0; i < Header.Count; ++i) {
      unsigned char e[LenLogInfo];
      if (Main->SRead(e, LenLogInfo) != static_cast<int>(LenLogInfo))
        throw Damaged("каталог обрезан концом файла");
      // Entries start at even offsets of the directory block, so decoding
      // them one by one equals decoding the whole block.
      if (Kod != 0)
        KodDekodXor(e, LenLogInfo, KeyLogInfo(Kod));
      Dir[i] = {Get32(e), Get32(e + 4)};
    }
    return;
  }
  Composite = false;
  CurPos = CurAdr = 0;
  Main = std::make_unique<SFile>(name, mode == zfmAppend ? zfmReadWrite : mode);
  Name = Main->Name;
  Header.Count = 1;
  const uint32_t size = static_cast<uint32_t>(Main->Size());
  Header.EndAdr = mode == zfmCreate ? 0 : size;
  Main->Seek(0);
  if (mode == zfmAppend && size > 0) {
    // New records overwrite the end record; anything else there is data.
    char tail[LenEof];
    Main->Seek(static_cast<int>(size < LenEof ? 0 : size - LenEof));
    if (size < LenEof || Main->SRead(tail, LenEof) != static_cast<int>(LenEof) ||
        std::memcmp(tail, EndRecord, LenEof) != 0)
      throw Damaged("нет записи конца файла");
    WSeekEnd();
    Header.EndAdr -= LenEof;
    CurPos = CurAdr = Header.EndAdr;
  }
  WriteStart = Header.EndAdr;
  if (mode != zfmAppend)
    WriteStart = 0;
}

// ---------------------------------------------------------------- reading

void WFile::CheckLogNo(uint32_t n) const {
  if (!Composite || !Dir || n >= Header.Count)
    throw ZError("Для файла " + Name + " неверен номер лог. файла " + Signed(n), 0);
}

uint32_t WFile::WOpen_file(uint32_t n) {
  if (!Composite)
    throw ZError("Для файла " + Name + " невозможна открытие логического файла", 0);
  CheckLogNo(n);
  SeekMain(Dir[n].Adr);
  CurAdr = CurPos;
  ChainBytes = 0;
  return Dir[n].Len;
}

uint32_t WFile::WOpen_file(uint32_t n, int &adr) {
  uint32_t len = WOpen_file(n);
  adr = static_cast<int>(Dir[n].Adr);
  return len;
}

void WFile::SeekMain(uint32_t adr) {
  // Addresses beyond 2 GiB cannot be positioned; SFile refuses them.
  Main->Seek(adr > 0x7FFFFFFFu ? -1 : static_cast<int>(adr));
  CurPos = adr;
}

void WFile::FollowLink(uint32_t adr) {
  if (adr > Header.EndAdr)
    throw ZError(Name + "|" + Signed(adr), 10);
  SeekMain(adr);
}

void WFile::WSeek(uint32_t adr) {
  FollowLink(adr);
  ChainBytes = 0;
}

void WFile::WAbsSeek(uint32_t adr) {
  SeekMain(adr);
  ChainBytes = 0;
}

void WFile::CountStep(uint32_t len) {
  // The records of one chain never share a byte, so a chain whose records
  // add up to more bytes than the file holds runs round in a cycle. Bounding
  // the bytes rather than the records keeps reading a damaged chain linear in
  // the size of the file, whatever the lengths of the records in the cycle.
  ChainBytes += LenPrefix + len;
  if (ChainBytes > static_cast<uint64_t>(Main->Size()))
    throw Damaged("цепочка записей зациклена (адрес " + std::to_string(CurAdr) + ")");
}

void WFile::ReadPrefix(WRec *r) {
  CurAdr = CurPos;
  unsigned char p[LenPrefix];
  if (Main->SRead(p, LenPrefix) != static_cast<int>(LenPrefix))
    throw Damaged("запись по адресу " + std::to_string(CurAdr) + " обрезана концом файла");
  if (Kod != 0)
    KodDekodXor(p, LenPrefix, KeyRecord(Kod, CurAdr));
  r->Flag = p[0];
  r->Next = Get32(p + 1);
  r->Len = Get16(p + 5);
  if (r->Len == 0)
    throw ZError(Name, 9);
  const int limit = r->Capacity() < UseLenRec ? r->Capacity() : UseLenRec;
  if (r->Len > limit)
    throw ZError(Name + "|( " + std::to_string(r->Len) + ")|" + std::to_string(limit), 11);
  CountStep(r->Len);
}

void WFile::ReadBody(WRec *r, int count) {
  if (Main->SRead(r->Data, count) != count)
    throw Damaged("запись по адресу " + std::to_string(CurAdr) + " обрезана концом файла");
  if (Kod != 0)
    KodDekodXor(r->Data, static_cast<uint32_t>(count), KeyRecord(Kod, CurAdr));
}

void WFile::PassRecord(const WRec *r) {
  if (r->Next != EmptyAdr)
    FollowLink(r->Next);
  else
    SeekMain(CurAdr + LenPrefix + r->Len);
}

bool WFile::WRead(WRec *r) {
  // Every long walk over records passes here: it stops when the user asks.
  CheckInterruption();
  for (;;) {
    ReadPrefix(r);
    if (r->Flag & DeletedFlag) {
      // A deleted record with a link redirects the chain (replaced record);
      // without a link it is passed over.
      if (r->Next != EmptyAdr) {
        FollowLink(r->Next);
        continue;
      }
      ReadBody(r, r->Len);
      CurPos = CurAdr + LenPrefix + r->Len;
      continue;
    }
    ReadBody(r, r->Len);
    if (r->IsEof()) {
      CurPos = CurAdr;
      return false;
    }
    PassRecord(r);
    return true;
  }
}

bool WFile::WRead(uint32_t adr, WRec *r) {
  WSeek(adr);
  return WRead(r);
}

bool WFile::WRead(WRec *r, int &adr) {
  WSeek(static_cast<uint32_t>(adr));
  bool got = WRead(r);
  adr = static_cast<int>(CurPos);
  return got;
}

bool WFile::WRead(WRec *r, bool) {
  unsigned char p[LenPrefix];
  int got = Main->SRead(p, LenPrefix);
  if (got == 0)
    return false;
  const int at = Main->Tell() - got;
  if (got != static_cast<int>(LenPrefix))
    throw Damaged("запись по адресу " + std::to_string(at) + " обрезана концом файла");
  r->Flag = p[0];
  r->Next = Get32(p + 1);
  r->Len = Get16(p + 5);
  if (r->Len > r->Capacity())
    throw ZError(Name + "|( " + std::to_string(r->Len) + ")|" + std::to_string(r->Capacity()), 11);
  if (Main->SRead(r->Data, r->Len) != r->Len)
    throw Damaged("запись по адресу " + std::to_string(at) + " обрезана концом файла");
  return true;
}

bool WFile::WReadPrefix(WRec *r) {
  for (;;) {
    ReadPrefix(r);
    if (r->Flag & DeletedFlag) {
      if (r->Next != EmptyAdr)
        FollowLink(r->Next);
      else
        SeekMain(CurAdr + LenPrefix + r->Len);
      continue;
    }
    ReadBody(r, 1);
    if (r->Len == 1 && r->Data[0] == EofMark) {
      CurPos = CurAdr;
      return false;
    }
    PassRecord(r);
    return true;
  }
}

bool WFile::WReadPrefix(uint32_t adr, WRec *r) {
  WSeek(adr);
  return WReadPrefix(r);
}

int WFile::CompareVersion() {
  WOpen_file(0);
  WRec r;
  WRead(&r);
  r.Data[r.Len] = 0; // the spare byte makes room after a full body
  return Ver.CompareVersion(std::string(r.Data, r.Len), r.Len);
}

// ---------------------------------------------------------------- writing

void WFile::CheckRecLen(int len, int capacity) const {
  if (len == 0)
    throw ZError("Для файла " + Name + " задана нулевая длина записи", 0);
  const int limit = capacity < UseLenRec ? capacity : UseLenRec;
  if (len > limit)
    throw ZError(Name + "|( " + std::to_string(len) + ")|" + std::to_string(limit), 11);
}

SFile &WFile::WriteTarget(const char *notWritable) {
  if (Composite) {
    if (!Tmp)
      throw ZError("Невозможна запись в несуществующий файл TMP", 0);
    return *Tmp;
  }
  if (Mode != zfmCreate && Mode != zfmAppend)
    throw ZError("Файл " + Name + notWritable, 0);
  return *Main;
}

uint32_t WFile::Append(SFile &f, uint8_t flag, uint32_t link, uint16_t len, const char *body) {
  unsigned char p[LenPrefix];
  MakePrefix(p, flag, link, len);
  f.SWrite(p, LenPrefix);
  f.SWrite(body, len);
  if (!Composite)
    Header.EndAdr += LenPrefix + len;
  const uint32_t at = Written;
  Written += LenPrefix + len;
  return at;
}

uint32_t WFile::WWrite(WRec *r) {
  SFile &f = WriteTarget(" не открыт для записи или дозаписи");
  CheckRecLen(r->Len, r->Capacity());
  r->Next = EmptyAdr;
  return Append(f, r->Flag, EmptyAdr, r->Len, r->Data);
}

uint32_t WFile::WWrite(const std::string &s) {
  SFile &f = WriteTarget(" не открыт для записи или дозаписи");
  CheckRecLen(static_cast<int>(s.size() + 2 > 0xFFFF ? 0xFFFF + 1 : s.size() + 2), UseLenRec);
  std::string body(2, '\0');
  body[0] = static_cast<char>(s.size());
  body[1] = static_cast<char>(s.size() >> 8);
  body += s;
  return Append(f, 0, EmptyAdr, static_cast<uint16_t>(body.size()), body.data());
}

uint32_t WFile::WWrite(char flag, uint16_t length, const char *data) {
  SFile &f = WriteTarget(" не открыт только для записи или дозаписи");
  CheckRecLen(length, UseLenRec);
  return Append(f, static_cast<uint8_t>(flag), EmptyAdr, length, data);
}

void WFile::WUpdateTmp(uint32_t adr, WRec *r, int count) {
  SFile &f = WriteTarget(" не открыт для записи или дозаписи");
  CheckRecLen(r->Len, r->Capacity());
  // Only a record written earlier in the same area may be rewritten.
  if (uint64_t(adr) + LenPrefix + r->Len > Written)
    throw ZError("Для файла " + Name + " неверен адрес перезаписи " + Signed(adr), 0);
  // Offsets count from where writing began (not 0 for a simple file opened
  // for appending), both for the record and for the return to the end.
  f.Seek(static_cast<int>(WriteStart + adr));
  r->Next = EmptyAdr;
  unsigned char p[LenPrefix];
  MakePrefix(p, r->Flag, EmptyAdr, r->Len);
  f.SWrite(p, LenPrefix);
  f.SWrite(r->Data, count <= 0 || count >= r->Len ? r->Len : count);
  f.Seek(static_cast<int>(WriteStart + Written));
}

void WFile::WCreat_file(uint32_t n) {
  if (!Composite)
    throw ZError("Файл " + Name + " не является составным", 0);
  if (OpenLog != EmptyAdr) {
    const uint32_t old = OpenLog;
    WClose_file(old, true);
    throw ZError("Для файла " + Name + " не выполнено закрытие файла " + Signed(old), 0);
  }
  // The number is checked after the state: a creation left open is committed
  // whatever number the new one names.
  CheckLogNo(n);
  Written = 0;
  OpenLog = n;
  try {
    if (MemoryTmp) {
      Tmp = std::make_unique<SFile>(Name + TmpSuffix, AnonymousFile{});
    } else {
      const std::string tmpName = GetRealName(Name + TmpSuffix);
      if (platform::FileExists(tmpName))
        platform::RemoveFile(tmpName);
      Tmp = std::make_unique<SFile>(Name + TmpSuffix, zfmCreate);
    }
  } catch (...) {
    OpenLog = EmptyAdr;
    throw;
  }
}

void WFile::WClose_file(uint32_t n, bool commit) {
  if (!Composite)
    throw ZError("Файл " + Name + " не является составным", 0);
  if (!Tmp)
    throw ZError("Закрытие файла невозможно для несуществующего файла TMP$", 0);
  if (OpenLog == EmptyAdr)
    throw ZError("Для файла " + Name + " не выполнено создание файла " + Signed(n), 0);
  if (OpenLog != n) {
    const uint32_t open = OpenLog;
    WClose_file(open, true);
    throw ZError("Для файла " + Name + " ошибочно задан номер файла " + Signed(n) + " вместо " +
                     Signed(open),
                 0);
  }
  // Reached only with n the open number, which WCreat_file checked; kept so
  // that no entry beyond Dir is ever written.
  CheckLogNo(n);
  if (Tmp->Mode != zfmRead) {
    // The end record ends the area; a repeated commit after a failure finds
    // the area already closed and reopened for reading.
    Tmp->SWrite(EndRecord, LenEof);
    Written += LenEof;
    Tmp->EndWriting();
  }
  if (!commit) {
    OpenLog = EmptyAdr;
    DropTmp();
    return;
  }
  Commit(n);
}

void WFile::Commit(uint32_t n) {
  if (Mode != zfmReadWrite)
    throw ZError("Файл " + Name + " не открыт только для записи", 0);
  if (Tmp->Mode != zfmRead)
    Tmp = std::make_unique<SFile>(Name + TmpSuffix, zfmRead);
  // The area holds contiguous records with every link EmptyAdr from offset
  // 0, which is exactly the new chain: it moves as whole blocks.
  const uint32_t start = Header.EndAdr;
  const int total = Tmp->Size();
  WSeek(start);
  auto block = std::make_unique_for_overwrite<char[]>(SFile::BufSize);
  int moved = 0;
  Tmp->Seek(0);
  while (moved < total) {
    const int got = Tmp->SRead(block.get(), SFile::BufSize);
    if (got <= 0)
      break;
    Main->SWrite(block.get(), got);
    moved += got;
  }
  if (moved != total || moved < static_cast<int>(LenEof))
    throw Damaged("временный файл " + Tmp->Name + " прочитан не полностью");
  // The data is in place before the header names it; the header is written
  // EndAdr first, then the entry, so the old version stays in force until the
  // last write.
  Main->Flush();
  Tmp->Close();
  OpenLog = EmptyAdr;
  DropTmp();
  Written = static_cast<uint32_t>(moved);
  // Memory follows the disk: a failed header write leaves both as they were.
  const LogInfo oldEntry = Dir[n];
  Dir[n] = {start, Written};
  Header.EndAdr = start + Written;
  try {
    WriteEndAdr();
    Main->Flush();
  } catch (...) {
    Header.EndAdr = start;
    Dir[n] = oldEntry;
    throw;
  }
  try {
    WriteLogInfo(n);
    WCloseOpen();
  } catch (...) {
    Dir[n] = oldEntry;
    throw;
  }
}

void WFile::DropTmp() {
  const bool named = !Tmp || !Tmp->Anonymous;
  Tmp.reset();
  if (named)
    platform::RemoveFile(GetRealName(Name + TmpSuffix));
}

void WFile::WriteEndAdr() {
  unsigned char b[4];
  Put32(b, Header.EndAdr);
  Main->Seek(0);
  Main->SWrite(b, 4);
}

void WFile::WriteLogInfo(uint32_t n) {
  unsigned char b[LenLogInfo];
  Put32(b, Dir[n].Adr);
  Put32(b + 4, Dir[n].Len);
  Main->Seek(static_cast<int>(LenHeader + LenLogInfo * n));
  Main->SWrite(b, LenLogInfo);
}

void WFile::WriteLogLen(uint32_t n) {
  unsigned char b[4];
  Put32(b, Dir[n].Len);
  Main->Seek(static_cast<int>(LenHeader + LenLogInfo * n + 4));
  Main->SWrite(b, 4);
}

void WFile::WClear_file(uint32_t n) {
  if (!Composite)
    throw ZError("Для файла " + Name + " невозможна очистка логического файла", 0);
  CheckLogNo(n);
  Dir[n].Len = LenEof;
  WriteLogLen(n);
  Main->Seek(Dir[n].Adr > 0x7FFFFFFFu ? -1 : static_cast<int>(Dir[n].Adr));
  Main->SWrite(EndRecord, LenEof);
  Main->Flush();
}

uint32_t WFile::WWriteEdit(WRec *r) {
  if (Mode != zfmReadWrite)
    throw ZError("Файл " + Name + " не открыт только для записи", 0);
  CheckRecLen(r->Len, r->Capacity());
  return Append(*Main, r->Flag, r->Next, r->Len, r->Data);
}

void WFile::WCloseOpen() {
  Main->Flush();
  Main->Seek(0);
}

void WFile::WSeekEnd() {
  if (Composite)
    throw ZError("Файл " + Name + " должен быть простым", 0);
  Main->Seek(Main->Size() - static_cast<int>(LenEof), 0);
}

void WFile::WWriteAppend(WRec *r) {
  if (Composite)
    throw ZError("Файл " + Name + " должен быть простым", 0);
  CheckRecLen(r->Len, r->Capacity());
  Main->Seek(Main->Size());
  Append(*Main, r->Flag, EmptyAdr, r->Len, r->Data);
}

// ---------------------------------------------------------------- closing

void WFile::FlushStream() {
  if (WBuf && WFill > 0) {
    WWrite(0, static_cast<uint16_t>(WFill), WBuf->Data);
    WFill = 0;
  }
}

void WFile::ReleaseStreams() {
  for (WRec **b : {&RBuf, &WBuf}) {
    if (*b) {
      try {
        FreeBuf(*b);
      } catch (const ZError &) {
        // The pool was torn down first; the buffer went with it.
      }
      *b = nullptr;
    }
  }
}

void WFile::Close() {
  if (Closed)
    return;
  Closed = true;
  std::optional<ZError> unclosed;
  try {
    if (OpenLog != EmptyAdr) {
      const uint32_t n = OpenLog;
      FlushStream();
      WClose_file(n, true);
      unclosed.emplace("Для файла " + Name + " не выполнено закрытие файла " + Signed(n), 0);
    }
    if (!Composite && (Mode == zfmCreate || Mode == zfmAppend)) {
      FlushStream();
      Main->SWrite(EndRecord, LenEof);
      Header.EndAdr += LenEof;
    }
    Main->Close();
  } catch (...) {
    // Nothing may stay behind: the temporary area goes, the handles close.
    if (Tmp)
      DropTmp();
    OpenLog = EmptyAdr;
    ReleaseStreams();
    Main.reset();
    throw;
  }
  ReleaseStreams();
  Main.reset();
  if (unclosed)
    throw *unclosed;
}

WFile::~WFile() {
  CloseAndReport([this] { Close(); });
}
