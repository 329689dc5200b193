#include "BlockFileReport.h"

#include <algorithm>
#include <iomanip>

#include "BilingualText.h"
#include "BlockFile.h"
#include "BlockFileUtils.h"
#include "Checksum.h"
#include "Conversion.h"
#include "Messages.h"
#include "OutputText.h"
#include "PathAliases.h"
#include "Platform.h"
#include "RecordBuffer.h"

namespace {

constexpr int TrailerBytes = 8;

// The checksum pair over the first `limit` bytes, in 512-byte blocks.
bool SumPrefix(const std::string &path, uint64_t limit, uint32_t &sum, uint32_t &carry) {
  const platform::Handle h = platform::Open(path, platform::OpenMode::Read);
  if (h == platform::InvalidHandle)
    return false;
  std::vector<char> buf(256 * ChecksumBlock);
  uint64_t done = 0;
  bool ok = true;
  while (done < limit) {
    const int64_t want = static_cast<int64_t>(std::min<uint64_t>(buf.size(), limit - done));
    int64_t got = 0;
    while (got < want) {
      const int64_t n = platform::Read(h, buf.data() + got, want - got);
      if (n <= 0)
        break;
      got += n;
    }
    if (got != want) {
      ok = false;
      break;
    }
    ASumKsBlocks(static_cast<size_t>(got), buf.data(), sum, carry);
    done += static_cast<uint64_t>(got);
  }
  platform::Close(h);
  return ok;
}

bool ReadTrailer(const std::string &path, uint64_t at, uint32_t &sum, uint32_t &carry) {
  const platform::Handle h = platform::Open(path, platform::OpenMode::Read);
  if (h == platform::InvalidHandle)
    return false;
  unsigned char t[TrailerBytes];
  const bool ok = platform::Seek(h, static_cast<int64_t>(at)) == static_cast<int64_t>(at) &&
                  platform::Read(h, t, TrailerBytes) == TrailerBytes;
  platform::Close(h);
  sum = t[0] | t[1] << 8 | t[2] << 16 | static_cast<uint32_t>(t[3]) << 24;
  carry = t[4] | t[5] << 8 | t[6] << 16 | static_cast<uint32_t>(t[7]) << 24;
  return ok;
}

} // namespace

BlockFileReport InspectBlockFile(const std::string &path) {
  // A name with "#" is a real path, as for the conversions.
  ScopedPlainNames plain;
  BlockFileReport r;
  r.size = platform::FileSize(path);
  if (r.size < 0) {
    r.error = "cannot open it: " + platform::ErrorText(platform::LastError());
    return r;
  }
  if (r.size < 8) {
    r.error = "too short for a block file header";
    return r;
  }
  try {
    WFile f(path, true);
    r.endAdr = f.Header.EndAdr;
    r.count = f.Header.Count;
    r.readable = true;
    if (static_cast<uint64_t>(r.size) < r.endAdr)
      r.error = "the file ends before EndAdr";
    WRec rec;
    for (uint32_t i = 0; i < r.count; ++i) {
      BlockFileReport::Logical lf;
      lf.adr = f.Dir[i].Adr;
      lf.len = f.Dir[i].Len;
      try {
        f.WOpen_file(i);
        int64_t n = 0;
        uint64_t live = LenEof;
        while (f.WRead(&rec)) {
          if (i == 0 && n == 0)
            r.edition.assign(rec.Data, rec.Len);
          ++n;
          live += rec.Len + LenPrefix;
        }
        lf.records = n;
        if (live != lf.len)
          lf.error = "Len " + std::to_string(lf.len) + " but the records take " +
                     std::to_string(live) + " bytes";
      } catch (const ZError &e) {
        lf.error = ErrorReason(e);
      }
      r.files.push_back(lf);
    }
    f.Close();
  } catch (const ZError &e) {
    // r.readable tells whether the header and directory were read before it.
    if (r.error.empty())
      r.error = ErrorReason(e);
    return r;
  }
  r.deadPercent = def_unused(path);
  const uint64_t after = static_cast<uint64_t>(r.size) - std::min<uint64_t>(r.size, r.endAdr);
  r.trailerPresent = after == TrailerBytes;
  if (after != 0 && after != TrailerBytes && r.error.empty())
    r.error = std::to_string(after) + " bytes after EndAdr (a trailer has 8)";
  if (r.trailerPresent) {
    uint32_t sum = 0, carry = 0, tsum = 0, tcarry = 0;
    r.trailerMatches = SumPrefix(path, r.endAdr, sum, carry) &&
                       ReadTrailer(path, r.endAdr, tsum, tcarry) && sum == tsum && carry == tcarry;
  }
  return r;
}

void PrintReport(const std::string &path, const BlockFileReport &r, std::ostream &out) {
  out << "file: " << OneLine(path) << "\n"
      << "size: " << r.size << " bytes\n";
  if (!r.readable) {
    out << "not a readable block file: " << r.error << "\n";
    return;
  }
  out << "EndAdr: " << r.endAdr << "\n"
      << "Count: " << r.count << "\n"
      << "dead space: " << r.deadPercent << "%\n"
      << "edition: \"" << Cp1251ToUtf8(r.edition) << "\"\n"
      << "checksum trailer: "
      << (!r.trailerPresent  ? "absent"
          : r.trailerMatches ? "present, matches"
                             : "present, does not match")
      << "\n"
      << "logical files:\n"
      << "      #        Adr        Len    records\n";
  for (size_t i = 0; i < r.files.size(); ++i) {
    const auto &f = r.files[i];
    out << std::setw(7) << i << std::setw(11) << f.adr << std::setw(11) << f.len << std::setw(11);
    if (f.records >= 0)
      out << f.records;
    else
      out << "?";
    if (!f.error.empty())
      out << "  " << f.error;
    out << "\n";
  }
  if (!r.error.empty())
    out << "problem: " << r.error << "\n";
}

std::string VerifyProblem(const BlockFileReport &r) {
  if (!r.error.empty())
    return r.error;
  for (size_t i = 0; i < r.files.size(); ++i)
    if (!r.files[i].error.empty())
      return "logical file " + std::to_string(i) + ": " + r.files[i].error;
  if (!r.trailerPresent)
    return "no checksum trailer";
  if (!r.trailerMatches)
    return "the checksum trailer does not match";
  return {};
}
