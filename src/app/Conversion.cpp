#include "Conversion.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

#include "BilingualText.h"
#include "BlockFile.h"
#include "BlockFileUtils.h"
#include "BoibRecord.h"
#include "Checksum.h"
#include "CompactWriter.h"
#include "Cursor.h"
#include "FileKinds.h"
#include "Messages.h"
#include "PathAliases.h"
#include "PlainFile.h"
#include "Platform.h"
#include "WorkFiles.h"

namespace {

// Block size of the checksum trailer; part of the format, since ASumKs drops
// the carry between calls.
constexpr int ChecksumBlock = 512;
constexpr int TrailerSize = 4 + 4; // sum, carry count
// Delimiter of the stream of stored model names in logical file 1 of a composite.
constexpr char Sp2[] = "\x02";

const std::string SelfMessage =
    "Файлы \"Откуда\" и \"Куда\" совпадают.\nПреобразование \"сам в себя\" невозможно!";
const std::string EmbedMessage = "Неопределенная ошибка при создании файлов ИМСП";

std::string FailMessage(const std::string &source) {
  return "файл " + source + "\nне удается преобразовать";
}

std::string EditionMessage(const std::string &source) {
  return "Ошибка!\nФайл " + source +
         "\nимеет неверный шифр редакции\nТребуется файл редакции 2.10.5";
}

// Raised inside a conversion when a step reported failure after showing its
// own message (EmbedFile); leads to the failure path like a ZError.
struct StepFailed {};

// True, after showing the "сам в себя" refusal, when target is the source:
// the same text, or the same file under another spelling or through a link.
bool RefusedAsSelf(const std::string &source, const std::string &target) {
  if (source != target && !platform::SameFile(source, target))
    return false;
  ShowMessage(SelfMessage);
  return true;
}

// Reads until `count` bytes or the end of the file; returns the bytes read.
int ReadFull(SFile &f, char *buf, int count) {
  int got = 0;
  while (got < count) {
    const int n = f.SRead(buf + got, count - got);
    if (n <= 0)
      break;
    got += n;
  }
  return got;
}

// Feeds the first `limit` bytes of f (all of them when limit < 0), from its
// start, to ASumKs in blocks of 512 bytes.
void SumBlocks(SFile &f, int64_t limit, uint32_t &sum, uint32_t &carry) {
  constexpr int Chunk = 128 * ChecksumBlock;
  std::vector<char> buf(Chunk);
  f.Seek(0);
  int64_t left = limit;
  for (;;) {
    int want = Chunk;
    if (limit >= 0 && left < want)
      want = static_cast<int>(left);
    if (want == 0)
      break;
    const int got = ReadFull(f, buf.data(), want);
    for (int at = 0; at < got; at += ChecksumBlock) {
      const int n = got - at < ChecksumBlock ? got - at : ChecksumBlock;
      ASumKs(static_cast<size_t>(n), buf.data() + at, sum, carry);
    }
    if (limit >= 0)
      left -= got;
    if (got < want)
      break;
  }
}

// A logical file of the target must fit the 32-bit lengths of the format.
[[noreturn]] void TooLarge(const std::string &path) {
  throw ZError("Файл " + path + " получается слишком большим", 0);
}

uint32_t Fits32(uint64_t n, const std::string &path) {
  if (n > UINT32_MAX)
    TooLarge(path);
  return static_cast<uint32_t>(n);
}

// The second reading of a file gives what the first gave, unless the file
// changed meanwhile.
void Same(uint64_t got, uint64_t want, const std::string &path) {
  if (got != want)
    throw ZError("Файл " + path + " изменился во время преобразования", 0);
}

} // namespace

Engine::Engine() : PlainNames_(std::make_unique<ScopedPlainNames>()) {
  InitBuf();
  Boib_ = std::make_unique<BoibFieldList>();
}

Engine::~Engine() {
  Boib_.reset();
  DeInitBuf();
}

bool Engine::IsSourceEdition(const std::string &path) {
  try {
    // An empty logical file 0 leaves the end record "@" in Rec, which fails below.
    WFile::ReadEditionRecord(path, Rec);
    return Rec.Len >= SourceEdition.size() &&
           std::memcmp(Rec.Data, SourceEdition.data(), SourceEdition.size()) == 0;
  } catch (...) {
    Rec.Len = 0;
    return false;
  }
}

std::string KName(const std::string &target) {
  const std::string folder = FolderOf(target);
  const std::string name = FileNameOf(target);
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos)
    return folder + name + "-k";
  return folder + name.substr(0, dot) + "-k" + name.substr(dot);
}

bool EmbedFile(WFile &f, uint32_t n, const std::string &plainPath) {
  std::unique_ptr<SFile> in;
  bool failed = false;
  try {
    in = std::make_unique<SFile>(plainPath, zfmRead);
    std::vector<char> chunk(EmbedSink::Size);
    char flag = 1; // the first chunk marks where the embedded file starts
    for (uint64_t left = static_cast<uint64_t>(in->Size()); left > 0;) {
      const int want = static_cast<int>(EmbedChunkLen(left));
      if (ReadFull(*in, chunk.data(), want) != want)
        throw ZError(in->Name, 9); // the file shrank while it was read
      f.WWrite(flag, static_cast<uint16_t>(want), chunk.data());
      flag = 0;
      left -= static_cast<uint64_t>(want);
    }
  } catch (...) {
    failed = true;
    OutUnDefError(EmbedMessage);
    try {
      f.WClose_file(n, true);
    } catch (...) {
    }
  }
  try {
    if (in)
      in->Close();
  } catch (...) {
  }
  return failed;
}

void StampEdition(WFile &f) {
  f.WCreat_file(0);
  f.WWrite(0, static_cast<uint16_t>(NewEdition.size()), NewEdition.data());
  f.WClose_file(0, true);
}

void AppendChecksum(const std::string &path) {
  SFile f(path, zfmReadWrite);
  uint32_t sum = 0, carry = 0;
  SumBlocks(f, -1, sum, carry);
  char trailer[TrailerSize];
  Put32(trailer, sum);
  Put32(trailer + 4, carry);
  f.Seek(0, 2);
  f.SWrite(trailer, TrailerSize);
  f.Close();
}

// The model conversion, writing `out`; every failure raises.
//
// The inner block file is unpacked into "bl", its Boib copy and edition are
// replaced there, and then the target is written once, sequentially, in the
// layout that building it logical file by logical file and compacting it would
// give: logical file 0 the new edition, 1 the converted Boib record (or the
// source's records), 2 the compacted inner file embedded in chunks of 10000
// bytes, 3 onward the source's records; the checksum trailer last.
void Engine::ModelSteps(const std::string &source, const std::string &out, uint8_t kind,
                        const TempFolder &work) {
  const std::string inner = work.File("bl");
  const bool boib = HasBoib(kind);

  OpenBlock src;
  src.Open(source, true);
  const uint32_t count = src->Header.Count;

  // The inner block file: the bodies of the records of logical file 2.
  src->WOpen_file(2);
  platform::RemoveFile(inner);
  {
    SFile plain(inner, zfmCreate);
    while (src->WRead(&Rec))
      plain.SWrite(Rec.Data, Rec.Len);
    plain.Close();
  }

  std::string boibRecord;
  if (boib) {
    // Logical file 1 is replaced by the Boib record alone, but read whole first,
    // as copying it would: damage anywhere in it fails the conversion.
    CompactedLength(*src, 1, Rec);
    src->WOpen_file(1);
    if (!src->WRead(&Rec))
      throw ZError("В файле " + source + " отсутствует запись Boib", 0);
    ConvertBoib(Rec, *Boib_, inner);
    boibRecord.assign(Rec.Data, Rec.Len);
  }
  {
    OpenBlock bl;
    bl.Open(inner);
    bl->MemoryTmp = true; // a temporary file of this conversion
    StampEdition(*bl);
    bl.Close();
  }

  // Lengths first, so that the header is known and the target is written in one pass.
  OpenBlock bl;
  bl.Open(inner, true);
  const uint32_t innerCount = bl->Header.Count;
  std::vector<uint32_t> innerLens(innerCount);
  uint64_t innerSize = LenHeader + uint64_t{LenLogInfo} * innerCount;
  for (uint32_t j = 0; j < innerCount; ++j)
    innerSize += innerLens[j] = Fits32(CompactedLength(*bl, j, Rec), out);
  std::vector<uint32_t> lens(count);
  lens[0] = LenPrefix + static_cast<uint32_t>(NewEdition.size()) + LenEof;
  lens[1] = boib ? LenPrefix + static_cast<uint32_t>(boibRecord.size()) + LenEof
                 : Fits32(CompactedLength(*src, 1, Rec), out);
  lens[2] = Fits32(EmbedSink::Length(innerSize), out);
  for (uint32_t i = 3; i < count; ++i)
    lens[i] = Fits32(CompactedLength(*src, i, Rec), out);
  uint64_t total = LenHeader + uint64_t{LenLogInfo} * count;
  for (uint32_t len : lens)
    total += len;
  if (total + TrailerSize > static_cast<uint64_t>(INT32_MAX))
    TooLarge(out);

  platform::RemoveFile(out);
  ChecksumFile target(out);
  target.Head(lens);
  target.Record(0, NewEdition.data(), static_cast<uint16_t>(NewEdition.size()));
  target.Record(0, &EofMark, 1);
  if (boib) {
    target.Record(0, boibRecord.data(), static_cast<uint16_t>(boibRecord.size()));
    target.Record(0, &EofMark, 1);
  } else {
    Same(CopyCompacted(*src, 1, Rec, target, false), lens[1], source);
  }
  {
    EmbedSink embedded(target);
    embedded.Head(innerLens);
    for (uint32_t j = 0; j < innerCount; ++j)
      Same(CopyCompacted(*bl, j, Rec, embedded, true), innerLens[j], inner);
    embedded.Finish();
  }
  for (uint32_t i = 3; i < count; ++i)
    Same(CopyCompacted(*src, i, Rec, target, false), lens[i], source);
  Same(target.Size(), total, out);
  target.Finish();

  bl.Close();
  src.Close();
  platform::RemoveFile(inner);
}

bool Engine::ConvertModel(const std::string &source, const std::string &target, uint8_t kind) {
  if (RefusedAsSelf(source, target))
    return true;
  try {
    TempFolder work;
    TempTarget out(target);
    ModelSteps(source, out.Path(), kind, work);
    VerifyCompacted(out.Path());
    out.Commit(target);
    return false;
  } catch (...) {
  }
  ShowMessage(FailMessage(source));
  return true;
}

bool Engine::ConvertPart(const std::string &part, const std::string &out, uint8_t kind,
                         const TempFolder &work, const std::string &label) {
  try {
    ModelSteps(part, out, kind, work);
    return false;
  } catch (...) {
  }
  RemoveBlockFile(out);
  platform::RemoveFile(work.File("bl"));
  ShowMessage(FailMessage(label));
  return true;
}

bool Engine::ConvertComposite(const std::string &source, const std::string &target) {
  if (RefusedAsSelf(source, target))
    return true;
  try {
    TempFolder work;
    TempTarget out(target);
    OpenBlock src, dst;
    uint32_t count = 0;
    // Failures while the source is opened or the target created are shown
    // with their own text first.
    try {
      src.Open(source, true);
      count = src->Header.Count;
      creat_bf(out.Path(), static_cast<int>(count), std::string(NewEdition).c_str());
    } catch (const ZError &e) {
      OutErr(e);
      throw StepFailed{};
    }
    dst.Open(out.Path());

    // The stored names of the models, written back unchanged. They are never
    // used as file names: the parts get names of their own in `work`.
    std::vector<std::string> names;
    src->WBOpenFile(1, Sp2);
    for (;;) {
      char *item = nullptr;
      const int len = src->WGet(&item);
      if (len == 0)
        break;
      names.emplace_back(item, static_cast<size_t>(len));
    }
    dst->WBCreatFile(1, Sp2);
    for (const std::string &name : names)
      dst->WPut(name.data(), static_cast<int>(name.size()));
    dst->WBCloseFile(1);

    dst->WCreat_file(2);
    src->WOpen_file(2);

    auto partPath = [&](size_t i) { return work.File("model-" + std::to_string(i)); };
    auto convertedPath = [&](size_t i) { return work.File("AA-model-" + std::to_string(i)); };
    std::optional<SFile> part;
    // Converts part i and appends it to logical file 2 of the target. A part
    // whose conversion failed has no converted file, so embedding it fails.
    auto finish = [&](size_t i, uint8_t kind) {
      part->Close();
      part.reset();
      ConvertPart(partPath(i), convertedPath(i), kind, work, Cp1251ToUtf8(names[i]));
      const bool failed = EmbedFile(*dst, 2, convertedPath(i));
      platform::RemoveFile(partPath(i));
      RemoveBlockFile(convertedPath(i));
      if (failed)
        throw StepFailed{};
    };

    // The walk keeps its record in a buffer of its own: the part conversions
    // read through Rec.
    auto walk = std::make_unique<WRec>();
    size_t started = 0;
    while (src->WRead(walk.get())) {
      if (walk->Flag != 0) {
        if (started > 0)
          finish(started - 1, KindIMS);
        if (started >= names.size())
          throw ZError("В файле " + source + " моделей больше, чем имен", 0);
        platform::RemoveFile(partPath(started));
        part.emplace(partPath(started), zfmCreate);
        ++started;
      }
      if (started == 0)
        throw ZError("В файле " + source + " данные до начала первой модели", 0);
      part->SWrite(walk->Data, walk->Len);
    }
    if (started == 0)
      throw ZError("В файле " + source + " нет ни одной модели", 0);
    // The last part is converted without its Boib record.
    finish(started - 1, KindNoBoib);
    dst->WClose_file(2, true);

    // The last logical file is carried over, unless it is logical file 1 or 2.
    if (count >= 1 && count - 1 > 2)
      copy_file(src.get(), dst.get(), static_cast<int>(count - 1), static_cast<int>(count - 1));
    src.Close();
    dst.Close();

    // A temporary target: its final rename is not synchronised, so neither is this one.
    compress_bf(out.Path(), 0, false);
    AppendChecksum(out.Path());
    VerifyCompacted(out.Path());
    out.Commit(target);
    return false;
  } catch (...) {
  }
  ShowMessage(FailMessage(source));
  return true;
}

ConvertOutcome Engine::ConvertFile(const std::string &source, const std::string &target,
                                   uint8_t kind, ExistingTarget policy) {
  ConvertOutcome outcome;
  outcome.target = target;
  try {
    if (RefusedAsSelf(source, target))
      return outcome;
    const bool exists = platform::FileExists(target);
    bool replace = false;
    if (exists && policy == ExistingTarget::Replace)
      replace = true;
    else if (exists && policy == ExistingTarget::Ask)
      replace = AskYesNo("Заменить файл?\n" + target);

    if (!IsSourceEdition(source)) {
      ShowMessage(EditionMessage(source));
      return outcome;
    }

    std::string final = target;
    if (exists && !replace) {
      final = KName(target);
      if (RefusedAsSelf(source, final))
        return outcome;
    }
    outcome.target = final;

    const std::string folder = FolderOf(final);
    if (!folder.empty())
      platform::MakeDirs(folder); // a failure shows when the target is created

    const bool failed =
        kind == KindComposite ? ConvertComposite(source, final) : ConvertModel(source, final, kind);
    outcome.ok = !failed;
  } catch (const ZError &e) {
    OutErr(e);
    ShowMessage(FailMessage(source));
  } catch (...) {
    ShowMessage(FailMessage(source));
  }
  return outcome;
}
