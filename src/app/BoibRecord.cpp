#include "BoibRecord.h"

#include <cmath>
#include <cstring>
#include <memory>

#include "BlockFile.h"
#include "WorkFiles.h"

const std::array<double, BoibRows> NewCol1 = {167.0, 167.0, 167.0, 167.0, 167.0, 167.0, 167.0,
                                              167.0, 167.0, 167.0, 167.0, 167.0, 167.0, 167.0,
                                              167.0, 167.0, 167.0, 167.0, 167.0, 167.0};
const std::array<double, BoibRows> NewCol2 = {
    2300.0,  2260.151, 2531.205, 2843.13,  2260.151, 3500.32, 3500.32, 10379.05, 11310.91, 12242.77,
    3749.15, 2354.5,   2004.0,   1697.054, 1900.46,  2300.0,  1860.38, 1690.04,  2341.34,  2300.0};
const std::array<double, BoibRows> NewCol3 = {3.8, 3.8, 3.8, 3.8, 3.8,   3.8,   3.8,
                                              3.8, 3.8, 3.8, 3.0, 18.0,  106.0, 3.8,
                                              3.8, 3.8, 3.8, 3.8, 205.0, 3.8};

namespace {

struct Run {
  int count;
  uint8_t kind;
};

// The field kinds as runs, in position order.
constexpr Run BoibRuns[] = {
    {1, 7},   {1, 5},  {7, 7},  {12, 1}, {1, 8},  {2, 5},   {3, 1}, {1, 8},  {2, 1},
    {1, 9},   {1, 1},  {1, 9},                                                       // 0-32
    {1, 1},   {1, 6},  {1, 1},  {1, 6},  {1, 9},                                     // 33-37
    {1, 1},   {1, 6},  {1, 1},  {1, 6},  {1, 9},                                     // 38-42
    {1, 1},   {1, 6},  {1, 1},  {1, 6},  {1, 9},                                     // 43-47
    {1, 1},   {1, 6},  {1, 1},  {1, 6},  {1, 9},                                     // 48-52
    {1, 1},   {1, 6},  {1, 1},  {1, 6},  {1, 9},                                     // 53-57
    {1, 1},   {1, 6},  {1, 8},  {1, 9},  {3, 1},  {20, 1},  {1, 1}, {2, 10}, {1, 6}, // 58-88
    {1, 10},  {2, 7},  {1, 8},  {1, 1},  {2, 10},                                    // 89-95
    {180, 9}, {76, 9}, {1, 10}, {3, 8},  {1, 7},  {22, 1},  {1, 8},                  // 96-379
    {4, 9},   {10, 9}, {1, 5},  {1, 1},  {3, 9},  {1, 5},   {1, 1}, {2, 9},  {1, 5}, // 380-403
    {3, 9},   {2, 1},  {1, 8},  {1, 1},  {1, 9},  {1, 1},   {1, 9}, {1, 1},  {2, 9}, // 404-416
    {1, 1},   {1, 7},  {2, 8},  {2, 5},  {9, 9},  {180, 5},                          // 417-611
};

constexpr std::array<uint8_t, BoibFieldCount> MakeKinds() {
  std::array<uint8_t, BoibFieldCount> kinds{};
  size_t pos = 0;
  for (const Run &run : BoibRuns)
    for (int i = 0; i < run.count; ++i)
      kinds[pos++] = run.kind;
  return kinds;
}

constexpr size_t RunTotal() {
  size_t n = 0;
  for (const Run &run : BoibRuns)
    n += static_cast<size_t>(run.count);
  return n;
}
static_assert(RunTotal() == BoibFieldCount, "the runs must cover the 612 fields exactly");

constexpr std::array<uint8_t, BoibFieldCount> Kinds = MakeKinds();

bool Near(double a, double b) {
  return std::fabs(a - b) < MinRound;
}

} // namespace

std::span<const uint8_t, BoibFieldCount> BoibKinds() {
  return Kinds;
}

BoibFieldList::BoibFieldList() {
  List.reserve(BoibFieldCount);
  for (uint8_t kind : Kinds) {
    TZTabField f;
    f.Type = static_cast<TypeField>(kind);
    List.push_back(f);
  }
}

void ConvertBoibValues(Boib147 &b) {
  for (int r = 0; r < BoibRows; ++r) {
    // The first set takes the new values only where it equals the third set;
    // column 3 is compared first and the first difference ends the test.
    if (Near(b.Set3Col3(r), b.Set1Col3(r)) && Near(b.Set3Col2(r), b.Set1Col2(r)) &&
        Near(b.Set3Col1(r), b.Set1Col1(r))) {
      b.SetRow(1, 3, r, NewCol3[r]);
      b.SetRow(1, 2, r, NewCol2[r]);
      b.SetRow(1, 1, r, NewCol1[r]);
    }
    b.SetRow(3, 1, r, NewCol1[r]);
    b.SetRow(3, 3, r, NewCol3[r]);
    b.SetRow(3, 2, r, NewCol2[r]);
    b.SetRow(2, 1, r, NewCol1[r]);
    b.SetRow(2, 3, r, NewCol3[r]);
    b.SetRow(2, 2, r, NewCol2[r]);
  }
  if (b.FixTestA() > MinRound || b.FixTestB() > MinRound) {
    b.SetFixTotal(b.FixTotal() + b.FixAddend());
    b.SetFixAddend(FixAddendValue);
  }
}

void ConvertBoibRecord(WRec &rec, const BoibFieldList &fields, WRec &copy) {
  Boib147 b(fields);
  RecStruct(fields.List, rec, b.Members);
  ConvertBoibValues(b);
  StructRec(fields.List, b.Members, rec, 0);
  // The copy is the packed record followed by zero filler up to 19500 bytes,
  // or the packed record cut at 19500 bytes.
  std::memset(copy.Data, 0, static_cast<size_t>(copy.Capacity()));
  StructRec(fields.List, b.Members, copy, 0);
  copy.Len = BoibCopyLen;
  copy.Flag = 0;
}

void ConvertBoib(WRec &rec, const BoibFieldList &fields, const std::string &innerPath) {
  auto copy = std::make_unique<WRec>();
  ConvertBoibRecord(rec, fields, *copy);

  OpenBlock inner;
  inner.Open(innerPath);
  inner->MemoryTmp = true;        // the inner file is the conversion's own temporary file
  inner->WOpen_file(BoibLogFile); // refuses an inner file without logical file 149

  inner->WCreat_file(BoibLogFile);
  inner->WWrite(copy.get());
  inner->WClose_file(BoibLogFile, true);
  inner.Close();
}
