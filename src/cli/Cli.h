// The zepconv command line over the conversion engine. Messages of the engine
// go to the error stream, questions are answered from the options (never
// from standard input), per-file results and summaries go to the output
// stream.
#pragma once

#include <ostream>
#include <string>
#include <vector>

// Exit statuses.
inline constexpr int ExitOk = 0;
inline constexpr int ExitFailed = 1; // a conversion failed or was refused, a check failed
inline constexpr int ExitUsage = 2;  // bad usage

// Runs the command `args` (without the program name).
int ZepMain(const std::vector<std::string> &args, std::ostream &out, std::ostream &err);

// What `zepconv info` and `zepconv verify` find in a block file.
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

// Reads the whole file through the block file reader; never throws.
BlockFileReport InspectBlockFile(const std::string &path);
