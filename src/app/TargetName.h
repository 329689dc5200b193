// The target name chosen on the single-file page keeps the source's
// extension: a converted file is only ever opened under its kind's extension.
#pragma once

#include <string>

// The extension of the file name of `path`: from its last "." on, the dot
// included; empty when the file name has no dot. Dots in folder names never count.
std::string FileExtension(const std::string &path);

struct TargetChoice {
  std::string path;    // the chosen name, with the source's extension
  std::string message; // empty when nothing was corrected
};

// Compares the extensions of `source` and `chosen` (ASCII letter case
// ignored). When they differ, the chosen name's extension is replaced by the
// source's (appended when it has none) and the message says so: "Вы изменили
// расширение файла с " + source extension + " на " + chosen extension +
// "\nРасширение исправлено.", an empty chosen extension written "пусто".
TargetChoice CorrectTargetExtension(const std::string &source, const std::string &chosen);
