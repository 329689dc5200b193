#include "RecordBuffer.h"

#include <vector>

#include "Messages.h"

WRec::WRec() : WRec(UseLenRec) {}

WRec::WRec(int capacity) : Cap(capacity < 0 ? 0 : capacity) {
  // One spare byte: readers put a zero byte after a full-capacity body.
  Store = std::make_unique_for_overwrite<char[]>(static_cast<size_t>(Cap) + 1);
  Data = Store.get();
}

WRec::~WRec() = default;

namespace {

struct BufEntry {
  uint8_t State = 0; // 0 free, 1 in use
  std::unique_ptr<WRec> Buffer;
};

// The pool, in the order of creation; null outside InitBuf ... DeInitBuf.
// Each thread has a pool of its own.
thread_local std::unique_ptr<std::vector<BufEntry>> ListRec;

} // namespace

void InitBuf() {
  if (!ListRec)
    ListRec = std::make_unique<std::vector<BufEntry>>();
}

void InitBuf(const std::string &) {
  InitBuf();
}

void DeInitBuf() {
  ListRec.reset();
}

WRec *GetBuf() {
  InitBuf();
  for (BufEntry &e : *ListRec) {
    if (e.State == 0) {
      e.State = 1;
      return e.Buffer.get();
    }
  }
  ListRec->push_back({1, std::make_unique<WRec>(UseLenRec)});
  return ListRec->back().Buffer.get();
}

void FreeBuf(WRec *r) {
  if (ListRec) {
    for (auto it = ListRec->begin(); it != ListRec->end(); ++it) {
      if (it->State != 0 && it->Buffer.get() == r) {
        // Keep the buffer for reuse while the pool is small; beyond that the
        // list shrinks back as buffers come back.
        if (ListRec->size() <= static_cast<size_t>(PoolKeep))
          it->State = 0;
        else
          ListRec->erase(it);
        return;
      }
    }
  }
  throw ZError("", 4);
}

int PoolEntries() {
  return ListRec ? static_cast<int>(ListRec->size()) : 0;
}
