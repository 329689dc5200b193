#include <gtest/gtest.h>

#include <set>

#include "FileKinds.h"

namespace {

struct KindRow {
  uint8_t code;
  const char *ext;
  const char *description;
};

const KindRow Expected[] = {
    {1, "IMS", "Информационная Модель Сметной Стоимости"},
    {2, "IMD", "Информационная Модель Договорной цены"},
    {3, "IMP", "Информационная Модель Стоимости Подряда"},
    {5, "BNP", "Блок настройки строительно - монтажных и горных работ"},
    {6, "BNPP", "Блок настройки пусконаладочных работ"},
    {7, "BNPR", "Блок настройки для ремонтно-строительных работ"},
    {8, "BNPM", "Блоки настройки для ремонтных работ на объектах Госжилкоммунхоза"},
    {9, "RGF", "Файл региональных цен"},
    {10, "NSF", "Файл с НСИ Пользователя"},
    {11, "IMK", "Файл КП"},
};

TEST(FileKinds, CatalogueHoldsTheTenKindsInCodeOrder) {
  const auto kinds = FileKinds();
  ASSERT_EQ(kinds.size(), std::size(Expected));
  for (size_t i = 0; i < kinds.size(); ++i) {
    SCOPED_TRACE(Expected[i].ext);
    EXPECT_EQ(kinds[i].code, Expected[i].code);
    EXPECT_STREQ(kinds[i].extension, Expected[i].ext);
    EXPECT_STREQ(kinds[i].description, Expected[i].description);
    ASSERT_NE(KindByCode(Expected[i].code), nullptr);
    EXPECT_EQ(KindByCode(Expected[i].code), &kinds[i]);
  }
}

TEST(FileKinds, CodesWithoutEntry) {
  for (uint8_t code : {0, 4, 12, 200, 255})
    EXPECT_EQ(KindByCode(code), nullptr) << int(code);
}

TEST(FileKinds, LookupByExtensionIgnoresLetterCase) {
  struct Case {
    const char *ext;
    int code; // 0: none
  } cases[] = {{"IMS", 1},  {"ims", 1}, {".Imp", 3}, {"bnpp", 6}, {"BNP", 5},  {"BnPm", 8},
               {"imk", 11}, {"", 0},    {".", 0},    {"IM", 0},   {"IMSX", 0}, {"BNPX", 0}};
  for (const Case &c : cases) {
    const FileKind *k = KindByExtension(c.ext);
    if (c.code == 0)
      EXPECT_EQ(k, nullptr) << c.ext;
    else
      ASSERT_TRUE(k != nullptr && k->code == c.code) << c.ext;
  }
}

TEST(FileKinds, BoibKindsAndCaptions) {
  std::set<int> boib;
  for (int code = 0; code <= 255; ++code)
    if (HasBoib(static_cast<uint8_t>(code)))
      boib.insert(code);
  EXPECT_EQ(boib, (std::set<int>{1, 2, 11}));
  EXPECT_EQ(KindCaption(*KindByCode(11)), "Файл КП (IMK)");
  EXPECT_EQ(KindCaption(*KindByCode(1)), "Информационная Модель Сметной Стоимости (IMS)");
}

TEST(FileKinds, EditionStrings) {
  EXPECT_EQ(NewEdition, std::string_view("5-2.10.3", 8));
  EXPECT_EQ(SourceEdition, std::string_view("5-2.10.5", 8));
}

} // namespace
