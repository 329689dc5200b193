// A drawing surface of fixed metrics for the layout's tests and its fuzz
// target: every character is Size * 3 / 4 pixels wide (one more when bold),
// the letter "W" is Size + 5 pixels high, and every text drawn is recorded.
// A text handed over that is not valid UTF-8 is counted as a fault.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "TextLayout.h"

class FixedSurface : public TextSurface {
public:
  struct Drawn {
    int x = 0;
    int y = 0;
    std::string text;
    TSurfaceFont font;
  };

  TSurfaceFont font;
  std::vector<Drawn> drawn;
  int invalidTexts = 0; // texts that were not valid UTF-8

  static int CharWidth(const TSurfaceFont &f) {
    return f.Size * 3 / 4 + ((f.Style & fsBold) ? 1 : 0);
  }
  static int LineHeight(const TSurfaceFont &f) { return f.Size + 5; }

  TSurfaceFont Font() const override { return font; }
  void SetFont(const TSurfaceFont &f) override { font = f; }
  int TextWidth(std::string_view text) override { return Characters(text) * CharWidth(font); }
  int HeightOfW() override { return LineHeight(font); }
  void TextOut(int x, int y, std::string_view text) override {
    Characters(text);
    drawn.push_back({x, y, std::string(text), font});
  }

  // Code points of valid UTF-8; counts a fault otherwise.
  int Characters(std::string_view text) {
    int count = 0;
    for (size_t i = 0; i < text.size();) {
      const auto b = static_cast<unsigned char>(text[i]);
      const size_t len = b < 0x80                 ? 1
                         : b >= 0xC2 && b <= 0xDF ? 2
                         : b >= 0xE0 && b <= 0xEF ? 3
                         : b >= 0xF0 && b <= 0xF4 ? 4
                                                  : 0;
      bool ok = len != 0 && i + len <= text.size();
      for (size_t k = 1; ok && k < len; ++k)
        ok = (static_cast<unsigned char>(text[i + k]) & 0xC0u) == 0x80u;
      if (!ok) {
        ++invalidTexts;
        return count;
      }
      i += len;
      ++count;
    }
    return count;
  }
};
