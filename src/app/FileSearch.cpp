#include "FileSearch.h"

#include "Platform.h"

namespace {

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool Match(const char *n, const char *m) {
  // Iterative wildcard match with one backtrack point for the last "*".
  const char *star = nullptr, *resume = nullptr;
  while (*n) {
    if (*m == '*') {
      star = m++;
      resume = n;
    } else if (*m == '?' || (*m && Lower(*m) == Lower(*n))) {
      ++m;
      ++n;
    } else if (star) {
      m = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (*m == '*')
    ++m;
  return *m == '\0';
}

} // namespace

std::string FolderText(const std::string &folder) {
  std::string f = folder;
  while (f.size() > 1 && f.back() == platform::Separator)
    f.pop_back();
  if (f.empty() || f.back() != platform::Separator)
    f += platform::Separator;
  return f;
}

bool MatchMask(const std::string &name, const std::string &mask) {
  return Match(name.c_str(), mask.c_str());
}

void GetDirList(const std::string &folder, std::vector<std::string> &list) {
  list.push_back(folder);
  std::vector<platform::DirEntry> entries;
  if (!platform::ListDir(folder, entries))
    return; // an unreadable folder has no sub-folders to offer
  for (const auto &e : entries)
    if (e.isDir && !e.isLink && !e.isHidden)
      GetDirList(folder + e.name + platform::Separator, list);
}

int GetFileList(const std::string &folder, const std::string &mask, std::vector<std::string> &list,
                bool append) {
  std::vector<std::string> folders;
  GetDirList(folder, folders);
  if (!append)
    list.clear();
  int added = 0;
  std::vector<platform::DirEntry> entries;
  for (const auto &dir : folders) {
    entries.clear();
    if (!platform::ListDir(dir, entries))
      continue;
    for (const auto &e : entries) {
      if (!e.isFile || e.isDir || e.isHidden || !MatchMask(e.name, mask))
        continue;
      list.push_back(dir + e.name);
      ++added;
    }
  }
  return added;
}
