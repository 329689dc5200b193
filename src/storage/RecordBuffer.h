// One record of a block file in memory, the format constants shared by every
// block file operation, and the pool of record buffers used by item streams.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

// No address; in a record prefix: no link (the next record follows directly).
constexpr uint32_t EmptyAdr = 0xFFFFFFFFu;
// Capacity of a default record buffer and the longest readable record body.
constexpr int UseLenRec = 20000;
// Size of the end record, and so the Len of an empty logical file.
constexpr uint32_t LenEof = 8;
// Record prefix: flag (1) + link (4) + body length (2).
constexpr uint32_t LenPrefix = 1 + 4 + 2;
// Flag bit of a deleted record; the other seven bits belong to the writer.
constexpr uint8_t DeletedFlag = 0x80;
// Body byte of the end record (its length is 1).
constexpr char EofMark = '@';

class WRec {
public:
  WRec();                      // capacity UseLenRec
  explicit WRec(int capacity); // capacity < 0 is taken as 0
  ~WRec();
  WRec(const WRec &) = delete;
  WRec &operator=(const WRec &) = delete;

  uint8_t Flag = 0;         // bit 7: deleted
  uint32_t Next = EmptyAdr; // link
  uint16_t Len = 0;         // body length
  // Body buffer of Capacity() bytes plus one spare byte, so that a zero byte
  // fits after a body that fills the whole capacity. Contents are not cleared.
  char *Data = nullptr;

  int Capacity() const { return Cap; }
  // True for the end record (length 1, body "@"), which ends every chain.
  bool IsEof() const { return Len == 1 && Data[0] == EofMark; }

private:
  std::unique_ptr<char[]> Store;
  int Cap = 0;
};

// Buffer pool, one for each thread. At most 15 free buffers are kept for reuse; while more are in
// use at once the pool grows as needed and shrinks back as they are freed.
constexpr int PoolKeep = 15;

void InitBuf();
void InitBuf(const std::string &unused);
void DeInitBuf(); // destroys every pooled buffer, also those still in use
// A buffer of capacity UseLenRec for exclusive use until FreeBuf. Creates
// the pool when InitBuf was not called.
WRec *GetBuf();
// Gives r back; a buffer not in use in the pool raises ZError code 4.
void FreeBuf(WRec *r);
// Number of entries (free and in use) the pool holds now.
int PoolEntries();
