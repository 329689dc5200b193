#include "PathAliases.h"

#include "BilingualText.h"
#include "Messages.h"
#include "Platform.h"

#include <algorithm>

std::unique_ptr<std::vector<TAliasItem>> tAlias;
std::unique_ptr<std::vector<std::string>> tPath;

namespace {

constexpr int32_t kMsgNoFileName = 6;
constexpr int32_t kMsgNoAlias = 7;

// Upper case of UTF-8 text: ASCII letters and the Cyrillic letters
// (U+0430..U+045F, U+0491); every other byte is kept.
std::string Upper(const std::string &s) {
  std::string out = s;
  for (size_t i = 0; i < out.size(); ++i) {
    auto b = static_cast<unsigned char>(out[i]);
    if (b >= 'a' && b <= 'z') {
      out[i] = static_cast<char>(b - 'a' + 'A');
      continue;
    }
    if ((b != 0xD0 && b != 0xD1 && b != 0xD2) || i + 1 >= out.size())
      continue;
    const auto b2 = static_cast<unsigned char>(out[i + 1]);
    const unsigned cp = ((b & 0x1Fu) << 6) | (b2 & 0x3Fu);
    unsigned up = cp;
    if (cp >= 0x430 && cp <= 0x44F)
      up = cp - 0x20;
    else if (cp >= 0x450 && cp <= 0x45F)
      up = cp - 0x50;
    else if (cp == 0x491)
      up = 0x490;
    if (up != cp) {
      out[i] = static_cast<char>(0xC0 | (up >> 6));
      out[i + 1] = static_cast<char>(0x80 | (up & 0x3F));
    }
    ++i;
  }
  return out;
}

// Drops control characters and blanks at both ends.
std::string Trim(const std::string &s) {
  size_t b = 0;
  size_t e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ')
    ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ')
    --e;
  return s.substr(b, e - b);
}

bool NameLess(const TAliasItem &a, const std::string &b) {
  return Upper(a.Name) < Upper(b);
}

// Stored paths are upper-cased. When such a path does not name an existing
// folder, each of its parts is matched, ignoring case, against the entries of
// the folder above; the real spelling is used when every part is found, the
// stored path otherwise.
std::string MatchCase(const std::string &path) {
  if (path.empty() || platform::DirExists(path) || platform::FileExists(path))
    return path;
  std::string result;
  size_t pos = 0;
  if (platform::IsSeparator(path[0])) {
    result += path[0];
    pos = 1;
  }
  while (pos < path.size()) {
    size_t next = path.find_first_of(platform::Separators, pos);
    if (next == std::string::npos)
      next = path.size();
    const std::string part = path.substr(pos, next - pos);
    if (!part.empty()) {
      if (platform::DirExists(result + part) || platform::FileExists(result + part)) {
        result += part;
      } else {
        std::vector<platform::DirEntry> entries;
        if (!platform::ListDir(result.empty() ? std::string(".") : result, entries))
          return path;
        const std::string want = Upper(part);
        const auto it =
            std::find_if(entries.begin(), entries.end(),
                         [&](const platform::DirEntry &d) { return Upper(d.name) == want; });
        if (it == entries.end())
          return path;
        result += it->name;
      }
    }
    if (next < path.size())
      result += path[next];
    pos = next + 1;
  }
  return result;
}

} // namespace

std::string GetAliasPath(const std::string &alias) {
  const std::string name = Upper(alias);
  if (!tAlias || !tPath)
    throw ZError(name, kMsgNoAlias);
  const auto it = std::lower_bound(tAlias->begin(), tAlias->end(), name, NameLess);
  if (it == tAlias->end() || Upper(it->Name) != name)
    throw ZError(name, kMsgNoAlias);
  // An index without a path is a damaged list: the alias counts as unknown.
  if (it->Index < 0 || static_cast<size_t>(it->Index) >= tPath->size())
    throw ZError(name, kMsgNoAlias);
  const std::string &path = (*tPath)[static_cast<size_t>(it->Index)];
  if (!path.empty() && path[0] == WDelim4)
    return MatchCase(GetTextLang(DataLang(), path));
  return MatchCase(path);
}

bool gPlainNames = false;
std::atomic<int> gPlainNamesHolders{0};

std::string GetRealName(const std::string &name) {
  const size_t hash = name.find('#');
  if (hash == std::string::npos || gPlainNames || gPlainNamesHolders > 0)
    return name;
  const std::string alias = Trim(Upper(name.substr(0, hash)));
  const std::string rest = Trim(name.substr(hash + 1));
  if (alias.empty() && rest.empty())
    throw ZError(name, kMsgNoFileName);
  if (rest.empty())
    return alias;
  return GetAliasPath(alias) + rest;
}

void CreatePathLists() {
  if (!tAlias)
    tAlias = std::make_unique<std::vector<TAliasItem>>();
  if (!tPath)
    tPath = std::make_unique<std::vector<std::string>>();
}

void AddAlias(const std::string &name, int index) {
  CreatePathLists();
  tAlias->push_back({Trim(Upper(name)), index});
}

void AddPath(const std::string &path) {
  CreatePathLists();
  // A ready bilingual path keeps its markers (they are control bytes that
  // trimming would drop).
  const bool bilingual =
      path.find_first_of(std::string(WADelimRus) + WADelimUkr) != std::string::npos;
  tPath->push_back(bilingual ? Upper(path) : Trim(Upper(path)));
}

void AddPath(const std::string &rusPath, const std::string &ukrPath) {
  CreatePathLists();
  tPath->push_back(std::string(WADelimRus) + Trim(Upper(rusPath)) + WADelimUkr +
                   Trim(Upper(ukrPath)));
}

void SortAliases() {
  if (!tAlias)
    return;
  std::stable_sort(tAlias->begin(), tAlias->end(), [](const TAliasItem &a, const TAliasItem &b) {
    return Upper(a.Name) < Upper(b.Name);
  });
}

void FreePathLists() {
  tAlias.reset();
  tPath.reset();
}
