// Sequential writers of block files in the compacted layout: logical files in
// order, contiguous, from 8 + 8 * count, every link EmptyAdr. The model
// conversion writes its target and the embedded inner file this way, so that
// every byte is written once instead of through a temporary area, a commit and
// a compaction; the bytes are those that the compaction would give.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "PlainFile.h"

class WFile;
class WRec;

// Byte sink of a block file under construction. Bytes whose values are known
// only later (the lengths of a header, before the logical files are written)
// are held: written as placeholders first and patched when they are known, so
// that the file is still written in one pass.
class ByteSink {
public:
  virtual void Bytes(const char *p, size_t n) = 0;
  // The next n bytes given to Bytes are placeholders that Patch replaces.
  virtual void Hold(size_t n) = 0;
  // Replaces held bytes from offset `at` of the bytes given so far.
  virtual void Patch(uint64_t at, const char *p, size_t n) = 0;
  // Bytes given so far.
  virtual uint64_t Offset() const = 0;
  // Makes what was given so far reach the file, where there is one, so that
  // a failure to write it is raised now.
  virtual void Push() {}

  void U32(uint32_t v);
  // A record prefix (flag, link EmptyAdr, length) followed by its body.
  void Record(uint8_t flag, const char *body, uint16_t len);
  // The header {EndAdr, Count} and the directory for logical files of the
  // given lengths (each including its end record).
  void Head(const std::vector<uint32_t> &lengths);
  // A header and directory for `count` logical files whose lengths are not
  // known yet, held; returns where it starts, for PatchHead.
  uint64_t HeadLater(uint32_t count);
  void PatchHead(uint64_t at, const std::vector<uint32_t> &lengths);

protected:
  ~ByteSink() = default;
};

// Passes its bytes on to `out` and feeds them to the checksum in blocks of
// 512 from its first byte; Finish passes the 8-byte trailer on. The blocks
// that hold held bytes are kept aside (a few, for headers) and summed once
// they are patched: the checksum adds blocks in any order.
class ChecksumSink final : public ByteSink {
public:
  // `name` names the file in the message about one too large.
  ChecksumSink(ByteSink &out, std::string name);
  void Bytes(const char *p, size_t n) override;
  void Hold(size_t n) override;
  void Patch(uint64_t at, const char *p, size_t n) override;
  uint64_t Offset() const override { return Total; }
  void Push() override { Out.Push(); }
  // Sums the rest and the patched blocks and passes the trailer on.
  void Finish();

private:
  void Blocks(const char *p, size_t n, uint64_t first); // n: whole blocks, or the last
  bool Held(uint64_t block);
  ByteSink &Out;
  std::string Name;
  uint64_t Base; // where the bytes start in `out`
  uint64_t Total = 0;
  std::string Pending; // the bytes of the block under way
  uint32_t Sum = 0, Carry = 0;
  std::vector<std::pair<uint64_t, uint64_t>> HeldRanges; // [from, to) of the bytes
  size_t NextHeld = 0; // the first range that does not end before the blocks to come
  std::map<uint64_t, std::string> HeldBlocks; // by block number
  std::vector<std::pair<uint64_t, std::string>> Patches;
};

// Writes the temporary file `path` of the conversion's own from its start
// (SFile with InPlace: its identity and its owner's claim stay) through a
// large buffer; patches are written when it finishes.
class FileSink final : public ByteSink {
public:
  explicit FileSink(const std::string &path);
  void Bytes(const char *p, size_t n) override;
  void Hold(size_t) override {}
  void Patch(uint64_t at, const char *p, size_t n) override;
  uint64_t Offset() const override { return Total; }
  // Writes the bytes so far to the file now, so that a failure to write
  // them is raised here.
  void Push() override;
  // Writes the rest and the patches, then closes.
  void Finish();

private:
  SFile F;
  std::vector<char> Buf;
  uint64_t Total = 0;
  std::vector<std::pair<uint64_t, std::string>> Patches;
};

// A file written with its checksum trailer.
class ChecksumFile final : public ByteSink {
public:
  explicit ChecksumFile(const std::string &path) : File(path), Sum(File, path) {}
  void Bytes(const char *p, size_t n) override { Sum.Bytes(p, n); }
  void Hold(size_t n) override { Sum.Hold(n); }
  void Patch(uint64_t at, const char *p, size_t n) override { Sum.Patch(at, p, n); }
  uint64_t Offset() const override { return Sum.Offset(); }
  void Push() override { Sum.Push(); }
  // Writes the rest, the patches and the trailer, then closes.
  void Finish() {
    Sum.Finish();
    File.Finish();
  }
  uint64_t Size() const { return Sum.Offset(); }

private:
  FileSink File;
  ChecksumSink Sum;
};

// Body length of the next record when `remaining` bytes of a file are still to
// be embedded. Records hold 10000 bytes, except that a file is never left with a
// last record of one byte: a record of the single byte "@" reads as the end of
// its logical file (and a block file always ends in "@"), so the embedded file
// would lose its last byte, and in a composite every model after it. 10001
// remaining bytes therefore go as 9999 and 2.
size_t EmbedChunkLen(uint64_t remaining);

// Cuts the bytes given to it into records as EmbedChunkLen says (the first with
// flag 1, the others 0) written to `out`, as an embedded file is stored.
// Held bytes are held in `out` where the records put them.
class EmbedSink final : public ByteSink {
public:
  explicit EmbedSink(ByteSink &out) : Out(out) { Chunk.reserve(Size + 1); }
  void Bytes(const char *p, size_t n) override;
  void Hold(size_t n) override;
  void Patch(uint64_t at, const char *p, size_t n) override;
  uint64_t Offset() const override { return In; }
  void Push() override { Out.Push(); }
  // Writes the last records and the end record of the logical file.
  void Finish();
  // Writes the last records, without the end record: the embedded file is
  // followed by others in the same logical file.
  void End();
  // Length of the logical file that `n` embedded bytes make, end record included.
  static uint64_t Length(uint64_t n);
  // Whether writing to `out` failed (as against reading what is embedded).
  bool WriteFailed() const { return Failed; }

  static constexpr size_t Size = 10000;

private:
  void Emit(size_t n); // the first n bytes of Chunk as one record
  void Body(const char *p, size_t n);
  ByteSink &Out;
  std::vector<char> Chunk;
  bool First = true;
  bool Failed = false;
  uint64_t In = 0;                                       // bytes given
  uint64_t Emitted = 0;                                  // bytes written as records
  std::vector<std::pair<uint64_t, uint64_t>> HeldRanges; // [from, to) of the bytes given
  struct Moved {
    uint64_t in, out, n;
  };
  std::vector<Moved> HeldAt; // where held bytes went in `out`
};

// Length of logical file n of f as compaction writes it: its live records and
// the record that ends it.
uint64_t CompactedLength(WFile &f, uint32_t n, WRec &rec);
// Writes logical file n of f to out as compaction does: the live records, then
// the record that ended the chain with its own flag (endFlagAsRead) or the end
// record with flag 0. Returns the bytes written.
uint64_t CopyCompacted(WFile &f, uint32_t n, WRec &rec, ByteSink &out, bool endFlagAsRead);

// Reads a converted file back in one pass and raises ZError unless it is a
// composite block file in the compacted layout (logical files in order and
// contiguous, no deleted records, no links, bodies of 1 to 20000 bytes), every
// logical file ends with an end record at the length its directory entry
// gives, the data end where the header says, and the 8-byte trailer that
// follows equals the checksum of the bytes before it.
void VerifyCompacted(const std::string &path);
