// Texts of the command line's output: paths and reasons as one line of plain
// output, and as strings a JSON library can take whatever bytes they hold.
#pragma once

#include <cstddef>
#include <string>

// Length of the well-formed UTF-8 sequence that starts at `at` (1 to 4), or 0
// when the byte there starts none: a stray continuation byte, an overlong
// form, a surrogate, a code point beyond U+10FFFF, or a sequence cut short.
size_t Utf8Length(const std::string &s, size_t at);

// `s` as one line of plain output. A text of printable UTF-8 stays as it is;
// one that holds a control character (C0, DEL or C1) or a byte that is not
// UTF-8 is printed in double quotes with C escapes: \n \r \t \\ \" and \xHH
// for every other such byte. So one file is always one line.
std::string OneLine(const std::string &s);

// `s` with every byte that is not part of well-formed UTF-8 written as the
// four characters \xHH, so that a JSON library can escape the rest and the
// line stays valid JSON.
std::string Utf8OrEscaped(const std::string &s);
