#include "CompactWriter.h"

#include <algorithm>
#include <memory>

#include "BlockFile.h"
#include "Checksum.h"
#include "Cursor.h"
#include "Messages.h"
#include "Platform.h"
#include "RecordBuffer.h"

namespace {

constexpr size_t ChecksumBlock = 512;
constexpr size_t FlushAt = 256 * ChecksumBlock;
constexpr size_t TrailerSize = 4 + 4;

[[noreturn]] void Damaged(const std::string &path, const std::string &what) {
  throw ZError("Файл " + path + " записан с ошибкой: " + what, 0);
}

// Reads a file sequentially in large pieces, feeding the checksum with its
// bytes below `Limit` in blocks of 512 from the first byte.
class ReadBack {
public:
  explicit ReadBack(const std::string &path) : Path(path) {
    H = platform::Open(path, platform::OpenMode::Read, &FileSize);
    if (H == platform::InvalidHandle)
      Damaged(path, "не открывается");
    // A small file gets a buffer of its own size (in whole checksum blocks),
    // not a full piece.
    const uint64_t blocks =
        (static_cast<uint64_t>(std::max<int64_t>(FileSize, 1)) + ChecksumBlock - 1) / ChecksumBlock;
    Cap = static_cast<size_t>(std::min<uint64_t>(Piece, blocks * ChecksumBlock));
    Buf = std::make_unique_for_overwrite<char[]>(Cap);
  }
  ~ReadBack() { platform::Close(H); }
  ReadBack(const ReadBack &) = delete;
  ReadBack &operator=(const ReadBack &) = delete;

  int64_t FileSize = 0; // as the opening found it
  uint32_t Sum = 0, Carry = 0;
  // Sets the end of the checksummed bytes, and sums what was read before it
  // was known. Called once, while the first piece is still in the buffer.
  void SetLimit(uint64_t limit) {
    Limit = limit;
    SumPiece();
  }
  uint64_t Offset() const { return Base + Pos; }

  // Copies n bytes (n <= 16) to out; false at the end of the file.
  bool Take(char *out, size_t n) {
    for (size_t i = 0; i < n; ++i) {
      if (Pos == Len && !Fill())
        return false;
      out[i] = Buf[Pos++];
    }
    return true;
  }
  // Passes over n bytes, keeping the last one in *last.
  bool Skip(uint64_t n, char *last) {
    while (n > 0) {
      if (Pos == Len && !Fill())
        return false;
      const uint64_t take = std::min<uint64_t>(n, Len - Pos);
      Pos += take;
      n -= take;
      *last = Buf[Pos - 1];
    }
    return true;
  }

private:
  static constexpr size_t Piece = 2048 * ChecksumBlock;

  bool Fill() {
    CheckInterruption();
    Base += Len;
    Pos = Len = 0;
    while (Len < Cap) {
      const int64_t n = platform::Read(H, Buf.get() + Len, static_cast<int64_t>(Cap - Len));
      if (n < 0)
        Damaged(Path, "ошибка чтения");
      if (n == 0)
        break;
      Len += static_cast<size_t>(n);
    }
    SumPiece();
    return Len > 0;
  }

  // Pieces start at multiples of 512, so the blocks of the checksum align.
  void SumPiece() {
    const uint64_t upto = std::min<uint64_t>(Len, Limit > Base ? Limit - Base : 0);
    for (uint64_t at = 0; at < upto; at += ChecksumBlock)
      ASumKs(static_cast<size_t>(std::min<uint64_t>(ChecksumBlock, upto - at)), Buf.get() + at, Sum,
             Carry);
  }

  std::string Path;
  platform::Handle H = platform::InvalidHandle;
  uint64_t Limit = 0;
  size_t Cap = 0;
  std::unique_ptr<char[]> Buf;
  size_t Pos = 0, Len = 0;
  uint64_t Base = 0;
};

} // namespace

void ByteSink::U32(uint32_t v) {
  const char b[4] = {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
                     static_cast<char>(v >> 24)};
  Bytes(b, 4);
}

void ByteSink::Record(uint8_t flag, const char *body, uint16_t len) {
  const char prefix[LenPrefix] = {
      static_cast<char>(flag),    '\xFF', '\xFF', '\xFF', '\xFF', static_cast<char>(len),
      static_cast<char>(len >> 8)};
  Bytes(prefix, LenPrefix);
  Bytes(body, len);
}

void ByteSink::Head(const std::vector<uint32_t> &lengths) {
  uint64_t at = LenHeader + uint64_t{LenLogInfo} * lengths.size();
  uint64_t end = at;
  for (uint32_t len : lengths)
    end += len;
  U32(static_cast<uint32_t>(end));
  U32(static_cast<uint32_t>(lengths.size()));
  for (uint32_t len : lengths) {
    U32(static_cast<uint32_t>(at));
    U32(len);
    at += len;
  }
}

ChecksumFile::ChecksumFile(const std::string &path) : F(path, InPlace{}) {
  Buf.reserve(FlushAt + EmbedSink::Size + 64);
}

void ChecksumFile::Bytes(const char *p, size_t n) {
  Buf.insert(Buf.end(), p, p + n);
  Total += n;
  if (Buf.size() >= FlushAt)
    Drain(false);
}

// Sums and writes whole 512-byte blocks (all bytes when `all`; the last block
// may then be shorter).
void ChecksumFile::Drain(bool all) {
  const size_t n = all ? Buf.size() : Buf.size() / ChecksumBlock * ChecksumBlock;
  for (size_t at = 0; at < n; at += ChecksumBlock)
    ASumKs(n - at < ChecksumBlock ? n - at : ChecksumBlock, Buf.data() + at, Sum, Carry);
  if (n > 0)
    F.SWrite(Buf.data(), static_cast<int>(n));
  Buf.erase(Buf.begin(), Buf.begin() + static_cast<std::ptrdiff_t>(n));
}

void ChecksumFile::Push() {
  Drain(false);
  F.Flush();
}

void ChecksumFile::Finish() {
  Drain(true);
  const char trailer[8] = {static_cast<char>(Sum),         static_cast<char>(Sum >> 8),
                           static_cast<char>(Sum >> 16),   static_cast<char>(Sum >> 24),
                           static_cast<char>(Carry),       static_cast<char>(Carry >> 8),
                           static_cast<char>(Carry >> 16), static_cast<char>(Carry >> 24)};
  F.SWrite(trailer, 8);
  F.Close();
}

size_t EmbedChunkLen(uint64_t remaining) {
  constexpr uint64_t Size = EmbedSink::Size;
  if (remaining == Size + 1)
    return Size - 1;
  return static_cast<size_t>(std::min(remaining, Size));
}

void EmbedSink::Bytes(const char *p, size_t n) {
  // A full record is written only once at least two more bytes are known to
  // follow it, so that Finish can still split the last 10001 bytes.
  while (n > 0) {
    if (Chunk.size() == Size + 1)
      Emit(Size);
    const size_t take = std::min(n, Size + 1 - Chunk.size());
    Chunk.insert(Chunk.end(), p, p + take);
    p += take;
    n -= take;
  }
}

void EmbedSink::Emit(size_t n) {
  Out.Record(First ? 1 : 0, Chunk.data(), static_cast<uint16_t>(n));
  First = false;
  Chunk.erase(Chunk.begin(), Chunk.begin() + static_cast<std::ptrdiff_t>(n));
}

void EmbedSink::Finish() {
  while (!Chunk.empty())
    Emit(EmbedChunkLen(Chunk.size()));
  Out.Record(0, &EofMark, 1);
}

uint64_t EmbedSink::Length(uint64_t n) {
  // EmbedChunkLen only moves a byte between the last two records, so the
  // number of records is that of plain 10000-byte cutting.
  const uint64_t chunks = (n + Size - 1) / Size;
  return n + LenPrefix * chunks + LenEof;
}

uint64_t CompactedLength(WFile &f, uint32_t n, WRec &rec) {
  f.WOpen_file(n);
  uint64_t len = 0;
  while (f.WRead(&rec))
    len += LenPrefix + rec.Len;
  return len + LenPrefix + rec.Len;
}

uint64_t CopyCompacted(WFile &f, uint32_t n, WRec &rec, ByteSink &out, bool endFlagAsRead) {
  f.WOpen_file(n);
  uint64_t len = 0;
  while (f.WRead(&rec)) {
    out.Record(rec.Flag, rec.Data, rec.Len);
    len += LenPrefix + rec.Len;
  }
  out.Record(endFlagAsRead ? rec.Flag : 0, rec.Data, rec.Len);
  return len + LenPrefix + rec.Len;
}

// Reads a finished target back in one pass: a composite block file in the
// compacted layout (logical files in order and contiguous, no deleted records,
// no links, bodies of 1 to 20000 bytes), every logical file read to its end
// record with the length its directory entry gives, nothing between the end
// of the data and the trailer, and the trailer equal to the checksum of the
// bytes before it.
void VerifyCompacted(const std::string &path) {
  ReadBack in(path);
  char head[8];
  if (!in.Take(head, 8))
    Damaged(path, "нет заголовка");
  const uint32_t endAdr = Get32(head);
  const uint64_t count = Get32(head + 4);
  if (in.FileSize != static_cast<int64_t>(endAdr) + static_cast<int64_t>(TrailerSize))
    Damaged(path, "размер не совпадает с концом данных");
  in.SetLimit(endAdr);
  char b[8];
  if (LenHeader + LenLogInfo * count > endAdr)
    Damaged(path, "каталог больше данных");
  std::vector<uint32_t> lens(static_cast<size_t>(count));
  uint64_t at = LenHeader + LenLogInfo * count;
  for (uint64_t i = 0; i < count; ++i) {
    if (!in.Take(b, 8) || Get32(b) != at)
      Damaged(path, "логический файл " + std::to_string(i) + " не на своем месте");
    lens[i] = Get32(b + 4);
    at += lens[i];
  }
  if (at != endAdr)
    Damaged(path, "конец данных не совпадает");
  for (uint64_t i = 0; i < count; ++i) {
    const uint64_t start = in.Offset();
    for (;;) {
      char prefix[LenPrefix];
      char last = 0;
      if (!in.Take(prefix, LenPrefix))
        Damaged(path, "файл обрывается");
      const uint16_t len = static_cast<uint16_t>(static_cast<uint8_t>(prefix[5]) |
                                                 static_cast<uint8_t>(prefix[6]) << 8);
      if ((prefix[0] & DeletedFlag) != 0 || Get32(prefix + 1) != EmptyAdr || len == 0 ||
          len > UseLenRec)
        Damaged(path, "неверная запись в логическом файле " + std::to_string(i));
      if (!in.Skip(len, &last))
        Damaged(path, "файл обрывается");
      if (len == 1 && last == EofMark)
        break;
    }
    if (in.Offset() - start != lens[i])
      Damaged(path, "длина логического файла " + std::to_string(i) + " не совпадает");
  }
  char trailer[TrailerSize];
  char extra;
  if (!in.Take(trailer, TrailerSize) || in.Take(&extra, 1))
    Damaged(path, "размер не совпадает с концом данных");
  if (Get32(trailer) != in.Sum || Get32(trailer + 4) != in.Carry)
    Damaged(path, "контрольная сумма не совпадает");
}
