// Test-support builders of the data files of edition 2.10.5: model files of
// every kind (with their Boib record and inner block file), composites, and a
// streaming writer of very large model files for the benchmarks. All bytes are
// written here, without the storage or record layers.
#pragma once

#include "BlockBuilder.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace samples {

// Edition strings as stored (8 bytes, no terminator).
inline constexpr const char *kSourceEdition = "5-2.10.5";
inline constexpr const char *kOtherEdition = "5-2.10.4";
inline constexpr const char *kConvertedEdition = "5-2.10.3";

// ---- the Boib record ----

inline constexpr int kBoibFields = 612;
inline constexpr int kBoibRows = 20;
inline constexpr int kBoibRowTable = 96; // position of Set1Col1[0]
inline constexpr int kBoibFixTestA = 380;
inline constexpr int kBoibFixTotal = 381;
inline constexpr int kBoibFixTestB = 382;
inline constexpr int kBoibFixAddend = 383;
// Packed size of a Boib record whose texts are all empty (each: 2-byte length).
inline constexpr int kBoibFixedSize = 2876;

// Field kind codes of the 612 Boib fields, in position order.
const std::array<uint8_t, kBoibFields> &BoibKinds();

// Position of row r of column `col` (1..3) of set `set` (1..3) of the row table.
constexpr int BoibRowPos(int set, int col, int r) {
  return kBoibRowTable + ((set - 1) * 3 + (col - 1)) * kBoibRows + r;
}

// How the rows of the row table relate the third set to the first.
enum class RowRelation : uint8_t {
  Equal,   // every column of set 3 equals set 1 (difference below 1e-10)
  Differs, // at least one column differs by 1e-10 or more
};

struct BoibSpec {
  uint64_t seed = 1;
  double bilingual = 0.3; // chance that a text holds both language variants
  double shortForm = 0.3; // chance that a text is stored in the short form (0x81 / 0x82)
  double empty = 0.2;     // chance that a text is empty
  double equalRow = 0.5;  // chance that a row of set 3 equals set 1
  int maxText = 40;       // longest text part
  // Values of FixTestA and FixTestB; absent: random, sometimes above 1e-10.
  std::optional<double> fixTestA, fixTestB;
};

struct BoibSample {
  std::string packed;                         // the record body as stored
  std::array<double, kBoibFields> real{};     // value of each real field (0 elsewhere)
  std::array<int64_t, kBoibFields> integer{}; // value of kinds 5..8 and 10 (0 elsewhere)
  std::array<std::string, kBoibFields> text;  // stored text bytes (markers included)
  std::array<bool, kBoibFields> isShort{};    // text stored in the short form
  std::array<RowRelation, kBoibRows> rows{};
};

BoibSample BuildBoibRecord(const BoibSpec &shape);

// A bilingual text as stored: 0x04, Russian part, 0x05, Ukrainian part.
std::string Bilingual(std::string_view ru, std::string_view uk);

// ---- model files ----

struct ModelSpec {
  uint8_t kind = 1;   // kind code; 1, 2 and 11 (and 4) carry a Boib record
  uint32_t count = 5; // logical files, at least 3
  std::string edition = kSourceEdition;
  uint64_t seed = 1;
  int lf1Records = 3;             // records of logical file 1 after the Boib record
  uint32_t innerCount = 150;      // logical files of the inner file
  int innerRecords = 60;          // records spread over the inner logical files
  uint32_t innerMaxRecord = 3000; // longest inner record body
  uint32_t maxChunk = kMaxBody;   // longest record of logical file 2
  int otherRecords = 4;           // records of each logical file 3 .. count-1
  uint32_t otherMaxRecord = 5000;
  Layout layout;      // of the model file
  Layout innerLayout; // of the inner file
  BoibSpec boib;
};

struct ModelSample {
  BlockImage image;                // the file as written
  std::vector<Records> files;      // live records of each logical file
  std::string inner;               // bytes of the inner file (logical file 2)
  std::vector<Records> innerFiles; // live records of each inner logical file
  std::optional<BoibSample> boib;  // kinds with a Boib record
};

bool KindHasBoib(uint8_t kind); // 1, 2, 11 and 4

// A model of a few kilobytes that still has every part (for tests that need
// many files quickly).
ModelSpec SmallModelSpec(uint8_t kind, uint64_t seed, const std::string &edition = kSourceEdition);

ModelSample BuildModel(const ModelSpec &shape);
ModelSample WriteModel(const std::string &path, const ModelSpec &shape);

// Cuts `bytes` into records of random sizes 1..maxChunk; the first gets
// `firstFlag`, the others 0.
Records ChunkRecords(std::string_view bytes, Rng &rng, uint32_t maxChunk, uint8_t firstFlag);

// ---- composites (kind 3) ----

struct CompositeSpec {
  uint32_t count = 5; // logical files, at least 3
  std::string edition = kSourceEdition;
  uint64_t seed = 1;
  std::vector<ModelSpec> models; // empty: three models of kind 1
  // Stored names, one per model; empty: "MODEL1.IMS", "MODEL2.IMS", ...
  std::vector<std::string> names;
  // Trailer of each embedded model.
  Layout::Trailer modelTrailer = Layout::Trailer::Valid;
  int otherRecords = 3; // records of logical files 3 .. count-1
  Layout layout;
};

struct CompositeSample {
  BlockImage image;
  std::vector<Records> files;       // live records of each logical file
  std::vector<std::string> names;   // stored names in order
  std::vector<std::string> models;  // bytes of each embedded model file
  std::vector<ModelSample> samples; // what each embedded model holds
};

CompositeSample BuildComposite(const CompositeSpec &shape);
CompositeSample WriteComposite(const std::string &path, const CompositeSpec &shape);

// Items joined as a stream delimited by the byte 0x02, packed into records of
// at most 19999 body bytes holding whole items.
Records DelimitedStream(const std::vector<std::string> &items, char delimiter = '\x02');

// ---- very large model files, written streaming ----

struct LargeModelSpec {
  uint64_t targetBytes = 200ull << 20; // approximate size of the file
  uint8_t kind = 1;
  uint64_t seed = 1;
  uint32_t innerCount = 150;
  double innerShare = 0.6; // part of the size taken by the inner file
  std::string tempDir;     // where the inner file is assembled (removed afterwards)
  bool trailer = true;
};

// Writes the file without holding it in memory; returns its size.
uint64_t WriteLargeModel(const std::string &path, const LargeModelSpec &shape);

} // namespace samples
