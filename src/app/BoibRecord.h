// The Boib record: the packed record of 612 fields that model files of the
// kinds IMS, IMD and IMK hold as the first record of logical file 1, its field
// list, the structure it unpacks into, and its conversion to the 2.10.4 layout.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "RecordBuffer.h"
#include "RecordLayout.h"

constexpr size_t BoibFieldCount = 612;
// Logical file of the inner block file that receives a copy of the record.
constexpr uint32_t BoibLogFile = 149;
// Length of that copy: the packed record, cut or followed by zero bytes.
constexpr uint16_t BoibCopyLen = 19500;
// Tolerance of the row-table comparison and of the fix-up test.
constexpr double MinRound = 1e-10;
constexpr double FixAddendValue = 1.332;
constexpr int BoibRows = 20;

// New values of the row table, rows 0 to 19.
extern const std::array<double, BoibRows> NewCol1;
extern const std::array<double, BoibRows> NewCol2;
extern const std::array<double, BoibRows> NewCol3;

// The kinds of the 612 fields, in position order.
std::span<const uint8_t, BoibFieldCount> BoibKinds();

// The Boib field list: 612 descriptors with empty names, Offset and Length 0.
struct BoibFieldList {
  BoibFieldList();
  TZFieldList List;
};

// The in-memory Boib record: one member per position. The row table (three
// sets of three columns of 20 reals) and the four reals of the fix-up have
// names; every other member is reached by position through Members.
class Boib147 {
public:
  explicit Boib147(const BoibFieldList &fields) : Members(fields.List) {}

  // Position of row r (0..19) of column col (1..3) of set (1..3).
  static constexpr size_t RowPos(int set, int col, int r) {
    return 96 + static_cast<size_t>(((set - 1) * 3 + (col - 1)) * BoibRows + r);
  }
  static constexpr size_t PosFixTestA = 380;
  static constexpr size_t PosFixTotal = 381;
  static constexpr size_t PosFixTestB = 382;
  static constexpr size_t PosFixAddend = 383;

  double Row(int set, int col, int r) const { return Members.GetReal(RowPos(set, col, r)); }
  void SetRow(int set, int col, int r, double v) { Members.SetReal(RowPos(set, col, r), v); }

  double Set1Col1(int r) const { return Row(1, 1, r); }
  double Set1Col2(int r) const { return Row(1, 2, r); }
  double Set1Col3(int r) const { return Row(1, 3, r); }
  double Set2Col1(int r) const { return Row(2, 1, r); }
  double Set2Col2(int r) const { return Row(2, 2, r); }
  double Set2Col3(int r) const { return Row(2, 3, r); }
  double Set3Col1(int r) const { return Row(3, 1, r); }
  double Set3Col2(int r) const { return Row(3, 2, r); }
  double Set3Col3(int r) const { return Row(3, 3, r); }

  double FixTestA() const { return Members.GetReal(PosFixTestA); }
  double FixTotal() const { return Members.GetReal(PosFixTotal); }
  double FixTestB() const { return Members.GetReal(PosFixTestB); }
  double FixAddend() const { return Members.GetReal(PosFixAddend); }
  void SetFixTotal(double v) { Members.SetReal(PosFixTotal, v); }
  void SetFixAddend(double v) { Members.SetReal(PosFixAddend, v); }

  StructValue Members;
};

// Applies the 2.10.4 changes to an unpacked record: the row table and the
// 1.332 fix-up.
void ConvertBoibValues(Boib147 &b);

// Converts the Boib record in rec (as read from logical file 1 of a model) in
// place: rec.Data the new packed record, rec.Len its length, rec.Flag 0;
// rec.Next is not touched. Then replaces logical file 149 of the block file
// `innerPath` by one record of 19500 bytes: the same packed record, followed
// by zero bytes (or cut there). Raises ZError for a record shorter than its
// fields and for every failure of the inner block file (among them one with
// fewer than 150 logical files); rec already holds the converted record then
// only when the failure came from the inner file.
void ConvertBoib(WRec &rec, const BoibFieldList &fields, const std::string &innerPath);
// The record part of ConvertBoib: converts rec in place as it does and fills
// `copy` with the record that replaces logical file 149 of the inner file.
void ConvertBoibRecord(WRec &rec, const BoibFieldList &fields, WRec &copy);
