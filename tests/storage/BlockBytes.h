// Test helpers for the storage tests: a private scratch folder, raw file
// bytes, byte surgery on block files, and a presenter that records what the
// library shows and answers questions as the test says.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "BlockFile.h"
#include "Messages.h"
#include "Platform.h"

namespace bb {

class TempDir {
public:
  TempDir() : path(platform::MakeTempDir("zep-storage-")) {}
  ~TempDir() { platform::RemoveTree(path); }
  TempDir(const TempDir &) = delete;
  TempDir &operator=(const TempDir &) = delete;
  std::string operator/(const std::string &name) const { return path + name; }
  std::string path;
};

// Runs the test body inside a scratch folder as the current folder (for the
// fixed work-file names of the text builder) and returns afterwards.
class InDir {
public:
  explicit InDir(const std::string &dir) : old(platform::CurrentDir()) {
    EXPECT_TRUE(platform::SetCurrentDir(dir));
  }
  ~InDir() { platform::SetCurrentDir(old); }
  std::string old;
};

inline std::string Body(const WRec &r) {
  return std::string(r.Data, r.Len);
}

// Reads logical file n to its end (bounded) and returns the bodies.
inline std::vector<std::string> ReadAllRecs(WFile &w, uint32_t n) {
  std::vector<std::string> out;
  WRec r;
  w.WOpen_file(n);
  for (int i = 0; i < 10000 && w.WRead(&r); ++i)
    out.push_back(Body(r));
  return out;
}

inline std::string ReadAll(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteAll(const std::string &path, const std::string &bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

inline std::string U32(uint32_t v) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i)
    s[i] = static_cast<char>(v >> (8 * i));
  return s;
}

inline std::string U16(uint16_t v) {
  return std::string{static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
}

inline uint32_t Get32(const std::string &s, size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i)
    v = v << 8 | static_cast<unsigned char>(s.at(at + i));
  return v;
}

// One record: prefix (flag, link, length) and body.
inline std::string Rec(uint8_t flag, uint32_t link, const std::string &body) {
  return std::string(1, static_cast<char>(flag)) + U32(link) +
         U16(static_cast<uint16_t>(body.size())) + body;
}
inline std::string Rec(const std::string &body) {
  return Rec(0, 0xFFFFFFFFu, body);
}
inline std::string EndRec() {
  return Rec("@");
}

// A composite block file: header, directory and then the data area, given
// as raw bytes whose addresses the test computes.
inline std::string Header(uint32_t endAdr, uint32_t count) {
  return U32(endAdr) + U32(count);
}
inline std::string Entry(uint32_t adr, uint32_t len) {
  return U32(adr) + U32(len);
}

// Builds a composite block file image: records are put into the data area
// one after another and return their addresses; the directory is set by hand.
struct Image {
  explicit Image(uint32_t count) : dir(count) {}
  uint32_t Base() const { return 8 + 8 * static_cast<uint32_t>(dir.size()); }
  uint32_t Here() const { return Base() + static_cast<uint32_t>(area.size()); }
  uint32_t Put(const std::string &bytes) {
    uint32_t at = Here();
    area += bytes;
    return at;
  }
  // endAdr 0: just past the data area.
  std::string Bytes(uint32_t endAdr = 0) const {
    std::string s = Header(endAdr ? endAdr : Here(), static_cast<uint32_t>(dir.size()));
    for (const auto &e : dir)
      s += Entry(e.first, e.second);
    return s + area;
  }
  void Write(const std::string &path, uint32_t endAdr = 0) const { WriteAll(path, Bytes(endAdr)); }
  std::vector<std::pair<uint32_t, uint32_t>> dir; // {Adr, Len}
  std::string area;
};

// Byte surgery on a file.
inline void SetByte(const std::string &path, size_t at, char v) {
  std::string s = ReadAll(path);
  s.at(at) = v;
  WriteAll(path, s);
}
inline void Set32(const std::string &path, size_t at, uint32_t v) {
  std::string s = ReadAll(path);
  s.replace(at, 4, U32(v));
  WriteAll(path, s);
}
inline void ShrinkSize(const std::string &path, size_t size) {
  std::string s = ReadAll(path);
  s.resize(size);
  WriteAll(path, s);
}
inline void AppendBytes(const std::string &path, const std::string &tail) {
  WriteAll(path, ReadAll(path) + tail);
}

// Records every request; questions get `answer`.
struct Recorder {
  std::vector<MsgRequest> shown;
  int answer = 0;
  ScopedPresenter scope{[this](const MsgRequest &r) {
    shown.push_back(r);
    return answer;
  }};
};

// The ZError that f raises; a test failure when it raises none.
template <class F> ZError CatchZ(F f) {
  try {
    f();
  } catch (const ZError &e) {
    return e;
  }
  ADD_FAILURE() << "no ZError raised";
  return ZError("<none>", -12345);
}

} // namespace bb
