// Additive checksums over byte buffers, kept as a pair of 32-bit values: the
// sum S and the count of carries C. A buffer is taken as 32-bit little-endian
// words, then a 16-bit word when 2 or 3 bytes remain, then a final byte.
// Each call totals its own pieces exactly (local s, c) and then merges them:
// the ASumKs family drops the carry of S + s, the NASumKs family adds it to C
// (so that S, C read as one 64-bit number is the exact running total).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// S += s (carry lost), C += c. Null data or pointers: nothing happens.
void ASumKs(size_t n, const void *data, uint32_t &sum, uint32_t &carry);
void ASumKs(size_t n, const void *data, uint32_t *sum, uint32_t *carry);
// Over the bytes of a text, merged as NASumKs (64-bit).
void ASumKs(const std::string &text, uint32_t &sum, uint32_t &carry);

// Block size of the checksum trailer of a block file: its bytes go to ASumKs
// in blocks of this size from the file's first byte. Part of the format,
// since ASumKs drops the carry between calls.
inline constexpr size_t ChecksumBlock = 512;
// ASumKs over consecutive blocks of ChecksumBlock bytes of data (the last
// may be shorter).
void ASumKsBlocks(size_t n, const void *data, uint32_t &sum, uint32_t &carry);

// 64-bit merge: C += c + (1 when S + s wrapped).
void NASumKs(size_t n, const void *data, uint32_t &sum, uint32_t &carry);
void NASumKs(size_t n, const void *data, uint32_t *sum, uint32_t *carry);

// Adds the pieces to *acc (32-bit words signed, 16/8-bit pieces unsigned),
// exactly in extended precision, rounded to double once at the end. Null
// acc, null data or n 0: nothing happens.
void ASumKsD(size_t n, const void *data, double *acc);
double ASumKsD(size_t n, const void *data); // from 0.0

// Adds pair a to pair b as 64-bit numbers. Null aLow or bLow: nothing; null
// aHigh or bHigh: only the low halves are added and their carry is dropped.
void PlusKs(const uint32_t *aLow, const uint32_t *aHigh, uint32_t *bLow, uint32_t *bHigh);
void PlusKsC(const uint32_t *aLow, const uint32_t *aHigh, uint32_t *bLow, uint32_t *bHigh);
