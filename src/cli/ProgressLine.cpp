#include "ProgressLine.h"

#include <cstdio>

#include "OutputText.h"

namespace {

const char *const EraseLine = "\r\x1b[K";

// Display columns of printable UTF-8: one per code point.
size_t Width(const std::string &s) {
  size_t n = 0;
  for (unsigned char c : s)
    n += (c & 0xC0) != 0x80;
  return n;
}

// The last `width` columns of s, cut at a code point, after "…".
std::string Tail(const std::string &s, size_t width) {
  if (Width(s) <= width)
    return s;
  if (width == 0)
    return {};
  size_t keep = width - 1, at = s.size();
  while (at > 0 && keep > 0) {
    --at;
    if ((static_cast<unsigned char>(s[at]) & 0xC0) != 0x80)
      --keep;
  }
  return "\u2026" + s.substr(at);
}

// The first `width` columns of s, cut at a code point.
std::string Head(const std::string &s, size_t width) {
  size_t at = 0, n = 0;
  while (at < s.size() && (n < width || (static_cast<unsigned char>(s[at]) & 0xC0) == 0x80)) {
    n += (static_cast<unsigned char>(s[at]) & 0xC0) != 0x80;
    ++at;
  }
  return s.substr(0, at);
}

} // namespace

std::string ProgressLine::Text(size_t done, size_t total, double megabytesPerSecond,
                               const std::string &file, int columns) {
  char head[96];
  if (megabytesPerSecond >= 0)
    std::snprintf(head, sizeof head, "%zu/%zu  %.1f MB/s  ", done, total, megabytesPerSecond);
  else
    std::snprintf(head, sizeof head, "%zu/%zu  ", done, total);
  const size_t room = columns > 1 ? static_cast<size_t>(columns) - 1 : 0;
  const std::string h = Head(head, room); // a narrow terminal keeps the counts
  return h + Tail(OneLine(file), room - Width(h));
}

void ProgressLine::Start(const std::string &file, size_t index, size_t total) {
  if (Columns <= 0)
    return;
  const auto now = std::chrono::steady_clock::now();
  if (!Began) {
    Began = true;
    Begin = now;
  }
  const double seconds = std::chrono::duration<double>(now - Begin).count();
  // No speed before there is anything to measure it by.
  const double speed = Bytes > 0 && seconds > 0 ? Bytes / seconds / 1e6 : -1;
  Err << EraseLine << Text(index, total, speed, file, Columns) << std::flush;
  Shown = true;
}

void ProgressLine::Done(uint64_t bytes) {
  Bytes += bytes;
}

void ProgressLine::Hide() {
  if (!Shown)
    return;
  Err << EraseLine << std::flush;
  Shown = false;
}
