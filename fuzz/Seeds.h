// Valid block files written through the storage layer: the seed corpus of the
// fuzz target and the inputs the replay test expects to read cleanly.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "BlockFile.h"
#include "BlockFileUtils.h"
#include "Messages.h"
#include "Platform.h"
#include "RecordBuffer.h"

namespace fuzzing {

inline void PutRecord(WFile &f, char flag, const std::string &body) {
  f.WWrite(flag, static_cast<uint16_t>(body.size()), body.data());
}

inline std::string Pattern(size_t n, char start) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i)
    s[i] = static_cast<char>(start + i % 23);
  return s;
}

// Writes the seeds into `dir` (which ends with the separator) and returns
// their paths.
inline std::vector<std::string> WriteSeeds(const std::string &dir) {
  ScopedPresenter quiet([](const MsgRequest &) { return 0; });
  std::vector<std::string> out;
  auto fresh = [&](const std::string &name, int count) {
    const std::string path = dir + name;
    platform::RemoveFile(path);
    creat_bf(path, count, "5-2.10.5");
    out.push_back(path);
    return path;
  };

  // A new file: the edition record and empty logical files.
  fresh("empty.bf", 3);

  // Records of several sizes, up to the longest readable body, and the
  // writer flag 1 of a first chunk.
  {
    WFile f(fresh("sizes.bf", 4));
    f.WCreat_file(1);
    for (size_t n : {1u, 2u, 7u, 100u, 1000u, 20000u})
      PutRecord(f, 0, Pattern(n, 'a'));
    f.WClose_file(1, true);
    f.WCreat_file(2);
    PutRecord(f, 1, Pattern(300, 'K'));
    PutRecord(f, 0, Pattern(200, 'k'));
    f.WClose_file(2, true);
    f.Close();
  }

  // Deleted, replaced and inserted records: links and dead space.
  {
    WFile f(fresh("edited.bf", 3));
    f.WCreat_file(1);
    std::vector<uint32_t> offs;
    for (int i = 0; i < 5; ++i)
      offs.push_back(f.WWrite(0, 10, Pattern(10, static_cast<char>('A' + i)).data()));
    f.WClose_file(1, true);
    const uint32_t base = f.Dir[1].Adr;
    WRec r;
    auto set = [&](const std::string &b) {
      std::copy(b.begin(), b.end(), r.Data);
      r.Len = static_cast<uint16_t>(b.size());
      r.Flag = 0;
    };
    f.WEditFile(weDelete, 1, base + offs[0], EmptyAdr, &r);
    set(Pattern(30, 'R'));
    f.WEditFile(weReplace, 1, base + offs[2], base + offs[3], &r);
    set("inserted");
    f.WEditFile(weInsert, 1, EmptyAdr, base, &r);
    set(Pattern(5, 'M'));
    f.WEditFile(weModify, 1, base + offs[4], EmptyAdr, &r);
    set("appended");
    f.WAppendRecToLogFile(2, &r);
    f.WAppendRecToLogFile(2, &r);
    f.Close();
  }

  // Item streams of the three encodings.
  {
    WFile f(fresh("stream.bf", 4));
    f.WBCreatFile(1, "\x02");
    for (const char *name : {"MODEL1.IMS", "MODEL2.IMD", "a", "long name of a model"})
      f.WPut(name, static_cast<int>(std::char_traits<char>::length(name)));
    f.WBCloseFile(1);
    f.WBCreatFile(2, "");
    for (int i = 1; i < 40; i += 7) {
      const std::string item = Pattern(static_cast<size_t>(i), 'c');
      f.WPut(item.data(), i);
    }
    f.WBCloseFile(2);
    f.WBCreatFile(3, 3);
    f.WPut("abc", 3);
    f.WPut("def", 3);
    f.WBCloseFile(3);
    f.Close();
  }

  // The edited file compacted: the canonical layout.
  {
    const std::string path = dir + "compacted.bf";
    platform::RemoveFile(path);
    platform::CopyPlainFile(dir + "edited.bf", path);
    compress_bf(path, 0);
    out.push_back(path);
  }
  return out;
}

} // namespace fuzzing
