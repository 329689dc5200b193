// Folder trees of edition-2.10.5 files for the window's tests: small model
// files of any kind and edition, a damaged one, and what a tree holds
// afterwards.
#pragma once

#include <QTemporaryDir>

#include <algorithm>
#include <string>
#include <vector>

#include "BlockBuilder.h"
#include "FileKinds.h"
#include "ModelBuilder.h"
#include "Platform.h"

namespace guitest {

// A scratch folder with a source tree `src` and a target tree `dst`.
struct Tree {
  QTemporaryDir tmp;
  std::string root = tmp.path().toStdString() + "/";
  std::string src = root + "src/";
  std::string dst = root + "dst/";

  // A model file of `kind` at src + rel.
  std::string Model(const std::string &rel, uint8_t kind, uint64_t seed,
                    const char *edition = samples::kSourceEdition) const {
    const std::string p = src + rel;
    platform::MakeDirs(p.substr(0, p.rfind('/')));
    if (kind == KindComposite) {
      samples::CompositeSpec c;
      c.seed = seed;
      c.edition = edition;
      c.models = {samples::SmallModelSpec(1, seed * 3), samples::SmallModelSpec(1, seed * 3 + 1)};
      samples::WriteComposite(p, c);
    } else {
      samples::WriteModel(p, samples::SmallModelSpec(kind, seed, edition));
    }
    return p;
  }

  // An IMS file of edition 2.10.5 whose logical file 2 links beyond the
  // data: listed, and its conversion fails.
  std::string Damaged(const std::string &rel) const {
    samples::ModelSample s = samples::BuildModel(samples::SmallModelSpec(1, 99));
    samples::PutU32(s.image.bytes, s.image.recordAdr[2][0] + 1, s.image.endAdr + 100);
    const std::string p = src + rel;
    platform::MakeDirs(p.substr(0, p.rfind('/')));
    samples::WriteFileBytes(p, s.image.bytes);
    return p;
  }

  // Paths of the plain files below `folder`, relative to it, sorted.
  static std::vector<std::string> Files(const std::string &folder) {
    std::vector<std::string> out;
    std::vector<platform::DirEntry> entries;
    if (!platform::ListDir(folder, entries))
      return out;
    for (const auto &e : entries) {
      if (e.isDir) {
        for (const auto &f : Files(folder + e.name + "/"))
          out.push_back(e.name + "/" + f);
      } else {
        out.push_back(e.name);
      }
    }
    std::sort(out.begin(), out.end());
    return out;
  }
};

// The edition string of a block file (the first record of logical file 0).
inline std::string EditionOf(const std::string &path) {
  const std::string b = samples::ReadFileBytes(path);
  if (b.size() < 12)
    return {};
  const uint32_t adr = samples::GetU32(b, 8);
  if (adr + samples::kPrefixSize > b.size())
    return {};
  return b.substr(adr + samples::kPrefixSize, samples::GetU16(b, adr + 5));
}

} // namespace guitest
