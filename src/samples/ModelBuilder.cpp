#include "ModelBuilder.h"

#include "Platform.h"

#include <cassert>
#include <cmath>
#include <cstring>
#include <stdexcept>

namespace samples {

namespace {

constexpr uint32_t kStreamMax = kMaxBody - 1; // a stream record leaves room for a zero byte

// A random record body of 1..maxLen bytes that is never the one-byte "@",
// which a reader takes for the end of the chain.
std::string RandomBody(Rng &rng, uint32_t maxLen) {
  const auto n = static_cast<size_t>(rng.Between(1, std::max<uint32_t>(1, maxLen)));
  std::string b = rng.Bytes(n);
  if (n == 1 && b[0] == '@')
    b[0] = 'A';
  return b;
}

Records RandomRecords(Rng &rng, int count, uint32_t maxLen) {
  Records rs;
  for (int i = 0; i < count; ++i)
    rs.push_back({static_cast<uint8_t>(rng.Between(0, 0x7F)), RandomBody(rng, maxLen)});
  return rs;
}

Layout Seeded(Layout l, uint64_t seed) {
  l.seed ^= seed * 0x9E3779B97F4A7C15ull;
  return l;
}

void AppendDouble(std::string &s, double v) {
  char b[8];
  std::memcpy(b, &v, 8); // IEEE 754, little-endian on every supported platform
  s.append(b, 8);
}

// A text of the Boib record, as stored, and its packed form.
void PackText(std::string &out, const std::string &text, bool isShort, Rng &rng) {
  if (isShort) {
    assert(text.size() <= 255); // a short text's length must fit in one byte
    out.push_back(static_cast<char>(text.size()));
    out.push_back(rng.Chance(0.5) ? '\x81' : '\x82');
  } else {
    AppendU16(out, static_cast<uint16_t>(text.size()));
  }
  out += text;
}

std::string RandomText(Rng &rng, const BoibSpec &shape) {
  if (rng.Chance(shape.empty))
    return {};
  const auto part = [&] { return rng.Letters(static_cast<size_t>(rng.Between(1, shape.maxText))); };
  if (rng.Chance(shape.bilingual)) {
    std::string ru = part(), uk = part();
    // The usual order is Russian then Ukrainian; the other order occurs too.
    return rng.Chance(0.8) ? Bilingual(ru, uk) : "\x05" + uk + "\x04" + ru;
  }
  return part();
}

double RandomFixTest(Rng &rng) {
  static const double choices[] = {0.0, -1.0, 1e-10, 2e-10, 0.5, 1234.5};
  return choices[rng.Between(0, 5)];
}

} // namespace

const std::array<uint8_t, kBoibFields> &BoibKinds() {
  static const std::array<uint8_t, kBoibFields> table = [] {
    std::array<uint8_t, kBoibFields> k{};
    int p = 0;
    auto run = [&](int n, uint8_t kind) {
      for (int i = 0; i < n; ++i)
        k[p++] = kind;
    };
    run(1, 7), run(1, 5), run(7, 7), run(12, 1), run(1, 8), run(2, 5), run(3, 1), run(1, 8);
    run(2, 1), run(1, 9), run(1, 1), run(1, 9);
    for (int g = 0; g < 5; ++g)
      run(1, 1), run(1, 6), run(1, 1), run(1, 6), run(1, 9);
    run(1, 1), run(1, 6), run(1, 8), run(1, 9), run(3, 1), run(20, 1), run(1, 1), run(2, 10);
    run(1, 6), run(1, 10), run(2, 7), run(1, 8), run(1, 1), run(2, 10);
    run(180, 9), run(76, 9), run(1, 10), run(3, 8), run(1, 7), run(22, 1), run(1, 8);
    run(4, 9), run(10, 9), run(1, 5), run(1, 1), run(3, 9), run(1, 5), run(1, 1), run(2, 9);
    run(1, 5), run(3, 9), run(2, 1), run(1, 8), run(1, 1), run(1, 9), run(1, 1), run(1, 9);
    run(1, 1), run(2, 9), run(1, 1), run(1, 7), run(2, 8), run(2, 5), run(9, 9), run(180, 5);
    assert(p == kBoibFields);
    return k;
  }();
  return table;
}

std::string Bilingual(std::string_view ru, std::string_view uk) {
  std::string s = "\x04";
  s += ru;
  s += '\x05';
  s += uk;
  return s;
}

BoibSample BuildBoibRecord(const BoibSpec &shape) {
  Rng rng(shape.seed);
  BoibSample b;
  const auto &kinds = BoibKinds();
  // Values first, so that the row table and the fix-up fields can be set
  // as a whole; then one packing walk.
  for (int p = 0; p < kBoibFields; ++p) {
    switch (kinds[p]) {
    case 1:
      b.text[p] = RandomText(rng, shape);
      b.isShort[p] = b.text[p].size() <= 255 && rng.Chance(shape.shortForm);
      break;
    case 5:
      b.integer[p] = static_cast<int8_t>(rng.Between(-128, 127));
      break;
    case 6:
      b.integer[p] = rng.Between(0, 0xFFFF);
      break;
    case 7:
      b.integer[p] = rng.Between(0, 0xFFFFFFFFll);
      break;
    case 8:
      b.integer[p] = rng.Between(INT32_MIN, INT32_MAX);
      break;
    case 9:
      b.real[p] =
          rng.Chance(0.3) ? static_cast<double>(rng.Between(-1000, 100000)) : rng.Real(-1e6, 1e6);
      break;
    case 10: {
      const int64_t year = rng.Between(1990, 2089);
      const int64_t offset = year >= 2000 ? year - 2000 : year - 1900;
      b.integer[p] = rng.Between(1, 28) | (rng.Between(1, 12) << 5) | (offset << 9);
      break;
    }
    default:
      break;
    }
  }
  for (int r = 0; r < kBoibRows; ++r) {
    const bool equal = rng.Chance(shape.equalRow);
    b.rows[r] = equal ? RowRelation::Equal : RowRelation::Differs;
    for (int col = 1; col <= 3; ++col) {
      double v = b.real[BoibRowPos(1, col, r)];
      // Differences below the tolerance still count as equal.
      if (equal && rng.Chance(0.3))
        v += 1e-12;
      b.real[BoibRowPos(3, col, r)] = v;
    }
    if (!equal) {
      // Usually one column alone differs, by as little as 1e-9.
      const int col = static_cast<int>(rng.Between(1, 3));
      static const double deltas[] = {1e-9, 0.5, -250.0};
      b.real[BoibRowPos(3, col, r)] += deltas[rng.Between(0, 2)];
    }
  }
  b.real[kBoibFixTestA] = shape.fixTestA ? *shape.fixTestA : RandomFixTest(rng);
  b.real[kBoibFixTestB] = shape.fixTestB ? *shape.fixTestB : RandomFixTest(rng);

  std::string &out = b.packed;
  for (int p = 0; p < kBoibFields; ++p) {
    const uint64_t v = static_cast<uint64_t>(b.integer[p]);
    switch (kinds[p]) {
    case 1:
      PackText(out, b.text[p], b.isShort[p], rng);
      break;
    case 5:
      out.push_back(static_cast<char>(v & 0xFF));
      break;
    case 6:
    case 10:
      AppendU16(out, static_cast<uint16_t>(v));
      break;
    case 7:
    case 8:
      AppendU32(out, static_cast<uint32_t>(v));
      break;
    case 9:
      AppendDouble(out, b.real[p]);
      break;
    default:
      break;
    }
  }
  if (out.size() > kMaxBody)
    throw std::logic_error("Boib record longer than a record can be; lower maxText");
  return b;
}

ModelSpec SmallModelSpec(uint8_t kind, uint64_t seed, const std::string &edition) {
  ModelSpec m;
  m.kind = kind;
  m.seed = seed;
  m.edition = edition;
  m.innerRecords = 6;
  m.innerMaxRecord = 200;
  m.lf1Records = 1;
  m.otherRecords = 1;
  m.otherMaxRecord = 200;
  m.boib.maxText = 10;
  return m;
}

bool KindHasBoib(uint8_t kind) {
  return kind == 1 || kind == 2 || kind == 11 || kind == 4;
}

Records ChunkRecords(std::string_view bytes, Rng &rng, uint32_t maxChunk, uint8_t firstFlag) {
  Records rs;
  size_t pos = 0;
  while (pos < bytes.size()) {
    size_t n = static_cast<size_t>(rng.Between(1, std::max<uint32_t>(1, maxChunk)));
    n = std::min(n, bytes.size() - pos);
    // A lone "@" would end the chain: take one byte more (or less) there.
    if (n == 1 && bytes[pos] == '@')
      n = pos + 2 <= bytes.size() ? 2 : 1;
    rs.push_back({rs.empty() ? firstFlag : uint8_t{0}, std::string(bytes.substr(pos, n))});
    pos += n;
  }
  if (!rs.empty() && rs.back().body == "@") {
    // The inner file ends with "@" alone: join it to the record before.
    if (rs.size() > 1 && rs[rs.size() - 2].body.size() < maxChunk) {
      rs[rs.size() - 2].body += "@";
      rs.pop_back();
    } else {
      throw std::logic_error("cannot cut the bytes without a lone \"@\" record");
    }
  }
  return rs;
}

ModelSample BuildModel(const ModelSpec &shape) {
  if (shape.count < 3 || shape.innerCount < 1)
    throw std::invalid_argument("a model file needs at least 3 logical files");
  Rng rng(shape.seed);
  ModelSample m;

  m.innerFiles.resize(shape.innerCount);
  m.innerFiles[0].push_back({0, shape.edition});
  for (int i = 0; i < shape.innerRecords && shape.innerCount > 1; ++i) {
    const auto n = static_cast<size_t>(rng.Between(1, shape.innerCount - 1));
    m.innerFiles[n].push_back({0, RandomBody(rng, shape.innerMaxRecord)});
  }
  m.inner = BuildBlockFile(m.innerFiles, Seeded(shape.innerLayout, shape.seed + 1)).bytes;

  m.files.resize(shape.count);
  m.files[0].push_back({0, shape.edition});
  if (KindHasBoib(shape.kind)) {
    BoibSpec bs = shape.boib;
    bs.seed ^= shape.seed * 0x2545F4914F6CDD1Dull;
    m.boib = BuildBoibRecord(bs);
    m.files[1].push_back({0, m.boib->packed});
  }
  for (auto &r : RandomRecords(rng, shape.lf1Records, 2000))
    m.files[1].push_back(std::move(r));
  m.files[2] = ChunkRecords(m.inner, rng, shape.maxChunk, 1);
  for (uint32_t n = 3; n < shape.count; ++n)
    m.files[n] = RandomRecords(rng, shape.otherRecords, shape.otherMaxRecord);

  m.image = BuildBlockFile(m.files, Seeded(shape.layout, shape.seed));
  return m;
}

ModelSample WriteModel(const std::string &path, const ModelSpec &shape) {
  ModelSample m = BuildModel(shape);
  WriteFileBytes(path, m.image.bytes);
  return m;
}

Records DelimitedStream(const std::vector<std::string> &items, char delimiter) {
  Records rs;
  std::string cur;
  for (const auto &it : items) {
    if (it.size() + 1 > kStreamMax)
      throw std::invalid_argument("stream item too long");
    if (cur.size() + it.size() + 1 > kStreamMax) {
      rs.push_back({0, cur});
      cur.clear();
    }
    cur += it;
    cur += delimiter;
  }
  if (!cur.empty())
    rs.push_back({0, cur});
  return rs;
}

CompositeSample BuildComposite(const CompositeSpec &shape) {
  if (shape.count < 3)
    throw std::invalid_argument("a composite needs at least 3 logical files");
  Rng rng(shape.seed);
  CompositeSample c;
  std::vector<ModelSpec> models = shape.models;
  if (models.empty()) {
    for (int i = 0; i < 3; ++i) {
      ModelSpec ms;
      ms.seed = shape.seed * 100 + static_cast<uint64_t>(i) + 1;
      ms.count = static_cast<uint32_t>(3 + i);
      models.push_back(ms);
    }
  }
  c.names = shape.names;
  for (size_t i = c.names.size(); i < models.size() && shape.names.empty(); ++i)
    c.names.push_back("MODEL" + std::to_string(i + 1) + ".IMS");

  c.files.resize(shape.count);
  c.files[0].push_back({0, shape.edition});
  c.files[1] = DelimitedStream(c.names);
  for (auto &ms : models) {
    ModelSpec m = ms;
    m.layout.trailer = shape.modelTrailer;
    c.samples.push_back(BuildModel(m));
    c.models.push_back(c.samples.back().image.bytes);
    // Any non-zero flag starts a model; mostly 1, as the suite writes it.
    const auto flag = static_cast<uint8_t>(rng.Chance(0.7) ? 1 : rng.Between(2, 0x7F));
    for (auto &r : ChunkRecords(c.models.back(), rng, kMaxBody, flag))
      c.files[2].push_back(std::move(r));
  }
  for (uint32_t n = 3; n < shape.count; ++n)
    c.files[n] = RandomRecords(rng, shape.otherRecords, 3000);
  c.image = BuildBlockFile(c.files, Seeded(shape.layout, shape.seed));
  return c;
}

CompositeSample WriteComposite(const std::string &path, const CompositeSpec &shape) {
  CompositeSample c = BuildComposite(shape);
  WriteFileBytes(path, c.image.bytes);
  return c;
}

// ---- streaming ----

namespace {

void WriteRandomRecords(BlockWriter &w, Rng &rng, uint64_t budget) {
  uint64_t written = 0;
  while (written < budget) {
    const std::string body = RandomBody(rng, kMaxBody);
    w.Add(0, body);
    written += kPrefixSize + body.size();
  }
}

// Reads exactly n bytes unless the file ends first; returns the count read.
size_t ReadFull(platform::Handle h, char *buf, size_t n, const std::string &path) {
  size_t got = 0;
  while (got < n) {
    const int64_t r = platform::Read(h, buf + got, static_cast<int64_t>(n - got));
    if (r < 0)
      throw std::runtime_error("cannot read " + path);
    if (r == 0)
      break;
    got += static_cast<size_t>(r);
  }
  return got;
}

} // namespace

uint64_t WriteLargeModel(const std::string &path, const LargeModelSpec &shape) {
  if (shape.innerCount < 150)
    throw std::invalid_argument("the inner file needs at least 150 logical files");
  Rng rng(shape.seed);
  const std::string dir =
      shape.tempDir.empty() ? platform::MakeTempDir("zep-large") : shape.tempDir;
  if (dir.empty())
    throw std::runtime_error("cannot make a temporary folder");
  const std::string innerPath =
      dir + (platform::IsSeparator(dir.back()) ? "" : std::string(1, platform::Separator)) +
      "inner-" + std::to_string(shape.seed) + ".tmp";
  const auto innerBudget =
      static_cast<uint64_t>(static_cast<double>(shape.targetBytes) * shape.innerShare);
  {
    BlockWriter inner(innerPath, shape.innerCount);
    inner.Begin(0);
    inner.Add(0, kSourceEdition);
    inner.End();
    const uint64_t perFile = innerBudget / (shape.innerCount - 1);
    for (uint32_t n = 1; n < shape.innerCount; ++n) {
      inner.Begin(n);
      WriteRandomRecords(inner, rng, perFile);
      inner.End();
      if (n % 16 == 0)
        inner.Dead(rng.Bytes(static_cast<size_t>(rng.Between(1, 4000))));
    }
    inner.Finish(false);
  }

  BlockWriter outer(path, 5);
  outer.Begin(0);
  outer.Add(0, kSourceEdition);
  outer.End();
  outer.Begin(1);
  if (KindHasBoib(shape.kind)) {
    BoibSpec bs;
    bs.seed = shape.seed;
    outer.Add(0, BuildBoibRecord(bs).packed);
  }
  WriteRandomRecords(outer, rng, 64 * 1024);
  outer.End();

  outer.Begin(2);
  {
    const platform::Handle h = platform::Open(innerPath, platform::OpenMode::Read);
    if (h == platform::InvalidHandle)
      throw std::runtime_error("cannot open " + innerPath);
    std::string chunk(kMaxBody, '\0');
    const auto total = static_cast<uint64_t>(platform::FileSize(innerPath));
    uint64_t pos = 0;
    while (pos < total) {
      uint64_t want =
          std::min<uint64_t>(static_cast<uint64_t>(rng.Between(2, kMaxBody)), total - pos);
      // Never leave a last chunk of one byte: that byte is the "@" of the
      // inner end record, and a record holding "@" alone ends a chain.
      if (total - pos - want == 1)
        want += want < kMaxBody ? 1 : -1;
      if (ReadFull(h, chunk.data(), want, innerPath) != want)
        throw std::runtime_error("short read of " + innerPath);
      outer.Add(pos == 0 ? 1 : 0, std::string_view(chunk.data(), want));
      pos += want;
    }
    platform::Close(h);
  }
  outer.End();
  platform::RemoveFile(innerPath);
  if (shape.tempDir.empty())
    platform::RemoveTree(dir);

  const uint64_t rest = shape.targetBytes > outer.Size() ? shape.targetBytes - outer.Size() : 0;
  outer.Begin(3);
  WriteRandomRecords(outer, rng, rest);
  outer.End();
  outer.Begin(4);
  WriteRandomRecords(outer, rng, 30000);
  outer.End();
  outer.Finish(shape.trailer);
  return static_cast<uint64_t>(platform::FileSize(path));
}

} // namespace samples
