#include "BlockBuilder.h"

#include "Platform.h"

#include <algorithm>
#include <cassert>
#include <stdexcept>

namespace samples {

namespace {

[[noreturn]] void Fail(const std::string &what, const std::string &path) {
  throw std::runtime_error(what + " " + path + ": " + platform::ErrorText(platform::LastError()));
}

// One placed record of a chain; `next` is the index of the piece that
// follows it in its chain (-1 for the end record).
struct Piece {
  uint8_t flag = 0;
  std::string body;
  bool mustAdjoin = false; // deleted without link: the next piece follows directly
  bool forceLink = false;  // deleted with a link, even to the piece right after it
  bool live = false;
  int file = 0;
  int64_t next = -1;
  uint32_t adr = 0;
};

struct FileChain {
  std::vector<int64_t> order; // piece indices in chain order
};

} // namespace

int64_t Rng::Between(int64_t lo, int64_t hi) {
  assert(lo <= hi);
  const uint64_t span = static_cast<uint64_t>(hi - lo) + 1;
  if (span == 0)
    return static_cast<int64_t>(Next());
  return lo + static_cast<int64_t>(Next() % span);
}

bool Rng::Chance(double p) {
  if (p <= 0)
    return false;
  return static_cast<double>(Next() >> 11) * 0x1.0p-53 < p;
}

double Rng::Real(double lo, double hi) {
  return lo + (hi - lo) * (static_cast<double>(Next() >> 11) * 0x1.0p-53);
}

std::string Rng::Bytes(size_t n) {
  std::string s(n, '\0');
  size_t i = 0;
  while (i < n) {
    uint64_t v = Next();
    for (int k = 0; k < 8 && i < n; ++k, ++i, v >>= 8)
      s[i] = static_cast<char>(v & 0xFF);
  }
  return s;
}

std::string Rng::Letters(size_t n) {
  // Latin and digits, plus the Cyrillic capitals and small letters of Windows-1251.
  static const std::string alphabet = [] {
    std::string a = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789 ";
    for (int c = 0xC0; c <= 0xFF; ++c)
      a.push_back(static_cast<char>(c));
    return a;
  }();
  std::string s(n, ' ');
  for (auto &c : s)
    c = alphabet[static_cast<size_t>(Between(0, static_cast<int64_t>(alphabet.size()) - 1))];
  return s;
}

void PutU16(std::string &s, uint64_t offset, uint16_t v) {
  s[offset] = static_cast<char>(v & 0xFF);
  s[offset + 1] = static_cast<char>(v >> 8);
}

void PutU32(std::string &s, uint64_t offset, uint32_t v) {
  for (int i = 0; i < 4; ++i)
    s[offset + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

uint16_t GetU16(std::string_view s, uint64_t offset) {
  return static_cast<uint16_t>(static_cast<uint8_t>(s[offset]) |
                               (static_cast<uint8_t>(s[offset + 1]) << 8));
}

uint32_t GetU32(std::string_view s, uint64_t offset) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i)
    v = (v << 8) | static_cast<uint8_t>(s[offset + i]);
  return v;
}

void AppendU16(std::string &s, uint16_t v) {
  s.push_back(static_cast<char>(v & 0xFF));
  s.push_back(static_cast<char>(v >> 8));
}

void AppendU32(std::string &s, uint32_t v) {
  for (int i = 0; i < 4; ++i)
    s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

std::string EncodeRecord(uint8_t flag, uint32_t link, std::string_view body) {
  assert(body.size() <= 0xFFFF); // the length must fit in two bytes
  std::string r;
  r.reserve(kPrefixSize + body.size());
  r.push_back(static_cast<char>(flag));
  AppendU32(r, link);
  AppendU16(r, static_cast<uint16_t>(body.size()));
  r.append(body);
  return r;
}

std::string EndRecord() {
  return EncodeRecord(0, kEmptyAdr, "@");
}

namespace {

// The running pair of the trailer, fed one block at a time.
struct TrailerSum {
  uint32_t sum = 0, carries = 0;
  void Block(std::string_view b) {
    uint32_t s = 0, c = 0;
    auto add = [&](uint32_t p) {
      const uint32_t t = s + p;
      if (t < s)
        ++c;
      s = t;
    };
    size_t i = 0;
    for (; i + 4 <= b.size(); i += 4)
      add(GetU32(b, i));
    if (i + 2 <= b.size()) {
      add(GetU16(b, i));
      i += 2;
    }
    if (i < b.size())
      add(static_cast<uint8_t>(b[i]));
    sum += s; // the carry out of this addition is lost by design of the format
    carries += c;
  }
  std::string Bytes() const {
    std::string t;
    AppendU32(t, sum);
    AppendU32(t, carries);
    return t;
  }
};

} // namespace

std::string ChecksumTrailer(std::string_view bytes) {
  TrailerSum ts;
  for (size_t off = 0; off < bytes.size(); off += kChecksumBlock)
    ts.Block(bytes.substr(off, kChecksumBlock));
  return ts.Bytes();
}

BlockImage BuildBlockFile(const std::vector<Records> &files, const Layout &layout) {
  Rng rng(layout.seed);
  std::vector<Piece> pieces;
  std::vector<FileChain> chains(files.size());
  // Runs of consecutive pieces; a run is placed in one piece of the file.
  std::vector<std::vector<int64_t>> runs, tailRuns;

  for (size_t f = 0; f < files.size(); ++f) {
    auto &order = chains[f].order;
    auto add = [&](Piece p) {
      p.file = static_cast<int>(f);
      pieces.push_back(std::move(p));
      order.push_back(static_cast<int64_t>(pieces.size()) - 1);
    };
    for (const auto &r : files[f]) {
      const bool live = (r.flag & kDeletedFlag) == 0;
      if (live && rng.Chance(layout.deletedPlain))
        add({.flag = static_cast<uint8_t>(kDeletedFlag | rng.Between(0, 0x7F)),
             .body = rng.Bytes(static_cast<size_t>(rng.Between(1, 64))),
             .mustAdjoin = true});
      if (live && rng.Chance(layout.deletedLinked))
        add({.flag = kDeletedFlag,
             .body = rng.Bytes(static_cast<size_t>(rng.Between(1, 64))),
             .forceLink = true});
      if (live && rng.Chance(layout.replaced)) {
        // The old version stays where the record was; the new one goes to the end.
        Piece old{.flag = static_cast<uint8_t>(kDeletedFlag | (r.flag & 0x7F)),
                  .body = rng.Bytes(static_cast<size_t>(rng.Between(1, 200))),
                  .forceLink = true};
        add(std::move(old));
        add({.flag = r.flag, .body = r.body, .live = true});
        tailRuns.push_back({order.back()});
        continue;
      }
      // A deleted record given by the caller keeps its place but carries no link.
      add({.flag = r.flag, .body = r.body, .mustAdjoin = !live, .live = live});
    }
    add({.flag = 0, .body = "@", .live = false});
    for (size_t i = 0; i + 1 < order.size(); ++i)
      pieces[order[i]].next = order[i + 1];
  }

  // Cut every chain into runs: where a piece must adjoin its successor the
  // run goes on; elsewhere a scattered layout may cut it.
  std::vector<bool> tail(pieces.size(), false);
  for (const auto &t : tailRuns)
    tail[t[0]] = true;
  auto isTail = [&](int64_t idx) { return tail[idx]; };
  for (auto &ch : chains) {
    std::vector<int64_t> run;
    for (size_t i = 0; i < ch.order.size(); ++i) {
      const int64_t idx = ch.order[i];
      if (isTail(idx))
        continue; // placed on its own at the end
      run.push_back(idx);
      const bool last = i + 1 == ch.order.size();
      const bool nextIsTail = !last && isTail(ch.order[i + 1]);
      if (last || nextIsTail || (!pieces[idx].mustAdjoin && layout.scatter && rng.Chance(0.5))) {
        runs.push_back(std::move(run));
        run.clear();
      }
    }
    assert(run.empty());
  }
  if (layout.scatter)
    rng.Shuffle(runs);
  for (auto &t : tailRuns)
    runs.push_back(t);

  const uint32_t count = static_cast<uint32_t>(files.size());
  uint64_t pos = kHeaderSize + uint64_t{kDirEntrySize} * count;
  std::vector<std::pair<uint64_t, std::string>> dead; // position, garbage
  for (auto &run : runs) {
    if (layout.deadMax > 0 && rng.Chance(0.7)) {
      std::string g = rng.Bytes(static_cast<size_t>(rng.Between(1, layout.deadMax)));
      dead.emplace_back(pos, g);
      pos += g.size();
    }
    for (int64_t idx : run) {
      pieces[idx].adr = static_cast<uint32_t>(pos);
      pos += kPrefixSize + pieces[idx].body.size();
    }
  }
  if (pos > 0xFFFFFFF0u)
    throw std::runtime_error("block file too large for 32-bit addresses");

  BlockImage img;
  img.bytes.assign(pos, '\0');
  img.endAdr = static_cast<uint32_t>(pos);
  for (auto &[at, g] : dead)
    img.bytes.replace(at, g.size(), g);
  for (auto &run : runs) {
    for (size_t k = 0; k < run.size(); ++k) {
      const Piece &p = pieces[run[k]];
      uint32_t link = kEmptyAdr;
      if (p.next >= 0) {
        const Piece &n = pieces[p.next];
        const bool adjoins = n.adr == p.adr + kPrefixSize + p.body.size();
        if (!p.mustAdjoin && (!adjoins || layout.explicitLinks || p.forceLink))
          link = n.adr;
        assert(link != kEmptyAdr ||
               adjoins); // an unlinked record needs its successor directly after it
      }
      const std::string rec = EncodeRecord(p.flag, link, p.body);
      img.bytes.replace(p.adr, rec.size(), rec);
    }
  }
  img.adr.resize(count);
  img.len.resize(count);
  img.recordAdr.resize(count);
  for (uint32_t f = 0; f < count; ++f) {
    const auto &order = chains[f].order;
    img.adr[f] = pieces[order.front()].adr;
    uint32_t len = 0;
    for (int64_t idx : order) {
      const Piece &p = pieces[idx];
      if (p.live || idx == order.back()) {
        len += kPrefixSize + static_cast<uint32_t>(p.body.size());
        img.recordAdr[f].push_back(p.adr);
      }
    }
    img.len[f] = len;
  }
  std::string head;
  AppendU32(head, img.endAdr);
  AppendU32(head, count);
  for (uint32_t f = 0; f < count; ++f) {
    AppendU32(head, img.adr[f]);
    AppendU32(head, img.len[f]);
  }
  img.bytes.replace(0, head.size(), head);

  if (layout.trailer != Layout::Trailer::None) {
    std::string t = ChecksumTrailer(img.bytes);
    if (layout.trailer == Layout::Trailer::Wrong)
      t[0] = static_cast<char>(t[0] ^ 0x5A);
    img.bytes += t;
  }
  return img;
}

BlockImage BuildEmptyBlockFile(uint32_t count, std::string_view edition) {
  std::vector<Records> files(count);
  if (count > 0 && !edition.empty())
    files[0].push_back({0, std::string(edition)});
  return BuildBlockFile(files);
}

std::string BuildSimpleBlockFile(const Records &records) {
  std::string s;
  for (const auto &r : records)
    s += EncodeRecord(r.flag, kEmptyAdr, r.body);
  return s + EndRecord();
}

// ---- streaming writer ----

BlockWriter::BlockWriter(const std::string &path, uint32_t count)
    : path_(path), adr_(count, 0), len_(count, 0), begun_(count, false) {
  handle_ = platform::Open(path, platform::OpenMode::Create);
  if (handle_ == platform::InvalidHandle)
    Fail("cannot create", path);
  // Room for the header and directory, written by Finish.
  buf_.assign(kHeaderSize + size_t{kDirEntrySize} * count, '\0');
  pos_ = buf_.size();
}

BlockWriter::~BlockWriter() {
  if (handle_ != platform::InvalidHandle) {
    if (!finished_) {
      try {
        Flush();
      } catch (...) {
        // nothing to report from a destructor; the file is test data
      }
    }
    platform::Close(handle_);
  }
}

void BlockWriter::Put(std::string_view bytes) {
  buf_.append(bytes);
  pos_ += bytes.size();
  if (pos_ > 0xFFFFFFF0u)
    throw std::runtime_error("block file too large for 32-bit addresses: " + path_);
  if (buf_.size() >= (1u << 20))
    Flush();
}

void BlockWriter::Flush() {
  if (!buf_.empty() && !platform::Write(handle_, buf_.data(), static_cast<int64_t>(buf_.size())))
    Fail("cannot write", path_);
  buf_.clear();
}

void BlockWriter::Begin(uint32_t n) {
  if (n >= adr_.size() || begun_[n] || open_ >= 0)
    throw std::logic_error("BlockWriter::Begin: bad or repeated logical file");
  begun_[n] = true;
  open_ = n;
  adr_[n] = static_cast<uint32_t>(pos_);
  len_[n] = 0;
}

void BlockWriter::Add(uint8_t flag, std::string_view body) {
  if (open_ < 0)
    throw std::logic_error("BlockWriter::Add outside a chain");
  Put(EncodeRecord(flag, kEmptyAdr, body));
  if ((flag & kDeletedFlag) == 0)
    len_[open_] += kPrefixSize + static_cast<uint32_t>(body.size());
}

void BlockWriter::AddDeleted(std::string_view body) {
  Add(kDeletedFlag, body);
}

void BlockWriter::End() {
  if (open_ < 0)
    throw std::logic_error("BlockWriter::End outside a chain");
  Put(EndRecord());
  len_[open_] += kEndRecordSize;
  open_ = -1;
}

void BlockWriter::Dead(std::string_view garbage) {
  if (open_ >= 0)
    throw std::logic_error("BlockWriter::Dead inside a chain");
  Put(garbage);
}

void BlockWriter::Finish(bool trailer) {
  if (open_ >= 0)
    End();
  for (size_t n = 0; n < adr_.size(); ++n) {
    if (!begun_[n]) {
      Begin(static_cast<uint32_t>(n));
      End();
    }
  }
  Flush();
  std::string head;
  AppendU32(head, static_cast<uint32_t>(pos_));
  AppendU32(head, static_cast<uint32_t>(adr_.size()));
  for (size_t n = 0; n < adr_.size(); ++n) {
    AppendU32(head, adr_[n]);
    AppendU32(head, len_[n]);
  }
  if (platform::Seek(handle_, 0) != 0 ||
      !platform::Write(handle_, head.data(), static_cast<int64_t>(head.size())))
    Fail("cannot write the header of", path_);
  if (trailer) {
    // Sum the file as written, block by block, then append the trailer.
    platform::Close(handle_);
    handle_ = platform::Open(path_, platform::OpenMode::ReadWrite);
    if (handle_ == platform::InvalidHandle)
      Fail("cannot reopen", path_);
    TrailerSum ts;
    std::string block(64 * kChecksumBlock, '\0');
    for (;;) {
      const int64_t got = platform::Read(handle_, block.data(), static_cast<int64_t>(block.size()));
      if (got < 0)
        Fail("cannot read", path_);
      if (got == 0)
        break;
      for (int64_t off = 0; off < got; off += kChecksumBlock)
        ts.Block(std::string_view(block).substr(
            static_cast<size_t>(off),
            static_cast<size_t>(std::min<int64_t>(kChecksumBlock, got - off))));
      // Blocks are 512 bytes except the last, so a short read may only end the file.
      if (got % kChecksumBlock != 0)
        break;
    }
    const std::string t = ts.Bytes();
    if (platform::Seek(handle_, static_cast<int64_t>(pos_)) < 0 ||
        !platform::Write(handle_, t.data(), static_cast<int64_t>(t.size())))
      Fail("cannot append the trailer to", path_);
  }
  finished_ = true;
  platform::Close(handle_);
  handle_ = platform::InvalidHandle;
}

// ---- byte surgery ----

std::string ReadFileBytes(const std::string &path) {
  const platform::Handle h = platform::Open(path, platform::OpenMode::Read);
  if (h == platform::InvalidHandle)
    Fail("cannot open", path);
  std::string s;
  char buf[65536];
  for (;;) {
    const int64_t got = platform::Read(h, buf, sizeof buf);
    if (got < 0) {
      platform::Close(h);
      Fail("cannot read", path);
    }
    if (got == 0)
      break;
    s.append(buf, static_cast<size_t>(got));
  }
  platform::Close(h);
  return s;
}

void WriteFileBytes(const std::string &path, std::string_view bytes) {
  const platform::Handle h = platform::Open(path, platform::OpenMode::Create);
  if (h == platform::InvalidHandle)
    Fail("cannot create", path);
  const bool ok = platform::Write(h, bytes.data(), static_cast<int64_t>(bytes.size()));
  platform::Close(h);
  if (!ok)
    Fail("cannot write", path);
}

void SetByte(const std::string &path, uint64_t offset, uint8_t value) {
  std::string s = ReadFileBytes(path);
  if (offset >= s.size())
    throw std::out_of_range("SetByte beyond the end of " + path);
  s[offset] = static_cast<char>(value);
  WriteFileBytes(path, s);
}

void SetU32(const std::string &path, uint64_t offset, uint32_t value) {
  std::string s = ReadFileBytes(path);
  if (offset + 4 > s.size())
    throw std::out_of_range("SetU32 beyond the end of " + path);
  PutU32(s, offset, value);
  WriteFileBytes(path, s);
}

void Truncate(const std::string &path, uint64_t size) {
  std::string s = ReadFileBytes(path);
  if (size < s.size())
    s.resize(size);
  WriteFileBytes(path, s);
}

} // namespace samples
