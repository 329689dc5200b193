// Finding the files of a folder tree: the folder walk of the mass conversion.
// Hidden entries (by the system's rule: names beginning with "." on POSIX
// systems, the hidden or system attribute on Windows) and symbolic links to
// folders are not followed; siblings come in name order, each folder before
// its own sub-folders. Folder texts end with exactly one separator.
#pragma once

#include <string>
#include <vector>

// `folder` with exactly one separator at its end ("/" stays "/"), every
// separator the system's own.
std::string FolderText(const std::string &folder);

// Appends `folder` and, depth first, every sub-folder below it (each ending
// with the separator) to `list`.
void GetDirList(const std::string &folder, std::vector<std::string> &list);

// True when `name` matches `mask`: "*" any run of characters, "?" one
// character, everything else itself with ASCII letter case ignored. So
// "*.IMS" takes "a.ims" but neither "a.IMSX" nor "a.IMS.bak".
bool MatchMask(const std::string &name, const std::string &mask);

// Appends to `list` the full paths of the plain files of `folder` and of all
// its sub-folders whose names match `mask`, the given folder first; clears
// `list` first unless `append`. Returns how many paths were added. `folder`
// must end with the separator.
int GetFileList(const std::string &folder, const std::string &mask, std::vector<std::string> &list,
                bool append);

// A folder of the tree that could not be listed, and the system's reason.
struct UnreadableFolder {
  std::string path; // ends with the separator
  std::string reason;
};

// Appends to `list` the full paths of every plain file of `folder` and its
// sub-folders in the order of GetFileList, listing each folder once: one walk
// serves several masks through FilterByMask. Folders that cannot be listed
// are appended to `unreadable` when it is given.
void GetTreeFiles(const std::string &folder, std::vector<std::string> &list,
                  std::vector<UnreadableFolder> *unreadable = nullptr);

// Appends to `list` the paths of `paths` whose file names match `mask`, in
// their order; returns how many were added.
int FilterByMask(const std::vector<std::string> &paths, const std::string &mask,
                 std::vector<std::string> &list);
