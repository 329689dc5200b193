// What a converted file must hold, computed from a fixture's description
// alone: an independent statement of the conversion's output bytes, built
// without the storage and record layers.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "ModelBuilder.h"

namespace samples {
inline bool operator==(const Record &a, const Record &b) {
  return a.flag == b.flag && a.body == b.body;
}
} // namespace samples

namespace expect {

// A composite block file in the compacted layout: logical files in order,
// contiguous, from 8 + 8 * count, every link EmptyAdr, EndAdr = size; as a
// reader would, a logical file ends at a record of the single byte "@".
std::string Compacted(const std::vector<samples::Records> &files);

// bytes followed by their 8-byte checksum trailer.
std::string WithTrailer(const std::string &bytes);

// An embedded file: records of 10000 bytes (the last shorter), the first
// flagged 1, the others 0.
samples::Records Embedded(std::string_view bytes);

// The Boib record after conversion (long-form texts, Ukrainian part of
// bilingual texts, new row table, fix-up).
std::string ConvertedBoib(const samples::BoibSample &b);

// The converted model file for kind code `kind` (1, 2, 11 with Boib conversion).
std::string Model(const samples::ModelSample &m, uint8_t kind);

// The converted composite: parts converted as kind 1, the last as kind 4.
std::string Composite(const samples::CompositeSample &c);

// The edition strings as stored.
inline const std::string Converted = "5-2.10.3";

} // namespace expect
