// The block-file part of the fuzz target, shared with the test that replays
// the seeds and the saved crash inputs in the normal test build. It opens a
// file as a composite block file and reads every logical file record by
// record and as item streams of each encoding, then compacts a copy and reads
// the compacted copy again. Damaged input must end in a ZError; anything else
// (a crash, a sanitizer report, a chain longer than the file can hold, a
// compacted file that cannot be read) is a fault and aborts.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "BlockFile.h"
#include "BlockFileUtils.h"
#include "Messages.h"
#include "Platform.h"
#include "RecordBuffer.h"

namespace fuzzing {

struct HarnessResult {
  uint64_t records = 0;          // records read, over all logical files
  uint64_t compactedRecords = 0; // the same in the compacted copy
  uint64_t items = 0;            // stream items read
  int errors = 0;                // ZErrors raised by damaged input
  int recordErrors = 0;          // of them, raised while opening the file or reading records
  bool compacted = false;
};

[[noreturn]] inline void Fault(const char *what, const std::string &path) {
  std::fprintf(stderr, "fuzz harness: %s (%s)\n", what, path.c_str());
  std::abort();
}

// Every record of every logical file. No chain can hold more records than the
// file has room for; a longer one means a cycle the reader did not refuse.
inline void ReadRecords(WFile &f, WRec *r, uint64_t limit, HarnessResult &out) {
  for (uint32_t n = 0; n < f.Header.Count; ++n) {
    try {
      f.WOpen_file(n);
      uint64_t got = 0;
      while (f.WRead(r)) {
        if (++got > limit)
          Fault("record chain longer than the file", f.Name);
      }
      out.records += got;
    } catch (const ZError &) {
      ++out.errors;
    }
  }
}

// Every logical file as a stream of each encoding.
inline void ReadStreams(WFile &f, uint64_t limit, HarnessResult &out) {
  struct Encoding {
    const char *delimiter;
    int fixedLen;
  };
  for (const Encoding e : {Encoding{"\x02", -1}, Encoding{"", -1}, Encoding{nullptr, 3}}) {
    for (uint32_t n = 0; n < f.Header.Count; ++n) {
      try {
        f.WBOpenFile(n, e.delimiter, e.fixedLen);
        char *item = nullptr;
        int len = 0;
        uint64_t got = 0;
        FullAdr first{};
        while (f.WGet(&item, len, nullptr)) {
          if (len < 0 || item < f.RBuf->Data || item + len > f.RBuf->Data + f.RBuf->Len)
            Fault("stream item outside its record", f.Name);
          if (got == 0)
            first = f.ItemAt;
          if (++got > limit)
            Fault("stream longer than the file", f.Name);
        }
        out.items += got;
        if (got > 0)
          f.WGet(&item, len, &first); // back to the first item
      } catch (const ZError &) {
        ++out.errors;
      }
    }
  }
}

// Reads the file at path every way. A compacted file holds only records that
// were read once already, so its records must read again without error.
inline void ReadAll(const std::string &path, HarnessResult &out, bool compacted) {
  WRec r;
  try {
    WFile f(path, true);
    const int64_t size = platform::FileSize(path);
    const uint64_t bytes = static_cast<uint64_t>(size < 0 ? 0 : size);
    HarnessResult recs;
    ReadRecords(f, &r, bytes / LenEof + 2, recs);
    if (compacted && recs.errors != 0)
      Fault("compacted file cannot be read", path);
    (compacted ? out.compactedRecords : out.records) += recs.records;
    out.errors += recs.errors;
    out.recordErrors += recs.errors;
    // A chain that runs round is refused before its records add up to more
    // bytes than the file holds, and a record yields at most one item per
    // body byte.
    ReadStreams(f, bytes + 1, out);
    try {
      f.CompareVersion();
    } catch (const ZError &) {
      ++out.errors;
    }
    f.Close();
  } catch (const ZError &) {
    if (compacted)
      Fault("compacted file cannot be opened", path);
    ++out.errors;
    ++out.recordErrors;
  }
}

// Runs the whole harness on the file at `input`; `work` is a private folder
// for the compaction copy.
inline HarnessResult RunBlockFileHarness(const std::string &input, const std::string &work) {
  // Destructors and utilities report through the presenter; keep them quiet
  // and answer every question no.
  ScopedPresenter quiet([](const MsgRequest &) { return 0; });
  HarnessResult out;
  ReadAll(input, out, false);
  const std::string copy = work + "copy.bf";
  platform::RemoveFile(copy);
  if (!platform::CopyPlainFile(input, copy))
    Fault("cannot copy the input", copy);
  try {
    compress_bf(copy, 0);
    out.compacted = true;
  } catch (const ZError &) {
    ++out.errors;
  }
  if (out.compacted)
    ReadAll(copy, out, true);
  platform::RemoveFile(copy);
  return out;
}

} // namespace fuzzing
