#include "FileKinds.h"

#include <array>
#include <cctype>

namespace {

// Code order; code 4 has no entry.
constexpr std::array<FileKind, 10> Catalogue = {{
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
}};

bool SameLetters(std::string_view a, std::string_view b) {
  if (a.size() != b.size())
    return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(a[i])) !=
        std::toupper(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

} // namespace

std::span<const FileKind> FileKinds() {
  return Catalogue;
}

const FileKind *KindByCode(uint8_t code) {
  for (const FileKind &k : Catalogue)
    if (k.code == code)
      return &k;
  return nullptr;
}

const FileKind *KindByExtension(std::string_view ext) {
  if (!ext.empty() && ext.front() == '.')
    ext.remove_prefix(1);
  if (ext.empty())
    return nullptr;
  for (const FileKind &k : Catalogue)
    if (SameLetters(ext, k.extension))
      return &k;
  return nullptr;
}

bool HasBoib(uint8_t code) {
  return code == KindIMS || code == KindIMD || code == KindIMK;
}

std::string KindCaption(const FileKind &kind) {
  return std::string(kind.description) + " (" + kind.extension + ")";
}
