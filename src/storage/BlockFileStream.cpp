// Item streams: many small items packed into the records of one logical file
// (or of a simple block file) and unpacked again. Items never span records.
//   kind 0, delimited: the item's bytes, then the delimiter's bytes;
//   kind 1, counted:   a 16-bit little-endian length, then the item's bytes;
//   kind 2, fixed:     the item's bytes alone, all of one length.
// A stream record holds at most UseLenRec - 1 body bytes.
#include <cstring>
#include <string_view>

#include "BlockFile.h"
#include "Messages.h"

namespace {

constexpr int KindDelimited = 0;
constexpr int KindCounted = 1;
constexpr int KindFixed = 2;
// Longest body a stream writes: one byte of a full buffer is kept free for
// the zero byte the reader puts after the body.
constexpr int StreamBody = UseLenRec - 1;
// Bytes of the length in front of a counted item.
constexpr int CountBytes = 2;

std::string Signed(uint32_t v) {
  return std::to_string(static_cast<int32_t>(v));
}

int ChooseKind(const char *delimiter, int fixedLen) {
  if (fixedLen >= 0)
    return KindFixed;
  return delimiter && *delimiter ? KindDelimited : KindCounted;
}

} // namespace

// ---------------------------------------------------------------- reading

uint32_t WFile::WBOpenFile(uint32_t n, const char *delimiter, int fixedLen) {
  // A zero item length would never get past the first item.
  if (fixedLen == 0)
    throw ZError("Для файла " + Name + " задана недопустимая длина логической записи 0", 0);
  uint32_t result;
  if (Composite) {
    result = WOpen_file(n);
    RNext = CurPos;
  } else {
    result = Header.EndAdr;
    RNext = CurPos;
  }
  RDelim = delimiter;
  ItemAt = {0, 0};
  NextAt = {0, 0};
  RBufAdr = EmptyAdr;
  if (!RBuf)
    RBuf = GetBuf();
  RKind = ChooseKind(delimiter, fixedLen);
  RDelimLen = RKind == KindDelimited ? static_cast<int>(std::strlen(delimiter)) : 0;
  RFixLen = RKind == KindFixed ? fixedLen : 0;
  return result;
}

uint32_t WFile::WBOpenFile(uint32_t n, const char *delimiter) {
  return WBOpenFile(n, delimiter, -1);
}

uint32_t WFile::WBOpenFile(uint32_t n, int fixedLen) {
  // Without a delimiter a negative length would silently select the counted
  // encoding.
  if (fixedLen < 0)
    throw ZError("Для файла " + Name + " задана недопустимая длина логической записи " +
                     std::to_string(fixedLen),
                 0);
  return WBOpenFile(n, nullptr, fixedLen);
}

bool WFile::WGet(char **item, int &length, FullAdr *at) {
  length = 0;
  if (!RBuf)
    throw ZError("Для файла " + Name + " не выполнено открытие потока", 0);
  bool jump = false;
  if (at && (RBufAdr == EmptyAdr || at->Adr != RBufAdr)) {
    NextAt.Off = 0;
    RNext = at->Adr;
    jump = true;
  }
  if ((NextAt.Off == 0 && !at) || jump) {
    if (jump)
      WSeek(RNext);
    else if (Composite)
      SeekMain(RNext); // another logical file may have been written meanwhile
    if (!WRead(RBuf)) {
      *item = RBuf->Data;
      RBufAdr = EmptyAdr;
      return false;
    }
    ItemAt = NextAt = {CurAdr, 0};
    RBuf->Data[RBuf->Len] = 0; // the buffer has a spare byte after a full body
    RBufAdr = CurAdr;
    RNext = CurPos;
  }
  if (at)
    NextAt = *at;

  const uint32_t len = RBuf->Len;
  char *body = RBuf->Data;
  const uint32_t off = NextAt.Off;
  // A saved position or a damaged record must never lead outside the body.
  auto beyond = [&]() {
    return ZError("Для файла " + Name + " длина записи превышает длину остатка буфера", 0);
  };
  if (off > len)
    throw beyond();
  switch (RKind) {
  case KindDelimited: {
    // The item ends at the first delimiter; a zero byte before it ends the
    // record's text, so the item has no end. Only the item's own bytes are
    // scanned, which keeps reading a record linear in its length.
    const std::string_view rest(body + off, len - off);
    const size_t q = rest.find(std::string_view(RDelim, static_cast<size_t>(RDelimLen)));
    if (q == std::string_view::npos || std::memchr(body + off, 0, q) != nullptr)
      throw ZError("Для файла " + Name + " не найден конец логической записи", 0);
    ItemAt = NextAt;
    length = static_cast<int>(q);
    NextAt.Off = off + static_cast<uint32_t>(length + RDelimLen);
    *item = body + off;
    break;
  }
  case KindCounted: {
    if (len - off < CountBytes)
      throw beyond();
    const uint32_t n = static_cast<unsigned char>(body[off]) |
                       static_cast<uint32_t>(static_cast<unsigned char>(body[off + 1])) << 8;
    if (n > len - off - CountBytes)
      throw beyond();
    ItemAt = NextAt;
    length = static_cast<int>(n);
    *item = body + off + CountBytes;
    NextAt.Off = off + CountBytes + n;
    break;
  }
  case KindFixed: {
    if (static_cast<uint32_t>(RFixLen) > len - off)
      throw beyond();
    ItemAt = NextAt;
    length = RFixLen;
    *item = body + off;
    NextAt.Off = off + static_cast<uint32_t>(RFixLen);
    break;
  }
  default:
    return true;
  }
  if (NextAt.Off == len)
    NextAt = {RNext, 0}; // record used up: the next WGet reads the next one
  return true;
}

int WFile::WGet(char **item) {
  int length = 0;
  return WGet(item, length, nullptr) ? length : 0;
}

int WFile::WGet(char **item, FullAdr *at) {
  int length = 0;
  return WGet(item, length, at) ? length : 0;
}

int WFile::WGet(char *destination) {
  int length = 0;
  WGet(destination, length);
  return length;
}

bool WFile::WGet(char *destination, int &length) {
  char *item = nullptr;
  if (!WGet(&item, length, nullptr))
    return false;
  std::memcpy(destination, item, static_cast<size_t>(length));
  return true;
}

// ---------------------------------------------------------------- writing

void WFile::WBCreatFile(uint32_t n, const char *delimiter, int fixedLen) {
  if (Composite) {
    if (OpenLog != EmptyAdr) {
      const uint32_t old = OpenLog;
      WBCloseFile(old);
      throw ZError("Для файла " + Name + " не выполнено закрытие файла " + Signed(old), 0);
    }
    WCreat_file(n);
  } else {
    WCommit(); // items still gathered for a previous stream are not lost
  }
  if (!WBuf)
    WBuf = GetBuf();
  WDelim = delimiter;
  WFill = 0;
  WKind = ChooseKind(delimiter, fixedLen);
  WExtra = WKind == KindDelimited ? static_cast<int>(std::strlen(delimiter))
           : WKind == KindCounted ? CountBytes
                                  : 0;
}

void WFile::WBCreatFile(uint32_t n, const char *delimiter) {
  WBCreatFile(n, delimiter, -1);
}

void WFile::WBCreatFile(uint32_t n, int fixedLen) {
  if (fixedLen < 0)
    throw ZError("Для файла " + Name + " задана недопустимая длина логической записи " +
                     std::to_string(fixedLen),
                 0);
  WBCreatFile(n, nullptr, fixedLen);
}

void WFile::WPut(const char *data, int length) {
  if (!WBuf)
    throw ZError("Невозможна запись в несуществующий файл TMP", 0);
  if (length == 0)
    throw ZError("Для файла " + Name + " задана нулевая длина логической записи" + Signed(OpenLog),
                 0);
  if (length < 0)
    throw ZError("Для файла " + Name + " задана недопустимая длина логической записи " +
                     std::to_string(length),
                 0);
  // An item must fit a record of its own; a longer one could never be stored.
  if (length > StreamBody - WExtra)
    throw ZError("Для файла " + Name + " длина логической записи " + std::to_string(length) +
                     " превышает допустимую " + std::to_string(StreamBody - WExtra),
                 0);
  if (WKind == KindDelimited) {
    // Such an item would read back split or cut short.
    const std::string_view item(data, static_cast<size_t>(length));
    if (item.find('\0') != std::string_view::npos ||
        item.find(std::string_view(WDelim, static_cast<size_t>(WExtra))) != std::string_view::npos)
      throw ZError("Для файла " + Name + " логическая запись содержит разделитель или нулевой байт",
                   0);
  }
  if (WFill + length + WExtra > StreamBody)
    WCommit();
  char *p = WBuf->Data + WFill;
  if (WKind == KindCounted) {
    *p++ = static_cast<char>(length);
    *p++ = static_cast<char>(length >> 8);
  }
  std::memcpy(p, data, static_cast<size_t>(length));
  p += length;
  if (WKind == KindDelimited) {
    std::memcpy(p, WDelim, static_cast<size_t>(WExtra));
    p += WExtra;
  }
  WFill = static_cast<int>(p - WBuf->Data);
}

void WFile::WCommit() {
  if (WBuf && WFill != 0) {
    WWrite(0, static_cast<uint16_t>(WFill), WBuf->Data);
    WFill = 0;
  }
}

void WFile::WBCloseFile(uint32_t n) {
  WCommit();
  // The write buffer goes back to the pool whatever the close reports.
  struct Release {
    WRec *&b;
    ~Release() {
      if (b) {
        try {
          FreeBuf(b);
        } catch (...) {
        }
        b = nullptr;
      }
    }
  } release{WBuf};
  if (Composite)
    WClose_file(n, true);
}
