// A folder tree of synthetic edition-2.10.5 files for demonstrations and
// end-to-end tests: at least one file of each of the ten kinds in nested
// folders, composites with several models, and files that a mass conversion
// must pass over (another edition, hidden, wrong extension) or report (damaged).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace samples {

enum class SampleRole : uint8_t {
  Convertible,    // listed and converted
  OtherEdition,   // right extension, edition 5-2.10.4: not listed
  Damaged,        // edition 5-2.10.5 but broken further on: listed, conversion fails
  Hidden,         // in a hidden folder or a hidden file: not found
  WrongExtension, // valid content, name does not end in "." + a kind's extension
};

struct SampleEntry {
  std::string path; // relative to the tree's folder, with the system's separator
  uint8_t kind = 0; // kind code of the content (0 when not a kind's file)
  SampleRole role = SampleRole::Convertible;
};

struct SampleTreeOptions {
  uint64_t seed = 1;
  bool damaged = true; // include the damaged file
  int compositeModels = 3;
};

// Writes the tree under `dir` (created when missing) and returns what it
// wrote, in no particular order. Throws std::runtime_error on I/O failures.
std::vector<SampleEntry> WriteSampleTree(const std::string &dir,
                                         const SampleTreeOptions &options = {});

// A mixed tree of `files` small files of every kind (for benchmarks), spread
// over folders of 50 files each. Returns the relative paths written.
std::vector<std::string> WriteManySmallFiles(const std::string &dir, int files, uint64_t seed);

} // namespace samples
