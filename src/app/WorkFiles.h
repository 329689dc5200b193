// Files a conversion works with: its private temporary folder, the target
// written under a temporary name beside its final place, and block files that
// are abandoned quietly when a conversion fails.
#pragma once

#include <memory>
#include <string>
#include <utility>

#include "BlockFile.h"

// A private folder made for one conversion and removed with everything in it
// when the object goes, whether the conversion succeeded or not.
class TempFolder {
public:
  TempFolder(); // raises ZError when no folder can be made
  ~TempFolder();
  TempFolder(const TempFolder &) = delete;
  TempFolder &operator=(const TempFolder &) = delete;

  const std::string &Path() const { return Path_; } // ends in the separator
  std::string File(const std::string &name) const { return Path_ + name; }

private:
  std::string Path_;
};

// The name a target is written under until it is complete:
// "." + file name + ".zepconv-XXXXXX" in the target's own folder, so that the
// final rename stays inside one file system. Unless committed, the file and
// the storage layer's companions ("$", "$$") are removed when the object goes.
class TempTarget {
public:
  explicit TempTarget(const std::string &target);
  ~TempTarget();
  TempTarget(const TempTarget &) = delete;
  TempTarget &operator=(const TempTarget &) = delete;

  const std::string &Path() const { return Path_; }
  // Gives the file its final name with one atomic rename (replacing a file
  // there); raises ZError when the rename fails.
  void Commit(const std::string &target);

private:
  std::string Path_;
  bool Committed = false;
};

// Removes a block file and the storage layer's companions name + "$" and name + "$$".
void RemoveBlockFile(const std::string &path);

// A block file owned by a conversion. Close() ends it normally and raises what
// closing raises; when the object goes without Close() (a failure is being
// handled), a logical file still under creation is discarded first, so that
// nothing is committed and nothing is reported.
class OpenBlock {
public:
  OpenBlock() = default;
  ~OpenBlock();
  OpenBlock(const OpenBlock &) = delete;
  OpenBlock &operator=(const OpenBlock &) = delete;

  template <class... Args> WFile &Open(Args &&...args) {
    F = std::make_unique<WFile>(std::forward<Args>(args)...);
    return *F;
  }
  void Close();

  WFile *operator->() const { return F.get(); }
  WFile &operator*() const { return *F; }
  WFile *get() const { return F.get(); }

private:
  std::unique_ptr<WFile> F;
};

// The folder part of a path, with its separator; empty for a bare file name.
std::string FolderOf(const std::string &path);
// The file name part of a path.
std::string FileNameOf(const std::string &path);
