#include "SampleTree.h"

#include "ModelBuilder.h"
#include "Platform.h"

#include <stdexcept>

namespace samples {

namespace {

struct KindExt {
  uint8_t code;
  const char *ext;
};
constexpr KindExt kKinds[] = {{1, "IMS"},  {2, "IMD"},  {3, "IMP"}, {5, "BNP"},  {6, "BNPP"},
                              {7, "BNPR"}, {8, "BNPM"}, {9, "RGF"}, {10, "NSF"}, {11, "IMK"}};

std::string Join(const std::string &dir, const std::string &rel) {
  std::string d = dir;
  if (d.empty() || !platform::IsSeparator(d.back()))
    d += platform::Separator;
  return d + rel;
}

void EnsureParent(const std::string &path) {
  const auto slash = path.find_last_of(platform::Separators);
  if (slash != std::string::npos && !platform::MakeDirs(path.substr(0, slash)))
    throw std::runtime_error("cannot create the folder of " + path);
}

// A small model of the given kind; composites get `models` models.
void WriteKind(const std::string &path, uint8_t kind, uint64_t seed, int models, bool small,
               const char *edition = kSourceEdition) {
  EnsureParent(path);
  auto modelSpec = [&](uint8_t k, uint64_t s) {
    ModelSpec m;
    m.kind = k;
    m.seed = s;
    m.edition = edition;
    m.count = static_cast<uint32_t>(3 + s % 4);
    if (small) {
      m.innerRecords = 8;
      m.innerMaxRecord = 300;
      m.lf1Records = 1;
      m.otherRecords = 1;
      m.otherMaxRecord = 300;
      m.boib.maxText = 12;
    }
    // Every other file has its records scattered, with dead and replaced records.
    if (s % 2 == 0) {
      m.layout.scatter = true;
      m.layout.deletedPlain = 0.1;
      m.layout.deletedLinked = 0.1;
      m.layout.replaced = 0.1;
      m.layout.deadMax = 64;
      m.innerLayout = m.layout;
    }
    m.layout.trailer = s % 3 == 0 ? Layout::Trailer::None : Layout::Trailer::Valid;
    return m;
  };
  if (kind == 3) {
    CompositeSpec c;
    c.seed = seed;
    c.edition = edition;
    c.count = static_cast<uint32_t>(4 + seed % 3);
    for (int i = 0; i < models; ++i)
      c.models.push_back(modelSpec(1, seed * 10 + static_cast<uint64_t>(i)));
    c.layout.scatter = seed % 2 == 1;
    c.layout.deadMax = c.layout.scatter ? 32 : 0;
    WriteComposite(path, c);
  } else {
    WriteModel(path, modelSpec(kind, seed));
  }
}

// Gives the first part of `rel` whose name starts with "." the system's hidden
// mark, so that the entry is hidden on every system.
void MarkHiddenPart(const std::string &dir, const std::string &rel) {
  size_t start = 0;
  while (start < rel.size() && rel[start] != '.') {
    const size_t sep = rel.find(platform::Separator, start);
    if (sep == std::string::npos)
      throw std::logic_error("no part of " + rel + " starts with \".\"");
    start = sep + 1;
  }
  const size_t end = rel.find(platform::Separator, start);
  const std::string part = Join(dir, rel.substr(0, end));
  if (!platform::MarkHidden(part))
    throw std::runtime_error("cannot hide " + part);
}

} // namespace

std::vector<SampleEntry> WriteSampleTree(const std::string &dir, const SampleTreeOptions &o) {
  if (!platform::MakeDirs(dir))
    throw std::runtime_error("cannot create " + dir);
  std::vector<SampleEntry> out;
  uint64_t seed = o.seed * 1000;
  auto add = [&](const std::string &relPath, uint8_t kind, SampleRole role,
                 const char *edition = kSourceEdition) {
    const std::string rel = platform::NativePath(relPath);
    WriteKind(Join(dir, rel), kind, ++seed, o.compositeModels, false, edition);
    if (role == SampleRole::Hidden)
      MarkHiddenPart(dir, rel);
    out.push_back({rel, kind, role});
  };
  const auto C = SampleRole::Convertible;
  add("zero.IMS", 1, C);
  add("Сметы/объект 1/смета.IMS", 1, C);
  add("Сметы/объект 1/этап/смета2.ims", 1, C);
  add("Data.2010/obj.IMS", 1, C);
  add("Договоры/цена.IMD", 2, C);
  add("Подряд/подряд.IMP", 3, C);
  add("Подряд/глубже/ещё глубже/подряд2.imp", 3, C);
  add("Настройки/bnp.BNP", 5, C);
  add("Настройки/bnpp.BNPP", 6, C);
  add("Настройки/bnpr.Bnpr", 7, C);
  add("Настройки/bnpm.BNPM", 8, C);
  add("Цены/region.RGF", 9, C);
  add("Цены/НСИ/user.NSF", 10, C);
  add("КП/file.IMK", 11, C);

  add("old/старый.IMS", 1, SampleRole::OtherEdition, kOtherEdition);
  add("old/старый.IMP", 3, SampleRole::OtherEdition, kOtherEdition);
  add(".hidden/скрытый.IMS", 1, SampleRole::Hidden);
  add("Сметы/.скрытый.IMS", 1, SampleRole::Hidden);
  add("Сметы/заметки.IMSX", 1, SampleRole::WrongExtension);
  add("Сметы/копия.IMS.bak", 1, SampleRole::WrongExtension);
  add("Сметы/IMS", 1, SampleRole::WrongExtension);
  add("Настройки/bnp.BNPPP", 5, SampleRole::WrongExtension);

  if (o.damaged) {
    // Logical file 0 is sound, so the file is listed; a link in logical
    // file 2 points beyond the end of the data, so its conversion fails.
    const std::string rel = platform::NativePath("Сметы/повреждённый.IMS");
    ModelSpec m;
    m.seed = ++seed;
    const std::string path = Join(dir, rel);
    EnsureParent(path);
    ModelSample s = BuildModel(m);
    PutU32(s.image.bytes, s.image.recordAdr[2][0] + 1, s.image.endAdr + 1000);
    WriteFileBytes(path, s.image.bytes);
    out.push_back({rel, 1, SampleRole::Damaged});
  }
  return out;
}

std::vector<std::string> WriteManySmallFiles(const std::string &dir, int files, uint64_t seed) {
  std::vector<std::string> out;
  for (int i = 0; i < files; ++i) {
    const KindExt &k = kKinds[static_cast<size_t>(i) % std::size(kKinds)];
    const std::string rel =
        "d" + std::to_string(i / 50) + platform::Separator + "f" + std::to_string(i) + "." + k.ext;
    WriteKind(Join(dir, rel), k.code, seed * 100000 + static_cast<uint64_t>(i), 2, true);
    out.push_back(rel);
  }
  return out;
}

} // namespace samples
