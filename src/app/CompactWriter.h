// Sequential writers of block files in the compacted layout: logical files in
// order, contiguous, from 8 + 8 * count, every link EmptyAdr. The model
// conversion writes its target and the embedded inner file this way, so that
// every byte is written once instead of through a temporary area, a commit and
// a compaction; the bytes are those that the compaction would give.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "PlainFile.h"

class WFile;
class WRec;

// Byte sink of a block file under construction.
class ByteSink {
public:
  virtual void Bytes(const char *p, size_t n) = 0;

  void U32(uint32_t v);
  // A record prefix (flag, link EmptyAdr, length) followed by its body.
  void Record(uint8_t flag, const char *body, uint16_t len);
  // The header {EndAdr, Count} and the directory for logical files of the
  // given lengths (each including its end record).
  void Head(const std::vector<uint32_t> &lengths);

protected:
  ~ByteSink() = default;
};

// Writes a file and feeds its bytes to the checksum in blocks of 512 from its
// first byte; Finish appends the 8-byte trailer.
class ChecksumFile final : public ByteSink {
public:
  // Writes the temporary file `path` of the conversion's own from its start
  // (SFile with InPlace: its identity and its owner's claim stay).
  explicit ChecksumFile(const std::string &path);
  void Bytes(const char *p, size_t n) override;
  // Writes every whole 512-byte block so far to the file now, so that a
  // failure to write them is raised here; the rest waits for more bytes.
  void Push();
  void Finish(); // writes the rest and the trailer, then closes
  uint64_t Size() const { return Total; }

private:
  void Drain(bool all);
  SFile F;
  std::vector<char> Buf;
  uint32_t Sum = 0, Carry = 0;
  uint64_t Total = 0;
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
class EmbedSink final : public ByteSink {
public:
  explicit EmbedSink(ByteSink &out) : Out(out) { Chunk.reserve(Size + 1); }
  void Bytes(const char *p, size_t n) override;
  // Writes the last records and the end record of the logical file.
  void Finish();
  // Length of the logical file that `n` embedded bytes make, end record included.
  static uint64_t Length(uint64_t n);

  static constexpr size_t Size = 10000;

private:
  void Emit(size_t n); // the first n bytes of Chunk as one record
  ByteSink &Out;
  std::vector<char> Chunk;
  bool First = true;
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
