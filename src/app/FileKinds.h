// The catalogue of convertible file kinds and the two edition strings.
//
// A kind code is one byte, 1 to 11; code 4 has no entry (it is never offered,
// the composite conversion passes it to convert a model without its Boib
// record). Code 3 is the composite kind; codes 1, 2 and 11 carry a Boib record.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

// Edition string stamped into every converted file (data bytes, 8 bytes, no terminator).
inline constexpr std::string_view NewEdition = "5-2.10.3";
// The only edition that is converted; logical file 0 must begin with it.
inline constexpr std::string_view SourceEdition = "5-2.10.5";

inline constexpr uint8_t KindIMS = 1;
inline constexpr uint8_t KindIMD = 2;
inline constexpr uint8_t KindComposite = 3; // IMP
inline constexpr uint8_t KindNoBoib = 4;    // model inside a composite, no Boib conversion
inline constexpr uint8_t KindIMK = 11;
inline constexpr uint8_t KindLast = 11;

struct FileKind {
  uint8_t code;
  const char *extension;   // without the dot, upper case, e.g. "IMS"
  const char *description; // UTF-8 program text
};

// The ten offered kinds in code order (1, 2, 3, 5, 6 ... 11).
std::span<const FileKind> FileKinds();

// The entry for a code, or nullptr for 0, 4 and codes above 11.
const FileKind *KindByCode(uint8_t code);

// The entry whose extension equals `ext` (letter case ignored; a leading dot is
// allowed), or nullptr.
const FileKind *KindByExtension(std::string_view ext);

// Kinds whose first record of logical file 1 is a Boib record: 1, 2 and 11.
bool HasBoib(uint8_t code);

// The text of a kind in the kind list: description + " (" + extension + ")".
std::string KindCaption(const FileKind &kind);
