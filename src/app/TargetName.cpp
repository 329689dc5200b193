#include "TargetName.h"

#include "Platform.h"

namespace {

bool SameIgnoringAsciiCase(const std::string &a, const std::string &b) {
  if (a.size() != b.size())
    return false;
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  for (size_t i = 0; i < a.size(); ++i)
    if (lower(a[i]) != lower(b[i]))
      return false;
  return true;
}

} // namespace

std::string FileExtension(const std::string &path) {
  const size_t slash = path.find_last_of(platform::Separators);
  const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || dot < nameStart)
    return {};
  return path.substr(dot);
}

TargetChoice CorrectTargetExtension(const std::string &source, const std::string &chosen) {
  const std::string want = FileExtension(source);
  const std::string got = FileExtension(chosen);
  if (SameIgnoringAsciiCase(want, got))
    return {chosen, {}};
  return {chosen.substr(0, chosen.size() - got.size()) + want,
          "Вы изменили расширение файла с " + want + " на " + (got.empty() ? "пусто" : got) +
              "\nРасширение исправлено."};
}
