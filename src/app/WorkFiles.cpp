#include "WorkFiles.h"

#include <random>

#include "Messages.h"
#include "Platform.h"

TempFolder::TempFolder() : Path_(platform::MakeTempDir("zepconv-")) {
  if (Path_.empty())
    throw ZError("Не удается создать временную папку", 0);
}

TempFolder::~TempFolder() {
  platform::RemoveTree(Path_);
}

namespace {

std::string RandomSuffix() {
  static std::mt19937 gen(std::random_device{}());
  static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::uniform_int_distribution<int> pick(0, 35);
  std::string s;
  for (int i = 0; i < 6; ++i)
    s += letters[pick(gen)];
  return s;
}

} // namespace

TempTarget::TempTarget(const std::string &target) {
  const std::string base = FolderOf(target) + "." + FileNameOf(target) + ".zepconv-";
  do {
    Path_ = base + RandomSuffix();
  } while (platform::FileExists(Path_) || platform::FileExists(Path_ + "$") ||
           platform::FileExists(Path_ + TmpSuffix));
}

TempTarget::~TempTarget() {
  if (!Committed)
    RemoveBlockFile(Path_);
}

void TempTarget::Commit(const std::string &target) {
  if (!platform::RenameFile(Path_, target))
    OutSystemError("Не удается дать готовому файлу имя " + target);
  Committed = true;
}

void RemoveBlockFile(const std::string &path) {
  platform::RemoveFile(path);
  platform::RemoveFile(path + "$");
  platform::RemoveFile(path + TmpSuffix);
}

OpenBlock::~OpenBlock() {
  if (!F)
    return;
  try {
    if (F->OpenLog != EmptyAdr)
      F->WClose_file(F->OpenLog, false);
  } catch (...) {
  }
  try {
    F->Close();
  } catch (...) {
  }
}

void OpenBlock::Close() {
  if (!F)
    return;
  F->Close();
  F.reset();
}

std::string FolderOf(const std::string &path) {
  const size_t sep = path.find_last_of(platform::Separators);
  return sep == std::string::npos ? std::string() : path.substr(0, sep + 1);
}

std::string FileNameOf(const std::string &path) {
  const size_t sep = path.find_last_of(platform::Separators);
  return sep == std::string::npos ? path : path.substr(sep + 1);
}
