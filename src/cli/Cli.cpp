#include "Cli.h"

#include "BilingualText.h"
#include "BlockFile.h"
#include "BlockFileUtils.h"
#include "Checksum.h"
#include "Conversion.h"
#include "FileKinds.h"
#include "FileSearch.h"
#include "MassConversion.h"
#include "Messages.h"
#include "Platform.h"
#include "RecordBuffer.h"
#include "SampleTree.h"

#include <cstdlib>
#include <iomanip>
#include <optional>

namespace {

constexpr int TrailerBytes = 8;
constexpr int ChecksumBlockBytes = 512;

const char *const MainHelp =
    "usage: zepconv COMMAND [OPTIONS] ARGS\n"
    "\n"
    "Converts data files of edition 2.10.5 into files edition 2.10.4 opens.\n"
    "\n"
    "commands:\n"
    "  convert [--kind KIND] [--replace | --copy] SOURCE TARGET   convert one file\n"
    "  mass [--replace | --copy] [--list] SOURCE_DIR TARGET_DIR   convert a folder tree\n"
    "  info FILE      show the layout of a block file\n"
    "  verify FILE    check that a block file reads to its end and its checksum matches\n"
    "  sample DIR     write a tree of sample files of edition 2.10.5\n"
    "\n"
    "`zepconv COMMAND --help` describes a command. Exit status: 0 success,\n"
    "1 a conversion failed or was refused (or a check failed), 2 bad usage.\n";

const char *const ConvertHelp =
    "usage: zepconv convert [--kind KIND] [--replace | --copy] SOURCE TARGET\n"
    "\n"
    "Converts SOURCE into TARGET. KIND is an extension (IMS, IMD, IMP, BNP, BNPP,\n"
    "BNPR, BNPM, RGF, NSF, IMK, any letter case) or a kind code; by default it is\n"
    "taken from the extension of SOURCE. When TARGET exists, --copy (the default)\n"
    "writes the converted file under the \"-k\" name beside it, --replace replaces\n"
    "it once the conversion has succeeded.\n";

const char *const MassHelp =
    "usage: zepconv mass [--replace | --copy] [--list] SOURCE_DIR TARGET_DIR\n"
    "\n"
    "Converts every file of edition 2.10.5 below SOURCE_DIR (kinds in code order)\n"
    "into the same relative place below TARGET_DIR, one line per file and a\n"
    "closing summary. Hidden files and folders and links to folders are passed\n"
    "over. A failed file does not stop the run; the exit status is then 1.\n"
    "Existing targets: --copy (the default) writes the \"-k\" name, --replace\n"
    "replaces them. --list prints what would be converted and where, and\n"
    "converts nothing.\n";

const char *const InfoHelp =
    "usage: zepconv info FILE\n"
    "\n"
    "Shows the physical size, EndAdr, Count, the dead space, the edition record,\n"
    "each logical file's Adr, Len and number of records, and whether an 8-byte\n"
    "checksum trailer is present and matches.\n";

const char *const VerifyHelp =
    "usage: zepconv verify FILE\n"
    "\n"
    "Exit status 0 when FILE is a well-formed block file whose every logical file\n"
    "reads to its end with the length its directory gives, and whose 8-byte\n"
    "checksum trailer is present and matches; otherwise 1 with the reason.\n";

const char *const SampleHelp =
    "usage: zepconv sample DIR\n"
    "\n"
    "Writes a tree of synthetic files of edition 2.10.5 below DIR: every kind in\n"
    "nested folders, plus files a mass conversion passes over (another edition,\n"
    "hidden, other extensions) and one damaged file it reports.\n";

struct Args {
  std::vector<std::string> positional;
  std::vector<std::string> flags;
  std::optional<std::string> kind;
  bool help = false;
  std::string bad; // first unknown option
};

// Options of one command: the flags it knows and whether it takes --kind.
Args Parse(const std::vector<std::string> &a, size_t from,
           std::initializer_list<const char *> known, bool takesKind) {
  Args r;
  bool options = true;
  for (size_t i = from; i < a.size(); ++i) {
    const std::string &s = a[i];
    if (options && s == "--") {
      options = false;
    } else if (options && (s == "--help" || s == "-h")) {
      r.help = true;
    } else if (options && takesKind && (s == "--kind" || s.starts_with("--kind="))) {
      if (s == "--kind") {
        if (i + 1 >= a.size()) {
          r.bad = s;
          break;
        }
        r.kind = a[++i];
      } else {
        r.kind = s.substr(7);
      }
    } else if (options && s.size() > 1 && s[0] == '-') {
      bool ok = false;
      for (const char *k : known)
        ok |= s == k;
      if (!ok && r.bad.empty())
        r.bad = s;
      if (ok)
        r.flags.push_back(s);
    } else {
      r.positional.push_back(s);
    }
  }
  return r;
}

bool Has(const Args &a, const char *flag) {
  for (const auto &f : a.flags)
    if (f == flag)
      return true;
  return false;
}

int Usage(std::ostream &err, const char *help, const std::string &why) {
  err << "zepconv: " << why << "\n\n" << help;
  return ExitUsage;
}

// Engine messages to the error stream; questions answered no, as the options
// already settled everything a question could decide.
MsgPresenter Presenter(std::ostream &out, std::ostream &err) {
  return [&out, &err](const MsgRequest &r) -> int {
    out.flush(); // keep the results and the messages in the order they happened
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

std::optional<ExistingTarget> Policy(const Args &a, std::ostream &err, const char *help) {
  const bool replace = Has(a, "--replace"), copy = Has(a, "--copy");
  if (replace && copy) {
    Usage(err, help, "--replace and --copy exclude each other");
    return std::nullopt;
  }
  return replace ? ExistingTarget::Replace : ExistingTarget::Copy;
}

std::string Absolute(const std::string &p) {
  const std::string a = platform::AbsolutePath(p);
  return a.empty() ? p : a;
}

std::string Extension(const std::string &path) {
  const auto slash = path.find_last_of(platform::Separators);
  const auto dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
    return {};
  return path.substr(dot + 1);
}

const FileKind *KindFromText(const std::string &t) {
  if (!t.empty() && t.find_first_not_of("0123456789") == std::string::npos && t.size() <= 3)
    return KindByCode(static_cast<uint8_t>(std::atoi(t.c_str())));
  return KindByExtension(t);
}

int Convert(const Args &a, std::ostream &out, std::ostream &err) {
  if (a.help) {
    out << ConvertHelp;
    return ExitOk;
  }
  if (!a.bad.empty())
    return Usage(err, ConvertHelp, "unknown option " + a.bad);
  if (a.positional.size() != 2)
    return Usage(err, ConvertHelp, "convert takes SOURCE and TARGET");
  const auto policy = Policy(a, err, ConvertHelp);
  if (!policy)
    return ExitUsage;
  const std::string source = Absolute(a.positional[0]);
  const std::string target = Absolute(a.positional[1]);
  const FileKind *kind = a.kind ? KindFromText(*a.kind) : KindByExtension(Extension(source));
  if (!kind)
    return Usage(err, ConvertHelp,
                 a.kind ? "unknown kind " + *a.kind
                        : "cannot tell the kind from the extension of " + source + "; give --kind");
  ScopedPresenter p(Presenter(out, err));
  Engine engine;
  const ConvertOutcome r = engine.ConvertFile(source, target, kind->code, *policy);
  if (!r.ok) {
    ShowMessage("Преобразование завершено с ошибкой!");
    out << "failed: " << source << "\n";
    return ExitFailed;
  }
  out << "converted: " << source << " -> " << r.target << "\n";
  return ExitOk;
}

int Mass(const Args &a, std::ostream &out, std::ostream &err) {
  if (a.help) {
    out << MassHelp;
    return ExitOk;
  }
  if (!a.bad.empty())
    return Usage(err, MassHelp, "unknown option " + a.bad);
  if (a.positional.size() != 2)
    return Usage(err, MassHelp, "mass takes SOURCE_DIR and TARGET_DIR");
  const auto policy = Policy(a, err, MassHelp);
  if (!policy)
    return ExitUsage;
  const std::string from = FolderText(Absolute(a.positional[0]));
  const std::string to = FolderText(Absolute(a.positional[1]));
  if (!platform::DirExists(from)) {
    err << "zepconv: no folder " << from << "\n";
    return ExitFailed;
  }
  ScopedPresenter p(Presenter(out, err));
  Engine engine;
  if (Has(a, "--list")) {
    if (from == to) {
      ShowMessage(
          "Папки \"Откуда\" и \"Куда\" совпадают.\nПреобразование \"сам в себя\" невозможно!");
      return ExitFailed;
    }
    const Selection sel = BuildSelection(engine, from);
    int n = 0;
    for (const auto &row : sel) {
      if (row.header) {
        out << "# " << KindCaption(*KindByCode(row.kind)) << "\n";
        continue;
      }
      const std::string target = MassTargetPath(from, to, row.text);
      out << row.text << " -> "
          << (platform::FileExists(target) && *policy == ExistingTarget::Copy ? KName(target)
                                                                              : target)
          << "\n";
      ++n;
    }
    out << n << " file(s) would be converted\n";
    return ExitOk;
  }
  MassRequest req;
  req.sourceFolder = from;
  req.targetFolder = to;
  req.policy = *policy;
  req.askAfterFailure = false; // "Прервать преобразование?" is answered no
  req.onResult = [&out](const MassResult &r) {
    if (r.ok)
      out << "converted: " << r.source << " -> " << r.target << "\n";
    else
      out << "failed: " << r.source << "\n";
    out.flush();
  };
  const MassReport rep = MassConvert(engine, req);
  if (rep.status == MassStatus::SameFolder)
    return ExitFailed;
  const int failed = rep.failed();
  out << rep.results.size() - failed << " converted, " << failed << " failed\n";
  return failed > 0 ? ExitFailed : ExitOk;
}

void PrintReport(const std::string &path, const BlockFileReport &r, std::ostream &out) {
  out << "file: " << path << "\n"
      << "size: " << r.size << " bytes\n";
  if (!r.readable) {
    out << "not a readable block file: " << r.error << "\n";
    return;
  }
  out << "EndAdr: " << r.endAdr << "\n"
      << "Count: " << r.count << "\n"
      << "dead space: " << r.deadPercent << "%\n"
      << "edition: \"" << Cp1251ToUtf8(r.edition) << "\"\n"
      << "checksum trailer: "
      << (!r.trailerPresent  ? "absent"
          : r.trailerMatches ? "present, matches"
                             : "present, does not match")
      << "\n"
      << "logical files:\n"
      << "      #        Adr        Len    records\n";
  for (size_t i = 0; i < r.files.size(); ++i) {
    const auto &f = r.files[i];
    out << std::setw(7) << i << std::setw(11) << f.adr << std::setw(11) << f.len << std::setw(11);
    if (f.records >= 0)
      out << f.records;
    else
      out << "?";
    if (!f.error.empty())
      out << "  " << f.error;
    out << "\n";
  }
  if (!r.error.empty())
    out << "problem: " << r.error << "\n";
}

int Info(const Args &a, std::ostream &out, std::ostream &err) {
  if (a.help) {
    out << InfoHelp;
    return ExitOk;
  }
  if (!a.bad.empty())
    return Usage(err, InfoHelp, "unknown option " + a.bad);
  if (a.positional.size() != 1)
    return Usage(err, InfoHelp, "info takes one FILE");
  ScopedPresenter p(Presenter(out, err));
  const BlockFileReport r = InspectBlockFile(a.positional[0]);
  PrintReport(a.positional[0], r, out);
  return r.readable ? ExitOk : ExitFailed;
}

int Verify(const Args &a, std::ostream &out, std::ostream &err) {
  if (a.help) {
    out << VerifyHelp;
    return ExitOk;
  }
  if (!a.bad.empty())
    return Usage(err, VerifyHelp, "unknown option " + a.bad);
  if (a.positional.size() != 1)
    return Usage(err, VerifyHelp, "verify takes one FILE");
  ScopedPresenter p(Presenter(out, err));
  const BlockFileReport r = InspectBlockFile(a.positional[0]);
  std::string why = r.error;
  if (why.empty())
    for (size_t i = 0; i < r.files.size() && why.empty(); ++i)
      if (!r.files[i].error.empty())
        why = "logical file " + std::to_string(i) + ": " + r.files[i].error;
  if (why.empty() && !r.trailerPresent)
    why = "no checksum trailer";
  if (why.empty() && !r.trailerMatches)
    why = "the checksum trailer does not match";
  if (!why.empty()) {
    out << "FAILED: " << a.positional[0] << ": " << why << "\n";
    return ExitFailed;
  }
  out << "OK: " << a.positional[0] << "\n";
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

int Sample(const Args &a, std::ostream &out, std::ostream &err) {
  if (a.help) {
    out << SampleHelp;
    return ExitOk;
  }
  if (!a.bad.empty())
    return Usage(err, SampleHelp, "unknown option " + a.bad);
  if (a.positional.size() != 1)
    return Usage(err, SampleHelp, "sample takes one DIR");
  const std::string dir = FolderText(Absolute(a.positional[0]));
  try {
    for (const auto &e : samples::WriteSampleTree(dir))
      out << RoleText(e.role) << ": " << dir << e.path << "\n";
  } catch (const std::exception &e) {
    err << "zepconv: " << e.what() << "\n";
    return ExitFailed;
  }
  return ExitOk;
}

std::string ErrorText(const ZError &e) {
  return creat_msg(e.Message, e.HelpContext);
}

// The checksum pair over the first `limit` bytes, in 512-byte blocks.
bool SumPrefix(const std::string &path, uint64_t limit, uint32_t &sum, uint32_t &carry) {
  const platform::Handle h = platform::Open(path, platform::OpenMode::Read);
  if (h == platform::InvalidHandle)
    return false;
  std::vector<char> buf(256 * ChecksumBlockBytes);
  uint64_t done = 0;
  bool ok = true;
  while (done < limit) {
    const int64_t want = static_cast<int64_t>(std::min<uint64_t>(buf.size(), limit - done));
    int64_t got = 0;
    while (got < want) {
      const int64_t n = platform::Read(h, buf.data() + got, want - got);
      if (n <= 0)
        break;
      got += n;
    }
    if (got != want) {
      ok = false;
      break;
    }
    for (int64_t at = 0; at < got; at += ChecksumBlockBytes)
      ASumKs(static_cast<size_t>(std::min<int64_t>(ChecksumBlockBytes, got - at)), buf.data() + at,
             sum, carry);
    done += static_cast<uint64_t>(got);
  }
  platform::Close(h);
  return ok;
}

bool ReadTrailer(const std::string &path, uint64_t at, uint32_t &sum, uint32_t &carry) {
  const platform::Handle h = platform::Open(path, platform::OpenMode::Read);
  if (h == platform::InvalidHandle)
    return false;
  unsigned char t[TrailerBytes];
  const bool ok = platform::Seek(h, static_cast<int64_t>(at)) == static_cast<int64_t>(at) &&
                  platform::Read(h, t, TrailerBytes) == TrailerBytes;
  platform::Close(h);
  sum = t[0] | t[1] << 8 | t[2] << 16 | static_cast<uint32_t>(t[3]) << 24;
  carry = t[4] | t[5] << 8 | t[6] << 16 | static_cast<uint32_t>(t[7]) << 24;
  return ok;
}

} // namespace

BlockFileReport InspectBlockFile(const std::string &path) {
  BlockFileReport r;
  r.size = platform::FileSize(path);
  if (r.size < 0) {
    r.error = "cannot open " + path + ": " + platform::ErrorText(platform::LastError());
    return r;
  }
  if (r.size < 8) {
    r.error = "too short for a block file header";
    return r;
  }
  try {
    WFile f(path, true);
    r.endAdr = f.Header.EndAdr;
    r.count = f.Header.Count;
    r.readable = true;
    if (static_cast<uint64_t>(r.size) < r.endAdr)
      r.error = "the file ends before EndAdr";
    WRec rec;
    for (uint32_t i = 0; i < r.count; ++i) {
      BlockFileReport::Logical lf;
      lf.adr = f.Dir[i].Adr;
      lf.len = f.Dir[i].Len;
      try {
        f.WOpen_file(i);
        int64_t n = 0;
        uint64_t live = LenEof;
        while (f.WRead(&rec)) {
          if (i == 0 && n == 0)
            r.edition.assign(rec.Data, rec.Len);
          ++n;
          live += rec.Len + LenPrefix;
        }
        lf.records = n;
        if (live != lf.len)
          lf.error = "Len " + std::to_string(lf.len) + " but the records take " +
                     std::to_string(live) + " bytes";
      } catch (const ZError &e) {
        lf.error = ErrorText(e);
      }
      r.files.push_back(lf);
    }
    f.Close();
  } catch (const ZError &e) {
    // r.readable tells whether the header and directory were read before it.
    if (r.error.empty())
      r.error = ErrorText(e);
    return r;
  }
  r.deadPercent = def_unused(path);
  const uint64_t after = static_cast<uint64_t>(r.size) - std::min<uint64_t>(r.size, r.endAdr);
  r.trailerPresent = after == TrailerBytes;
  if (after != 0 && after != TrailerBytes && r.error.empty())
    r.error = std::to_string(after) + " bytes after EndAdr (a trailer has 8)";
  if (r.trailerPresent) {
    uint32_t sum = 0, carry = 0, tsum = 0, tcarry = 0;
    r.trailerMatches = SumPrefix(path, r.endAdr, sum, carry) &&
                       ReadTrailer(path, r.endAdr, tsum, tcarry) && sum == tsum && carry == tcarry;
  }
  return r;
}

int ZepMain(const std::vector<std::string> &args, std::ostream &out, std::ostream &err) {
  if (args.empty())
    return Usage(err, MainHelp, "no command");
  const std::string &cmd = args[0];
  if (cmd == "--help" || cmd == "-h" || cmd == "help") {
    out << MainHelp;
    return ExitOk;
  }
  if (cmd == "convert")
    return Convert(Parse(args, 1, {"--replace", "--copy"}, true), out, err);
  if (cmd == "mass")
    return Mass(Parse(args, 1, {"--replace", "--copy", "--list"}, false), out, err);
  if (cmd == "info")
    return Info(Parse(args, 1, {}, false), out, err);
  if (cmd == "verify")
    return Verify(Parse(args, 1, {}, false), out, err);
  if (cmd == "sample")
    return Sample(Parse(args, 1, {}, false), out, err);
  return Usage(err, MainHelp, "unknown command " + cmd);
}
