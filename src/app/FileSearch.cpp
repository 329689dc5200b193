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
  // Windows takes "/" too, and file dialogs give it; the text the user sees
  // and every path built on it keep to the system's own separator.
  std::string f = platform::NativePath(folder);
  while (f.size() > 1 && platform::IsSeparator(f.back()))
    f.pop_back();
  if (f.empty() || !platform::IsSeparator(f.back()))
    f += platform::Separator;
  else
    f.back() = platform::Separator; // the root folder
  return f;
}

bool MatchMask(const std::string &name, const std::string &mask) {
  return Match(name.c_str(), mask.c_str());
}

namespace {

// One walk of the tree, each folder listed once: the folders in the order of
// GetDirList and, folder by folder, the plain files of each.
void Walk(const std::string &folder, std::vector<std::string> *dirs,
          std::vector<std::string> *files, std::vector<UnreadableFolder> *unreadable) {
  if (dirs)
    dirs->push_back(folder);
  std::vector<platform::DirEntry> entries;
  if (!platform::ListDir(folder, entries)) {
    // An unreadable folder has nothing to offer, but the caller may say so.
    if (unreadable)
      unreadable->push_back({folder, platform::ErrorText(platform::LastError())});
    return;
  }
  if (files)
    for (const auto &e : entries)
      if (e.isFile && !e.isDir && !e.isHidden)
        files->push_back(folder + e.name);
  for (const auto &e : entries)
    if (e.isDir && !e.isLink && !e.isHidden)
      Walk(folder + e.name + platform::Separator, dirs, files, unreadable);
}

} // namespace

void GetDirList(const std::string &folder, std::vector<std::string> &list) {
  Walk(folder, &list, nullptr, nullptr);
}

void GetTreeFiles(const std::string &folder, std::vector<std::string> &list,
                  std::vector<UnreadableFolder> *unreadable) {
  Walk(folder, nullptr, &list, unreadable);
}

int GetFileList(const std::string &folder, const std::string &mask, std::vector<std::string> &list,
                bool append) {
  std::vector<std::string> all;
  GetTreeFiles(folder, all);
  if (!append)
    list.clear();
  return FilterByMask(all, mask, list);
}

int FilterByMask(const std::vector<std::string> &paths, const std::string &mask,
                 std::vector<std::string> &list) {
  int added = 0;
  for (const auto &p : paths) {
    const size_t sep = p.find_last_of(platform::Separators);
    const std::string name = sep == std::string::npos ? p : p.substr(sep + 1);
    if (!MatchMask(name, mask))
      continue;
    list.push_back(p);
    ++added;
  }
  return added;
}
