// What `zepconv info` and `zepconv verify` find in a block file: the header,
// the directory, every logical file read to its end, and the trailer.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

struct BlockFileReport {
  bool readable = false; // header and directory could be read
  std::string error;     // the first problem found; empty when none
  int64_t size = 0;      // physical size
  uint32_t endAdr = 0;
  uint32_t count = 0;
  int deadPercent = 0;
  std::string edition; // first record of logical file 0, raw bytes
  struct Logical {
    uint32_t adr = 0, len = 0;
    int64_t records = -1; // -1: the chain could not be read to its end
    std::string error;
  };
  std::vector<Logical> files;
  bool trailerPresent = false; // exactly 8 bytes follow EndAdr
  bool trailerMatches = false;
};

// Reads the whole file through the block file reader; never throws. The name
// is a plain path ("#" is no alias reference).
BlockFileReport InspectBlockFile(const std::string &path);

// The report as `zepconv info` prints it.
void PrintReport(const std::string &path, const BlockFileReport &r, std::ostream &out);

// Why `zepconv verify` fails the file; empty when it passes.
std::string VerifyProblem(const BlockFileReport &r);
