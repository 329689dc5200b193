#include "DeepTree.h"

#ifdef _WIN32

#include <stdexcept>

// The program hands Windows every path in the long form, which has no
// practical length limit, so no path of a tree is too long to open.
const char *const DeepTree::Unsupported =
    "no path is too long to open on Windows: the program uses the long path form";

DeepTree::DeepTree(const std::string &, const std::string &, const std::string &) {
  throw std::logic_error(Unsupported);
}
DeepTree::~DeepTree() = default;

#else

#include <dirent.h>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

const char *const DeepTree::Unsupported = nullptr;

namespace {

// Longest path the system opens, with its terminating zero (Linux: 4096).
constexpr size_t PathMax = 4096;
constexpr size_t LevelName = 100;

int OpenDir(int at, const std::string &name) {
  const int fd = openat(at, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0)
    throw std::runtime_error("DeepTree: cannot open folder " + name);
  return fd;
}

// Removes `name` in the folder `at`, with everything below it.
void RemoveAt(int at, const std::string &name) {
  const int fd = openat(at, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    unlinkat(at, name.c_str(), 0);
    return;
  }
  DIR *d = fdopendir(fd);
  if (!d) {
    close(fd);
    return;
  }
  std::vector<std::string> names;
  while (const dirent *e = readdir(d))
    if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
      names.push_back(e->d_name);
  for (const std::string &n : names) {
    struct stat st;
    if (fstatat(fd, n.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode))
      RemoveAt(fd, n);
    else
      unlinkat(fd, n.c_str(), 0);
  }
  closedir(d);
  unlinkat(at, name.c_str(), AT_REMOVEDIR);
}

} // namespace

DeepTree::DeepTree(const std::string &root, const std::string &extension, const std::string &bytes)
    : Root(root), Top(std::string(LevelName, 'd')) {
  // Levels of 100 characters until the folder's path is between 3950 and
  // 4050 characters long: listable, while a name of 50 to 150 characters in
  // it makes a path beyond the limit.
  const std::string level(LevelName, 'd');
  std::string path = root;
  int fd = OpenDir(AT_FDCWD, root);
  while (path.size() < 3950) {
    mkdirat(fd, level.c_str(), 0755);
    const int next = OpenDir(fd, level);
    close(fd);
    fd = next;
    path += level + "/";
  }
  listable = path;
  const size_t n = PathMax + 4 - path.size();
  const std::string file = std::string(n - extension.size(), 'f') + extension;
  const std::string folder(n, 'g');
  const int f = openat(fd, file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  const bool written =
      f >= 0 && write(f, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  if (f >= 0)
    close(f);
  mkdirat(fd, folder.c_str(), 0755);
  close(fd);
  if (!written)
    throw std::runtime_error("DeepTree: cannot write the file");
  longFile = path + file;
  longFolder = path + folder + "/";
}

DeepTree::~DeepTree() {
  const int fd = open(Root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0)
    return;
  RemoveAt(fd, Top);
  close(fd);
}

#endif
