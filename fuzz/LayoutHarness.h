// The text-layout fuzz target's harness, shared with the test that runs its
// seeds in the normal build. The input chooses a width, the flags and a
// message number; the rest is a template and an argument text for creat_msg.
// The raw bytes and the composed message are laid out and drawn on a surface
// of fixed metrics, and every result is checked; a broken rule aborts.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "BilingualText.h"
#include "FixedSurface.h"
#include "Messages.h"
#include "TextLayout.h"

namespace fuzzing {

[[noreturn]] inline void LayoutFault(const char *what, const std::string &text) {
  std::fprintf(stderr, "layout harness: %s (text of %zu bytes)\n", what, text.size());
  std::abort();
}

struct LayoutInput {
  int width = 0;
  bool keepBreak = false;
  bool hashBreak = true;
  bool boldFont = false;
  bool russian = false;
  int hAlign = 0;
  int vAlign = 0;
  int32_t number = 0;
  std::string templ; // what the loader hook answers
  std::string args;
  std::string raw; // everything after the header
};

constexpr size_t kLayoutHeader = 5;

// Bytes 0-1 width (-16 to 623), byte 2 flags, bytes 3-4 the message number
// (-200 to 3076, so that every range of creat_msg is met); the rest up to the
// first zero byte is the template, after it the arguments.
inline LayoutInput ParseLayoutInput(const uint8_t *data, size_t size) {
  LayoutInput in;
  uint8_t head[kLayoutHeader] = {};
  std::copy(data, data + std::min(size, kLayoutHeader), head);
  in.width = static_cast<int>((head[0] | head[1] << 8) % 640) - 16;
  in.keepBreak = head[2] & 1;
  in.hashBreak = !(head[2] & 2);
  in.boldFont = head[2] & 4;
  in.russian = head[2] & 8;
  in.hAlign = (head[2] >> 4) & 3;
  in.vAlign = (head[2] >> 6) & 3;
  in.number = static_cast<int32_t>((head[3] | head[4] << 8) % 3277) - 200;
  if (size > kLayoutHeader)
    in.raw.assign(reinterpret_cast<const char *>(data) + kLayoutHeader, size - kLayoutHeader);
  const size_t zero = in.raw.find('\0');
  in.templ = in.raw.substr(0, zero);
  in.args = zero == std::string::npos ? std::string() : in.raw.substr(zero + 1);
  return in;
}

// Lays `text` out and draws it; checks the line table, the heights, the font
// and what was drawn. Returns the number of lines.
inline int CheckLayout(const std::string &text, const LayoutInput &in) {
  FixedSurface s;
  s.font = TSurfaceFont{8, static_cast<uint8_t>(in.boldFont ? fsBold : 0), 0x123456};
  const TSurfaceFont start = s.font;
  TLineTable lines;
  int textHeight = -1;
  int maxHeight = -1;
  const int count =
      SFormatTextWord(text, in.width, s, lines, in.keepBreak, in.hashBreak, textHeight, maxHeight);
  if (count < 1 || count > MaxTextLines)
    LayoutFault("line count out of range", text);
  if (!(s.font == start))
    LayoutFault("layout left the font changed", text);
  const int n = CharacterCount(text);
  int sum = 0;
  int largest = 0;
  int next = 1;
  const std::vector<std::string> lineTexts = LineTexts(text, lines, count);
  std::string joined;
  for (int k = 0; k < count; ++k) {
    const TLineInfo &l = lines[static_cast<size_t>(k)];
    if (l.Start < next || l.Len < 0 || l.Start + l.Len - 1 > n)
      LayoutFault("line outside the text or overlapping the one before", text);
    next = l.Start + l.Len;
    TSurfaceFont f = start;
    if (l.Format.Size != 0)
      f.Size = l.Format.Size;
    if (l.Format.Size > MaxBlockSize)
      LayoutFault("font size above the limit", text);
    sum += FixedSurface::LineHeight(f);
    largest = std::max(largest, FixedSurface::LineHeight(f));
    joined += lineTexts[static_cast<size_t>(k)];
  }
  if (text.empty() ? textHeight != 0 || maxHeight != 0 : textHeight != sum || maxHeight != largest)
    LayoutFault("heights differ from the lines", text);

  // Without breaks and blocks, and wide enough for any one character,
  // nothing may be lost: the lines together are the text.
  const bool plain = text.find_first_of(std::string("#\x01\x03", 3)) == std::string::npos;
  if (plain && count < MaxTextLines && in.width > FixedSurface::CharWidth({8, fsBold, 0})) {
    if (joined != LineText(text, TLineInfo{1, n, {}, 0}))
      LayoutFault("characters lost", text);
    if (n * FixedSurface::CharWidth(start) < in.width && count != 1)
      LayoutFault("a text that fits was broken", text);
  }
  if (s.invalidTexts != 0)
    LayoutFault("surface got a text that is not UTF-8", text);

  const TTextRect rect{10, 5, 10 + std::max(in.width, 0), 5 + textHeight + 6};
  CellOutText(text, rect, s, in.hAlign, in.vAlign, count, textHeight + 6, lines);
  if (!(s.font == start))
    LayoutFault("drawing left the font changed", text);
  if (s.invalidTexts != 0)
    LayoutFault("surface got a text that is not UTF-8", text);
  if (s.drawn.size() != (text.empty() ? 0u : static_cast<size_t>(count)))
    LayoutFault("not every line drawn in a rectangle of the text's height", text);
  for (size_t k = 0; k < s.drawn.size(); ++k) {
    const FixedSurface::Drawn &d = s.drawn[k];
    const TLineInfo &l = lines[k];
    if (d.text != lineTexts[k])
      LayoutFault("drawn text differs from its line", text);
    if (d.y < rect.Top || d.y + FixedSurface::LineHeight(d.font) > rect.Bottom)
      LayoutFault("line drawn outside the rectangle", text);
    const int w = s.Characters(d.text) * FixedSurface::CharWidth(d.font);
    const int align =
        in.hAlign == 3 ? LineAlignment(l.Format, 0) : LineAlignment(l.Format, in.hAlign);
    const int left = d.x - rect.Left;
    const int right = rect.Right - d.x - w;
    if ((align == 0 && left != 0) || (align == 2 && right != 0) ||
        (align == 1 && std::abs(left - right) > 1))
      LayoutFault("line not where its alignment puts it", text);
  }
  return count;
}

// An input of the harness: width, flags, number, template, zero, arguments.
inline std::string LayoutSeed(int width, uint8_t flags, int32_t number, const std::string &templ,
                              const std::string &args) {
  const unsigned w = static_cast<unsigned>(width + 16);
  const unsigned m = static_cast<unsigned>(number + 200);
  std::string s{static_cast<char>(w & 0xFF), static_cast<char>(w >> 8), static_cast<char>(flags),
                static_cast<char>(m & 0xFF), static_cast<char>(m >> 8)};
  return s + templ + std::string(1, '\0') + args;
}

// The seed corpus: the dialog's width, message texts of every range, command
// blocks, breaks, commas, and one long text.
inline std::vector<std::string> LayoutSeeds() {
  std::string words;
  for (int i = 0; i < 120; ++i)
    words += "слово" + std::to_string(i) + (i % 7 == 0 ? ", " : " ");
  return {
      LayoutSeed(246, 0x10, 2001, "Файл $ не знайдено у теці $", "C:\\Кошториси\\obj.ims|C:\\"),
      LayoutSeed(246, 0x10, 11, "", "a|b|c"),
      LayoutSeed(246, 0x18, 33, "", "C:\\dir\\x.imd|5-2.10.4"),
      LayoutSeed(246, 0x10, 99, "", "Файл $ не найден|C:\\a"),
      LayoutSeed(246, 0x10, 0, "\x01ЖS12 Ц\x01Заголовок#текст 1,5 и 2, a,b", ""),
      LayoutSeed(200, 0x30, 0,
                 "\x01ЖFД0000FF \x01"
                 "a#b#c\x01Л\x01"
                 "d#\x01ЖX\x01"
                 "e",
                 ""),
      LayoutSeed(120, 0x12, 0,
                 "AB\x03"
                 "CD#EF\x03",
                 ""),
      LayoutSeed(80, 0x01, 0, "AB#CD##EF#", ""),
      LayoutSeed(246, 0x14, 0, "~Ліворуч#текст", ""),
      LayoutSeed(246, 0x10, 2000, words, "x"),
      LayoutSeed(3, 0x00, 0, "abc", ""),
  };
}

// Runs the raw bytes and the message composed from them through the checks;
// returns the number of lines of both.
inline int RunLayoutHarness(const uint8_t *data, size_t size) {
  const LayoutInput in = ParseLayoutInput(data, size);
  const int rawLines = CheckLayout(in.raw, in);
  const unsigned char savedLang = Cfg[CfgIfaceLangPos];
  Cfg[CfgIfaceLangPos] = in.russian ? 1 : 0;
  cLoadMsg = [&in](uint16_t, bool, int) { return in.templ; };
  const std::string message = creat_msg(in.args, in.number);
  cLoadMsg = nullptr;
  Cfg[CfgIfaceLangPos] = savedLang;
  return rawLines + CheckLayout(message, in);
}

} // namespace fuzzing
