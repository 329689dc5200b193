#include "Expected.h"
#include <algorithm>

#include <cstring>
#include <stdexcept>

namespace expect {

namespace {

constexpr size_t EmbedChunk = 10000;
constexpr size_t BoibCopy = 19500;
const double NewCol1[20] = {167, 167, 167, 167, 167, 167, 167, 167, 167, 167,
                            167, 167, 167, 167, 167, 167, 167, 167, 167, 167};
const double NewCol2[20] = {2300.0,   2260.151, 2531.205, 2843.13, 2260.151, 3500.32, 3500.32,
                            10379.05, 11310.91, 12242.77, 3749.15, 2354.5,   2004.0,  1697.054,
                            1900.46,  2300.0,   1860.38,  1690.04, 2341.34,  2300.0};
const double NewCol3[20] = {3.8, 3.8,  3.8,   3.8, 3.8, 3.8, 3.8, 3.8, 3.8,   3.8,
                            3.0, 18.0, 106.0, 3.8, 3.8, 3.8, 3.8, 3.8, 205.0, 3.8};

int Width(uint8_t kind) {
  switch (kind) {
  case 4:
  case 5:
    return 1;
  case 6:
  case 10:
    return 2;
  case 7:
  case 8:
  case 11:
    return 4;
  case 9:
    return 8;
  default:
    return 0;
  }
}

// The Ukrainian part of a text that starts with the Russian marker.
std::string Ukrainian(const std::string &t) {
  const size_t uk = t.find('\x05');
  if (uk == std::string::npos)
    throw std::logic_error("fixture text starts with 0x04 but has no 0x05");
  const size_t end = t.find('\x04', uk + 1);
  return t.substr(uk + 1, end == std::string::npos ? std::string::npos : end - uk - 1);
}

void PutDouble(std::string &out, double v) {
  char b[8];
  std::memcpy(b, &v, 8);
  out.append(b, 8);
}

} // namespace

std::string Compacted(const std::vector<samples::Records> &files) {
  std::string data;
  std::string head;
  const uint32_t count = static_cast<uint32_t>(files.size());
  uint32_t at = samples::kHeaderSize + samples::kDirEntrySize * count;
  std::vector<uint32_t> adr, len;
  for (const auto &f : files) {
    const size_t start = data.size();
    // A reader ends a chain at the first record of the single byte "@", and
    // compaction writes that record, with its flag, as the end record.
    bool ended = false;
    for (const auto &r : f) {
      data += samples::EncodeRecord(r.flag, samples::kEmptyAdr, r.body);
      if (r.body == "@") {
        ended = true;
        break;
      }
    }
    if (!ended)
      data += samples::EndRecord();
    adr.push_back(at);
    len.push_back(static_cast<uint32_t>(data.size() - start));
    at += len.back();
  }
  samples::AppendU32(head, at);
  samples::AppendU32(head, count);
  for (uint32_t i = 0; i < count; ++i) {
    samples::AppendU32(head, adr[i]);
    samples::AppendU32(head, len[i]);
  }
  return head + data;
}

std::string WithTrailer(const std::string &bytes) {
  return bytes + samples::ChecksumTrailer(bytes);
}

samples::Records Embedded(std::string_view bytes) {
  samples::Records rs;
  for (size_t at = 0; at < bytes.size();) {
    size_t len = std::min(EmbedChunk, bytes.size() - at);
    // Never a last record of the single byte "@": it would read as an end record.
    if (bytes.size() - at == EmbedChunk + 1)
      len = EmbedChunk - 1;
    rs.push_back({static_cast<uint8_t>(at == 0 ? 1 : 0), std::string(bytes.substr(at, len))});
    at += len;
  }
  return rs;
}

std::string ConvertedBoib(const samples::BoibSample &b) {
  const auto &kinds = samples::BoibKinds();
  std::array<double, samples::kBoibFields> real = b.real;
  for (int r = 0; r < samples::kBoibRows; ++r) {
    if (b.rows[r] == samples::RowRelation::Equal) {
      real[samples::BoibRowPos(1, 1, r)] = NewCol1[r];
      real[samples::BoibRowPos(1, 2, r)] = NewCol2[r];
      real[samples::BoibRowPos(1, 3, r)] = NewCol3[r];
    }
    for (int set = 2; set <= 3; ++set) {
      real[samples::BoibRowPos(set, 1, r)] = NewCol1[r];
      real[samples::BoibRowPos(set, 2, r)] = NewCol2[r];
      real[samples::BoibRowPos(set, 3, r)] = NewCol3[r];
    }
  }
  if (b.real[samples::kBoibFixTestA] > 1e-10 || b.real[samples::kBoibFixTestB] > 1e-10) {
    real[samples::kBoibFixTotal] = b.real[samples::kBoibFixTotal] + b.real[samples::kBoibFixAddend];
    real[samples::kBoibFixAddend] = 1.332;
  }

  // Walk the stored record: numbers other than reals are carried as stored.
  std::string out;
  size_t at = 0;
  const std::string &in = b.packed;
  for (int p = 0; p < samples::kBoibFields; ++p) {
    const uint8_t kind = kinds[p];
    if (kind >= 1 && kind <= 3) {
      size_t len;
      if (static_cast<uint8_t>(in[at + 1]) == 0x81 || static_cast<uint8_t>(in[at + 1]) == 0x82)
        len = static_cast<uint8_t>(in[at]);
      else
        len = samples::GetU16(in, at);
      std::string text = in.substr(at + 2, len);
      at += 2 + len;
      if (!text.empty() && text[0] == '\x04')
        text = Ukrainian(text);
      samples::AppendU16(out, static_cast<uint16_t>(text.size()));
      out += text;
    } else if (kind == 9) {
      PutDouble(out, real[p]);
      at += 8;
    } else {
      const int w = Width(kind);
      out += in.substr(at, static_cast<size_t>(w));
      at += static_cast<size_t>(w);
    }
  }
  return out;
}

std::string Model(const samples::ModelSample &m, uint8_t kind) {
  const bool boib = kind == 1 || kind == 2 || kind == 11;
  std::vector<samples::Records> inner = m.innerFiles;
  inner[0] = {{0, Converted}};
  std::vector<samples::Records> files = m.files;
  files[0] = {{0, Converted}};
  if (boib) {
    const std::string conv = ConvertedBoib(*m.boib);
    std::string copy = conv.substr(0, BoibCopy);
    copy.resize(BoibCopy, '\0');
    inner.at(149) = {{0, copy}};
    files[1] = {{0, conv}};
  }
  files[2] = Embedded(Compacted(inner));
  return WithTrailer(Compacted(files));
}

std::string Composite(const samples::CompositeSample &c) {
  const size_t count = c.files.size();
  std::vector<samples::Records> files(count);
  files[0] = {{0, Converted}};
  files[1] = samples::DelimitedStream(c.names);
  for (size_t i = 0; i < c.samples.size(); ++i) {
    const uint8_t kind = i + 1 < c.samples.size() ? 1 : 4;
    for (auto &r : Embedded(Model(c.samples[i], kind)))
      files[2].push_back(std::move(r));
  }
  if (count - 1 > 2)
    files[count - 1] = c.files[count - 1];
  return WithTrailer(Compacted(files));
}

} // namespace expect
