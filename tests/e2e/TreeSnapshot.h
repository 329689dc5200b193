// What the end-to-end tests look at in a folder tree.
#pragma once

#include <map>
#include <string>

#include "BlockBuilder.h"
#include "Platform.h"

// Every plain file below `dir` + `rel`, relative path -> bytes; hidden ones
// included, links passed over.
inline void Snapshot(const std::string &dir, const std::string &rel,
                     std::map<std::string, std::string> &out) {
  std::vector<platform::DirEntry> entries;
  if (!platform::ListDir(dir + rel, entries))
    return;
  for (const auto &e : entries) {
    if (e.isLink)
      continue;
    if (e.isDir)
      Snapshot(dir, rel + e.name + platform::Separator, out);
    else
      out[rel + e.name] = samples::ReadFileBytes(dir + rel + e.name);
  }
}

inline std::map<std::string, std::string> Snapshot(const std::string &dir) {
  std::map<std::string, std::string> out;
  Snapshot(dir, "", out);
  return out;
}

// Every entry below `dir` (folders end with "/"), relative paths.
inline void Entries(const std::string &dir, const std::string &rel, std::vector<std::string> &out) {
  std::vector<platform::DirEntry> entries;
  if (!platform::ListDir(dir + rel, entries))
    return;
  for (const auto &e : entries) {
    out.push_back(rel + e.name + (e.isDir ? "/" : ""));
    if (e.isDir)
      Entries(dir, rel + e.name + "/", out);
  }
}

inline std::vector<std::string> Entries(const std::string &dir) {
  std::vector<std::string> out;
  Entries(dir, "", out);
  return out;
}

// A path quoted for the shell.
inline std::string Quote(const std::string &s) {
  std::string q = "'";
  for (char c : s)
    q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}
