#include "PlainFile.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <stdexcept>

#include "Messages.h"
#include "PathAliases.h"

SFile::SFile(const std::string &name, ZFileMode mode) : Mode(mode) {
  Name = GetRealName(name);
  platform::OpenMode how;
  switch (mode) {
  case zfmRead:
  case zfmReadWrite:
    if (!platform::FileExists(Name))
      throw ZError(Name, 1);
    how = mode == zfmRead ? platform::OpenMode::Read : platform::OpenMode::ReadWrite;
    break;
  case zfmCreate:
  case zfmRewrite:
    if (platform::FileExists(Name)) {
      if (mode == zfmCreate && !OutSel(Name, 1))
        throw ZError(Name, 999);
      platform::RemoveFile(Name); // a failure shows in the open below
    }
    how = platform::OpenMode::Create;
    break;
  default:
    throw std::invalid_argument("SFile: unknown file mode " + std::to_string(mode));
  }
  int64_t size = 0;
  Handle = platform::Open(Name, how, &size);
  if (Handle == platform::InvalidHandle)
    SysError();
  PhysSize = size;
  // A file only read needs no window larger than itself.
  if (mode == zfmRead && size < BufSize)
    Cap = std::max<int64_t>(MinBuf, (size + MinBuf - 1) / MinBuf * MinBuf);
  Buf = std::make_unique_for_overwrite<char[]>(static_cast<size_t>(Cap));
  Room = Cap;
  HandlePos = 0;
}

SFile::SFile(const std::string &name, AnonymousFile) : Name(name), Mode(zfmCreate) {
  Anonymous = true;
  Buf = std::make_unique_for_overwrite<char[]>(BufSize);
  // The label shows in the system's listings of open files; its length is limited.
  const size_t sep = name.find_last_of(platform::Separators);
  Handle = platform::OpenAnonymous(name.substr(sep == std::string::npos ? 0 : sep + 1, 200));
  if (Handle == platform::InvalidHandle)
    SysError();
  HandlePos = 0;
}

SFile::SFile(const std::string &name, InPlace) : Name(name), Mode(zfmCreate) {
  int64_t size = 0;
  Handle = platform::Open(Name, platform::OpenMode::ReadWrite, &size);
  if (Handle == platform::InvalidHandle)
    SysError();
  if (size != 0) {
    platform::Close(Handle);
    Handle = platform::InvalidHandle;
    platform::SetLastError(EEXIST);
    SysError();
  }
  Buf = std::make_unique_for_overwrite<char[]>(BufSize);
  HandlePos = 0;
}

namespace {

// Pieces this close together in their file are read with one call; the
// bytes between them are read and dropped.
constexpr int64_t PieceGap = 64;
// Window and span of a file made of pieces: fewer, larger reads.
constexpr int64_t PiecesBuf = 64 * 1024;

} // namespace

SFile::SFile(const std::string &name, const std::string &path, std::vector<FilePiece> pieces)
    : SFile(path, zfmRead) {
  Name = name;
  Pieced = true;
  Pieces = std::move(pieces);
  PieceStart.reserve(Pieces.size());
  int64_t size = 0;
  for (const FilePiece &p : Pieces) {
    PieceStart.push_back(size);
    size += p.n;
  }
  PhysSize = size;
  // A small file needs no window larger than itself.
  Cap = std::min(PiecesBuf, std::max<int64_t>(MinBuf, (size + MinBuf - 1) / MinBuf * MinBuf));
  Buf = std::make_unique_for_overwrite<char[]>(static_cast<size_t>(Cap));
  Room = Cap;
  Span = std::make_unique_for_overwrite<char[]>(static_cast<size_t>(SpanCap()));
}

int64_t SFile::Window(int64_t size) {
  WriteBack();
  const int64_t old = Cap;
  Cap = std::clamp<int64_t>(size, 16, Room);
  WinLen = 0;
  return old;
}

int64_t SFile::SpanCap() const {
  return Cap + PieceGap;
}

int64_t SFile::ReadAt(int64_t at, char *out, int64_t n) {
  if (Pieced)
    return ReadPieces(at, out, n);
  return ReadRaw(at, out, n);
}

// Reads at a position without a seek: where the handle is afterwards is not
// known, so the next write seeks.
int64_t SFile::ReadRaw(int64_t at, char *out, int64_t n) {
  HandlePos = -1;
  const int64_t got = platform::ReadAt(Handle, out, n, at);
  if (got < 0)
    SysError();
  return got;
}

// Reads the pieces that hold [at, at + n): pieces that lie in order, close
// together, with one read into Span, and copied out from there.
int64_t SFile::ReadPieces(int64_t at, char *out, int64_t n) {
  struct Segment {
    int64_t from, n;
  };
  std::vector<Segment> segs;
  int64_t done = 0;
  while (done < n && at + done < PhysSize) {
    const int64_t pos = at + done;
    size_t k = static_cast<size_t>(std::upper_bound(PieceStart.begin(), PieceStart.end(), pos) -
                                   PieceStart.begin() - 1);
    const int64_t from = Pieces[k].at + (pos - PieceStart[k]);
    int64_t end = from, wanted = 0, segFrom = from;
    segs.clear();
    for (;;) {
      const int64_t len = std::min(
          {Pieces[k].at + Pieces[k].n - segFrom, n - done - wanted, from + SpanCap() - segFrom});
      if (len <= 0)
        break;
      segs.push_back({segFrom, len});
      wanted += len;
      end = segFrom + len;
      if (done + wanted == n || end < Pieces[k].at + Pieces[k].n || k + 1 == Pieces.size())
        break;
      const int64_t next = Pieces[k + 1].at;
      if (next < end || next - end > PieceGap)
        break;
      segFrom = next;
      ++k;
    }
    int64_t got = 0;
    while (got < end - from) {
      const int64_t r = ReadRaw(from + got, Span.get() + got, end - from - got);
      if (r == 0)
        break;
      got += r;
    }
    for (const Segment &g : segs) {
      const int64_t have = std::min(g.n, from + got - g.from);
      if (have > 0) {
        std::memcpy(out + done, Span.get() + (g.from - from), static_cast<size_t>(have));
        done += have;
      }
      if (have < g.n)
        return done; // the file ends early
    }
  }
  return done;
}

void SFile::EndWriting() {
  if (!Anonymous) {
    Close();
    return;
  }
  try {
    Flush();
  } catch (...) {
    // The bytes not written are lost with the failure: the file goes too.
    platform::Close(Handle);
    Handle = platform::InvalidHandle;
    throw;
  }
  Mode = zfmRead;
}

void SFile::SeekHandle(int64_t at) {
  if (HandlePos == at)
    return; // the handle is there already: no system call
  HandlePos = -1;
  if (platform::Seek(Handle, at) < 0)
    SysError();
  HandlePos = at;
}

SFile::~SFile() {
  CloseAndReport([this] { Close(); });
}

void SFile::SysError() const {
  OutSystemError(Name);
}

void SFile::CheckOpen() const {
  if (Handle == platform::InvalidHandle) {
    platform::SetLastError(platform::ErrBadHandle);
    SysError();
  }
}

void SFile::WriteBack() {
  if (DirtyHi <= DirtyLo)
    return;
  int64_t at = WinStart + DirtyLo;
  int64_t n = DirtyHi - DirtyLo;
  int64_t lo = DirtyLo;
  // Clean first: a failed write is reported once, not again at every flush.
  DirtyLo = DirtyHi = 0;
  SeekHandle(at);
  HandlePos = -1;
  if (!platform::Write(Handle, Buf.get() + lo, n))
    SysError();
  HandlePos = at + n;
  PhysSize = std::max(PhysSize, at + n);
}

void SFile::Load(int64_t at) {
  WriteBack();
  WinStart = at;
  WinLen = 0;
  WinLen = ReadAt(at, Buf.get(), Cap);
}

int SFile::SRead(void *buffer, int count) {
  if (Mode == zfmCreate || Mode == zfmRewrite)
    throw ZError(Name, 17);
  if (count <= 0)
    return 0;
  CheckOpen();
  char *out = static_cast<char *>(buffer);
  int64_t done = 0;
  while (done < count) {
    int64_t want = count - done;
    if (Pos >= WinStart && Pos < WinStart + WinLen) {
      int64_t n = std::min(want, WinStart + WinLen - Pos);
      std::memcpy(out + done, Buf.get() + (Pos - WinStart), static_cast<size_t>(n));
      done += n;
      Pos += n;
      continue;
    }
    if (want >= Cap) {
      // A large read bypasses the window; pending bytes reach the file first.
      WriteBack();
      const int64_t n = ReadAt(Pos, out + done, want);
      done += n;
      Pos += n;
      break;
    }
    Load(Pos);
    if (WinLen == 0)
      break; // end of file
  }
  return static_cast<int>(done);
}

void SFile::SWrite(const void *buffer, int count) {
  if (Mode == zfmRead)
    throw ZError(Name, 18);
  if (count <= 0)
    return;
  CheckOpen();
  if (Pos + count > INT_MAX) {
    platform::SetLastError(platform::ErrTooBig);
    SysError();
  }
  const char *in = static_cast<const char *>(buffer);
  bool inWindow = Pos >= WinStart && Pos <= WinStart + WinLen;
  if (!inWindow || Pos + count > WinStart + Cap) {
    WriteBack();
    if (count >= Cap) {
      SeekHandle(Pos);
      HandlePos = -1;
      if (!platform::Write(Handle, in, count))
        SysError();
      HandlePos = Pos + count;
      // The window may hold older bytes of the range just written.
      if (Pos < WinStart + WinLen && Pos + count > WinStart)
        WinLen = 0;
      Pos += count;
      PhysSize = std::max(PhysSize, Pos);
      return;
    }
    WinStart = Pos;
    WinLen = 0;
  }
  int64_t off = Pos - WinStart;
  std::memcpy(Buf.get() + off, in, static_cast<size_t>(count));
  if (DirtyHi <= DirtyLo) {
    DirtyLo = off;
    DirtyHi = off + count;
  } else {
    DirtyLo = std::min(DirtyLo, off);
    DirtyHi = std::max(DirtyHi, off + count);
  }
  WinLen = std::max(WinLen, off + count);
  Pos += count;
}

void SFile::SWrite(const std::string &text) {
  std::string line = text + "\r\n";
  SWrite(line.data(), static_cast<int>(line.size()));
}

int SFile::Seek(int position) {
  if (position < 0) {
    platform::SetLastError(platform::ErrInvalid);
    SysError();
  }
  Pos = position;
  return position;
}

int SFile::Seek(int offset, uint32_t origin) {
  int64_t base;
  switch (origin) {
  case 0:
    base = 0;
    break;
  case 1:
    base = Pos;
    break;
  case 2:
    base = Size();
    break;
  default:
    platform::SetLastError(platform::ErrInvalid);
    SysError();
  }
  int64_t to = base + offset;
  if (to < 0 || to > INT_MAX) {
    platform::SetLastError(platform::ErrInvalid);
    SysError();
  }
  return Seek(static_cast<int>(to));
}

int SFile::Size() const {
  int64_t size = PhysSize;
  if (DirtyHi > DirtyLo)
    size = std::max(size, WinStart + DirtyHi);
  return static_cast<int>(size);
}

void SFile::Flush() {
  WriteBack();
  if (Handle != platform::InvalidHandle && !platform::Flush(Handle))
    SysError();
}

void SFile::Close() {
  if (Handle == platform::InvalidHandle)
    return;
  try {
    WriteBack();
  } catch (...) {
    platform::Close(Handle);
    Handle = platform::InvalidHandle;
    throw;
  }
  platform::Handle h = Handle;
  Handle = platform::InvalidHandle;
  WinLen = 0;
  if (!platform::Close(h))
    SysError();
}
