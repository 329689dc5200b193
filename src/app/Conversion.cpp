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
    ASumKsBlocks(static_cast<size_t>(got), buf.data(), sum, carry);
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

// The message of an embedding that failed; after an interruption, the stop
// is all there is to say.
void EmbedFailed() {
  if (!platform::Interruption())
    OutUnDefError(EmbedMessage);
}

// What EmbedFile shows and does when its file cannot be read: the message,
// and logical file n committed as far as it was written.
void EmbedFailed(WFile &f, uint32_t n) {
  EmbedFailed();
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

void Engine::SweepOnce(const std::string &folder, Leftover kind, RunFiles *run) {
  if (run)
    run->SweepOnce(folder, kind);
  else if (Swept_.emplace(folder, kind).second)
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
  platform::KeepFreedMemory();
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

namespace {

// Reads `in` from its start in the records an embedded file is stored in
// (EmbedChunkLen) and hands each to `put` with its flag: 1 for the first,
// which marks where the embedded file starts, 0 for the others.
template <class Put> void EmbeddedRecords(SFile &in, Put put) {
  std::vector<char> chunk(EmbedSink::Size);
  char flag = 1;
  for (uint64_t left = static_cast<uint64_t>(in.Size()); left > 0;) {
    CheckInterruption();
    const int want = static_cast<int>(EmbedChunkLen(left));
    if (ReadFull(in, chunk.data(), want) != want)
      throw ZError(in.Name, 9); // the file shrank while it was read
    put(flag, chunk.data(), static_cast<uint16_t>(want));
    flag = 0;
    left -= static_cast<uint64_t>(want);
  }
}

} // namespace

bool EmbedFile(WFile &f, uint32_t n, const std::string &plainPath, std::exception_ptr *error) {
  std::unique_ptr<SFile> in;
  bool failed = false;
  // The message names the system's last error: only one of this step counts.
  platform::SetLastError(0);
  try {
    in = std::make_unique<SFile>(plainPath, zfmRead);
    EmbeddedRecords(*in, [&](char flag, const char *p, uint16_t len) { f.WWrite(flag, len, p); });
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

// Walks logical file n of f record by record through a small window, so that
// only the prefixes are read and not the bodies, and hands each live record
// (its prefix in rec) to `each` with the place of its body in the file.
template <class Each> void WalkBodies(WFile &f, uint32_t n, WRec &rec, Each each) {
  constexpr int64_t PrefixWindow = 64;
  const int64_t window = f.Main->Window(PrefixWindow);
  f.WOpen_file(n);
  for (;;) {
    CheckInterruption();
    if (!f.WReadPrefix(&rec))
      break;
    each(rec, FilePiece{int64_t{f.CurAdr} + LenPrefix, rec.Len});
  }
  f.Main->Window(window);
}

// Where bytes of a file made of `outer` pieces of another lie in that other
// file: `inner` pieces of the first, as pieces of the second.
std::vector<FilePiece> PiecesWithin(const std::vector<FilePiece> &outer,
                                    const std::vector<FilePiece> &inner) {
  std::vector<int64_t> starts;
  int64_t size = 0;
  for (const FilePiece &p : outer) {
    starts.push_back(size);
    size += p.n;
  }
  std::vector<FilePiece> out;
  for (const FilePiece &p : inner) {
    int64_t at = p.at, left = std::min(p.n, size - p.at);
    while (left > 0) {
      const auto k = static_cast<size_t>(std::upper_bound(starts.begin(), starts.end(), at) -
                                         starts.begin() - 1);
      const int64_t skip = at - starts[k];
      const int64_t take = std::min(left, outer[k].n - skip);
      const int64_t from = outer[k].at + skip;
      if (!out.empty() && out.back().at + out.back().n == from)
        out.back().n += take;
      else
        out.push_back({from, take});
      at += take;
      left -= take;
    }
  }
  return out;
}

// One record and the end record, as a logical file of the compacted layout;
// returns its length.
uint32_t OneRecord(ByteSink &out, const char *body, uint16_t len) {
  out.Record(0, body, len);
  out.Record(0, &EofMark, 1);
  return LenPrefix + len + LenEof;
}

// The model conversion, writing `out` (a file made for it); every failure raises.
//
// The target is written once, sequentially, in the layout that building it
// logical file by logical file and compacting it would give: logical file 0
// the new edition, 1 the converted Boib record (or the source's records), 2
// the inner block file compacted, with its new edition (and the copy of the
// Boib record in logical file 149), embedded in chunks of 10000 bytes, 3
// onward the source's records; the checksum trailer last. The inner file is
// read where it lies, in the bodies of the records of logical file 2, and
// every byte of the source is read once for the target; the headers, whose
// lengths are known only when their logical files are written, are patched
// in at the end.
void Engine::ModelSteps(const ModelSource &model, ByteSink &target, const std::string &out,
                        uint8_t kind, const TempFolder &work) {
  const std::string &source = model.name;
  // The inner file has no file of its own: this label names it in messages.
  const std::string inner = work.File("bl");
  ShowAs(inner, Named(source) + InnerFileLabel);
  const bool boib = HasBoib(kind);

  OpenBlock src;
  if (model.pieces)
    src.Open(std::make_unique<SFile>(source, model.path, *model.pieces));
  else
    src.Open(model.path, true);
  const uint32_t count = src->Header.Count;

  // Where the inner block file lies: the bodies of the records of logical file 2.
  std::vector<FilePiece> pieces;
  WalkBodies(*src, 2, Rec, [&](const WRec &, FilePiece body) { pieces.push_back(body); });
  if (model.pieces)
    pieces = PiecesWithin(*model.pieces, pieces);

  std::string boibRecord;
  std::unique_ptr<WRec> boibCopy;
  if (boib) {
    // Logical file 1 is replaced by the Boib record alone, but read whole first,
    // as copying it would: damage anywhere in it fails the conversion.
    CompactedLength(*src, 1, Rec);
    src->WOpen_file(1);
    if (!src->WRead(&Rec))
      throw ZError("В файле " + source + " отсутствует запись Boib", 0);
    boibCopy = std::make_unique<WRec>();
    ConvertBoibRecord(Rec, *Boib_, *boibCopy);
    boibRecord.assign(Rec.Data, Rec.Len);
  }
  OpenBlock bl;
  bl.Open(std::make_unique<SFile>(inner, model.path, std::move(pieces)));
  if (boib)
    bl->WOpen_file(BoibLogFile); // refuses an inner file without logical file 149
  bl->CheckLogNo(0);             // the new edition needs logical file 0

  const uint64_t head = target.HeadLater(count);
  std::vector<uint32_t> lens(count);
  lens[0] = OneRecord(target, NewEdition.data(), static_cast<uint16_t>(NewEdition.size()));
  if (boib)
    lens[1] = OneRecord(target, boibRecord.data(), static_cast<uint16_t>(boibRecord.size()));
  else
    lens[1] = Fits32(CopyCompacted(*src, 1, Rec, target, false), out);
  // Embedding the inner file; a failure to write it is reported as EmbedFile
  // reports one (damage in the inner file is reported as itself).
  platform::SetLastError(0);
  EmbedSink embedded(target);
  bool pushing = false;
  try {
    const uint64_t innerHead = embedded.HeadLater(bl->Header.Count);
    std::vector<uint32_t> innerLens(bl->Header.Count);
    for (uint32_t j = 0; j < innerLens.size(); ++j) {
      if (j == 0)
        innerLens[j] =
            OneRecord(embedded, NewEdition.data(), static_cast<uint16_t>(NewEdition.size()));
      else if (boib && j == BoibLogFile)
        innerLens[j] = OneRecord(embedded, boibCopy->Data, boibCopy->Len);
      else
        innerLens[j] = Fits32(CopyCompacted(*bl, j, Rec, embedded, true), out);
    }
    lens[2] = Fits32(EmbedSink::Length(CheckedTotal(innerLens, out)), out);
    embedded.Finish();
    embedded.PatchHead(innerHead, innerLens);
    pushing = true;
    target.Push(); // so that a failure to write the embedded bytes shows here
  } catch (...) {
    if ((pushing || embedded.WriteFailed()) && !platform::Interruption())
      OutUnDefError(EmbedMessage);
    throw;
  }
  for (uint32_t i = 3; i < count; ++i)
    lens[i] = Fits32(CopyCompacted(*src, i, Rec, target, false), out);
  CheckedTotal(lens, out);
  target.PatchHead(head, lens);

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
    SweepOnce(platform::TempRoot(), Leftover::PrivateFolder, run);
    TempFolder work;
    const std::string folder = FolderOf(dest.first.path);
    SweepOnce(folder, Leftover::TemporaryTarget, run);
    TempTarget out(folder, dest.first.name);
    ShowTargetAs(out.Path(), dest.first.name);
    ChecksumFile target(out.Path());
    ModelSteps({source, source, nullptr}, target, out.Path(), kind, work);
    target.Finish();
    VerifyCompacted(out.Path());
    Landed_ = out.Commit(dest, run);
    return false;
  } catch (...) {
    NoteFailure(std::current_exception());
  }
  ShowFailure(source);
  return true;
}

bool Engine::ConvertPart(const ModelSource &part, ByteSink &target, const std::string &out,
                         uint8_t kind, const TempFolder &work, const std::string &label) {
  try {
    ModelSteps(part, target, out, kind, work);
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
    SweepOnce(platform::TempRoot(), Leftover::PrivateFolder, run);
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
      SweepOnce(folder, Leftover::TemporaryTarget, run);
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

    dst->CheckLogNo(2);
    src->WOpen_file(2);

    // The target is written from here on, in one pass: logical files 0 and 1
    // as assembled, 2 from the converted parts as they come, the others as
    // assembled; the header is patched in at the end.
    ChecksumFile target(out->Path());
    const uint64_t head = target.HeadLater(count);
    std::vector<uint32_t> lens(count);
    lens[0] = Fits32(CopyCompacted(*dst, 0, Rec, target, true), out->Path());
    lens[1] = Fits32(CopyCompacted(*dst, 1, Rec, target, true), out->Path());
    uint64_t embeddedBytes = 0; // of logical file 2 so far

    // Messages about a part name the composite and the part's stored name.
    auto label = [&](size_t i) { return source + " (модель " + Cp1251ToUtf8(names[i]) + ")"; };
    // The part under way: the pieces of the source it is made of, read where
    // they lie.
    std::vector<FilePiece> part;
    // Converts part i and appends it to logical file 2 of the target, with its
    // checksum trailer, as an embedded file.
    auto finish = [&](size_t i, uint8_t kind) {
      const std::string partName = work.File("model-" + std::to_string(i));
      const std::string converted = work.File("AA-model-" + std::to_string(i));
      ShowAs(partName, label(i));
      ShowAs(converted, label(i));
      const uint64_t before = target.Offset();
      EmbedSink embedded(target);
      ChecksumSink sum(embedded, converted);
      const bool partFailed = ConvertPart({src->Name, partName, &part}, sum, converted, kind, work,
                                          Cp1251ToUtf8(names[i]));
      part.clear();
      // A part that failed has no converted file: its embedding fails as that
      // of a file that cannot be read. The part's failure is the reason.
      platform::SetLastError(0);
      if (partFailed) {
        EmbedFailed();
        throw StepFailed{};
      }
      try {
        sum.Finish();
        embedded.End();
        target.Push(); // so that a failure to write the part shows here
      } catch (...) {
        NoteFailure(std::current_exception());
        EmbedFailed();
        throw StepFailed{};
      }
      embeddedBytes += target.Offset() - before;
    };

    // The walk keeps its record in a buffer of its own: the part conversions
    // read through Rec.
    auto walk = std::make_unique<WRec>();
    size_t started = 0;
    WalkBodies(*src, 2, *walk, [&](const WRec &r, FilePiece body) {
      if (r.Flag != 0) {
        if (started > 0)
          finish(started - 1, KindIMS);
        if (started >= names.size())
          throw ZError("В файле " + source + " моделей больше, чем имен", 0);
        ++started;
      }
      if (started == 0)
        throw ZError("В файле " + source + " данные до начала первой модели", 0);
      part.push_back(body);
    });
    if (started == 0)
      throw ZError("В файле " + source + " нет ни одной модели", 0);
    // The last part is converted without its Boib record.
    finish(started - 1, KindNoBoib);
    target.Record(0, &EofMark, 1);
    lens[2] = Fits32(embeddedBytes + LenEof, out->Path());

    // The last logical file is carried over, unless it is logical file 1 or 2.
    if (count >= 1 && count - 1 > 2)
      copy_file(src.get(), dst.get(), static_cast<int>(count - 1), static_cast<int>(count - 1));
    src.Close();
    for (uint32_t i = 3; i < count; ++i)
      lens[i] = Fits32(CopyCompacted(*dst, i, Rec, target, true), out->Path());
    CheckedTotal(lens, out->Path());
    target.PatchHead(head, lens);
    target.Finish();
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
