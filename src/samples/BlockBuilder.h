// Test-support writer of block files, byte by byte, without the storage
// layer, so that what it writes checks the reader independently.
//
// Format written (all integers little-endian):
//   composite: EndAdr(4) Count(4), Count directory entries {Adr(4), Len(4)},
//              then the record chains in any order, plus dead space;
//   record:    flag(1) link(4) length(2) body(length); link EmptyAdr means
//              "the next record follows directly";
//   end record: 00 FF FF FF FF 01 00 40;
//   simple:    one bare chain from offset 0 ending with the end record.
// An optional 8-byte checksum trailer (sum, carries) follows the data.
//
// Everything here throws std::runtime_error on I/O failures: it is test
// support, not part of the converter.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace samples {

constexpr uint32_t kEmptyAdr = 0xFFFFFFFFu;
constexpr uint32_t kPrefixSize = 1 + 4 + 2; // flag, link, length
constexpr uint32_t kEndRecordSize = kPrefixSize + 1;
constexpr uint32_t kMaxBody = 20000;
constexpr uint8_t kDeletedFlag = 0x80;
constexpr uint32_t kHeaderSize = 4 + 4;   // EndAdr, Count
constexpr uint32_t kDirEntrySize = 4 + 4; // Adr, Len
constexpr uint32_t kTrailerSize = 4 + 4;  // sum, carry count
constexpr uint32_t kChecksumBlock = 512;  // the trailer sums the file in blocks of this size

// Repeatable pseudo-random numbers: the same seed gives the same files.
class Rng {
public:
  explicit Rng(uint64_t seed) : gen_(seed) {}
  uint64_t Next() { return gen_(); }
  // Uniform in [lo, hi].
  int64_t Between(int64_t lo, int64_t hi);
  bool Chance(double p); // true with probability p
  double Real(double lo, double hi);
  std::string Bytes(size_t n);   // any byte values
  std::string Letters(size_t n); // printable Windows-1251 letters and digits
  template <class T> void Shuffle(std::vector<T> &v) {
    for (size_t i = v.size(); i > 1; --i)
      std::swap(v[i - 1], v[static_cast<size_t>(Between(0, static_cast<int64_t>(i) - 1))]);
  }

private:
  std::mt19937_64 gen_;
};

struct Record {
  uint8_t flag = 0;
  std::string body; // 1..kMaxBody bytes for a readable record
};
using Records = std::vector<Record>;

// How BuildBlockFile places the records of a composite file.
struct Layout {
  uint64_t seed = 1;
  // Records of one logical file scattered over the data area (runs of
  // consecutive records in random order), each run linked to the next.
  bool scatter = false;
  // Before a live record, chance of a deleted record without link (passed
  // over by the reader, so the live record follows it directly).
  double deletedPlain = 0;
  // Before a live record, chance of a deleted record whose link leads to it.
  double deletedLinked = 0;
  // Chance that a live record was replaced: its old version (deleted, with a
  // link) stands in the chain and links to the new version placed at the end
  // of the file.
  double replaced = 0;
  // Up to this many bytes of garbage between runs of records.
  uint32_t deadMax = 0;
  // Write explicit links also where the next record follows directly.
  bool explicitLinks = false;
  enum class Trailer { None, Valid, Wrong };
  Trailer trailer = Trailer::None;
};

// A written file and where things went in it, for byte surgery.
struct BlockImage {
  std::string bytes;
  uint32_t endAdr = 0;
  std::vector<uint32_t> adr; // directory: first record of each logical file
  std::vector<uint32_t> len; // directory: live bytes including the end record
  // Per logical file: address of each live record in chain order, then the
  // address of its end record.
  std::vector<std::vector<uint32_t>> recordAdr;
};

// A composite file holding `files` (logical file i = files[i]). Records with
// the deleted flag set in `files` are written as given (they become dead
// records in the chain, not returned by a reader).
BlockImage BuildBlockFile(const std::vector<Records> &files, const Layout &layout = {});

// A composite file of `count` empty logical files whose logical file 0 holds
// the one record `edition` (none when it is empty).
BlockImage BuildEmptyBlockFile(uint32_t count, std::string_view edition);

// A simple block file: the records from offset 0, then the end record.
std::string BuildSimpleBlockFile(const Records &records);

// The 8-byte trailer over `bytes`: sum and carry count of 32/16/8-bit
// little-endian pieces, one call per 512-byte block, the carry of adding a
// block's sum to the running sum being lost.
std::string ChecksumTrailer(std::string_view bytes);

// Record prefix + body, as stored.
std::string EncodeRecord(uint8_t flag, uint32_t link, std::string_view body);
std::string EndRecord();

// Writes a composite file sequentially without holding it in memory: each
// logical file's chain is written in one piece; dead space and deleted
// records may be put between records. The header and directory are written
// by Finish.
class BlockWriter {
public:
  BlockWriter(const std::string &path, uint32_t count);
  ~BlockWriter(); // closes the file; an unfinished file is left as it is
  BlockWriter(const BlockWriter &) = delete;
  BlockWriter &operator=(const BlockWriter &) = delete;

  void Begin(uint32_t n); // starts the chain of logical file n (at most once per n)
  void Add(uint8_t flag, std::string_view body);
  void AddDeleted(std::string_view body); // deleted, no link: passed over
  void End();                             // the end record of the open chain
  void Dead(std::string_view garbage);    // bytes no chain reaches (outside a chain)
  uint64_t Size() const { return pos_; }
  // Empty chains for logical files never begun, then header and directory;
  // EndAdr = size of the data; the checksum trailer after it when asked.
  void Finish(bool trailer);

private:
  void Put(std::string_view bytes);
  void Flush();

  int handle_ = -1;
  std::string path_;
  std::string buf_;
  uint64_t pos_ = 0;
  std::vector<uint32_t> adr_, len_;
  std::vector<bool> begun_;
  int64_t open_ = -1;
  bool finished_ = false;
};

// Byte surgery on files.
std::string ReadFileBytes(const std::string &path);
void WriteFileBytes(const std::string &path, std::string_view bytes);
void SetByte(const std::string &path, uint64_t offset, uint8_t value);
void SetU32(const std::string &path, uint64_t offset, uint32_t value);
void Truncate(const std::string &path, uint64_t size);

// Little-endian helpers on byte strings.
void PutU16(std::string &s, uint64_t offset, uint16_t v);
void PutU32(std::string &s, uint64_t offset, uint32_t v);
uint32_t GetU32(std::string_view s, uint64_t offset);
uint16_t GetU16(std::string_view s, uint64_t offset);
void AppendU16(std::string &s, uint16_t v);
void AppendU32(std::string &s, uint32_t v);

} // namespace samples
