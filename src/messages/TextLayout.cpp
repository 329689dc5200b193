#include "TextLayout.h"

#include <algorithm>
#include <vector>

namespace {

constexpr char32_t kHash = U'#';
constexpr char32_t kEtx = 0x03; // ends a line whatever the break character
constexpr char kReplacement[] = "\xEF\xBF\xBD";

// A text as characters: the code points and, for each, its bytes in a valid
// UTF-8 copy of the text. Positions are 1-based as in the line table.
class Chars {
public:
  explicit Chars(const std::string &text) { Decode(text); }

  int Count() const { return static_cast<int>(cp_.size()); }
  char32_t At(int pos) const { return cp_[static_cast<size_t>(pos - 1)]; }
  bool IsDigit(int pos) const {
    return pos >= 1 && pos <= Count() && At(pos) >= U'0' && At(pos) <= U'9';
  }
  // `len` characters from `start`, cut to the text.
  std::string_view Slice(int start, int len) const {
    const int n = Count();
    const int first = std::clamp(start, 1, n + 1);
    const int last = std::clamp(start + len, first, n + 1); // one past
    return std::string_view(utf8_).substr(offset_[first - 1],
                                          offset_[last - 1] - offset_[first - 1]);
  }

private:
  std::u32string cp_;
  std::string utf8_;
  std::vector<size_t> offset_; // offset_[i]: start of character i + 1; one more at the end

  // Length of the UTF-8 sequence at text[i] and its code point; 0 when the
  // byte does not start a valid, shortest-form sequence.
  static int Sequence(const std::string &text, size_t i, char32_t &cp) {
    const auto b = static_cast<unsigned char>(text[i]);
    int len = 0;
    char32_t min = 0;
    if (b < 0x80) {
      cp = b;
      return 1;
    } else if (b >= 0xC2 && b <= 0xDF) {
      len = 2, cp = b & 0x1Fu, min = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
      len = 3, cp = b & 0x0Fu, min = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
      len = 4, cp = b & 0x07u, min = 0x10000;
    } else {
      return 0;
    }
    if (i + static_cast<size_t>(len) > text.size())
      return 0;
    for (int k = 1; k < len; ++k) {
      const auto c = static_cast<unsigned char>(text[i + static_cast<size_t>(k)]);
      if ((c & 0xC0u) != 0x80u)
        return 0;
      cp = (cp << 6) | (c & 0x3Fu);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
      return 0;
    return len;
  }

  void Decode(const std::string &text) {
    cp_.reserve(text.size());
    utf8_.reserve(text.size());
    offset_.reserve(text.size() + 1);
    for (size_t i = 0; i < text.size();) {
      char32_t cp = 0;
      const int len = Sequence(text, i, cp);
      offset_.push_back(utf8_.size());
      if (len == 0) {
        cp_.push_back(0xFFFD);
        utf8_ += kReplacement;
        ++i;
      } else {
        cp_.push_back(cp);
        utf8_.append(text, i, static_cast<size_t>(len));
        i += static_cast<size_t>(len);
      }
    }
    offset_.push_back(utf8_.size());
  }
};

struct Block {
  bool present = false;
  TLineFormat format;
  uint32_t color = 0;
};

int HexValue(char32_t c) {
  if (c >= U'0' && c <= U'9')
    return static_cast<int>(c - U'0');
  if (c >= U'a' && c <= U'f')
    return static_cast<int>(c - U'a') + 10;
  if (c >= U'A' && c <= U'F')
    return static_cast<int>(c - U'A') + 10;
  return -1;
}

// Reads the digits at pos in `base` (10 or 16), then consumes one more
// character whatever it is. The value saturates instead of overflowing.
uint32_t ReadNumber(const Chars &t, int &pos, int base) {
  uint64_t value = 0;
  while (pos <= t.Count()) {
    const int d = HexValue(t.At(pos));
    if (d < 0 || d >= base)
      break;
    value = std::min<uint64_t>(value * static_cast<uint64_t>(base) + static_cast<uint64_t>(d),
                               UINT32_MAX);
    ++pos;
  }
  if (pos <= t.Count())
    ++pos; // the separator
  return static_cast<uint32_t>(value);
}

// Reads the command block whose 0x01 is at pos and moves pos past what was
// read. A character outside the table cancels the whole block and stays, with
// the rest of the block, as text.
Block ReadBlock(const Chars &t, int &pos) {
  Block b;
  b.present = true;
  int p = pos + 1;
  while (p <= t.Count()) {
    const char32_t c = t.At(p);
    if (c == WDelimInt) {
      ++p;
      break;
    }
    ++p;
    switch (c) {
    case SpLeft:
      b.format.Align |= TLineFormat::AlignLeft;
      break;
    case SpCentr:
      b.format.Align |= TLineFormat::AlignCentre;
      break;
    case SpRight:
      b.format.Align |= TLineFormat::AlignRight;
      break;
    case SpBold:
      b.format.Style |= fsBold;
      break;
    case SpItal:
      b.format.Style |= fsItalic;
      break;
    case SpUnder:
      b.format.Style |= fsUnderline;
      break;
    case SpStrk:
      b.format.Style |= fsStrikeOut;
      break;
    case SpFull:
      b.format.Full = true;
      break;
    case SpSize: {
      const uint32_t size = std::min<uint32_t>(ReadNumber(t, p, 10), MaxBlockSize);
      b.format.Size = static_cast<int>(size); // 0: no size
      break;
    }
    case SpColor:
      b.color = ReadNumber(t, p, 16) & 0xFFFFFFu;
      break;
    default:
      b.format = {};
      b.color = 0;
      pos = p - 1;
      return b;
    }
  }
  pos = p;
  return b;
}

// Sets the surface's font to `saved` changed by the line's format.
void ApplyFormat(TextSurface &canvas, const TSurfaceFont &saved, const TLineFormat &format,
                 uint32_t color) {
  TSurfaceFont font = saved;
  if (color != 0)
    font.Color = color;
  if (format.Size != 0)
    font.Size = format.Size;
  if (format.Style != 0)
    font.Style = format.Style;
  canvas.SetFont(font);
}

// A comma between two digits is a decimal comma and never breaks a line.
bool DecimalComma(const Chars &t, int pos) {
  return t.IsDigit(pos - 1) && t.IsDigit(pos + 1);
}

// Where a line ended: the start of the next line, and whether the line ended
// because its width reached the available width.
struct LineEnd {
  int next = 0;
  bool fits = true;
};

// Grows the line that starts at `start` one character at a time, measuring
// it each time, until a character does not fit, a break character ends it or
// the text ends.

LineEnd GrowLine(const Chars &t, int start, int width, TextSurface &canvas, bool firstLine,
                 bool keepBreak, char32_t breakChar) {
  const int n = t.Count();
  int lastBlank = 0;
  int lastComma = 0;
  for (int j = start; j <= n; ++j) {
    const char32_t c = t.At(j);
    if (j != start && c == breakChar)
      return {keepBreak ? j + 1 : j, true};
    if (j != start && c == kEtx)
      return {j, true};
    if (c == U' ')
      lastBlank = j;
    if (c == U',' && !DecimalComma(t, j))
      lastComma = j;
    const int w = canvas.TextWidth(t.Slice(start, j - start + 1));
    // Reaching the width exactly does not fit, except for a whole text that
    // ends on its first line.
    const bool fits = w < width || (firstLine && j == n && w == width);
    if (!fits) {
      const int after = std::max(lastBlank, lastComma);
      return {after == 0 ? j : after + 1, false};
    }
  }
  return {n + 1, true}; // the rest of the text
}

} // namespace

int LineAlignment(const TLineFormat &f, int byDefault) {
  if (f.Align & TLineFormat::AlignLeft)
    return 0;
  if (f.Align & TLineFormat::AlignCentre)
    return 1;
  if (f.Align & TLineFormat::AlignRight)
    return 2;
  return byDefault;
}

int CharacterCount(const std::string &text) {
  return Chars(text).Count();
}

std::string LineText(const std::string &text, const TLineInfo &line) {
  return std::string(Chars(text).Slice(line.Start, line.Len));
}

std::vector<std::string> LineTexts(const std::string &text, const TLineTable &lines, int count) {
  const Chars t(text);
  std::vector<std::string> out;
  for (int i = 0; i < std::clamp(count, 0, MaxTextLines); ++i)
    out.emplace_back(
        t.Slice(lines[static_cast<size_t>(i)].Start, lines[static_cast<size_t>(i)].Len));
  return out;
}

int FormatTextWord(const std::string &text, int width, TextSurface &canvas, TLineTable &lines,
                   bool keepBreak, int &textHeight, int &maxLineHeight) {
  return SFormatTextWord(text, width, canvas, lines, keepBreak, true, textHeight, maxLineHeight);
}

int SFormatTextWord(const std::string &text, int width, TextSurface &canvas, TLineTable &lines,
                    bool keepBreak, bool hashBreak, int &textHeight, int &maxLineHeight) {
  textHeight = 0;
  maxLineHeight = 0;
  if (text.empty()) {
    lines[0] = TLineInfo{1, 0, {}, 0};
    return 1;
  }
  const Chars t(text);
  const int n = t.Count();
  const char32_t breakChar = hashBreak ? kHash : kEtx;
  const TSurfaceFont saved = canvas.Font();
  bool persist = false;
  TLineFormat prevFormat;
  uint32_t prevColor = 0;
  int count = 0;
  int pos = 1;
  while (count < MaxTextLines) {
    if (pos <= n && t.At(pos) == kHash)
      ++pos;
    Block block;
    if (pos <= n && t.At(pos) == WDelimInt)
      block = ReadBlock(t, pos);
    // A block with SpFull carries on to the following block-less lines.
    if (count == 0 || block.present) {
      persist = block.present && block.format.Full;
    } else if (persist) {
      block.format = prevFormat;
      block.color = prevColor;
    }
    prevFormat = block.format;
    prevColor = block.color;

    ApplyFormat(canvas, saved, block.format, block.color);
    const int h = canvas.HeightOfW();
    textHeight += h;
    maxLineHeight = std::max(maxLineHeight, h);

    LineEnd end = GrowLine(t, pos, width, canvas, count == 0, keepBreak, breakChar);
    // The last line never holds a single character left over by a width
    // break: the line before gives it a companion. When that would empty the
    // line before, the last character gets a line of its own instead.
    bool lastAlone = false;
    if (!end.fits && end.next == n) {
      if (n - 1 > pos)
        end.next = n - 1;
      else
        lastAlone = true;
    }
    lines[static_cast<size_t>(count)] = TLineInfo{pos, end.next - pos, block.format, block.color};
    ++count;
    if (end.next > n || (end.next == n && !lastAlone))
      break;
    pos = end.next;
  }
  canvas.SetFont(saved);
  return count;
}

void CellOutText(const std::string &text, const TTextRect &rect, TextSurface &canvas, int hAlign,
                 int vAlign, int lineCount, int textHeight, const TLineTable &lines) {
  if (text.empty() || lineCount <= 0)
    return;
  lineCount = std::min(lineCount, MaxTextLines);
  const Chars t(text);
  int y = rect.Top;
  if (vAlign == 1)
    y += (rect.Bottom - rect.Top - textHeight) / 2;
  else if (vAlign == 2)
    y = rect.Bottom - textHeight;
  const TSurfaceFont saved = canvas.Font();
  for (int i = 0; i < lineCount; ++i) {
    const TLineInfo &line = lines[static_cast<size_t>(i)];
    ApplyFormat(canvas, saved, line.Format, line.Color);
    const int h = canvas.HeightOfW();
    if (y + h > rect.Bottom)
      break;
    const std::string_view s = t.Slice(line.Start, line.Len);
    const int w = canvas.TextWidth(s);
    int x = rect.Left;
    const int align = LineAlignment(line.Format, hAlign);
    if (align == 1)
      x += (rect.Right - rect.Left - w) / 2;
    else if (align == 2)
      x += rect.Right - rect.Left - w;
    canvas.TextOut(x, y, s);
    y += h;
  }
  canvas.SetFont(saved);
}
