// The conversion engine: the edition check, the per-file driver and the
// conversions of model and composite files from edition 2.10.5 to 2.10.4.
//
// The engine shows nothing itself: messages and questions go through the
// presenter of the messages layer (OutErr, OutUnDefError, ShowMessage, AskYesNo).
// Sources are only read. A target is written under a temporary name in its own
// folder, checked, and takes its final name with one atomic rename; a failed
// conversion leaves no file behind and an existing target untouched. Temporary
// files (the unpacked inner file, the parts of a composite) live in a private
// temporary folder made for each conversion and removed afterwards.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "RecordBuffer.h"

class WFile;
class TempFolder;
class ScopedPlainNames;
struct BoibFieldList;

// What happens when the target of ConvertFile already exists.
enum class ExistingTarget {
  Copy,    // the new file goes to the "-k" name; the existing file stays
  Replace, // the existing file is replaced, without a question, at the final rename
  Ask, // AskYesNo("Заменить файл?\n" + target): Yes replaces, No gives the "-k" name
};

struct ConvertOutcome {
  bool ok = false;    // true when the file was converted
  std::string target; // where the converted file went (the "-k" name when chosen)
};

// Created once by the window or the command line; one conversion at a time.
class Engine {
public:
  Engine();  // creates Rec, initialises the record-buffer pool, builds the Boib field list
  ~Engine(); // releases in reverse: the Boib field list, the pool, Rec last
  Engine(const Engine &) = delete;
  Engine &operator=(const Engine &) = delete;

  // True when `path` is a block file whose logical file 0 begins with
  // "5-2.10.5". Opens the file read-only and reads only that record: a file
  // damaged elsewhere passes, and its conversion reports the damage. Never
  // raises, never shows anything.
  bool IsSourceEdition(const std::string &path);

  // The one road by which a file is converted: the edition gate, the same-file
  // refusal, the decision for an existing target, the target folder and the
  // dispatch by kind (3: composite, any other: model). Shows its messages;
  // never throws.
  ConvertOutcome ConvertFile(const std::string &source, const std::string &target, uint8_t kind,
                             ExistingTarget policy);

  // Converts one model file of kind `kind` (1, 2 and 11 with Boib conversion)
  // into `target`, replacing a file there at the final rename. True = failed
  // (the failure messages have been shown and no target was written).
  bool ConvertModel(const std::string &source, const std::string &target, uint8_t kind);

  // Converts a composite file into `target`. True = failed, as above.
  bool ConvertComposite(const std::string &source, const std::string &target);

  WRec Rec; // the shared record buffer

  // The Boib field list (612 descriptors), built by the constructor.
  const BoibFieldList &BoibFields() const { return *Boib_; }

private:
  // The model conversion into `out`, with its temporary files in `work`; raises on failure.
  void ModelSteps(const std::string &source, const std::string &out, uint8_t kind,
                  const TempFolder &work);
  // One part of a composite: converted into `out` inside `work`; on failure shows
  // the failure message for `label` (the part's stored name) and returns true.
  bool ConvertPart(const std::string &part, const std::string &out, uint8_t kind,
                   const TempFolder &work, const std::string &label);

  // The converter loads no aliases: every name it is given is a real path,
  // also one with "#" in it.
  std::unique_ptr<ScopedPlainNames> PlainNames_;
  std::unique_ptr<BoibFieldList> Boib_;
};

// The "-k" name of a target: "-k" before the last dot of the file name (never
// in a folder name); a file name without a dot gets "-k" appended.
std::string KName(const std::string &target);

// Writes the plain file `plainPath` into logical file n of f, which the caller
// has created with WCreat_file and not yet closed, in records of at most 10000
// bytes; the first record has the flag byte 1, the others 0. On failure shows
// "Неопределенная ошибка при создании файлов ИМСП", commits what was written
// and returns true. On success logical file n is left open for the caller.
bool EmbedFile(WFile &f, uint32_t n, const std::string &plainPath);

// Replaces logical file 0 of f by one record holding NewEdition.
void StampEdition(WFile &f);

// Appends the 8-byte checksum trailer (ASumKs over 512-byte blocks: sum, then
// carry count, little-endian) to the file at `path`.
void AppendChecksum(const std::string &path);
