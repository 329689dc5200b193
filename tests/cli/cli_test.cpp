// The command line in process: options, exit statuses, help texts, and the
// info and verify reports on good and damaged files.
#include "Cli.h"
#include "OutputText.h"
#include "ProgressLine.h"

#include "BlockBuilder.h"
#include "DeepTree.h"
#include "ModelBuilder.h"
#include "Platform.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <csignal>
#include <functional>
#include <iomanip>
#include <memory>
#include <sstream>

using namespace samples;

namespace {

// The tests write paths with "/"; Windows, which takes "/" in a path,
// answers with its own separator, turned back into "/" for the comparisons.
std::string Slashes(std::string text) {
  for (char &c : text)
    if (c == platform::Separator)
      c = '/';
  return text;
}

class CliTest : public ::testing::Test {
protected:
  void SetUp() override {
    dir_ = Slashes(platform::MakeTempDir("zep-cli"));
    ASSERT_FALSE(dir_.empty());
  }
  void TearDown() override { platform::RemoveTree(dir_); }

  int Run(std::vector<std::string> args) {
    std::ostringstream o, e;
    const int rc = ZepMain(args, o, e);
    raw = o.str();
    out = Slashes(raw);
    err = Slashes(e.str());
    return rc;
  }
  // A path below the scratch folder as the program writes it: with the
  // system's separator.
  std::string Native(const std::string &rel) const { return platform::NativePath(dir_ + rel); }
  std::string Model(const std::string &name, uint8_t kind = 1, uint64_t seed = 1) {
    ModelSpec m;
    m.kind = kind;
    m.seed = seed;
    m.innerRecords = 5;
    m.innerMaxRecord = 200;
    m.layout.trailer = Layout::Trailer::Valid;
    const std::string p = dir_ + name;
    platform::MakeDirs(p.substr(0, p.rfind('/')));
    WriteModel(p, m);
    return p;
  }

  std::string dir_, out, err;
  std::string raw; // standard output as written, before Slashes
};

} // namespace

TEST_F(CliTest, HelpOnTheCommandAndEverySubcommand) {
  for (std::vector<std::string> args : {std::vector<std::string>{"--help"},
                                        {"convert", "--help"},
                                        {"mass", "--help"},
                                        {"info", "--help"},
                                        {"verify", "-h"},
                                        {"sample", "--help"}}) {
    SCOPED_TRACE(args[0]);
    EXPECT_EQ(Run(args), ExitOk);
    const std::string command = args.size() > 1 ? " " + args[0] : "";
    EXPECT_NE(out.find("Usage: zepconv" + command + " [OPTIONS]"), std::string::npos) << out;
    EXPECT_TRUE(err.empty());
  }
  EXPECT_EQ(Run({"help"}), ExitOk);
  EXPECT_NE(out.find("Subcommands:"), std::string::npos) << out;
}

TEST_F(CliTest, BadUsageExitsWith2) {
  const std::string src = Model("a.IMS");
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"frobnicate"},
      {"convert", src},
      {"convert", "--kind", "XYZ", src, dir_ + "b.IMS"},
      {"convert", "--kind", "4", src, dir_ + "b.IMS"},
      {"convert", "--kind"},
      {"convert", "--replace", "--copy", src, dir_ + "b.IMS"},
      {"convert", "--bogus", src, dir_ + "b.IMS"},
      {"convert", dir_ + "noext", dir_ + "b.IMS"}, // no kind from the extension
      {"mass", dir_},
      {"mass", "--kind", "IMS", dir_, dir_ + "o"},
      {"mass", "--json", "--list", dir_, dir_ + "o"},
      {"mass", dir_, dir_ + "o", "extra"},
      {"info"},
      {"verify", "a", "b"},
      {"sample"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.empty() ? "(none)" : c[0] + " " + std::to_string(c.size()));
    EXPECT_EQ(Run(c), ExitUsage);
    EXPECT_TRUE(err.starts_with("zepconv: ")) << err;
    EXPECT_NE(err.find("Usage: zepconv"), std::string::npos) << err;
    EXPECT_TRUE(out.empty()) << out;
  }
  EXPECT_FALSE(platform::FileExists(dir_ + "b.IMS"));
}

TEST_F(CliTest, ConvertTakesTheKindFromTheExtensionOrTheOption) {
  struct Case {
    const char *source;
    uint8_t contentKind;
    std::vector<std::string> kindOption;
  } cases[] = {
      {"a.IMS", 1, {}},
      {"b.bnpp", 6, {}},
      {"c.dat", 9, {"--kind", "rgf"}},
      {"d.dat", 2, {"--kind=2"}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.source);
    const std::string src = Model(c.source, c.contentKind, c.contentKind);
    std::vector<std::string> args = {"convert"};
    args.insert(args.end(), c.kindOption.begin(), c.kindOption.end());
    args.push_back(src);
    args.push_back(dir_ + "out/" + c.source);
    EXPECT_EQ(Run(args), ExitOk) << err;
    EXPECT_EQ(out, "converted: " + src + " -> " + dir_ + "out/" + c.source + "\n");
    EXPECT_EQ(Run({"verify", dir_ + "out/" + c.source}), ExitOk) << out;
  }
}

TEST_F(CliTest, ExistingTargetCopyOrReplace) {
  const std::string src = Model("a.IMS");
  platform::MakeDirs(dir_ + "o");
  WriteFileBytes(dir_ + "o/a.IMS", "old");
  EXPECT_EQ(Run({"convert", src, dir_ + "o/a.IMS"}), ExitOk);
  EXPECT_EQ(out, "converted: " + src + " -> " + dir_ + "o/a-k.IMS\n");
  EXPECT_EQ(ReadFileBytes(dir_ + "o/a.IMS"), "old");
  EXPECT_EQ(Run({"convert", "--replace", src, dir_ + "o/a.IMS"}), ExitOk);
  EXPECT_EQ(out, "converted: " + src + " -> " + dir_ + "o/a.IMS\n");
  EXPECT_EQ(ReadFileBytes(dir_ + "o/a.IMS"), ReadFileBytes(dir_ + "o/a-k.IMS"));
}

// A refusal is told by its own message alone; a failure by the engine's
// messages, the closing message and a reason line; a source that is missing
// or a folder in plain words. The closing message follows every conversion.
TEST_F(CliTest, ConvertTellsRefusalsFailuresAndMissingSourcesApart) {
  ModelSpec m;
  m.edition = kOtherEdition;
  WriteModel(dir_ + "old.IMS", m);
  const std::string src = Model("a.IMS");
  const std::string cut = Model("cut.IMS", 1, 2);
  Truncate(cut, ReadFileBytes(cut).size() - 100); // of the right edition, but damaged
  platform::MakeDirs(dir_ + "folder.IMS");
  const std::string done = "Преобразование завершено.\n";
  const std::string failedClosing = "Преобразование завершено с ошибкой!";
  struct Case {
    const char *what;
    std::string source, target;
    int rc;
    std::string out;      // exactly; "failed" cases: the first line, then "reason: ..."
    std::string errHas;   // a text standard error must hold
    std::string errLacks; // a text it must not hold
  } cases[] = {
      {"converted", src, dir_ + "n.IMS", ExitOk, "converted: " + src + " -> " + dir_ + "n.IMS\n",
       done, failedClosing},
      {"other edition", dir_ + "old.IMS", dir_ + "n2.IMS", ExitFailed,
       "refused: " + dir_ + "old.IMS\n", "имеет неверный шифр редакции", failedClosing},
      {"same file", src, src, ExitFailed, "refused: " + src + "\n", "\"сам в себя\" невозможно!",
       failedClosing},
      {"missing source", dir_ + "missing.IMS", dir_ + "n2.IMS", ExitFailed,
       "refused: " + dir_ + "missing.IMS\n", "zepconv: " + dir_ + "missing.IMS does not exist\n",
       "шифр"},
      {"folder as source", dir_ + "folder.IMS", dir_ + "n2.IMS", ExitFailed,
       "refused: " + dir_ + "folder.IMS\n", " is a folder; convert takes a file", "шифр"},
      {"damaged file of the source edition", cut, dir_ + "n2.IMS", ExitFailed,
       "failed: " + cut + "\n", "не удается преобразовать\n" + failedClosing, "шифр"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Run({"convert", c.source, c.target}), c.rc) << err;
    if (c.out.starts_with("failed: ")) {
      EXPECT_TRUE(out.starts_with(c.out + "reason: Файл " + cut + " поврежден: ")) << out;
      EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 2) << out;
    } else {
      EXPECT_EQ(out, c.out);
    }
    EXPECT_NE(err.find(c.errHas), std::string::npos) << err;
    EXPECT_EQ(err.find(c.errLacks), std::string::npos) << err;
  }
  EXPECT_FALSE(platform::FileExists(dir_ + "n2.IMS"));
}

TEST_F(CliTest, MassListConvertsNothingAndMassConvertsEverything) {
  Model("s/a.IMS", 1, 1);
  Model("s/sub/b.NSF", 10, 2);
  ModelSpec old;
  old.edition = kOtherEdition;
  WriteModel(dir_ + "s/old.IMS", old);
  EXPECT_EQ(Run({"mass", "--list", dir_ + "s", dir_ + "t"}), ExitOk);
  EXPECT_EQ(out, "# Информационная Модель Сметной Стоимости (IMS)\n" + dir_ + "s/a.IMS -> " + dir_ +
                     "t/a.IMS\n# Файл с НСИ Пользователя (NSF)\n" + dir_ + "s/sub/b.NSF -> " +
                     dir_ + "t/sub/b.NSF\n2 file(s) would be converted\n");
  EXPECT_FALSE(platform::DirExists(dir_ + "t"));
  EXPECT_EQ(Run({"mass", dir_ + "s/", dir_ + "t//"}), ExitOk) << err;
  EXPECT_EQ(out, "converted: " + dir_ + "s/a.IMS -> " + dir_ + "t/a.IMS\nconverted: " + dir_ +
                     "s/sub/b.NSF -> " + dir_ + "t/sub/b.NSF\n2 converted, 0 failed, 0 skipped\n");
  EXPECT_NE(err.find("Преобразование завершено !"), std::string::npos);
  // Again: the targets exist, so --copy gives "-k" names, and --list says so.
  EXPECT_EQ(Run({"mass", "--list", dir_ + "s", dir_ + "t"}), ExitOk);
  EXPECT_NE(out.find(dir_ + "t/a-k.IMS\n"), std::string::npos) << out;
  EXPECT_EQ(Run({"mass", "--replace", "--list", dir_ + "s", dir_ + "t"}), ExitOk);
  EXPECT_NE(out.find(dir_ + "t/a.IMS\n"), std::string::npos) << out;
}

TEST_F(CliTest, MassFailureDoesNotStopTheRunAndExitsWith1) {
  ModelSample s = BuildModel(ModelSpec{});
  PutU32(s.image.bytes, s.image.recordAdr[2][0] + 1, s.image.endAdr + 10);
  platform::MakeDirs(dir_ + "s");
  WriteFileBytes(dir_ + "s/a.IMS", s.image.bytes);
  Model("s/b.IMS", 1, 2);
  // Of the source edition but cut short: listed, and fails like any damaged file.
  const std::string cut = Model("s/c.IMS", 1, 3);
  Truncate(cut, ReadFileBytes(cut).size() - 100);
  EXPECT_EQ(Run({"mass", dir_ + "s", dir_ + "t"}), ExitFailed);
  const std::string a = dir_ + "s/a.IMS";
  const std::string linkReason = "reason: У файлi " + a +
                                 " неправильно задана адреса наступного запису " +
                                 std::to_string(s.image.endAdr + 10) + "\n";
  EXPECT_TRUE(out.starts_with("failed: " + a + "\n" + linkReason + "converted: " + dir_ +
                              "s/b.IMS -> " + dir_ + "t/b.IMS\nfailed: " + cut + "\nreason: Файл " +
                              cut + " поврежден: "))
      << out;
  EXPECT_TRUE(out.ends_with("\n1 converted, 2 failed, 0 skipped\n")) << out;
  EXPECT_EQ(err.find("(answered: no)"), std::string::npos) << "nothing should be asked: " << err;
}

// Nothing is passed over in silence: a folder that cannot be listed and a
// file that cannot be opened are reported, counted, and make the status 1.
TEST_F(CliTest, MassReportsWhatItCannotReadAsSkipped) {
  Model("s/a.IMS");
  if (DeepTree::Unsupported)
    GTEST_SKIP() << DeepTree::Unsupported;
  DeepTree deep(dir_ + "s/", ".IMS", BuildModel(ModelSpec{}).image.bytes);
  const std::string skipped = "skipped: " + deep.longFolder +
                              " (File name too long)\nskipped: " + deep.longFile +
                              " (File name too long)\n";
  EXPECT_EQ(Run({"mass", dir_ + "s", dir_ + "t"}), ExitFailed) << err;
  EXPECT_EQ(out, "converted: " + dir_ + "s/a.IMS -> " + dir_ + "t/a.IMS\n" + skipped +
                     "1 converted, 0 failed, 2 skipped\n");
  EXPECT_EQ(Run({"mass", "--list", dir_ + "s", dir_ + "u"}), ExitFailed) << err;
  EXPECT_TRUE(out.ends_with(skipped + "1 file(s) would be converted, 2 skipped\n")) << out;
}

TEST_F(CliTest, MassRefusalsAndEmptyTrees) {
  platform::MakeDirs(dir_ + "s");
  EXPECT_EQ(Run({"mass", dir_ + "s", dir_ + "s/"}), ExitFailed);
  EXPECT_NE(err.find("Папки \"Откуда\" и \"Куда\" совпадают."), std::string::npos);
  EXPECT_EQ(Run({"mass", dir_ + "s", dir_ + "t"}), ExitOk);
  EXPECT_NE(err.find("Не найдено ни одного файла"), std::string::npos);
  EXPECT_EQ(out, "0 converted, 0 failed, 0 skipped\n");
  EXPECT_EQ(Run({"mass", dir_ + "nope", dir_ + "t"}), ExitFailed);
}

TEST_F(CliTest, RelativeFoldersAreTakenFromTheCurrentFolder) {
  Model("s/a.IMS");
  const std::string cwd = platform::CurrentDir();
  ASSERT_TRUE(platform::SetCurrentDir(dir_));
  const int rc = Run({"mass", "s", "./t"});
  ASSERT_TRUE(platform::SetCurrentDir(cwd));
  EXPECT_EQ(rc, ExitOk) << err;
  EXPECT_TRUE(platform::FileExists(dir_ + "t/a.IMS"));
  EXPECT_NE(out.find("-> " + dir_ + "t/a.IMS"), std::string::npos) << out;
}

std::vector<nlohmann::json> JsonLines(const std::string &text) {
  std::vector<nlohmann::json> lines;
  size_t at = 0;
  while (at < text.size()) {
    const size_t nl = text.find('\n', at);
    lines.push_back(nlohmann::json::parse(text.substr(at, nl - at))); // throws unless valid
    at = nl == std::string::npos ? text.size() : nl + 1;
  }
  return lines;
}

// One JSON object per line and file, then the summary; a path that is not
// UTF-8 has its stray bytes escaped, so every line stays valid JSON. (Windows
// names are UTF-16 and cannot hold stray bytes, quotes or line breaks: there
// the name is Cyrillic and must come through unchanged.)
TEST_F(CliTest, JsonOutputHasOneObjectPerFileAndASummary) {
#ifdef _WIN32
  const std::string odd = "кафе «q».NSF", oddJson = odd;
#else
  const std::string odd = "caf\xE9 \"q\"\n.NSF", oddJson = "caf\\xE9 \"q\"\n.NSF";
#endif
  Model("s/a.IMS");
  Model("s/" + odd, 10, 2);
  ModelSample bad = BuildModel(ModelSpec{});
  PutU32(bad.image.bytes, bad.image.recordAdr[2][0] + 1, bad.image.endAdr + 10);
  WriteFileBytes(dir_ + "s/bad.IMS", bad.image.bytes);
  // Entries that cannot be read are reported where the system can make them.
  std::unique_ptr<DeepTree> deep;
  if (!DeepTree::Unsupported)
    deep = std::make_unique<DeepTree>(dir_ + "s/", ".RGF", "x");
  const int skipped = deep ? 2 : 0;
  EXPECT_EQ(Run({"mass", "--json", dir_ + "s", dir_ + "t"}), ExitFailed) << err;
  const auto lines = JsonLines(raw);
  ASSERT_EQ(lines.size(), 4u + skipped) << raw;
  EXPECT_EQ(lines[0], (nlohmann::json{{"source", Native("s/a.IMS")},
                                      {"target", Native("t/a.IMS")},
                                      {"kind", "IMS"},
                                      {"status", "converted"},
                                      {"reason", nullptr}}));
  EXPECT_EQ(lines[1]["source"], Native("s/bad.IMS"));
  EXPECT_EQ(lines[1]["status"], "failed");
  EXPECT_NE(lines[1]["reason"].get<std::string>().find(Native("s/bad.IMS")), std::string::npos);
  EXPECT_EQ(lines[2]["source"], Native("s/") + oddJson);
  EXPECT_EQ(lines[2]["target"], Native("t/") + oddJson);
  EXPECT_EQ(lines[2]["kind"], "NSF");
  EXPECT_EQ(lines[2]["status"], "converted");
  if (deep) {
    EXPECT_EQ(lines[3], (nlohmann::json{{"source", deep->longFolder},
                                        {"target", nullptr},
                                        {"kind", nullptr},
                                        {"status", "skipped"},
                                        {"reason", "File name too long"}}));
    EXPECT_EQ(lines[4]["kind"], "RGF");
    EXPECT_EQ(lines[4]["status"], "skipped");
  }
  EXPECT_EQ(lines.back(), (nlohmann::json{{"converted", 2}, {"failed", 1}, {"skipped", skipped}}));
  EXPECT_EQ(err.find("\x1b[K"), std::string::npos) << "no progress display with --json";

  EXPECT_EQ(Run({"convert", "--json", dir_ + "s/a.IMS", dir_ + "one.IMS"}), ExitOk) << err;
  EXPECT_EQ(JsonLines(raw),
            (std::vector<nlohmann::json>{{{"source", Native("s/a.IMS")},
                                          {"target", Native("one.IMS")},
                                          {"kind", "IMS"},
                                          {"status", "converted"},
                                          {"reason", nullptr}},
                                         {{"converted", 1}, {"failed", 0}, {"skipped", 0}}}));
  EXPECT_EQ(Run({"convert", "--json", dir_ + "nope.IMS", dir_ + "two.IMS"}), ExitFailed);
  const auto refused = JsonLines(raw);
  ASSERT_EQ(refused.size(), 2u);
  EXPECT_EQ(refused[0]["status"], "refused");
  EXPECT_EQ(refused[0]["reason"], platform::ErrorText(platform::ErrNotFound));
}

// `text` with each backslash doubled, as inside the quotes of plain output.
std::string BackslashesDoubled(const std::string &text) {
  std::string d;
  for (char c : text)
    d += c == '\\' ? std::string(2, c) : std::string(1, c);
  return d;
}

// A signal to stop: the file being converted is reported as interrupted, the
// run goes no further, the summary so far says by what, and the exit status
// is 128 + the signal's number.
TEST_F(CliTest, StoppedBySignalReportsTheFileAndTheSummarySoFar) {
  const std::string a = Model("s/a.IMS"), b = Model("s/b.IMS", 1, 2);
  Model("s/c.IMS", 1, 3);
  // One file at a time: with more, the files after the one stopped may be
  // under way too, and are abandoned with it.
  // The second opening of `path` is its conversion's (the first, its edition check's).
  auto stopAtConversionOf = [](const std::string &path) {
    auto openings = std::make_shared<int>(0);
    platform::SetCallHook(platform::Op::Open,
                          [=](platform::Op, const std::string &p, const std::string &) {
                            if (p == platform::NativePath(path) && ++*openings == 2)
                              platform::SetInterruption(SIGINT);
                          });
  };
  struct Case {
    std::vector<std::string> args;
    std::string stopAt, out;
  } cases[] = {
      {{"mass", "--jobs", "1", dir_ + "s", dir_ + "t"},
       b,
       "converted: " + a + " -> " + dir_ + "t/a.IMS\ninterrupted: " + b +
           "\n1 converted, 0 failed, 0 skipped, interrupted by SIGINT\n"},
      {{"convert", a, dir_ + "one.IMS"},
       a,
       "interrupted: " + a + "\n0 converted, 0 failed, 0 skipped, interrupted by SIGINT\n"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.args[0]);
    stopAtConversionOf(c.stopAt);
    EXPECT_EQ(Run(c.args), 128 + SIGINT);
    platform::ClearInjectedFailures();
    platform::SetInterruption(0);
    EXPECT_EQ(out, c.out);
    EXPECT_NE(err.find("файл " + c.stopAt + "\nпреобразование прервано"), std::string::npos) << err;
    EXPECT_EQ(err.find("не удается преобразовать"), std::string::npos) << err;
  }
  EXPECT_FALSE(platform::FileExists(dir_ + "t/b.IMS"));
  EXPECT_FALSE(platform::FileExists(dir_ + "t/c.IMS"));
  EXPECT_FALSE(platform::FileExists(dir_ + "one.IMS"));

  stopAtConversionOf(b);
  EXPECT_EQ(Run({"mass", "--jobs", "1", "--json", "--replace", dir_ + "s", dir_ + "t"}),
            128 + SIGINT);
  platform::ClearInjectedFailures();
  platform::SetInterruption(0);
  const auto lines = JsonLines(raw);
  ASSERT_EQ(lines.size(), 3u) << raw;
  EXPECT_EQ(lines[1], (nlohmann::json{{"source", platform::NativePath(b)},
                                      {"target", platform::NativePath(dir_ + "t/b.IMS")},
                                      {"kind", "IMS"},
                                      {"status", "interrupted"},
                                      {"reason", "прервано сигналом SIGINT"}}));
  EXPECT_EQ(
      lines[2],
      (nlohmann::json{{"converted", 1}, {"failed", 0}, {"skipped", 0}, {"interrupted", "SIGINT"}}));
#ifndef _WIN32
  for (int sig : {SIGINT, SIGTERM, SIGHUP})
    std::signal(sig, SIG_DFL);
#endif
}

// In plain output a path with a control character is quoted and escaped, so
// that one file is always one line. Windows refuses the C0 controls in names
// but takes DEL and the C1 controls, among them U+0085, the next-line mark.
TEST_F(CliTest, PathsWithControlCharactersStayOnOneLine) {
#ifdef _WIN32
  const std::string name = "new\x7Fline\xC2\x85.IMS", shown = "new\\x7Fline\\xC2\\x85.IMS";
#else
  const std::string name = "new\nline\t.IMS", shown = "new\\nline\\t.IMS";
#endif
  Model("s/" + name);
  EXPECT_EQ(Run({"mass", dir_ + "s", dir_ + "t"}), ExitOk) << err;
  // The quotes escape a backslash too, so Windows separators show doubled.
  EXPECT_EQ(raw, "converted: \"" + BackslashesDoubled(Native("s/")) + shown + "\" -> \"" +
                     BackslashesDoubled(Native("t/")) + shown +
                     "\"\n1 converted, 0 failed, 0 skipped\n");
  EXPECT_TRUE(platform::FileExists(dir_ + "t/" + name));
}

TEST(OutputText, OneLineQuotesOnlyWhatNeedsIt) {
  const std::pair<std::string, std::string> cases[] = {
      {"/d/obj.IMS", "/d/obj.IMS"},
      {"/d/Подряд/объект \"1\".IMS", "/d/Подряд/объект \"1\".IMS"},
      {"a\nb", "\"a\\nb\""},
      {"tab\there \"q\" \\", "\"tab\\there \\\"q\\\" \\\\\""},
      {"cr\r, esc\x1b, del\x7f", "\"cr\\r, esc\\x1B, del\\x7F\""},
      {"c1 \xC2\x9B csi", "\"c1 \\xC2\\x9B csi\""},
      {"cp1251 \xCF\xF0\xE8", "\"cp1251 \\xCF\\xF0\\xE8\""},
      {"", ""},
  };
  for (const auto &[in, want] : cases)
    EXPECT_EQ(OneLine(in), want) << in;
}

TEST(OutputText, ByteThatIsNotUtf8IsEscapedAndTheRestKept) {
  const std::pair<std::string, std::string> cases[] = {
      {"plain", "plain"},
      {"Ред \xF0\x9F\x98\x80 ok", "Ред \xF0\x9F\x98\x80 ok"},
      {"caf\xE9", "caf\\xE9"},
      {"\xC0\xAF overlong", "\\xC0\\xAF overlong"},
      {"\xED\xA0\x80 surrogate", "\\xED\\xA0\\x80 surrogate"},
      {"\xF4\x90\x80\x80 too high", "\\xF4\\x90\\x80\\x80 too high"},
      {"cut \xE2\x82", "cut \\xE2\\x82"},
      {"\x80 stray", "\\x80 stray"},
      {"a\nb\x01", "a\nb\x01"}, // control characters are the JSON library's to escape
  };
  for (const auto &[in, want] : cases) {
    EXPECT_EQ(Utf8OrEscaped(in), want) << in;
    EXPECT_NO_THROW(nlohmann::json(Utf8OrEscaped(in)).dump()) << in;
  }
}

// The progress line on a terminal: drawn in place for each file, hidden
// before every other output, cleared at the end; never wider than the
// terminal; nothing of it without a terminal or with --quiet.
TEST_F(CliTest, MassShowsOneProgressLineOnlyOnATerminal) {
  Model("s/a.IMS");
  Model("s/" + std::string(120, 'x') + ".IMS", 1, 2);
  const std::string erase = "\r\x1b[K";
  auto run = [&](std::vector<std::string> args, int columns) {
    std::ostringstream o, e;
    const int rc = ZepMain(args, o, e, columns);
    out = Slashes(o.str());
    err = Slashes(e.str());
    return rc;
  };
  EXPECT_EQ(run({"mass", dir_ + "s", dir_ + "t1"}, 60), ExitOk);
  EXPECT_EQ(out.find(erase), std::string::npos);
  EXPECT_NE(err.find(erase + "0/2  " + dir_ + "s/a.IMS" + erase), std::string::npos) << err;
  EXPECT_NE(err.find(erase + "1/2  "), std::string::npos) << err;
  EXPECT_TRUE(err.ends_with(erase + "Преобразование завершено !\n")) << err;
  size_t at = 0;
  while ((at = err.find(erase, at)) != std::string::npos) {
    at += erase.size();
    const std::string line = err.substr(at, err.find_first_of("\r\n", at) - at);
    EXPECT_LE(std::count_if(line.begin(), line.end(),
                            [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }),
              59)
        << line;
  }
  for (const auto &[args, columns] : std::vector<std::pair<std::vector<std::string>, int>>{
           {{"mass", dir_ + "s", dir_ + "t2"}, 0},
           {{"mass", "--quiet", dir_ + "s", dir_ + "t3"}, 60}}) {
    EXPECT_EQ(run(args, columns), ExitOk);
    EXPECT_EQ(err.find('\r'), std::string::npos) << err;
  }
}

TEST(ProgressLine, TextFitsTheTerminalAndKeepsTheEndOfThePath) {
  EXPECT_EQ(ProgressLine::Text(3, 15, 12.34, "/d/a.IMS", 80), "3/15  12.3 MB/s  /d/a.IMS");
  EXPECT_EQ(ProgressLine::Text(0, 15, -1, "/d/a.IMS", 80), "0/15  /d/a.IMS");
  EXPECT_EQ(ProgressLine::Text(3, 15, 1, "/папка/длинное-имя.IMS", 30),
            "3/15  1.0 MB/s  \u2026нное-имя.IMS");
  EXPECT_EQ(ProgressLine::Text(3, 15, 1, "/d/new\nline", 80), "3/15  1.0 MB/s  \"/d/new\\nline\"");
  EXPECT_EQ(ProgressLine::Text(3, 15, 1, "/d/a.IMS", 8), "3/15  1");
}

TEST_F(CliTest, InfoShowsTheLayout) {
  std::vector<Records> files = {{{0, "5-2.10.5 \xD0\xE5\xE4"}}, {{0, "a"}, {0, "bc"}}, {}};
  Layout l;
  l.deletedPlain = 1.0; // dead records before every live one
  l.trailer = Layout::Trailer::Valid;
  const BlockImage img = BuildBlockFile(files, l);
  WriteFileBytes(dir_ + "f.bf", img.bytes);
  EXPECT_EQ(Run({"info", dir_ + "f.bf"}), ExitOk) << out << err;
  EXPECT_NE(out.find("size: " + std::to_string(img.bytes.size()) + " bytes\n"), std::string::npos);
  EXPECT_NE(out.find("EndAdr: " + std::to_string(img.endAdr) + "\n"), std::string::npos);
  EXPECT_NE(out.find("Count: 3\n"), std::string::npos);
  EXPECT_NE(out.find("edition: \"5-2.10.5 Ред\"\n"), std::string::npos) << out;
  EXPECT_NE(out.find("checksum trailer: present, matches\n"), std::string::npos);
  EXPECT_EQ(out.find("dead space: 0%"), std::string::npos) << out;
  std::ostringstream row;
  row << std::setw(7) << 1 << std::setw(11) << img.adr[1] << std::setw(11) << img.len[1]
      << std::setw(11) << 2 << "\n";
  EXPECT_NE(out.find(row.str()), std::string::npos) << out;
}

TEST_F(CliTest, VerifyAcceptsSoundFilesAndNamesWhatIsWrong) {
  const std::vector<Records> files = {{{0, kSourceEdition}}, {{0, "abc"}, {0, "def"}}};
  struct Case {
    const char *name;
    std::function<void(std::string &, const BlockImage &)> damage;
    const char *reason; // empty: verify passes; "*": fails for any reason
  } cases[] = {
      {"sound", [](std::string &, const BlockImage &) {}, ""},
      {"no trailer", [](std::string &b, const BlockImage &i) { b.resize(i.endAdr); },
       "no checksum trailer"},
      {"wrong trailer", [](std::string &b, const BlockImage &) { b.back() ^= 1; },
       "does not match"},
      {"body byte changed",
       [](std::string &b, const BlockImage &i) { b[i.recordAdr[1][1] + kPrefixSize] ^= 1; },
       "does not match"},
      {"link beyond the data",
       [](std::string &b, const BlockImage &i) { PutU32(b, i.recordAdr[1][0] + 1, i.endAdr + 9); },
       "logical file 1"},
      {"Len wrong", [](std::string &b, const BlockImage &) { PutU32(b, 12 + 8, 99); },
       "logical file 1"},
      {"truncated", [](std::string &b, const BlockImage &i) { b.resize(i.endAdr - 3); },
       "*"}, // refused when the file is opened, in the reader's words
      {"stray bytes", [](std::string &b, const BlockImage &) { b += "xyz"; }, "bytes after EndAdr"},
      {"not a block file", [](std::string &b, const BlockImage &) { b = "tiny"; }, "too short"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    Layout l;
    l.trailer = Layout::Trailer::Valid;
    const BlockImage img = BuildBlockFile(files, l);
    std::string bytes = img.bytes;
    c.damage(bytes, img);
    WriteFileBytes(dir_ + "v.bf", bytes);
    const int rc = Run({"verify", dir_ + "v.bf"});
    if (*c.reason == '\0') {
      EXPECT_EQ(rc, ExitOk) << out;
      EXPECT_EQ(out, "OK: " + dir_ + "v.bf\n");
    } else {
      EXPECT_EQ(rc, ExitFailed) << out;
      EXPECT_TRUE(out.starts_with("FAILED: ")) << out;
      if (std::string(c.reason) != "*") {
        EXPECT_NE(out.find(c.reason), std::string::npos) << out;
      }
    }
  }
  EXPECT_EQ(Run({"verify", dir_ + "missing.bf"}), ExitFailed);
  EXPECT_EQ(Run({"info", dir_ + "missing.bf"}), ExitFailed);
}

// Every name is a plain path, as in convert and mass: a "#" in a folder or
// file name is not an alias reference.
TEST_F(CliTest, InfoAndVerifyTakeNamesWithHashAsPlainPaths) {
  const std::string src = Model("data#1/x#2.IMS");
  EXPECT_EQ(Run({"verify", src}), ExitOk) << out << err;
  EXPECT_EQ(out, "OK: " + src + "\n");
  EXPECT_EQ(Run({"info", src}), ExitOk) << out << err;
  EXPECT_NE(out.find("checksum trailer: present, matches\n"), std::string::npos) << out;
  EXPECT_TRUE(err.empty()) << err;
}

TEST_F(CliTest, SampleWritesTheTree) {
  EXPECT_EQ(Run({"sample", dir_ + "tree"}), ExitOk) << err;
  EXPECT_NE(out.find("convertible: " + dir_ + "tree/zero.IMS\n"), std::string::npos) << out;
  EXPECT_NE(out.find("damaged: "), std::string::npos);
  EXPECT_TRUE(platform::FileExists(dir_ + "tree/zero.IMS"));
}

TEST_F(CliTest, SampleWithoutTheDamagedFileConvertsWhole) {
  EXPECT_EQ(Run({"sample", "--no-damaged", dir_ + "tree"}), ExitOk) << err;
  EXPECT_EQ(out.find("damaged: "), std::string::npos) << out;
  EXPECT_EQ(Run({"mass", dir_ + "tree", dir_ + "out"}), ExitOk) << out << err;
  EXPECT_EQ(out.find("failed: "), std::string::npos) << out;
}
