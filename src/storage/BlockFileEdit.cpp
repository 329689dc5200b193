// In-place editing of a composite block file: overwriting a body, marking a
// record deleted, replacing or inserting a record by appending it at EndAdr
// and relinking the chain, and appending records to a logical file. Header
// and directory are kept current in memory and on disk; superseded bytes stay
// as dead space until compaction.
#include <memory>

#include "BlockFile.h"
#include "Cursor.h"
#include "Messages.h"

namespace {

struct Prefix {
  uint8_t flag = 0;
  uint32_t link = EmptyAdr;
  uint16_t len = 0;
};

std::string Signed(uint32_t v) {
  return std::to_string(static_cast<int32_t>(v));
}

// A pooled record buffer for the length of one operation.
struct PooledRec {
  WRec *r = GetBuf();
  PooledRec() = default;
  PooledRec(const PooledRec &) = delete;
  PooledRec &operator=(const PooledRec &) = delete;
  ~PooledRec() {
    try {
      FreeBuf(r);
    } catch (...) {
      // The pool was torn down meanwhile; the buffer went with it.
    }
  }
};

// Reads the 7-byte prefix stored at adr. Addresses are checked against the
// physical size rather than EndAdr because the appending operations patch a
// record they have just written beyond EndAdr.
Prefix ReadPrefixAt(WFile &f, uint32_t adr) {
  const uint64_t size = static_cast<uint64_t>(f.Main->Size());
  if (uint64_t(adr) + LenPrefix > size)
    throw ZError(f.Name + "|" + Signed(adr), 10);
  f.Main->Seek(static_cast<int>(adr));
  unsigned char p[LenPrefix];
  if (f.Main->SRead(p, LenPrefix) != static_cast<int>(LenPrefix))
    throw ZError(f.Name + "|" + Signed(adr), 10);
  Prefix x;
  x.flag = p[0];
  x.link = Get32(p + 1);
  x.len = static_cast<uint16_t>(p[5] | p[6] << 8);
  return x;
}

// The last live record of a logical file and the address reading goes on at
// after it; last is EmptyAdr for a logical file without live records, and
// after is then where its chain starts.
struct ChainEnd {
  uint32_t last = EmptyAdr;
  uint32_t after = EmptyAdr;
};

ChainEnd FindChainEnd(WFile &f, uint32_t n) {
  ChainEnd e;
  const uint32_t len = f.WOpen_file(n);
  e.after = f.CurAdr;
  if (len == LenEof)
    return e;
  PooledRec buf;
  while (f.WRead(buf.r)) {
    e.last = f.CurAdr;
    e.after = f.CurPos;
  }
  return e;
}

// Written counts the bytes of a creation that may be open meanwhile; the
// record writer used by the editing operations must not disturb it.
struct KeepWritten {
  uint32_t &w;
  uint32_t v;
  explicit KeepWritten(uint32_t &written) : w(written), v(written) {}
  KeepWritten(const KeepWritten &) = delete;
  KeepWritten &operator=(const KeepWritten &) = delete;
  ~KeepWritten() { w = v; }
};

} // namespace

void WFile::WUpdate(uint32_t adr, WRec *r) {
  if (Mode != zfmReadWrite)
    throw ZError("Файл " + Name + " не открыт только для чтения/записи", 0);
  const Prefix p = ReadPrefixAt(*this, adr);
  // Exactly 0x80: a deleted record without writer bits must not come back.
  if (p.flag == DeletedFlag)
    throw ZError(Name, 8);
  if (p.len != r->Len)
    throw ZError(Name, 16);
  Main->Seek(static_cast<int>(adr + LenPrefix));
  Main->SWrite(r->Data, r->Len);
  if (r->Next != EmptyAdr && r->Next <= Header.EndAdr)
    Main->Seek(static_cast<int>(r->Next));
}

uint16_t WFile::WUpdatePrefix(uint32_t adr, uint32_t link, char bits) {
  Prefix p = ReadPrefixAt(*this, adr);
  unsigned char b[1 + 4];
  b[0] = static_cast<unsigned char>(p.flag | static_cast<uint8_t>(bits));
  Put32(b + 1, link);
  Main->Seek(static_cast<int>(adr));
  Main->SWrite(b, sizeof b);
  WCloseOpen();
  return p.len;
}

uint16_t WFile::WUpdatePrefix(uint32_t adr, char bits) {
  Prefix p = ReadPrefixAt(*this, adr);
  const unsigned char flag = static_cast<unsigned char>(p.flag | static_cast<uint8_t>(bits));
  Main->Seek(static_cast<int>(adr));
  Main->SWrite(&flag, 1);
  WCloseOpen();
  return p.len;
}

void WFile::WUpdateLogInfo(int n, uint32_t adr) {
  CheckLogNo(static_cast<uint32_t>(n));
  Dir[n].Adr = adr;
  unsigned char b[4];
  Put32(b, adr);
  Main->Seek(static_cast<int>(LenHeader + LenLogInfo * static_cast<uint32_t>(n)));
  Main->SWrite(b, 4);
  WCloseOpen();
}

uint32_t WFile::WEditFile(WEdit mode, int n, uint32_t adr, uint32_t link, WRec *r) {
  CheckLogNo(static_cast<uint32_t>(n));
  const uint32_t ln = static_cast<uint32_t>(n);
  KeepWritten keep(Written);

  // Writes r at EndAdr with the given link and returns that address; EndAdr
  // and the directory are the caller's to update.
  auto appendAtEnd = [&]() {
    const uint32_t e = Header.EndAdr;
    Written = e;
    WSeek(e);
    r->Next = link;
    WWriteEdit(r);
    WCloseOpen();
    return e;
  };
  auto finishAppend = [&](uint32_t e, uint32_t removed) {
    Dir[ln].Len = Dir[ln].Len + LenPrefix + r->Len - removed;
    Header.EndAdr = e + LenPrefix + r->Len;
    WriteEndAdr();
    WriteLogLen(ln);
    WCloseOpen();
    return e;
  };
  auto replace = [&]() {
    ReadPrefixAt(*this, adr); // refuses a bad address before anything is written
    const uint32_t e = appendAtEnd();
    // The old record becomes deleted and leads the reader to the new one.
    const uint16_t old = WUpdatePrefix(adr, e, static_cast<char>(DeletedFlag));
    return finishAppend(e, LenPrefix + old);
  };

  switch (mode) {
  case weDelete: {
    const uint16_t len = WUpdatePrefix(adr, static_cast<char>(DeletedFlag));
    Dir[ln].Len -= LenPrefix + len;
    WriteLogLen(ln);
    WCloseOpen();
    WSeek(adr);
    return adr;
  }
  case weReplace:
    return replace();
  case weInsert: {
    if (adr != EmptyAdr)
      ReadPrefixAt(*this, adr);
    const uint32_t e = appendAtEnd();
    if (adr == EmptyAdr)
      WUpdateLogInfo(n, e); // the new record becomes the first one
    else
      WUpdatePrefix(adr, e, 0);
    return finishAppend(e, 0);
  }
  case weUpdate:
    WUpdate(adr, r);
    return adr;
  case weModify: {
    PooledRec old;
    WReadPrefix(adr, old.r);
    if (old.r->Len == r->Len) {
      WUpdate(adr, r);
      return adr;
    }
    link = old.r->Next != EmptyAdr ? old.r->Next : adr + LenPrefix + old.r->Len;
    return replace();
  }
  }
  return EmptyAdr;
}

void WFile::WAppendRecToLogFile(int n, WRec *r) {
  const uint32_t ln = static_cast<uint32_t>(n);
  KeepWritten keep(Written);
  const ChainEnd c = FindChainEnd(*this, ln);
  const uint32_t e = Header.EndAdr;
  WSeek(e);
  WWriteEdit(r);
  WCloseOpen();
  WUpdatePrefix(e, c.after, 0);
  if (c.last == EmptyAdr)
    Dir[ln].Adr = e;
  else
    WUpdatePrefix(c.last, e, 0);
  Header.EndAdr = e + LenPrefix + r->Len;
  Dir[ln].Len += LenPrefix + r->Len;
  WriteEndAdr();
  WriteLogInfo(ln);
  WCloseOpen();
}

void WFile::WAppendGroup(int n, const std::string &name) {
  const uint32_t ln = static_cast<uint32_t>(n);
  KeepWritten keep(Written);
  auto group = std::make_unique<WFile>(name, zfmRead);
  const ChainEnd c = FindChainEnd(*this, ln);
  const uint32_t e = Header.EndAdr;
  WSeek(e);
  uint32_t sum = 0;
  uint32_t lastSize = 0;
  {
    PooledRec buf;
    while (group->WRead(buf.r)) {
      // The records land back to back here: a link of the group's own file
      // would point into the wrong file.
      buf.r->Next = EmptyAdr;
      WWriteEdit(buf.r);
      lastSize = LenPrefix + buf.r->Len;
      sum += lastSize;
    }
  }
  WCloseOpen();
  // An empty group changes nothing: EndAdr and the directory stay as they were.
  if (sum != 0) {
    WUpdatePrefix(e + sum - lastSize, c.after, 0);
    if (c.last == EmptyAdr)
      Dir[ln].Adr = e;
    else
      WUpdatePrefix(c.last, e, 0);
    Header.EndAdr = e + sum;
    Dir[ln].Len += sum;
    WriteEndAdr();
    WriteLogInfo(ln);
    WCloseOpen();
  }
  group->Close();
}
