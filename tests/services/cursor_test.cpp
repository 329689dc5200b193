#include "Cursor.h"

#include "Messages.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

TEST(Cursor, ReadsLittleEndianValuesInOrder) {
  const std::string buf("\x7F"                             // byte
                        "\xFF\xFF"                         // word 65535 (unsigned)
                        "\x78\x56\x34\x12"                 // dword
                        "\xFF\xFF\xFF\xFF"                 // int -1
                        "\x00\x00\x00\x00\x00\x00\xF8\x3F" // double 1.5
                        "\x03\x00"
                        "abc"      // text
                        "\x00\x00" // empty text
                        ,
                        26);
  const char *cur = buf.data();
  const char *end = buf.data() + buf.size();
  EXPECT_EQ(LoadByte(cur, end), 0x7F);
  EXPECT_EQ(LoadWord(cur, end), 65535);
  EXPECT_EQ(LoadDword(cur, end), 0x12345678u);
  EXPECT_EQ(LoadInt(cur, end), -1);
  EXPECT_EQ(LoadDouble(cur, end), 1.5);
  EXPECT_EQ(LoadText(cur, end), "abc");
  EXPECT_EQ(LoadText(cur, end), "");
  EXPECT_EQ(cur, end);
}

TEST(Cursor, NeverReadsPastTheEnd) {
  const std::string buf("\x05\x00"
                        "abcdefgh",
                        10);
  struct Case {
    const char *name;
    size_t avail; // bytes before the end
    std::function<void(const char *&, const char *)> read;
  };
  const Case cases[] = {
      {"LoadByte", 0, [](const char *&c, const char *e) { LoadByte(c, e); }},
      {"LoadWord", 1, [](const char *&c, const char *e) { LoadWord(c, e); }},
      {"LoadDword", 3, [](const char *&c, const char *e) { LoadDword(c, e); }},
      {"LoadInt", 3, [](const char *&c, const char *e) { LoadInt(c, e); }},
      {"LoadDouble", 7, [](const char *&c, const char *e) { LoadDouble(c, e); }},
      {"LoadText length", 1, [](const char *&c, const char *e) { LoadText(c, e); }},
      {"LoadText body", 6, [](const char *&c, const char *e) { LoadText(c, e); }}, // 5 needed
  };
  for (const Case &c : cases) {
    const char *cur = buf.data();
    const char *end = buf.data() + c.avail;
    try {
      c.read(cur, end);
      ADD_FAILURE() << c.name << " read past the end";
    } catch (const ZError &e) {
      EXPECT_EQ(e.Message, CursorOverrunText) << c.name;
      EXPECT_EQ(e.HelpContext, 0) << c.name;
    }
    EXPECT_EQ(cur, buf.data()) << c.name << " moved the cursor";
  }
  const char *cur = buf.data();
  EXPECT_EQ(LoadText(cur, buf.data() + 7), "abcde"); // exactly fits
}

TEST(Cursor, LoadIntNumeric) {
  struct Case {
    std::string text;
    uint64_t value;
    size_t stop; // cursor position afterwards
  };
  const std::string forty = std::string("1234567890") + "1234567890" + "1234567890" + "1234567890";
  const Case cases[] = {
      {"123abc", 123, 3},
      {"abc", 0, 0},
      {"", 0, 0},
      {"007.5", 7, 3},
      {std::string("42\0"
                   "9",
                   4),
       42, 2},                           // stops at a zero byte
      {forty, 5097733592125636885u, 29}, // 29 digits, modulo 2^64
  };
  for (const Case &c : cases) {
    const char *cur = c.text.data();
    EXPECT_EQ(LoadIntNumeric(cur, c.text.data() + c.text.size()), c.value) << c.text;
    EXPECT_EQ(static_cast<size_t>(cur - c.text.data()), c.stop) << c.text;
  }
  const std::string digits = "98765";
  const char *cur = digits.data();
  EXPECT_EQ(LoadIntNumeric(cur, digits.data() + 2), 98u); // bounded by the end
  EXPECT_EQ(cur, digits.data() + 2);
}

TEST(Cursor, UnsignedByteBuffers) {
  const unsigned char buf[] = {0x34, 0x12, 0xFE, 0xFF, 0xFF, 0xFF, 0x01, 0x00, 'z', '1', '2'};
  const unsigned char *cur = buf;
  const unsigned char *end = buf + sizeof buf;
  EXPECT_EQ(LoadWord(cur, end), 0x1234);
  EXPECT_EQ(LoadInt(cur, end), -2);
  EXPECT_EQ(LoadText(cur, end), "z");
  EXPECT_EQ(LoadIntNumeric(cur, end), 12u);
  EXPECT_THROW(LoadByte(cur, end), ZError);
}

} // namespace
