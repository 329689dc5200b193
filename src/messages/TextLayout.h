// Formatted text layout: breaks a message text into lines that fit a pixel
// width on a drawing surface (FormatTextWord) and draws those lines into a
// rectangle with alignment (CellOutText). "#" breaks a line; a command block
// between two bytes 0x01 at the start of a line sets its alignment, font
// style, size and colour. Texts are UTF-8 and every position counts
// characters, not bytes; bytes that are not UTF-8 count as one character
// each and are measured and drawn as U+FFFD.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// --- Drawing surface ----------------------------------------------------------

enum TFontStyle : uint8_t {
  fsBold = 1,
  fsItalic = 2,
  fsUnderline = 4,
  fsStrikeOut = 8,
};

// The font a surface draws with: size in points, TFontStyle bits, and the
// colour as a 24-bit value with blue in the high byte and red in the low one.
struct TSurfaceFont {
  int Size = 8;
  uint8_t Style = 0;
  uint32_t Color = 0;
  bool operator==(const TSurfaceFont &) const = default;
};

// What the layout needs of a surface. The window implements it over a
// QPainter; tests and the fuzzer over fixed metrics. Texts are valid UTF-8.
class TextSurface {
public:
  virtual ~TextSurface() = default;
  virtual TSurfaceFont Font() const = 0;
  virtual void SetFont(const TSurfaceFont &font) = 0;
  virtual int TextWidth(std::string_view text) = 0;
  virtual int HeightOfW() = 0; // the height of the letter "W"
  virtual void TextOut(int x, int y, std::string_view text) = 0;
};

// --- Command blocks -------------------------------------------------------------

constexpr char32_t WDelimInt = 0x01; // opens and closes a command block
constexpr char32_t SpLeft = U'Л';
constexpr char32_t SpCentr = U'Ц';
constexpr char32_t SpRight = U'П';
constexpr char32_t SpBold = U'Ж';
constexpr char32_t SpItal = U'К';
constexpr char32_t SpUnder = U'Ч';
constexpr char32_t SpStrk = U'Z';  // Latin
constexpr char32_t SpSize = U'S';  // Latin; decimal points follow
constexpr char32_t SpColor = U'Д'; // hexadecimal colour value follows
constexpr char32_t SpFull = U'F';  // Latin; the block carries on to block-less lines

// A larger size in a block is taken as this many points, so that a stray
// "S99999" in a file name cannot ask the surface for a giant font.
constexpr int MaxBlockSize = 144;

// The format of one line as its command block gave it.
struct TLineFormat {
  enum : uint8_t { AlignLeft = 1, AlignCentre = 2, AlignRight = 4 };
  uint8_t Align = 0; // alignment letters met
  uint8_t Style = 0; // TFontStyle bits named by the block
  int Size = 0;      // points; 0 none
  bool Full = false; // SpFull
  bool operator==(const TLineFormat &) const = default;
};

// The line's alignment: left wins over centre and centre over right; without
// a letter, `byDefault` (0 left, 1 centre, 2 right).
int LineAlignment(const TLineFormat &f, int byDefault);

// --- Layout and drawing -----------------------------------------------------------

constexpr int MaxTextLines = 100;

struct TLineInfo {
  int Start = 0; // 1-based character position of the line's first character
  int Len = 0;   // characters
  TLineFormat Format;
  uint32_t Color = 0; // 0 none
  bool operator==(const TLineInfo &) const = default;
};
using TLineTable = std::array<TLineInfo, MaxTextLines>;

// Lays `text` out in lines of less than `width` pixels with "#" as the line
// break; returns the number of lines (1 to 100) and gives the sum of the line
// heights and the largest of them. The surface's font is left as it was.
int FormatTextWord(const std::string &text, int width, TextSurface &canvas, TLineTable &lines,
                   bool keepBreak, int &textHeight, int &maxLineHeight);
// The same with the byte 0x03 as the line break when hashBreak is false.
// With keepBreak a line ends just after its break character and holds it.
int SFormatTextWord(const std::string &text, int width, TextSurface &canvas, TLineTable &lines,
                    bool keepBreak, bool hashBreak, int &textHeight, int &maxLineHeight);

// The number of characters of a text as the layout counts them, the
// characters of one line of its table as valid UTF-8, and those of the first
// `count` lines.
int CharacterCount(const std::string &text);
std::string LineText(const std::string &text, const TLineInfo &line);
std::vector<std::string> LineTexts(const std::string &text, const TLineTable &lines, int count);

struct TTextRect {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;
};

// Draws the first `lineCount` lines of the table into `rect`. Alignments: 0
// left/top, 1 centre, 2 right/bottom; a line's own alignment letter overrides
// the horizontal one. Lines that would end below the rectangle are not drawn.
void CellOutText(const std::string &text, const TTextRect &rect, TextSurface &canvas, int hAlign,
                 int vAlign, int lineCount, int textHeight, const TLineTable &lines);
