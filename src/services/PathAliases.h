// Path aliases: "CFG#cfg.zep" names cfg.zep in the folder the alias CFG
// stands for. Names without "#" are ordinary paths and pass unchanged.
#pragma once

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

// Sets gPlainNames while it lives and restores the previous setting.
class ScopedPlainNames {
public:
  ScopedPlainNames() : Before(gPlainNames) { gPlainNames = true; }
  ~ScopedPlainNames() { gPlainNames = Before; }
  ScopedPlainNames(const ScopedPlainNames &) = delete;
  ScopedPlainNames &operator=(const ScopedPlainNames &) = delete;

private:
  bool Before;
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
