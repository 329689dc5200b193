#include "Cli.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>
#include <thread>

#include <algorithm>
#include <optional>
#include <thread>

#include "BlockFileReport.h"
#include "Conversion.h"
#include "FileKinds.h"
#include "FileSearch.h"
#include "MassConversion.h"
#include "Messages.h"
#include "OutputText.h"
#include "Platform.h"
#include "ProgressLine.h"
#include "SampleTree.h"
#include "TargetName.h"

namespace {

// ---- options ------------------------------------------------------------------

// Files a mass conversion converts at once unless told: one per core.
unsigned DefaultJobs() {
#if defined(_WIN32)
  return 1; // one at a time on Windows (see RunMassConversion)
#else
  return std::max(1u, std::thread::hardware_concurrency());
#endif
}

struct Options {
  std::string kind;
  bool replace = false, copy = false, list = false, json = false, quiet = false;
  bool noDamaged = false;     // sample: leave out the damaged file
  std::string source, target; // convert: files; mass: folders
  std::string file;           // info, verify; sample: the folder
  unsigned jobs = DefaultJobs();
};

const FileKind *KindFromText(const std::string &t) {
  if (!t.empty() && t.size() <= 3 && t.find_first_not_of("0123456789") == std::string::npos)
    return KindByCode(static_cast<uint8_t>(std::stoi(t)));
  return KindByExtension(t);
}

struct Commands {
  CLI::App app{"Converts data files of edition 2.10.5 into files edition 2.10.4 opens.", "zepconv"};
  CLI::App *convert = nullptr, *mass = nullptr, *info = nullptr, *verify = nullptr,
           *sample = nullptr;
};

void AddExistingTargetOptions(CLI::App &cmd, Options &o) {
  auto *replace = cmd.add_flag("--replace", o.replace,
                               "Replace an existing target once the conversion has succeeded");
  auto *copy = cmd.add_flag("--copy", o.copy,
                            "Write beside an existing target under the \"-k\" name (the default)");
  replace->excludes(copy);
}

void SetUp(Commands &c, Options &o) {
  CLI::App &app = c.app;
  app.require_subcommand(1);
  app.footer("`zepconv COMMAND --help` describes a command. Exit status: 0 success, 1 a\n"
             "conversion failed or was refused, a file was skipped or a check failed, 2 bad\n"
#ifdef _WIN32
             "usage, 130 stopped by Ctrl+C, 149 by Ctrl+Break, 143 by closing the console (the\n"
             "file being converted is abandoned, nothing is left behind).");
#else
             "usage, 128 + N stopped by signal N (SIGINT, SIGTERM, SIGHUP: the file being\n"
             "converted is abandoned, nothing is left behind).");
#endif

  c.convert = app.add_subcommand("convert", "Convert one file");
  c.convert
      ->add_option("--kind", o.kind,
                   "IMS, IMD, IMP, BNP, BNPP, BNPR, BNPM, RGF, NSF, IMK or a kind code;\n"
                   "any letter case; by default the extension of SOURCE")
      ->type_name("KIND")
      ->check(CLI::Validator(
          [](const std::string &t) {
            return KindFromText(t) ? std::string() : "unknown kind " + t;
          },
          ""));
  AddExistingTargetOptions(*c.convert, o);
  c.convert->add_flag("--json", o.json, "One JSON object for the file, then a summary object");
  c.convert->add_option("SOURCE", o.source, "The file to convert")->required();
  c.convert->add_option("TARGET", o.target, "Where the converted file goes")->required();
  c.convert->footer("Messages go to standard error; standard output gets \"converted: SOURCE ->\n"
                    "TARGET\", \"failed: SOURCE\" with a \"reason: ...\" line, or \"refused: "
                    "SOURCE\".");

  c.mass = app.add_subcommand("mass", "Convert a folder tree");
  AddExistingTargetOptions(*c.mass, o);
  auto *list = c.mass->add_flag("--list", o.list, "Print what would be converted and where");
  c.mass->add_flag("--json", o.json, "One JSON object per file, then a summary object")
      ->excludes(list);
  c.mass->add_flag("--quiet", o.quiet, "No progress display on standard error");
  c.mass
      ->add_option("--jobs,-j", o.jobs,
#if defined(_WIN32)
                   "Files converted at once: on Windows always 1 for now")
#else
                   "Files converted at once (default: the number of cores; 1: one after another)")
#endif
      ->check(CLI::Range(1u, 256u));
  c.mass->add_option("SOURCE_DIR", o.source, "The tree to convert")->required();
  c.mass->add_option("TARGET_DIR", o.target, "Where the converted tree goes")->required();
  c.mass->footer(
      "Converts every file of edition 2.10.5 below SOURCE_DIR (kinds in code order) into\n"
      "the same relative place below TARGET_DIR: one line per file, then \"N converted,\n"
      "M failed, K skipped\" (failed counts refused files too). Hidden files and folders\n"
      "and links to folders are passed over; folders that cannot be read and files that\n"
      "cannot be opened are reported as \"skipped: PATH (reason)\". A failed file does\n"
      "not stop the run; the exit status is then 1, as after a skipped one. On a\n"
      "terminal, standard error shows the progress on one line. A signal to stop ends\n"
      "the run after an \"interrupted: SOURCE\" line and the summary so far.");

  c.info = app.add_subcommand("info", "Show the layout of a block file");
  c.info->add_option("FILE", o.file, "The block file")->required();
  c.info->footer("Shows the physical size, EndAdr, Count, the dead space, the edition record,\n"
                 "each logical file's Adr, Len and number of records, and whether an 8-byte\n"
                 "checksum trailer is present and matches.");

  c.verify = app.add_subcommand(
      "verify", "Check that a block file reads to its end and its checksum matches");
  c.verify->add_option("FILE", o.file, "The block file")->required();
  c.verify->footer("Exit status 0 when FILE is a well-formed block file whose every logical file\n"
                   "reads to its end with the length its directory gives, and whose 8-byte\n"
                   "checksum trailer is present and matches; otherwise 1 with the reason.");

  c.sample = app.add_subcommand("sample", "Write a tree of sample files of edition 2.10.5");
  c.sample->add_option("DIR", o.file, "Where the tree goes")->required();
  c.sample->add_flag("--no-damaged", o.noDamaged,
                     "Leave out the damaged file, so that every listed file converts");
  c.sample->footer("Writes synthetic files of edition 2.10.5 below DIR: every kind in nested\n"
                   "folders, plus files a mass conversion passes over (another edition, hidden,\n"
                   "other extensions) and one damaged file it reports.");
}

int Usage(const CLI::App &app, std::ostream &err, const std::string &why) {
  err << "zepconv: " << why << "\n\n" << app.help();
  return ExitUsage;
}

// ---- output -------------------------------------------------------------------

// Engine messages to the error stream; questions answered no, as the options
// already settled everything a question could decide. `before` runs first
// (the results written so far reach their stream, the progress line goes).
MsgPresenter Presenter(std::ostream &err, std::function<void()> before) {
  return [&err, before](const MsgRequest &r) -> int {
    before();
    std::string text = r.Text;
    if (r.Kind != mk_Info && r.Kind != mk_YesNo)
      for (auto &c : text)
        if (c == '#')
          c = '\n'; // the library's line break
    switch (r.Kind) {
    case mk_Question:
    case mk_QuestionAsk:
    case mk_YesNo:
      err << text << "\n(answered: no)\n";
      return 0;
    case mk_Choice:
      err << text << "\n(answered: 3)\n";
      return 3;
    default:
      err << text << "\n";
      return 0;
    }
  };
}

const char *StatusText(ConvertStatus s) {
  switch (s) {
  case ConvertStatus::Converted:
    return "converted";
  case ConvertStatus::Refused:
    return "refused";
  case ConvertStatus::Failed:
    return "failed";
  case ConvertStatus::Interrupted:
    return "interrupted";
  }
  return "";
}

nlohmann::json JsonText(const std::string &s) {
  return Utf8OrEscaped(s);
}

std::string KindName(uint8_t code) {
  const FileKind *k = KindByCode(code);
  return k ? k->extension : std::string();
}

// Per-file results and the summary, as plain lines or as JSON objects.
class Results {
public:
  Results(std::ostream &out, bool json) : Out(out), Json(json) {}

  void File(const std::string &source, uint8_t kind, const ConvertOutcome &r) {
    if (r.ok())
      ++Converted;
    else if (r.status != ConvertStatus::Interrupted)
      ++Failed;
    if (Json) {
      Line({{"source", JsonText(source)},
            {"target", JsonText(r.target)},
            {"kind", KindName(kind)},
            {"status", StatusText(r.status)},
            {"reason", r.ok() ? nlohmann::json() : JsonText(r.reason)}});
      return;
    }
    switch (r.status) {
    case ConvertStatus::Converted:
      Out << "converted: " << OneLine(source) << " -> " << OneLine(r.target) << "\n";
      break;
    case ConvertStatus::Refused: // the refusal's own message has said why
      Out << "refused: " << OneLine(source) << "\n";
      break;
    case ConvertStatus::Failed:
      Out << "failed: " << OneLine(source) << "\n"
          << "reason: " << OneLine(r.reason) << "\n";
      break;
    case ConvertStatus::Interrupted: // the summary says by what
      Out << "interrupted: " << OneLine(source) << "\n";
      break;
    }
    Out.flush();
  }

  void Skipped(const ::Skipped &s) {
    ++SkippedCount;
    if (Json)
      Line({{"source", JsonText(s.path)},
            {"target", nullptr},
            {"kind", s.kind ? nlohmann::json(KindName(s.kind)) : nlohmann::json()},
            {"status", "skipped"},
            {"reason", JsonText(s.reason)}});
    else
      Out << "skipped: " << OneLine(s.path) << " (" << OneLine(s.reason) << ")\n";
  }

  // The counts so far; after an interruption, also by which signal.
  void Summary() {
    const int signal = platform::Interruption();
    if (Json) {
      nlohmann::json j = {{"converted", Converted}, {"failed", Failed}, {"skipped", SkippedCount}};
      if (signal)
        j["interrupted"] = platform::InterruptionName(signal);
      Line(j);
    } else {
      Out << Converted << " converted, " << Failed << " failed, " << SkippedCount << " skipped";
      if (signal)
        Out << ", interrupted by " << platform::InterruptionName(signal);
      Out << "\n";
    }
    Out.flush();
  }

  int ExitStatus() const {
    if (const int signal = platform::Interruption())
      return ExitInterrupted + signal;
    return Failed > 0 || SkippedCount > 0 ? ExitFailed : ExitOk;
  }

private:
  void Line(const nlohmann::json &j) {
    Out << j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
    Out.flush();
  }

  std::ostream &Out;
  bool Json;
  int Converted = 0, Failed = 0, SkippedCount = 0;
};

std::string Absolute(const std::string &p) {
  const std::string a = platform::AbsolutePath(p);
  return a.empty() ? p : a;
}

// The extension of the file name without its dot.
std::string Extension(const std::string &path) {
  const std::string ext = FileExtension(path);
  return ext.empty() ? ext : ext.substr(1);
}

ExistingTarget Policy(const Options &o) {
  return o.replace ? ExistingTarget::Replace : ExistingTarget::Copy;
}

// ---- commands -----------------------------------------------------------------

int Convert(const CLI::App &app, const Options &o, std::ostream &out, std::ostream &err) {
  const std::string source = Absolute(o.source);
  const std::string target = Absolute(o.target);
  const FileKind *kind =
      !o.kind.empty() ? KindFromText(o.kind) : KindByExtension(Extension(source));
  if (!kind)
    return Usage(app, err,
                 "cannot tell the kind from the extension of " + OneLine(source) + "; give --kind");
  Results results(out, o.json);
  ScopedPresenter p(Presenter(err, [&out] { out.flush(); }));
  Engine engine;
  // A source that is not there, or is a folder, is said plainly: the engine
  // would call it a file of another edition.
  const SourceCheck check = engine.CheckSource(source);
  if (check.state == SourceState::Unreadable) {
    if (platform::DirExists(source))
      err << "zepconv: " << OneLine(source)
          << " is a folder; convert takes a file (mass converts a folder tree)\n";
    else if (!platform::FileExists(source))
      err << "zepconv: " << OneLine(source) << " does not exist\n";
    else
      err << "zepconv: cannot read " << OneLine(source) << ": " << OneLine(check.reason) << "\n";
    ConvertOutcome refused;
    refused.status = ConvertStatus::Refused;
    refused.refusal = Refusal::NoSource;
    refused.target = target;
    refused.reason = check.reason;
    results.File(source, kind->code, refused);
  } else {
    const ConvertOutcome r = engine.ConvertFile(source, target, kind->code, Policy(o));
    const std::string closing = ClosingMessage(r);
    if (!closing.empty())
      ShowMessage(closing);
    results.File(source, kind->code, r);
  }
  if (o.json || platform::Interruption())
    results.Summary();
  return results.ExitStatus();
}

int MassList(Engine &engine, const std::string &from, const std::string &to, const Options &o,
             std::ostream &out) {
  if (from == to) {
    ShowMessage(
        "Папки \"Откуда\" и \"Куда\" совпадают.\nПреобразование \"сам в себя\" невозможно!");
    return ExitFailed;
  }
  std::vector<Skipped> skipped;
  const Selection sel = BuildSelection(engine, from, &skipped);
  int n = 0;
  for (const auto &row : sel) {
    if (row.header) {
      out << "# " << KindCaption(*KindByCode(row.kind)) << "\n";
      continue;
    }
    const std::string target = MassTargetPath(from, to, row.text);
    const bool copy = platform::FileExists(target) && Policy(o) == ExistingTarget::Copy;
    out << OneLine(row.text) << " -> " << OneLine(copy ? KName(target) : target) << "\n";
    ++n;
  }
  Results results(out, false);
  for (const Skipped &s : skipped)
    results.Skipped(s);
  out << n << " file(s) would be converted";
  if (!skipped.empty())
    out << ", " << skipped.size() << " skipped";
  out << "\n";
  return skipped.empty() ? ExitOk : ExitFailed;
}

int Mass(const Options &o, std::ostream &out, std::ostream &err, int errColumns) {
  const std::string from = FolderText(Absolute(o.source));
  const std::string to = FolderText(Absolute(o.target));
  if (!platform::DirExists(from)) {
    err << "zepconv: no folder " << OneLine(from) << "\n";
    return ExitFailed;
  }
  ProgressLine progress(err, o.json || o.quiet || o.list ? 0 : errColumns);
  ScopedPresenter p(Presenter(err, [&] {
    progress.Hide();
    out.flush();
  }));
  Engine engine;
  if (o.list)
    return MassList(engine, from, to, o, out);

  Results results(out, o.json);
  MassRequest req;
  req.sourceFolder = from;
  req.targetFolder = to;
  req.policy = Policy(o);
  req.askAfterFailure = false; // "Прервать преобразование?" is answered no
  req.jobs = o.jobs;           // one at a time on Windows, whatever it says (see RunMassConversion)
  req.onStart = [&](const PlannedFile &f, size_t i, size_t n) { progress.Start(f.source, i, n); };
  req.onResult = [&](const MassResult &r) {
    progress.Hide();
    progress.Done(static_cast<uint64_t>(std::max<int64_t>(0, platform::FileSize(r.source))));
    results.File(r.source, r.kind, r.outcome);
  };
  const MassReport rep = MassConvert(engine, req);
  progress.Hide();
  if (rep.status == MassStatus::SameFolder)
    return ExitFailed;
  // The summary so far, also after an interruption.
  for (const Skipped &s : rep.skipped)
    results.Skipped(s);
  results.Summary();
  return results.ExitStatus();
}

int Info(const Options &o, std::ostream &out, std::ostream &err) {
  ScopedPresenter p(Presenter(err, [&out] { out.flush(); }));
  const BlockFileReport r = InspectBlockFile(o.file);
  PrintReport(o.file, r, out);
  return r.readable ? ExitOk : ExitFailed;
}

int Verify(const Options &o, std::ostream &out, std::ostream &err) {
  ScopedPresenter p(Presenter(err, [&out] { out.flush(); }));
  const std::string why = VerifyProblem(InspectBlockFile(o.file));
  if (!why.empty()) {
    out << "FAILED: " << OneLine(o.file) << ": " << OneLine(why) << "\n";
    return ExitFailed;
  }
  out << "OK: " << OneLine(o.file) << "\n";
  return ExitOk;
}

const char *RoleText(samples::SampleRole r) {
  switch (r) {
  case samples::SampleRole::Convertible:
    return "convertible";
  case samples::SampleRole::OtherEdition:
    return "other edition";
  case samples::SampleRole::Damaged:
    return "damaged";
  case samples::SampleRole::Hidden:
    return "hidden";
  case samples::SampleRole::WrongExtension:
    return "other extension";
  }
  return "";
}

int Sample(const Options &o, std::ostream &out, std::ostream &err) {
  const std::string dir = FolderText(Absolute(o.file));
  try {
    samples::SampleTreeOptions tree;
    tree.damaged = !o.noDamaged;
    for (const auto &e : samples::WriteSampleTree(dir, tree))
      out << RoleText(e.role) << ": " << OneLine(dir + e.path) << "\n";
  } catch (const std::exception &e) {
    err << "zepconv: " << e.what() << "\n";
    return ExitFailed;
  }
  return ExitOk;
}

} // namespace

int ZepMain(const std::vector<std::string> &args, std::ostream &out, std::ostream &err,
            int errColumns) {
  Commands c;
  Options o;
  SetUp(c, o);
  std::vector<std::string> rest = args;
  if (!rest.empty() && rest[0] == "help")
    rest[0] = "--help";
  std::reverse(rest.begin(), rest.end()); // the parser takes its arguments last first
  try {
    c.app.parse(rest);
  } catch (const CLI::CallForHelp &) {
    out << c.app.help();
    return ExitOk;
  } catch (const CLI::ParseError &e) {
    return Usage(c.app, err, e.what());
  }
  if (c.convert->parsed() || c.mass->parsed()) {
    // From here a signal to stop is noted, and the conversion running stops
    // and cleans up; a second one ends the program at once.
    platform::CatchInterruptions();
    try {
      return c.convert->parsed() ? Convert(c.app, o, out, err) : Mass(o, out, err, errColumns);
    } catch (const Interrupted &e) {
      // Stopped where no conversion runs: the edition check of `convert`'s
      // source, or the search of `mass --list`.
      out.flush();
      err << "zepconv: " << e.Message << "\n";
      return ExitInterrupted + e.Signal;
    }
  }
  if (c.info->parsed())
    return Info(o, out, err);
  if (c.verify->parsed())
    return Verify(o, out, err);
  return Sample(o, out, err);
}
