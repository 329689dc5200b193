// Whole-file utilities for block files: creation, copying of logical files,
// dead-space measurement and compaction, text dump and build, plain copy.
#pragma once

#include <string>

class WFile;
class WRec;

// Creates a composite block file with count empty logical files; with an
// edition, logical file 0 then holds the edition record. Returns 0.
int creat_bf(const std::string &name, int count, const char *edition);
// The same with the program's current edition ZEPVER.
int creat_bf(const std::string &name, int count);
// Header and directory skeleton of zeros for compaction. Returns false.
bool creat_bfsp(const std::string &name, int count);
// Copies the live records of logical file srcNo of src into a new version of
// logical file dstNo of dst (links reset, deleted records dropped). Returns 0.
int copy_file(WFile *src, WFile *dst, int srcNo, int dstNo);
// Percentage of dead space in the data area (0 ... 100). A failed open is
// shown through OutErr and gives 0.
int def_unused(const std::string &name);
// Compacts the file when its dead space reaches minPercent: logical files in
// directory order, contiguous, no links or deleted records. The compacted copy
// name + "$" replaces the file by one atomic rename; on any failure the file is
// untouched, the copy is removed and the failure raised. Returns false.
// The copy reaches the disk before the rename unless `sync` is false (for a
// temporary file whose own final rename is not synchronised either).
bool compress_bf(const std::string &name, int minPercent, bool sync = true);
// Writes the counted strings of a simple block file as lines of text. Returns 0.
int WfSf(const std::string &blockName, const std::string &textName);
// Builds a simple block file from the "*"-terminated segments of a text file.
// Returns 0 when built, 1 when the text was refused.
int ReorgFile(const std::string &textName, const std::string &blockName, WRec *buffer,
              bool latinToCyrillic, bool dosToWindows);
// Copies a physical file, replacing an existing target.
void DCopyFile(const std::string &from, const std::string &to);
// The nearest folder "CFG" in the current folder or one of its parents, with a
// trailing separator. Raises ZError "Отсутствует директория CFG" (code 0).
std::string GetDirCfg();
