// Descriptor lists read from the descriptor file "CFG#Boib.sfr".
#include <memory>

#include "BlockFile.h"
#include "Cursor.h"
#include "RecordBuffer.h"
#include "RecordLayout.h"

WFile *Boib = nullptr;

namespace {

// Holds the descriptor file that CreatDefRecord opened itself, and empties the
// program-wide handle again however the call ends.
struct OwnDescriptorFile {
  std::unique_ptr<WFile> File;
  ~OwnDescriptorFile() {
    if (File)
      Boib = nullptr;
  }
};

} // namespace

void CreatDefRecord(int32_t n, TZFieldList &list, WRec &rec) {
  OwnDescriptorFile own;
  if (Boib == nullptr) {
    // Only read: opened read-only, so a descriptor file on read-only media serves.
    own.File = std::make_unique<WFile>("CFG#Boib.sfr", true);
    Boib = own.File.get();
  }
  WFile &f = *Boib;
  f.WOpen_file(static_cast<uint32_t>(n));
  // The first two records of a list are not descriptors.
  for (int skip = 0; skip < 2; ++skip)
    if (!f.WRead(&rec))
      return;
  while (f.WRead(&rec)) {
    const char *cur = rec.Data;
    const char *end = rec.Data + rec.Len;
    TZTabField d;
    d.Name = LoadText(cur, end);
    d.Type = static_cast<TypeField>(LoadByte(cur, end));
    list.push_back(std::move(d));
  }
  if (own.File)
    own.File->Close();
}
