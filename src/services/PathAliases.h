// Path aliases: "CFG#cfg.zep" names cfg.zep in the folder the alias CFG
// stands for. Names without "#" are ordinary paths and pass unchanged.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

struct TAliasItem {
  std::string Name; // upper-cased, trimmed
  int Index = 0;    // index of its path in tPath
};

// Program-wide lists; null until created (CreatePathLists), null again after
// FreePathLists. Without them every alias lookup fails with ZError 7.
extern std::unique_ptr<std::vector<TAliasItem>> tAlias; // sorted by name after SortAliases
extern std::unique_ptr<std::vector<std::string>> tPath; // one path per record

// When true, every name is a plain path and GetRealName returns it unchanged.
// A program that never loads aliases (the converter) sets it, so that a "#"
// in a real folder or file name is not taken for an alias reference. False at
// start: the library resolves aliases.
extern bool gPlainNames;
// How many ScopedPlainNames live (in any thread): names are plain while any does.
extern std::atomic<int> gPlainNamesHolders;

// Makes every name plain while it lives, as gPlainNames does; several may
// live at once, in several threads, and end in any order.
class ScopedPlainNames {
public:
  ScopedPlainNames() { ++gPlainNamesHolders; }
  ~ScopedPlainNames() { --gPlainNamesHolders; }
  ScopedPlainNames(const ScopedPlainNames &) = delete;
  ScopedPlainNames &operator=(const ScopedPlainNames &) = delete;
};

// Resolves a name: alias + rest -> GetAliasPath(alias) + rest; "ALIAS#" ->
// the alias text itself; "#" with nothing around -> ZError(name, 6).
std::string GetRealName(const std::string &name);
// The folder of an alias (a bilingual path picked by the data language).
// Unknown alias or no lists -> ZError(upper-cased alias, 7).
std::string GetAliasPath(const std::string &alias);

// For the configuration loader. Texts are UTF-8; names and paths are
// upper-cased (ASCII and Cyrillic letters) and trimmed when added.
void CreatePathLists(); // creates the lists that do not exist
void AddAlias(const std::string &name, int index);
void AddPath(const std::string &path);
// Russian and Ukrainian path as one bilingual path (0x04 rus 0x05 ukr).
void AddPath(const std::string &rusPath, const std::string &ukrPath);
void SortAliases(); // by name, case-insensitive
void FreePathLists();
