// The layout of formatted message text on a surface of fixed metrics: 6
// pixels per character and 13 per line at the default 8 points (one pixel
// wider when bold), 4 more pixels of height per 4 points of size.
#include "TextLayout.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#include "../../fuzz/FixedSurface.h"
#include "../../fuzz/LayoutHarness.h"

namespace {

struct Line {
  std::string text;
  TLineFormat format;
  uint32_t color = 0;
  bool operator==(const Line &) const = default;
};

void PrintTo(const Line &l, std::ostream *os) {
  *os << "'" << l.text << "' align " << int(l.format.Align) << " style " << int(l.format.Style)
      << " size " << l.format.Size << " color " << l.color;
}

struct Laid {
  std::vector<Line> lines;
  int textHeight = 0;
  int maxHeight = 0;
};

Laid Layout(const std::string &text, int width, bool keepBreak = false, bool hashBreak = true) {
  FixedSurface s;
  TLineTable table;
  Laid out;
  const int n =
      SFormatTextWord(text, width, s, table, keepBreak, hashBreak, out.textHeight, out.maxHeight);
  const std::vector<std::string> texts = LineTexts(text, table, n);
  for (int i = 0; i < n; ++i)
    out.lines.push_back({texts[i], table[i].Format, table[i].Color});
  return out;
}

std::vector<std::string> Texts(const Laid &l) {
  std::vector<std::string> out;
  for (const Line &line : l.lines)
    out.push_back(line.text);
  return out;
}

const std::string B = "\x01"; // opens and closes a command block

struct BreakCase {
  const char *name;
  std::string text;
  int width;
  std::vector<std::string> lines;
  bool keepBreak = false;
  bool hashBreak = true;
};

void PrintTo(const BreakCase &c, std::ostream *os) {
  *os << c.name;
}

class LayoutBreaks : public ::testing::TestWithParam<BreakCase> {};

TEST_P(LayoutBreaks, GivesTheLines) {
  const BreakCase &c = GetParam();
  EXPECT_EQ(Texts(Layout(c.text, c.width, c.keepBreak, c.hashBreak)), c.lines);
}

// Widths in characters of 6 pixels: 100 holds 16 of them.
INSTANTIATE_TEST_SUITE_P(
    Cases, LayoutBreaks,
    ::testing::Values(BreakCase{"HashBreaks", "AB#CD", 100, {"AB", "CD"}},
                      BreakCase{"SecondHashBeginsTheNextLine", "AB##CD", 100, {"AB", "#CD"}},
                      BreakCase{"LeadingHashIsDropped", "#AB", 100, {"AB"}},
                      BreakCase{"TrailingHashEndsTheText", "AB#", 100, {"AB"}},
                      BreakCase{"KeepBreakKeepsTheHash", "AB#CD", 100, {"AB#", "CD"}, true},
                      BreakCase{"EtxBreaksAndStaysAsText",
                                "AB\x03"
                                "CD",
                                100,
                                {"AB", "\x03"
                                       "CD"}},
                      BreakCase{"EtxIsTheBreakWithoutHashes",
                                "A#B\x03"
                                "C",
                                100,
                                {"A#B", "\x03"
                                        "C"},
                                false,
                                false},
                      BreakCase{"BreaksAfterTheLastBlank", "aaa bbb ccc", 50, {"aaa bbb ", "ccc"}},
                      BreakCase{"OverflowingBlankStaysOnTheLine", "aaaa bb", 30, {"aaaa ", "bb"}},
                      BreakCase{"BreaksAfterAComma", "x a,bb", 30, {"x a,", "bb"}},
                      BreakCase{"NeverAtADecimalComma", "x 1,55", 30, {"x ", "1,55"}},
                      BreakCase{"CommaThatEndsTheTextCounts", "xx 12,", 35, {"xx 12,"}},
                      BreakCase{"NoBlankBreaksInsideTheWord", "abcdefgh", 30, {"abcd", "efgh"}},
                      // The last character never stands alone after a width break.
                      BreakCase{"LastCharacterTakesACompanion", "abcde", 25, {"abc", "de"}},
                      BreakCase{"ExactWidthOfTheWholeTextIsOneLine", "ABCD", 24, {"ABCD"}},
                      BreakCase{
                          "ExactWidthOfALaterLineDoesNotFit", "AB#CDEF", 24, {"AB", "CD", "EF"}},
                      // A line of one character whose companion is the last: the last gets
                      // a line of its own instead of an endless run of empty lines.
                      BreakCase{"OneCharacterPerLine", "abc", 10, {"a", "b", "c"}},
                      BreakCase{"CharactersNotBytes", "Файл знайдено", 50, {"Файл ", "знайдено"}},
                      BreakCase{"EmptyText", "", 100, {""}}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(Layout, EmptyTextIsOneLineOfNoHeight) {
  const Laid l = Layout("", 100);
  EXPECT_EQ(l.lines.size(), 1u);
  EXPECT_EQ(l.textHeight, 0);
  EXPECT_EQ(l.maxHeight, 0);
}

TEST(Layout, StopsAtOneHundredLines) {
  std::string text;
  for (int i = 0; i < 150; ++i)
    text += "a" + std::to_string(i) + "#";
  const Laid l = Layout(text, 100);
  ASSERT_EQ(l.lines.size(), 100u);
  EXPECT_EQ(l.lines.back().text, "a99");
  EXPECT_EQ(l.textHeight, 100 * 13);
}

TEST(Layout, WidthTooSmallForAnyCharacterGivesOneHundredEmptyLines) {
  for (const std::string text : {"abc", "a"}) {
    const Laid l = Layout(text, 3);
    ASSERT_EQ(l.lines.size(), 100u) << text;
    for (const Line &line : l.lines)
      EXPECT_EQ(line.text, "");
  }
}

TEST(Layout, PositionsCountCharacters) {
  FixedSurface s;
  TLineTable t;
  int h = 0;
  int m = 0;
  ASSERT_EQ(FormatTextWord("Файл#x", 100, s, t, false, h, m), 2);
  EXPECT_EQ(t[0].Start, 1);
  EXPECT_EQ(t[0].Len, 4);
  EXPECT_EQ(t[1].Start, 6);
  EXPECT_EQ(t[1].Len, 1);
}

TEST(Layout, BytesThatAreNotUtf8CountAsOneCharacterEach) {
  const std::string text = "a\xFF\xC3z";
  EXPECT_EQ(CharacterCount(text), 4);
  const Laid l = Layout(text, 100);
  ASSERT_EQ(l.lines.size(), 1u);
  EXPECT_EQ(l.lines[0].text, "a\xEF\xBF\xBD\xEF\xBF\xBDz");
}

TLineFormat Fmt(uint8_t align, uint8_t style, int size, bool full = false) {
  TLineFormat f;
  f.Align = align;
  f.Style = style;
  f.Size = size;
  f.Full = full;
  return f;
}

struct BlockCase {
  const char *name;
  std::string text;
  std::vector<Line> lines;
};

void PrintTo(const BlockCase &c, std::ostream *os) {
  *os << c.name;
}

class LayoutBlocks : public ::testing::TestWithParam<BlockCase> {};

TEST_P(LayoutBlocks, GiveTheFormats) {
  EXPECT_EQ(Layout(GetParam().text, 300).lines, GetParam().lines);
}

constexpr uint8_t C = TLineFormat::AlignCentre;
constexpr uint8_t L = TLineFormat::AlignLeft;
constexpr uint8_t R = TLineFormat::AlignRight;

INSTANTIATE_TEST_SUITE_P(
    Cases, LayoutBlocks,
    ::testing::Values(
        BlockCase{"BoldSizeCentreForOneLine",
                  B + "ЖS12 Ц" + B + "Title#plain",
                  {{"Title", Fmt(C, fsBold, 12)}, {"plain", {}}}},
        BlockCase{"FullCarriesOnToBlocklessLines",
                  B + "ЖS12 ЦF" + B + "Title#next#more",
                  {{"Title", Fmt(C, fsBold, 12, true)},
                   {"next", Fmt(C, fsBold, 12, true)},
                   {"more", Fmt(C, fsBold, 12, true)}}},
        BlockCase{"ABlockWithoutFullEndsPersistence",
                  B + "ЖF" + B + "a#b#" + B + "К" + B + "c#d",
                  {{"a", Fmt(0, fsBold, 0, true)},
                   {"b", Fmt(0, fsBold, 0, true)},
                   {"c", Fmt(0, fsItalic, 0)},
                   {"d", {}}}},
        BlockCase{"SeparatorAfterTheDigitsIsConsumed",
                  B + "ЖS12Ц" + B + "T",
                  {{"T", Fmt(0, fsBold, 12)}}},
        BlockCase{"ClosingByteAsSeparatorKeepsReading",
                  B + "S10" + B + "ЖП" + B + "T",
                  {{"T", Fmt(R, fsBold, 10)}}},
        BlockCase{"UnknownLetterCancelsTheBlock", B + "ЖXЦ" + B + "T", {{"XЦ" + B + "T", {}}}},
        BlockCase{"LeftWinsOverCentreAndRight", B + "ПЦЛ" + B + "T", {{"T", Fmt(R | C | L, 0, 0)}}},
        BlockCase{"EveryStyle",
                  B + "ЖКЧZ" + B + "T",
                  {{"T", Fmt(0, fsBold | fsItalic | fsUnderline | fsStrikeOut, 0)}}},
        BlockCase{"ColourInHexadecimal", B + "Д0000FF " + B + "Red", {{"Red", {}, 0x0000FF}}},
        BlockCase{
            "ColourHasOnlyTwentyFourBits", B + "Д1FFFFFFFF " + B + "W", {{"W", {}, 0xFFFFFF}}},
        BlockCase{
            "HugeSizeIsCapped", B + "S99999999999 " + B + "T", {{"T", Fmt(0, 0, MaxBlockSize)}}},
        BlockCase{"UnclosedBlockAtTheEnd", B + "Ж", {{"", Fmt(0, fsBold, 0)}}},
        BlockCase{
            "BlockOnlyAtTheLineStart", "a" + B + "Ж" + B + "b", {{"a" + B + "Ж" + B + "b", {}}}}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(Layout, LineHeightFollowsTheLineFont) {
  const Laid l = Layout(B + "S12 " + B + "big#small", 300);
  EXPECT_EQ(l.textHeight, 17 + 13);
  EXPECT_EQ(l.maxHeight, 17);
}

TEST(Layout, LinesAreMeasuredInTheirOwnFont) {
  // Bold characters are 7 pixels wide: 4 of them reach 28.
  EXPECT_EQ(Texts(Layout(B + "Ж" + B + "abcdefg", 28)), (std::vector<std::string>{"abc", "defg"}));
  EXPECT_EQ(Texts(Layout("abcdefg", 28)), (std::vector<std::string>{"abcd", "efg"}));
}

TEST(Layout, LeavesTheSurfaceFontAsItWas) {
  for (const std::string &text : {B + "ЖS20 Д0000FF " + B + "a#b", std::string(200, '#') + "x"}) {
    FixedSurface s;
    s.font = {10, fsItalic, 0x00FF00};
    TLineTable t;
    int h = 0;
    int m = 0;
    SFormatTextWord(text, 50, s, t, false, true, h, m);
    EXPECT_EQ(s.font, (TSurfaceFont{10, fsItalic, 0x00FF00}));
  }
}

// --- Drawing ---------------------------------------------------------------------

struct Drawn {
  int x;
  int y;
  std::string text;
  bool operator==(const Drawn &) const = default;
};

void PrintTo(const Drawn &d, std::ostream *os) {
  *os << "(" << d.x << ", " << d.y << ") '" << d.text << "'";
}

std::vector<Drawn> Draw(const std::string &text, const TTextRect &r, int h, int v,
                        FixedSurface &s) {
  TLineTable t;
  int height = 0;
  int m = 0;
  const int n = FormatTextWord(text, r.Right - r.Left, s, t, false, height, m);
  CellOutText(text, r, s, h, v, n, height + 6, t);
  std::vector<Drawn> out;
  for (const auto &d : s.drawn)
    out.push_back({d.x, d.y, d.text});
  return out;
}

struct DrawCase {
  const char *name;
  int hAlign;
  int vAlign;
  std::vector<Drawn> drawn;
};

void PrintTo(const DrawCase &c, std::ostream *os) {
  *os << c.name;
}

class Drawing : public ::testing::TestWithParam<DrawCase> {};

// Rectangle 100..300 x 10..110; "ab" is 12 wide, "cdef" 24, together 26 high
// (32 with the 6 the dialog adds).
TEST_P(Drawing, PutsLinesWhereTheAlignmentSays) {
  FixedSurface s;
  EXPECT_EQ(Draw("ab#cdef", {100, 10, 300, 110}, GetParam().hAlign, GetParam().vAlign, s),
            GetParam().drawn);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Drawing,
    ::testing::Values(DrawCase{"LeftTop", 0, 0, {{100, 10, "ab"}, {100, 23, "cdef"}}},
                      DrawCase{"CentreCentre", 1, 1, {{194, 44, "ab"}, {188, 57, "cdef"}}},
                      DrawCase{"RightBottom", 2, 2, {{288, 78, "ab"}, {276, 91, "cdef"}}}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(Drawing, LineAlignmentLetterOverridesTheDefault) {
  FixedSurface s;
  EXPECT_EQ(Draw(B + "П" + B + "ab#" + B + "Л" + B + "cd#ef", {0, 0, 100, 100}, 1, 0, s),
            (std::vector<Drawn>{{88, 0, "ab"}, {0, 13, "cd"}, {44, 26, "ef"}}));
}

TEST(Drawing, DrawsEachLineInItsFontOverTheSurfaceFont) {
  FixedSurface s;
  s.font = {8, fsBold, 0xFFFFFF}; // the alarm look: bold white
  Draw(B + "К" + B + "a#" + B + "S12 Д0000FF " + B + "b", {0, 0, 100, 100}, 0, 0, s);
  ASSERT_EQ(s.drawn.size(), 2u);
  EXPECT_EQ(s.drawn[0].font, (TSurfaceFont{8, fsItalic, 0xFFFFFF}));
  EXPECT_EQ(s.drawn[1].font, (TSurfaceFont{12, fsBold, 0x0000FF}));
  EXPECT_EQ(s.font, (TSurfaceFont{8, fsBold, 0xFFFFFF}));
}

TEST(Drawing, StopsAtALineThatWouldEndBelowTheRectangle) {
  FixedSurface s;
  TLineTable t;
  int h = 0;
  int m = 0;
  const int n = FormatTextWord("a#b#c", 100, s, t, false, h, m);
  CellOutText("a#b#c", {0, 0, 100, 30}, s, 0, 0, n, h, t);
  ASSERT_EQ(s.drawn.size(), 2u); // the third would end at 39
}

TEST(Drawing, NothingForAnEmptyTextOrNoLines) {
  FixedSurface s;
  TLineTable t;
  CellOutText("", {0, 0, 100, 100}, s, 0, 0, 1, 13, t);
  t[0] = {1, 1, {}, 0};
  CellOutText("a", {0, 0, 100, 100}, s, 0, 0, 0, 13, t);
  EXPECT_TRUE(s.drawn.empty());
}

// --- The fuzz target's harness in the normal build ----------------------------------

std::vector<std::string> LayoutRegressions() {
  const auto dir =
      std::filesystem::path(__FILE__).parent_path() / ".." / ".." / "fuzz" / "layout-regressions";
  std::vector<std::string> out;
  for (const auto &e : std::filesystem::directory_iterator(dir.lexically_normal()))
    if (e.is_regular_file() && e.path().filename() != "README.md") {
      std::ifstream in(e.path(), std::ios::binary);
      out.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
  return out;
}

TEST(LayoutHarness, SeedsAndSavedInputsPassEveryCheck) {
  std::vector<std::string> inputs = fuzzing::LayoutSeeds();
  for (std::string &r : LayoutRegressions())
    inputs.push_back(std::move(r));
  int lines = 0;
  for (const std::string &input : inputs) {
    // A broken rule aborts the test program.
    lines +=
        fuzzing::RunLayoutHarness(reinterpret_cast<const uint8_t *>(input.data()), input.size());
  }
  EXPECT_GT(lines, 2 * static_cast<int>(inputs.size())); // several seeds break into lines
}

} // namespace
