#include "CompactWriter.h"

#include "Drec.h"
#include "Dwfile.h"
#include "Uks_sum.h"

namespace {

constexpr size_t ChecksumBlock = 512;
constexpr size_t FlushAt = 256 * ChecksumBlock;

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

ChecksumFile::ChecksumFile(const std::string &path) : F(path, zfmCreate) {
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

void ChecksumFile::Finish() {
  Drain(true);
  const char trailer[8] = {static_cast<char>(Sum),         static_cast<char>(Sum >> 8),
                           static_cast<char>(Sum >> 16),   static_cast<char>(Sum >> 24),
                           static_cast<char>(Carry),       static_cast<char>(Carry >> 8),
                           static_cast<char>(Carry >> 16), static_cast<char>(Carry >> 24)};
  F.SWrite(trailer, 8);
  F.Close();
}

void EmbedSink::Bytes(const char *p, size_t n) {
  while (n > 0) {
    const size_t take = std::min(n, Size - Chunk.size());
    Chunk.insert(Chunk.end(), p, p + take);
    p += take;
    n -= take;
    if (Chunk.size() == Size)
      Emit();
  }
}

void EmbedSink::Emit() {
  Out.Record(First ? 1 : 0, Chunk.data(), static_cast<uint16_t>(Chunk.size()));
  First = false;
  Chunk.clear();
}

void EmbedSink::Finish() {
  const uint8_t flag = First ? 1 : 0;
  if (Chunk.size() == 1 && Chunk[0] == EofMark) {
    Out.Record(flag, Chunk.data(), 1); // stands as the end record
    Chunk.clear();
    return;
  }
  if (!Chunk.empty())
    Emit();
  Out.Record(0, &EofMark, 1);
}

uint64_t EmbedSink::Length(uint64_t n) {
  const uint64_t chunks = (n + Size - 1) / Size;
  // A last chunk of one byte is always "@" here (a block file ends with its
  // end record), and it takes the place of the end record.
  if (n % Size == 1)
    return (n - 1) + LenPrefix * (chunks - 1) + LenEof;
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
