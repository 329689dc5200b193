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
// How messages name the unpacked inner file of a model.
const std::string InnerFileLabel = " (вложенный файл)";

std::string FailMessage(const std::string &source) {
  return "файл " + source + "\nне удается преобразовать";
}

std::string StoppedMessage(const std::string &source) {
  return "файл " + source + "\nпреобразование прервано";
}

std::string EditionMessage(const std::string &source) {
  return "Ошибка!\nФайл " + source +
         "\nимеет неверный шифр редакции\nТребуется файл редакции 2.10.5";
}

// Raised inside a conversion when a step reported failure after showing its
// own message (EmbedFile); leads to the failure path like a ZError. The step
// has noted its reason.
struct StepFailed {};

// Splits the argument text of an operating-system failure (OutSystemError):
// "NAME#(system text[Win=XXXXXXXX])", or "system text[Win=XXXXXXXX]" without a name.
bool SplitSystemError(const std::string &m, std::string &name, std::string &sys) {
  const size_t win = m.rfind("[Win=");
  if (win == std::string::npos)
    return false;
  const size_t open = m.rfind("#(", win);
  if (open == std::string::npos) {
    name.clear();
    sys = m.substr(0, win);
  } else {
    name = m.substr(0, open);
    sys = m.substr(open + 2, win - open - 2);
  }
  return true;
}

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
    CheckInterruption();
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

// Lengths of the logical files of `from` in the compacted layout.
std::vector<uint32_t> CompactedLengths(WFile &from, WRec &rec, const std::string &out) {
  std::vector<uint32_t> lens(from.Header.Count);
  for (uint32_t i = 0; i < from.Header.Count; ++i)
    lens[i] = Fits32(CompactedLength(from, i, rec), out);
  return lens;
}

// A file of logical files of these lengths, with its trailer, must fit the
// 32-bit addresses of the format.
uint64_t CheckedTotal(const std::vector<uint32_t> &lens, const std::string &out) {
  uint64_t total = LenHeader + uint64_t{LenLogInfo} * lens.size();
  for (uint32_t len : lens)
    total += len;
  if (total + TrailerSize > static_cast<uint64_t>(INT32_MAX))
    TooLarge(out);
  return total;
}

// Writes the block file `from` into `out` compacted, with its checksum
// trailer: the bytes that compacting it and appending the trailer give, in
// one pass, without a compacted copy beside it.
void WriteCompacted(WFile &from, const std::string &out, WRec &rec) {
  const std::vector<uint32_t> lens = CompactedLengths(from, rec, out);
  const uint64_t total = CheckedTotal(lens, out);
  ChecksumFile target(out);
  target.Head(lens);
  for (uint32_t i = 0; i < lens.size(); ++i)
    Same(CopyCompacted(from, i, rec, target, true), lens[i], from.Name);
  Same(target.Size(), total, out);
  target.Finish();
}

// What EmbedFile shows and does when its file cannot be read: the message,
// and logical file n committed as far as it was written.
void EmbedFailed(WFile &f, uint32_t n) {
  // After an interruption, the stop is all there is to say.
  if (!platform::Interruption())
    OutUnDefError(EmbedMessage);
  try {
    f.WClose_file(n, true);
  } catch (...) {
  }
}

} // namespace

std::string ErrorReason(const ZError &e) {
  std::string name, sys;
  if (e.HelpContext == 99 && SplitSystemError(e.Message, name, sys))
    return name.empty() ? sys : name + ": " + sys;
  return creat_msg(e.Message, e.HelpContext);
}

std::string ClosingMessage(const ConvertOutcome &outcome) {
  switch (outcome.status) {
  case ConvertStatus::Converted:
    return "Преобразование завершено.";
  case ConvertStatus::Failed:
    return "Преобразование завершено с ошибкой!";
  case ConvertStatus::Interrupted:
    return "Преобразование прервано!";
  case ConvertStatus::Refused:
    break;
  }
  return {};
}

void Engine::Start() {
  ShownNames_.clear();
  Reason_.clear();
  Stopped_ = false;
}

void Engine::SweepOnce(const std::string &folder, Leftover kind) {
  if (Swept_.emplace(folder, kind).second)
    RemoveDeadRunsLeftovers(folder, kind);
}

void Engine::ShowFailure(const std::string &source) const {
  ShowMessage(Stopped_ ? StoppedMessage(source) : FailMessage(source));
}

void Engine::ShowAs(const std::string &temp, const std::string &shown) {
  std::erase_if(ShownNames_, [&](const auto &p) { return p.first == temp; });
  // Longer names first, so that a companion ("$$") is replaced before its base name.
  const auto at = std::find_if(ShownNames_.begin(), ShownNames_.end(),
                               [&](const auto &p) { return p.first.size() < temp.size(); });
  ShownNames_.insert(at, {temp, shown});
}

void Engine::ShowTargetAs(const std::string &temp, const std::string &target) {
  ShowAs(temp, target);
  ShowAs(temp + "$", target);
  ShowAs(temp + TmpSuffix, target);
  // A composed message has every "$" turned into a space, the "$$" of the
  // temporary area too.
  ShowAs(temp + "  ", target);
}

// While it lives, every message shown names the user's files: also those the
// storage layer shows itself (a file closed while a failure is handled).
class Engine::NamingPresenter {
public:
  explicit NamingPresenter(const Engine &e)
      : Naming([&e, next = CurrentPresenter()](const MsgRequest &r) {
          MsgRequest named = r;
          named.Text = e.Named(r.Text);
          if (next)
            return next(named);
          ScopedPresenter standard(nullptr); // the default presenter, for this one message
          return Present(named);
        }) {}

private:
  ScopedPresenter Naming;
};

std::string Engine::Named(std::string text) const {
  for (const auto &[temp, shown] : ShownNames_)
    for (size_t at = text.find(temp); at != std::string::npos;
         at = text.find(temp, at + shown.size()))
      text.replace(at, temp.size(), shown);
  return text;
}

ZError Engine::Named(const ZError &e) const {
  return ZError(Named(e.Message), e.HelpContext);
}

void Engine::Show(const ZError &e) const {
  OutErr(Named(e));
}

void Engine::NoteFailure(const std::exception_ptr &error) {
  if (!Reason_.empty() || !error)
    return;
  try {
    std::rethrow_exception(error);
  } catch (const Interrupted &e) {
    Reason_ = e.Message;
    Stopped_ = true;
  } catch (const ZError &e) {
    Reason_ = ErrorReason(Named(e));
  } catch (const StepFailed &) {
    // The step noted its own reason.
  } catch (const std::exception &e) {
    Reason_ = e.what();
  } catch (...) {
    Reason_ = "неизвестная ошибка";
  }
}

Engine::Engine() : PlainNames_(std::make_unique<ScopedPlainNames>()) {
  InitBuf();
  Boib_ = std::make_unique<BoibFieldList>();
}

Engine::~Engine() {
  Boib_.reset();
  DeInitBuf();
}

SourceCheck Engine::CheckSource(const std::string &path) {
  Rec.Len = 0;
  platform::SetLastError(0);
  if (!platform::FileExists(path)) {
    const int code = platform::LastError();
    if (platform::DirExists(path))
      return {SourceState::Unreadable, "это папка, а не файл"};
    return {SourceState::Unreadable,
            code != 0 ? platform::ErrorText(code) : std::string("это не обычный файл")};
  }
  try {
    // An empty logical file 0 leaves the end record "@" in Rec, which fails below.
    WFile::ReadEditionRecord(path, Rec);
    const bool source = Rec.Len >= SourceEdition.size() &&
                        std::memcmp(Rec.Data, SourceEdition.data(), SourceEdition.size()) == 0;
    return {source ? SourceState::Convertible : SourceState::OtherEdition, {}};
  } catch (const Interrupted &) {
    Rec.Len = 0;
    throw;
  } catch (const ZError &e) {
    Rec.Len = 0;
    // The file could not be opened or read at all (missing by now, no
    // permission, an I/O error), as against a file that is not a block file
    // of this edition.
    std::string name, sys;
    if (e.HelpContext == 99 && SplitSystemError(e.Message, name, sys))
      return {SourceState::Unreadable, sys};
    if (e.HelpContext == 1)
      return {SourceState::Unreadable, ErrorReason(e)};
    return {SourceState::OtherEdition, {}};
  } catch (...) {
    Rec.Len = 0;
    return {SourceState::OtherEdition, {}};
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

bool EmbedFile(WFile &f, uint32_t n, const std::string &plainPath, std::exception_ptr *error) {
  std::unique_ptr<SFile> in;
  bool failed = false;
  // The message names the system's last error: only one of this step counts.
  platform::SetLastError(0);
  try {
    in = std::make_unique<SFile>(plainPath, zfmRead);
    std::vector<char> chunk(EmbedSink::Size);
    char flag = 1; // the first chunk marks where the embedded file starts
    for (uint64_t left = static_cast<uint64_t>(in->Size()); left > 0;) {
      CheckInterruption();
      const int want = static_cast<int>(EmbedChunkLen(left));
      if (ReadFull(*in, chunk.data(), want) != want)
        throw ZError(in->Name, 9); // the file shrank while it was read
      f.WWrite(flag, static_cast<uint16_t>(want), chunk.data());
      flag = 0;
      left -= static_cast<uint64_t>(want);
    }
  } catch (...) {
    failed = true;
    if (error)
      *error = std::current_exception();
    EmbedFailed(f, n);
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

// The model conversion, writing `out` (a file made for it); every failure raises.
//
// The inner block file is unpacked into "bl" (a work file without a name where
// the system allows it), its Boib copy and edition are replaced there, and
// then the target is written once, sequentially, in the layout that building
// it logical file by logical file and compacting it would give: logical file 0
// the new edition, 1 the converted Boib record (or the source's records), 2 the
// compacted inner file embedded in chunks of 10000 bytes, 3 onward the
// source's records; the checksum trailer last.
void Engine::ModelSteps(const std::string &source, const std::string &out, uint8_t kind,
                        const TempFolder &work) {
  const WorkFile innerFile(work, "bl");
  const std::string &inner = innerFile.Path();
  ShowAs(inner, Named(source) + InnerFileLabel);
  const bool boib = HasBoib(kind);

  OpenBlock src;
  src.Open(source, true);
  const uint32_t count = src->Header.Count;

  // The inner block file: the bodies of the records of logical file 2.
  src->WOpen_file(2);
  {
    SFile plain(inner, InPlace{});
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
  const std::vector<uint32_t> innerLens = CompactedLengths(*bl, Rec, out);
  const uint64_t innerSize = CheckedTotal(innerLens, out);
  std::vector<uint32_t> lens(count);
  lens[0] = LenPrefix + static_cast<uint32_t>(NewEdition.size()) + LenEof;
  lens[1] = boib ? LenPrefix + static_cast<uint32_t>(boibRecord.size()) + LenEof
                 : Fits32(CompactedLength(*src, 1, Rec), out);
  lens[2] = Fits32(EmbedSink::Length(innerSize), out);
  for (uint32_t i = 3; i < count; ++i)
    lens[i] = Fits32(CompactedLength(*src, i, Rec), out);
  const uint64_t total = CheckedTotal(lens, out);

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
  // Embedding the inner file; a failure here is reported as EmbedFile reports one.
  platform::SetLastError(0);
  try {
    EmbedSink embedded(target);
    embedded.Head(innerLens);
    for (uint32_t j = 0; j < innerLens.size(); ++j)
      Same(CopyCompacted(*bl, j, Rec, embedded, true), innerLens[j], inner);
    embedded.Finish();
    target.Push(); // so that a failure to write the embedded bytes shows here
  } catch (...) {
    if (!platform::Interruption())
      OutUnDefError(EmbedMessage);
    throw;
  }
  for (uint32_t i = 3; i < count; ++i)
    Same(CopyCompacted(*src, i, Rec, target, false), lens[i], source);
  Same(target.Size(), total, out);
  target.Finish();

  bl.Close();
  src.Close();
}

bool Engine::ConvertModel(const std::string &source, const std::string &target, uint8_t kind) {
  return ConvertModelTo(source, {FinalNameAt(target, true), {}}, kind, nullptr);
}

bool Engine::ConvertModelTo(const std::string &source, const Destination &dest, uint8_t kind,
                            RunFiles *run) {
  Start();
  NamingPresenter naming(*this);
  if (RefusedAsSelf(source, dest.first.name)) {
    Reason_ = SelfMessage;
    return true;
  }
  try {
    SweepOnce(platform::TempRoot(), Leftover::PrivateFolder);
    TempFolder work;
    const std::string folder = FolderOf(dest.first.path);
    SweepOnce(folder, Leftover::TemporaryTarget);
    TempTarget out(folder, dest.first.name);
    ShowTargetAs(out.Path(), dest.first.name);
    ModelSteps(source, out.Path(), kind, work);
    VerifyCompacted(out.Path());
    Landed_ = out.Commit(dest, run);
    return false;
  } catch (...) {
    NoteFailure(std::current_exception());
  }
  ShowFailure(source);
  return true;
}

bool Engine::ConvertPart(const std::string &part, const std::string &out, uint8_t kind,
                         const TempFolder &work, const std::string &label) {
  try {
    ModelSteps(part, out, kind, work);
    return false;
  } catch (...) {
    NoteFailure(std::current_exception());
  }
  // A stop is told once, by the composite.
  if (!Stopped_)
    ShowMessage(FailMessage(label));
  return true;
}

bool Engine::ConvertComposite(const std::string &source, const std::string &target) {
  return ConvertCompositeTo(source, {FinalNameAt(target, true), {}}, nullptr);
}

// The composite is assembled as a block file in the private folder, logical
// file by logical file, and then written to its temporary target compacted,
// with its trailer, in one pass.
bool Engine::ConvertCompositeTo(const std::string &source, const Destination &dest, RunFiles *run) {
  Start();
  NamingPresenter naming(*this);
  if (RefusedAsSelf(source, dest.first.name)) {
    Reason_ = SelfMessage;
    return true;
  }
  try {
    SweepOnce(platform::TempRoot(), Leftover::PrivateFolder);
    TempFolder work;
    const std::string assembled = work.File("composite");
    ShowTargetAs(assembled, dest.first.name);
    std::optional<TempTarget> out;
    OpenBlock src, dst;
    uint32_t count = 0;
    // Failures while the source is opened or the target created are shown
    // with their own text first.
    try {
      src.Open(source, true);
      count = src->Header.Count;
      const std::string folder = FolderOf(dest.first.path);
      SweepOnce(folder, Leftover::TemporaryTarget);
      out.emplace(folder, dest.first.name);
      ShowTargetAs(out->Path(), dest.first.name);
      creat_bf(assembled, static_cast<int>(count), std::string(NewEdition).c_str());
    } catch (const ZError &e) {
      Show(e);
      NoteFailure(std::current_exception());
      throw StepFailed{};
    }
    dst.Open(assembled);

    // The stored names of the models, written back unchanged. They are never
    // used as file names: the parts get work files of their own.
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

    // Messages about a part name the composite and the part's stored name.
    auto label = [&](size_t i) { return source + " (модель " + Cp1251ToUtf8(names[i]) + ")"; };
    std::optional<WorkFile> partFile;
    std::optional<SFile> part;
    // Converts part i and appends it to logical file 2 of the target.
    auto finish = [&](size_t i, uint8_t kind) {
      part->Close();
      part.reset();
      const WorkFile converted(work, "AA-model-" + std::to_string(i));
      ShowAs(converted.Path(), label(i));
      const bool partFailed =
          ConvertPart(partFile->Path(), converted.Path(), kind, work, Cp1251ToUtf8(names[i]));
      partFile.reset();
      // A part that failed has no converted file: its embedding fails as that
      // of a file that cannot be read. The part's failure is the reason.
      std::exception_ptr error;
      if (partFailed) {
        platform::SetLastError(0);
        EmbedFailed(*dst, 2);
        throw StepFailed{};
      }
      if (EmbedFile(*dst, 2, converted.Path(), &error)) {
        NoteFailure(error);
        throw StepFailed{};
      }
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
        partFile.emplace(work, "model-" + std::to_string(started));
        ShowAs(partFile->Path(), label(started));
        part.emplace(partFile->Path(), InPlace{});
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
    WriteCompacted(*dst, out->Path(), Rec);
    dst.Close();
    VerifyCompacted(out->Path());
    Landed_ = out->Commit(dest, run);
    return false;
  } catch (...) {
    NoteFailure(std::current_exception());
  }
  ShowFailure(source);
  return true;
}

ConvertOutcome Engine::ConvertFile(const std::string &source, const std::string &target,
                                   uint8_t kind, ExistingTarget policy, RunFiles *run) {
  Start();
  ConvertOutcome outcome;
  outcome.target = target;
  auto refuse = [&](Refusal why, std::string reason) {
    outcome.status = ConvertStatus::Refused;
    outcome.refusal = why;
    outcome.reason = std::move(reason);
    return outcome;
  };
  std::vector<std::string> made; // target folders made for this conversion
  try {
    CheckInterruption();
    if (RefusedAsSelf(source, target))
      return refuse(Refusal::SameFile, SelfMessage);
    // Anything under the name counts: also a link that leads nowhere.
    const bool exists = platform::PathExists(target);
    bool replace = false;
    if (exists && policy == ExistingTarget::Replace)
      replace = true;
    else if (exists && policy == ExistingTarget::Ask)
      replace = AskYesNo("Заменить файл?\n" + target);

    const SourceCheck check = CheckSource(source);
    if (check.state != SourceState::Convertible) {
      ShowMessage(EditionMessage(source));
      if (check.state == SourceState::Unreadable)
        return refuse(Refusal::NoSource, check.reason);
      return refuse(Refusal::OtherEdition, EditionMessage(source));
    }

    // The "-k" name: an earlier copy there is replaced, never the source.
    const std::string copy = KName(target);
    const bool earlierCopy = platform::PathExists(copy) && !platform::SameFile(source, copy);
    Destination dest;
    if (exists && !replace) {
      if (RefusedAsSelf(source, copy))
        return refuse(Refusal::SameFile, SelfMessage);
      dest.first = FinalNameAt(copy, earlierCopy);
    } else {
      dest.first = FinalNameAt(target, exists);
      // A file that appears at a new target meanwhile is not replaced: the
      // result goes to the "-k" name, as if the file had been there at the start.
      if (!exists)
        dest.fallback = FinalNameAt(copy, earlierCopy);
    }
    outcome.target = dest.first.name;

    MakeFolders(FolderOf(dest.first.name), made);
    const bool failed = kind == KindComposite ? ConvertCompositeTo(source, dest, run)
                                              : ConvertModelTo(source, dest, kind, run);
    if (!failed) {
      outcome.status = ConvertStatus::Converted;
      outcome.target = Landed_.name;
      if (run)
        run->Add(Landed_.path);
    } else {
      outcome.status = Stopped_ ? ConvertStatus::Interrupted : ConvertStatus::Failed;
      outcome.reason = Reason_.empty() ? FailMessage(source) : Reason_;
    }
  } catch (const Interrupted &e) {
    ShowMessage(StoppedMessage(source));
    outcome.status = ConvertStatus::Interrupted;
    outcome.reason = e.Message;
  } catch (const ZError &e) {
    Show(e);
    ShowMessage(FailMessage(source));
    outcome.status = ConvertStatus::Failed;
    outcome.reason = ErrorReason(Named(e));
  } catch (...) {
    ShowMessage(FailMessage(source));
    outcome.status = ConvertStatus::Failed;
    outcome.reason = FailMessage(source);
  }
  if (!outcome.ok())
    RemoveEmptyFolders(made);
  return outcome;
}
