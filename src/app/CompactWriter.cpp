#include "CompactWriter.h"

#include <algorithm>
#include <climits>
#include <memory>
#include <stdexcept>

#include "BlockFile.h"
#include "Checksum.h"
#include "Cursor.h"
#include "Messages.h"
#include "Platform.h"
#include "RecordBuffer.h"

namespace {

constexpr size_t FlushAt = 2048 * ChecksumBlock; // 1 MB
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
    ASumKsBlocks(static_cast<size_t>(upto), Buf.get(), Sum, Carry);
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

namespace {

void Put(std::string &s, uint32_t v) {
  const char b[4] = {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
                     static_cast<char>(v >> 24)};
  s.append(b, 4);
}

// The header {EndAdr, Count} and the directory of a compacted file.
std::string HeadBytes(const std::vector<uint32_t> &lengths) {
  std::string s;
  uint64_t at = LenHeader + uint64_t{LenLogInfo} * lengths.size();
  uint64_t end = at;
  for (uint32_t len : lengths)
    end += len;
  Put(s, static_cast<uint32_t>(end));
  Put(s, static_cast<uint32_t>(lengths.size()));
  for (uint32_t len : lengths) {
    Put(s, static_cast<uint32_t>(at));
    Put(s, len);
    at += len;
  }
  return s;
}

// Where [from, to) and [a, b) overlap; empty when from >= to.
std::pair<uint64_t, uint64_t> Overlap(uint64_t from, uint64_t to, uint64_t a, uint64_t b) {
  return {std::max(from, a), std::min(to, b)};
}

} // namespace

void ByteSink::Head(const std::vector<uint32_t> &lengths) {
  const std::string s = HeadBytes(lengths);
  Bytes(s.data(), s.size());
}

uint64_t ByteSink::HeadLater(uint32_t count) {
  const uint64_t at = Offset();
  const std::string zeros(LenHeader + uint64_t{LenLogInfo} * count, '\0');
  Hold(zeros.size());
  Bytes(zeros.data(), zeros.size());
  return at;
}

void ByteSink::PatchHead(uint64_t at, const std::vector<uint32_t> &lengths) {
  const std::string s = HeadBytes(lengths);
  Patch(at, s.data(), s.size());
}

ChecksumSink::ChecksumSink(ByteSink &out, std::string name)
    : Out(out), Name(std::move(name)), Base(out.Offset()) {}

void ChecksumSink::Bytes(const char *p, size_t n) {
  // The file and its trailer must fit the 32-bit addresses of the format.
  if (Total + n + TrailerSize > static_cast<uint64_t>(INT_MAX))
    throw ZError("Файл " + Name + " получается слишком большим", 0);
  Out.Bytes(p, n);
  uint64_t at = Total;
  Total += n;
  if (!Pending.empty()) {
    const size_t take = std::min(n, ChecksumBlock - Pending.size());
    Pending.append(p, take);
    p += take;
    n -= take;
    at += take;
    if (Pending.size() < ChecksumBlock)
      return;
    Blocks(Pending.data(), ChecksumBlock, at / ChecksumBlock - 1);
    Pending.clear();
  }
  const size_t whole = n / ChecksumBlock * ChecksumBlock;
  Blocks(p, whole, at / ChecksumBlock);
  Pending.assign(p + whole, n - whole);
}

void ChecksumSink::Hold(size_t n) {
  if (n > 0)
    HeldRanges.emplace_back(Total, Total + n);
  Out.Hold(n);
}

void ChecksumSink::Patch(uint64_t at, const char *p, size_t n) {
  Patches.emplace_back(at, std::string(p, n));
  Out.Patch(Base + at, p, n);
}

// Blocks are asked about in increasing order and ranges are held in
// increasing order: those that end before a block are passed for good.
bool ChecksumSink::Held(uint64_t block) {
  const uint64_t from = block * ChecksumBlock, to = from + ChecksumBlock;
  while (NextHeld < HeldRanges.size() && HeldRanges[NextHeld].second <= from)
    ++NextHeld;
  for (size_t i = NextHeld; i < HeldRanges.size() && HeldRanges[i].first < to; ++i) {
    const auto [lo, hi] = Overlap(from, to, HeldRanges[i].first, HeldRanges[i].second);
    if (lo < hi)
      return true;
  }
  return false;
}

// Sums the blocks of p (from block number `first`), keeping those with held
// bytes aside.
void ChecksumSink::Blocks(const char *p, size_t n, uint64_t first) {
  size_t run = 0; // start of the blocks not yet summed
  for (size_t at = 0; at < n && NextHeld < HeldRanges.size(); at += ChecksumBlock) {
    const uint64_t block = first + at / ChecksumBlock;
    if (!Held(block))
      continue;
    ASumKsBlocks(at - run, p + run, Sum, Carry);
    HeldBlocks[block].assign(p + at, std::min(ChecksumBlock, n - at));
    run = at + ChecksumBlock;
  }
  if (run < n)
    ASumKsBlocks(n - run, p + run, Sum, Carry);
}

void ChecksumSink::Finish() {
  Blocks(Pending.data(), Pending.size(), Total / ChecksumBlock);
  Pending.clear();
  for (const auto &[at, bytes] : Patches)
    for (uint64_t i = 0; i < bytes.size(); ++i) {
      const auto held = HeldBlocks.find((at + i) / ChecksumBlock);
      const uint64_t in = (at + i) % ChecksumBlock;
      if (held == HeldBlocks.end() || in >= held->second.size())
        throw std::logic_error("ChecksumSink: a patch outside the held bytes");
      held->second[in] = bytes[i];
    }
  for (const auto &[block, bytes] : HeldBlocks)
    ASumKs(bytes.size(), bytes.data(), Sum, Carry);
  const char trailer[8] = {static_cast<char>(Sum),         static_cast<char>(Sum >> 8),
                           static_cast<char>(Sum >> 16),   static_cast<char>(Sum >> 24),
                           static_cast<char>(Carry),       static_cast<char>(Carry >> 8),
                           static_cast<char>(Carry >> 16), static_cast<char>(Carry >> 24)};
  Out.Bytes(trailer, 8);
}

FileSink::FileSink(const std::string &path) : F(path, InPlace{}) {
  Buf.reserve(FlushAt);
}

void FileSink::Bytes(const char *p, size_t n) {
  if (Buf.size() + n > FlushAt)
    Push();
  if (n >= FlushAt) {
    F.SWrite(p, static_cast<int>(n));
  } else {
    Buf.insert(Buf.end(), p, p + n);
  }
  Total += n;
}

void FileSink::Patch(uint64_t at, const char *p, size_t n) {
  Patches.emplace_back(at, std::string(p, n));
}

void FileSink::Push() {
  if (!Buf.empty())
    F.SWrite(Buf.data(), static_cast<int>(Buf.size()));
  Buf.clear();
  F.Flush();
}

void FileSink::Finish() {
  Push();
  for (const auto &[at, bytes] : Patches) {
    F.Seek(static_cast<int>(at));
    F.SWrite(bytes.data(), static_cast<int>(bytes.size()));
  }
  F.Close();
}

size_t EmbedChunkLen(uint64_t remaining) {
  constexpr uint64_t Size = EmbedSink::Size;
  if (remaining == Size + 1)
    return Size - 1;
  return static_cast<size_t>(std::min(remaining, Size));
}

void EmbedSink::Bytes(const char *p, size_t n) {
  In += n;
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

void EmbedSink::Hold(size_t n) {
  if (n > 0)
    HeldRanges.emplace_back(In, In + n);
}

void EmbedSink::Patch(uint64_t at, const char *p, size_t n) {
  uint64_t patched = 0;
  for (const Moved &m : HeldAt) {
    const auto [lo, hi] = Overlap(at, at + n, m.in, m.in + m.n);
    if (lo < hi) {
      Out.Patch(m.out + (lo - m.in), p + (lo - at), static_cast<size_t>(hi - lo));
      patched += hi - lo;
    }
  }
  // Bytes not written yet are patched where they wait.
  const auto [lo, hi] = Overlap(at, at + n, Emitted, In);
  if (lo < hi) {
    std::copy(p + (lo - at), p + (hi - at),
              Chunk.begin() + static_cast<std::ptrdiff_t>(lo - Emitted));
    patched += hi - lo;
  }
  if (patched != n)
    throw std::logic_error("EmbedSink: a patch outside the held bytes");
}

void EmbedSink::Emit(size_t n) {
  try {
    const char prefix[LenPrefix] = {
        static_cast<char>(First ? 1 : 0), '\xFF', '\xFF', '\xFF', '\xFF', static_cast<char>(n),
        static_cast<char>(n >> 8)};
    Out.Bytes(prefix, LenPrefix);
    Body(Chunk.data(), n);
  } catch (...) {
    Failed = true;
    throw;
  }
  First = false;
  Chunk.erase(Chunk.begin(), Chunk.begin() + static_cast<std::ptrdiff_t>(n));
}

// The body of a record: bytes [Emitted, Emitted + n) of those given, held
// in `out` where they were held here.
void EmbedSink::Body(const char *p, size_t n) {
  uint64_t at = Emitted;
  const uint64_t end = Emitted + n;
  for (const auto &[a, b] : HeldRanges) {
    const auto [lo, hi] = Overlap(at, end, a, b);
    if (lo >= hi)
      continue;
    Out.Bytes(p + (at - Emitted), static_cast<size_t>(lo - at));
    HeldAt.push_back({lo, Out.Offset(), hi - lo});
    Out.Hold(static_cast<size_t>(hi - lo));
    Out.Bytes(p + (lo - Emitted), static_cast<size_t>(hi - lo));
    at = hi;
  }
  Out.Bytes(p + (at - Emitted), static_cast<size_t>(end - at));
  Emitted = end;
}

void EmbedSink::End() {
  while (!Chunk.empty())
    Emit(EmbedChunkLen(Chunk.size()));
}

void EmbedSink::Finish() {
  End();
  try {
    Out.Record(0, &EofMark, 1);
  } catch (...) {
    Failed = true;
    throw;
  }
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
