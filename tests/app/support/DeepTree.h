// A folder tree whose deepest paths are longer than the system accepts: a
// folder that can still be listed, holding a file and a sub-folder whose full
// paths are too long to open or to list ("File name too long"). Built and
// removed through folder handles, since its deepest paths cannot be named
// whole; removed when the object goes.
#pragma once

#include <string>

class DeepTree {
public:
  // Below `root` (an existing folder ending with the separator); the file
  // gets `bytes` and a name ending in `extension` (".IMS").
  DeepTree(const std::string &root, const std::string &extension, const std::string &bytes);
  ~DeepTree();
  DeepTree(const DeepTree &) = delete;
  DeepTree &operator=(const DeepTree &) = delete;

  // Why no such tree can be made on this system; null where it can.
  static const char *const Unsupported;

  std::string listable;   // the deepest folder that can be listed; ends with the separator
  std::string longFile;   // a file in it whose path is too long to open
  std::string longFolder; // a folder in it whose path is too long to list; ends with the separator

private:
  std::string Root, Top;
};
