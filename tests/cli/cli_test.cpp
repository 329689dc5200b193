// The command line in process: options, exit statuses, help texts, and the
// info and verify reports on good and damaged files.
#include "Cli.h"

#include "BlockBuilder.h"
#include "ModelBuilder.h"
#include "Platform.h"

#include <gtest/gtest.h>

#include <functional>
#include <iomanip>
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
    out = Slashes(o.str());
    err = Slashes(e.str());
    return rc;
  }
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
    EXPECT_TRUE(out.starts_with("usage: zepconv")) << out;
    EXPECT_TRUE(err.empty());
  }
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
      {"info"},
      {"verify", "a", "b"},
      {"sample"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.empty() ? "(none)" : c[0] + " " + std::to_string(c.size()));
    EXPECT_EQ(Run(c), ExitUsage);
    EXPECT_NE(err.find("usage: zepconv"), std::string::npos);
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

TEST_F(CliTest, RefusedOrFailedConversionExitsWith1AndShowsTheMessages) {
  ModelSpec m;
  m.edition = kOtherEdition;
  WriteModel(dir_ + "old.IMS", m);
  EXPECT_EQ(Run({"convert", dir_ + "old.IMS", dir_ + "n.IMS"}), ExitFailed);
  EXPECT_EQ(out, "failed: " + dir_ + "old.IMS\n");
  EXPECT_NE(err.find("имеет неверный шифр редакции"), std::string::npos) << err;
  EXPECT_NE(err.find("Преобразование завершено с ошибкой!"), std::string::npos);
  const std::string src = Model("a.IMS");
  EXPECT_EQ(Run({"convert", src, src}), ExitFailed);
  EXPECT_NE(err.find("\"сам в себя\" невозможно!"), std::string::npos) << err;
  EXPECT_EQ(Run({"convert", dir_ + "missing.IMS", dir_ + "n.IMS"}), ExitFailed);
  EXPECT_FALSE(platform::FileExists(dir_ + "n.IMS"));
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
                     "s/sub/b.NSF -> " + dir_ + "t/sub/b.NSF\n2 converted, 0 failed\n");
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
  EXPECT_EQ(Run({"mass", dir_ + "s", dir_ + "t"}), ExitFailed);
  EXPECT_EQ(out, "failed: " + dir_ + "s/a.IMS\nconverted: " + dir_ + "s/b.IMS -> " + dir_ +
                     "t/b.IMS\n1 converted, 1 failed\n");
  EXPECT_EQ(err.find("(answered: no)"), std::string::npos) << "nothing should be asked: " << err;
}

TEST_F(CliTest, MassRefusalsAndEmptyTrees) {
  platform::MakeDirs(dir_ + "s");
  EXPECT_EQ(Run({"mass", dir_ + "s", dir_ + "s/"}), ExitFailed);
  EXPECT_NE(err.find("Папки \"Откуда\" и \"Куда\" совпадают."), std::string::npos);
  EXPECT_EQ(Run({"mass", dir_ + "s", dir_ + "t"}), ExitOk);
  EXPECT_NE(err.find("Не найдено ни одного файла"), std::string::npos);
  EXPECT_EQ(out, "0 converted, 0 failed\n");
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

TEST_F(CliTest, SampleWritesTheTree) {
  EXPECT_EQ(Run({"sample", dir_ + "tree"}), ExitOk) << err;
  EXPECT_NE(out.find("convertible: " + dir_ + "tree/zero.IMS\n"), std::string::npos) << out;
  EXPECT_NE(out.find("damaged: "), std::string::npos);
  EXPECT_TRUE(platform::FileExists(dir_ + "tree/zero.IMS"));
}
