#include "BlockFileUtils.h"

#include <gtest/gtest.h>

#include "BlockBytes.h"
#include "BlockFile.h"
#include "RecordBuffer.h"

namespace {

using bb::CatchZ;
using bb::EndRec;
using bb::Entry;
using bb::Header;
using bb::Image;
using bb::ReadAll;
using bb::Rec;

std::vector<std::string> ReadAllRecs(WFile &w, uint32_t n) {
  std::vector<std::string> out;
  WRec r;
  w.WOpen_file(n);
  for (int i = 0; i < 10000 && w.WRead(&r); ++i)
    out.push_back(std::string(r.Data, r.Len));
  return out;
}

const std::string Fresh3 = Header(79, 3) + Entry(56, 23) + Entry(40, 8) + Entry(48, 8) + EndRec() +
                           EndRec() + EndRec() + Rec("5-2.10.3") + EndRec();

TEST(CreatBf, ThreeLogicalFilesWithEdition) {
  bb::TempDir t;
  EXPECT_EQ(creat_bf(t / "f", 3, "5-2.10.3"), 0);
  EXPECT_EQ(ReadAll(t / "f"), Fresh3);
  WFile w(t / "f");
  EXPECT_EQ(ReadAllRecs(w, 0), std::vector<std::string>{"5-2.10.3"});
  EXPECT_EQ(ReadAllRecs(w, 1), std::vector<std::string>{});
  EXPECT_EQ(ReadAllRecs(w, 2), std::vector<std::string>{});
}

TEST(CreatBf, WithoutEditionEveryLogicalFileIsEmpty) {
  bb::TempDir t;
  creat_bf(t / "f", 4, nullptr);
  const std::string s = ReadAll(t / "f");
  EXPECT_EQ(s.size(), 16u * 4 + 8);
  EXPECT_EQ(bb::Get32(s, 0), 16u * 4 + 8);
  WFile w(t / "f");
  for (uint32_t n = 0; n < 4; ++n)
    EXPECT_EQ(ReadAllRecs(w, n), std::vector<std::string>{}) << n;
}

TEST(CreatBf, DefaultEditionIsTheProgramsOwn) {
  bb::TempDir t;
  creat_bf(t / "f", 2);
  WFile w(t / "f");
  EXPECT_EQ(ReadAllRecs(w, 0), std::vector<std::string>{"5-2.10.4"});
  EXPECT_EQ(w.CompareVersion(), 0x01);
}

TEST(CreatBf, DecliningToReplaceStaysSilentAndKeepsTheFile) {
  bb::TempDir t;
  bb::WriteAll(t / "f", "keep");
  bb::Recorder rec;
  rec.answer = 0;
  ZError e = CatchZ([&] { creat_bf(t / "f", 3, "5-2.10.3"); });
  EXPECT_EQ(e.HelpContext, 999);
  EXPECT_EQ(ReadAll(t / "f"), "keep");
  EXPECT_EQ(CatchZ([&] { creat_bf(t / "g", -1, nullptr); }).HelpContext, 0);
}

TEST(CreatBfsp, SkeletonOfZeros) {
  bb::TempDir t;
  EXPECT_FALSE(creat_bfsp(t / "f", 2));
  EXPECT_EQ(ReadAll(t / "f"), bb::U32(0) + bb::U32(2) + std::string(16, '\0'));
}

TEST(DefUnused, FreshFileAndAfterCompaction) {
  bb::TempDir t;
  creat_bf(t / "f", 3, "5-2.10.3");
  EXPECT_EQ(def_unused(t / "f"), 18); // 100 - trunc(39 * 100 / 47)
  EXPECT_FALSE(compress_bf(t / "f", 50)) << "18 % is below 50 %";
  EXPECT_EQ(ReadAll(t / "f"), Fresh3);
  EXPECT_FALSE(compress_bf(t / "f", 0));
  EXPECT_EQ(ReadAll(t / "f"), Header(71, 3) + Entry(32, 23) + Entry(55, 8) + Entry(63, 8) +
                                  Rec("5-2.10.3") + EndRec() + EndRec() + EndRec());
  EXPECT_EQ(def_unused(t / "f"), 0);
  EXPECT_FALSE(platform::FileExists(t / "f$"));
}

TEST(DefUnused, FailedOpenIsShown) {
  bb::TempDir t;
  bb::Recorder rec;
  EXPECT_EQ(def_unused(t / "missing"), 0);
  ASSERT_EQ(rec.shown.size(), 1u);
  EXPECT_EQ(rec.shown[0].Kind, mk_Error);
  EXPECT_NE(rec.shown[0].Text.find(t / "missing"), std::string::npos);
}

// Logical file 0: edition; 1: live, deleted, replaced (new version elsewhere,
// writer bit 1), live; 2: empty; old chain bytes in between are dead space.
Image Scattered() {
  Image img(3);
  img.dir[0] = {img.Put(Rec("5-2.10.5")), 23};
  img.Put(EndRec());
  img.Put(Rec("dead space, an older version"));
  const uint32_t a = img.Put(Rec("first"));
  img.Put(Rec(0x80, EmptyAdr, "gone"));
  const uint32_t replaced = img.Put(Rec(0x80, 0, "old"));
  const uint32_t next = img.Put(Rec("third"));
  img.Put(EndRec());
  img.dir[2] = {img.Put(EndRec()), 8};
  const uint32_t moved = img.Put(Rec(0x01, next, "second"));
  img.area.replace(replaced - img.Base() + 1, 4, bb::U32(moved));
  img.dir[1] = {a, 12 + 13 + 12 + 8};
  return img;
}

const std::string Chain1 = Rec("first") + Rec(0x01, EmptyAdr, "second") + Rec("third") + EndRec();

TEST(CopyFile, CopiesOnlyTheLiveRecordsInReadingOrder) {
  bb::TempDir t;
  Scattered().Write(t / "src");
  creat_bf(t / "dst", 3, "5-2.10.3");
  WFile src(t / "src", true);
  WFile dst(t / "dst");
  const uint32_t at = dst.Header.EndAdr;
  EXPECT_EQ(copy_file(&src, &dst, 1, 2), 0);
  EXPECT_EQ(dst.Dir[2].Adr, at);
  EXPECT_EQ(dst.Dir[2].Len, Chain1.size());
  EXPECT_EQ(ReadAll(t / "dst").substr(at), Chain1);
}

TEST(CopyFile, WithinOneObject) {
  bb::TempDir t;
  Scattered().Write(t / "f");
  WFile w(t / "f");
  copy_file(&w, &w, 1, 2);
  EXPECT_EQ(ReadAllRecs(w, 2), (std::vector<std::string>{"first", "second", "third"}));
}

TEST(CopyFile, RefusesSimpleFiles) {
  bb::TempDir t;
  creat_bf(t / "c", 2, "5-2.10.3");
  bb::WriteAll(t / "s", EndRec());
  WFile c(t / "c");
  WFile s(t / "s", zfmRead);
  ZError e = CatchZ([&] { copy_file(&s, &c, 0, 1); });
  EXPECT_EQ(e.HelpContext, 0);
  EXPECT_EQ(e.Message,
            "При копировании логических файлов " + t / "s" + " или " + t / "c" + " не составной");
}

TEST(CopyFile, DamagedSourceLeavesTheTargetUnchanged) {
  bb::TempDir t;
  Image img(1);
  img.dir[0] = {img.Put(Rec("a")), 0};
  img.Put(Rec(0, 0x10000, "b")); // link beyond EndAdr
  img.Put(EndRec());
  img.Write(t / "src");
  creat_bf(t / "dst", 2, "5-2.10.3");
  const std::string before = ReadAll(t / "dst");
  {
    WFile src(t / "src");
    WFile dst(t / "dst");
    EXPECT_EQ(CatchZ([&] { copy_file(&src, &dst, 0, 1); }).HelpContext, 10);
    EXPECT_EQ(dst.OpenLog, EmptyAdr) << "the half copy is discarded, not left for commit";
  }
  EXPECT_EQ(ReadAll(t / "dst"), before);
  EXPECT_FALSE(platform::FileExists(t / "dst$$"));
}

TEST(CompressBf, CanonicalLayoutKeepsTheContent) {
  bb::TempDir t;
  Scattered().Write(t / "f");
  bb::AppendBytes(t / "f", "CHECKSUM"); // a trailer after EndAdr goes too
  EXPECT_GT(def_unused(t / "f"), 30);
  EXPECT_FALSE(compress_bf(t / "f", 30));
  const std::string lf0 = Rec("5-2.10.5") + EndRec();
  EXPECT_EQ(ReadAll(t / "f"), Header(32 + 23 + 45 + 8, 3) + Entry(32, 23) + Entry(55, 45) +
                                  Entry(100, 8) + lf0 + Chain1 + EndRec());
  EXPECT_EQ(def_unused(t / "f"), 0);
}

TEST(CompressBf, AFailureLeavesTheOriginalIntact) {
  struct Case {
    const char *name;
    platform::Op op;
    int countdown;
  } cases[] = {
      {"writing the copy", platform::Op::Write, 0},
      {"creating the copy", platform::Op::Open, 1},
      {"renaming the copy", platform::Op::Rename, 0},
  };
  bb::TempDir t;
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    Scattered().Write(t / "f");
    const std::string before = ReadAll(t / "f");
    platform::InjectFailure(c.op, c.countdown);
    ZError e = CatchZ([&] { compress_bf(t / "f", 0); });
    platform::ClearInjectedFailures();
    EXPECT_EQ(e.HelpContext, 99);
    EXPECT_EQ(ReadAll(t / "f"), before);
    EXPECT_FALSE(platform::FileExists(t / "f$"));
  }
}

// The copy is synchronised before the rename unless the caller says not to:
// a failing synchronisation fails the first and does not touch the second.
TEST(CompressBf, CopyIsSynchronisedUnlessTheCallerDeclines) {
  bb::TempDir t;
  Scattered().Write(t / "a");
  Scattered().Write(t / "b");
  const std::string before = ReadAll(t / "a");
  platform::InjectFailure(platform::Op::Sync, 0);
  ZError e = CatchZ([&] { compress_bf(t / "a", 0); });
  EXPECT_EQ(e.HelpContext, 99);
  EXPECT_EQ(ReadAll(t / "a"), before);
  EXPECT_FALSE(platform::FileExists(t / "a$"));
  platform::InjectFailure(platform::Op::Sync, 0);
  EXPECT_FALSE(compress_bf(t / "b", 0, false));
  platform::ClearInjectedFailures();
  compress_bf(t / "a", 0);
  EXPECT_EQ(ReadAll(t / "b"), ReadAll(t / "a")) << "the same compacted bytes either way";
  EXPECT_NE(ReadAll(t / "b"), before);
  EXPECT_FALSE(platform::FileExists(t / "b$"));
}

TEST(CompressBf, DamagedFileIsReportedAndKept) {
  bb::TempDir t;
  Image img(1);
  img.dir[0] = {img.Put(Rec(0, 0x10000, "a")), 0};
  img.Put(EndRec());
  img.Write(t / "f");
  const std::string before = ReadAll(t / "f");
  ZError e = CatchZ([&] { compress_bf(t / "f", 0); });
  EXPECT_EQ(e.HelpContext, 10);
  EXPECT_EQ(e.Message, t / "f" + "|65536");
  EXPECT_EQ(ReadAll(t / "f"), before);
  EXPECT_FALSE(platform::FileExists(t / "f$"));
}

TEST(WfSf, CountedStringsBecomeLines) {
  bb::TempDir t;
  {
    WFile w(t / "s", zfmCreate);
    w.WWrite(std::string("abc"));
    w.WWrite(std::string());
  }
  bb::WriteAll(t / "out.txt", "old contents");
  EXPECT_EQ(WfSf(t / "s", t / "out.txt"), 0);
  EXPECT_EQ(ReadAll(t / "out.txt"), "abc\r\n\r\n");
}

TEST(WfSf, DamagedSourceLeavesNoText) {
  bb::TempDir t;
  bb::WriteAll(t / "s", Rec(std::string("\3\0abc", 5)) + Rec("x").substr(0, 4));
  EXPECT_NE(CatchZ([&] { WfSf(t / "s", t / "out.txt"); }).Message.find("обрезана"),
            std::string::npos);
  EXPECT_FALSE(platform::FileExists(t / "out.txt"));
}

class Reorg : public ::testing::Test {
protected:
  bb::TempDir t;
  bb::InDir in{t.path};
  WRec buf;
  std::vector<std::string> Build(const std::string &text, bool latin, bool dos, int expect = 0) {
    bb::WriteAll(t / "in.txt", text);
    platform::RemoveFile(t / "out"); // an existing target would be asked about
    EXPECT_EQ(ReorgFile(t / "in.txt", t / "out", &buf, latin, dos), expect);
    EXPECT_FALSE(platform::FileExists(t / "Vrm"));
    EXPECT_FALSE(platform::FileExists(t / "LsDa"));
    std::vector<std::string> recs;
    if (expect != 0) {
      EXPECT_FALSE(platform::FileExists(t / "out"));
      return recs;
    }
    WFile w(t / "out", zfmRead);
    WRec r;
    while (w.WRead(&r))
      recs.push_back(std::string(r.Data, r.Len));
    return recs;
  }
};

TEST_F(Reorg, SegmentsEndInStars) {
  const std::string text = "AB*\r\n  CD*EF";
  EXPECT_EQ(Build(text, false, false), (std::vector<std::string>{"AB*", "CD*"}));
  EXPECT_EQ(Build(text, true, false), (std::vector<std::string>{"\xC0\xC2*", "\xD1"
                                                                             "D*"}));
}

TEST_F(Reorg, RefusedTexts) {
  const struct {
    const char *name;
    std::string text;
  } cases[] = {
      {"a star alone", "*AB*"},
      {"no star", "ABC"},
      {"a segment over 13000 bytes", std::string(13000, 'x') + "*"},
      {"a control byte", std::string("AB\x01*", 4)},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    Build(c.text, false, false, 1);
  }
}

TEST_F(Reorg, LongestSegmentAndSegmentsAcrossChunks) {
  std::string longest(12999, 'y');
  std::string text = longest + "*";
  for (int i = 0; i < 4; ++i)
    text += std::string(5999, static_cast<char>('a' + i)) + "*\r\n";
  std::vector<std::string> got = Build(text, false, false);
  ASSERT_EQ(got.size(), 5u);
  EXPECT_EQ(got[0], longest + "*");
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(got[i + 1], std::string(5999, static_cast<char>('a' + i)) + "*");
}

TEST_F(Reorg, DosLettersBecomeWindowsLetters) {
  const std::string dos = "\x80\xAF\xE0\xEF\xF4\xF5\xF6\xF7\xF8\xF9\xB0*";
  const std::string win = "\xC0\xEF\xF0\xFF\xAA\xBA\x49\x69\xAF\xBF\xB0*";
  EXPECT_EQ(Build(dos, false, true), std::vector<std::string>{win});
  EXPECT_EQ(Build(dos, false, false), std::vector<std::string>{dos});
}

TEST_F(Reorg, SmallBufferIsRefused) {
  WRec small(100);
  bb::WriteAll(t / "in.txt", "AB*");
  EXPECT_EQ(CatchZ([&] { ReorgFile(t / "in.txt", t / "out", &small, false, false); }).HelpContext,
            0);
}

TEST(DCopyFile, CopiesAndReplaces) {
  bb::TempDir t;
  bb::WriteAll(t / "a", "source bytes");
  bb::WriteAll(t / "b", "older and longer target");
  DCopyFile(t / "a", t / "b");
  EXPECT_EQ(ReadAll(t / "b"), "source bytes");
  ZError e = CatchZ([&] { DCopyFile(t / "none", t / "c"); });
  EXPECT_EQ(e.HelpContext, 99);
  EXPECT_EQ(e.Message.rfind(t / "none" + "=>" + t / "c" + "#(", 0), 0u) << e.Message;
}

TEST(GetDirCfg, NearestFolderUpwards) {
  bb::TempDir t;
  ASSERT_TRUE(platform::MakeDirs(t / "a/CFG"));
  ASSERT_TRUE(platform::MakeDirs(t / "a/b/c"));
  {
    bb::InDir in(t / "a/b/c");
    EXPECT_EQ(GetDirCfg(), platform::CurrentDir().substr(0, platform::CurrentDir().size() - 4) +
                               "CFG" + platform::Separator);
  }
  ASSERT_TRUE(platform::MakeDirs(t / "a/b/CFG"));
  bb::InDir in(t / "a/b/c");
  const std::string here = platform::CurrentDir();
  EXPECT_EQ(GetDirCfg(), here.substr(0, here.size() - 2) + "CFG" + platform::Separator);
}

TEST(GetDirCfg, NoneFound) {
  bb::TempDir t;
  bb::InDir in(t.path);
  for (std::string d = platform::CurrentDir(); d.size() > 1;
       d = d.substr(0, d.find_last_of(platform::Separators, d.size() - 2) + 1))
    if (platform::DirExists(d + "CFG"))
      GTEST_SKIP() << "a CFG folder exists above the scratch folder";
  if (platform::DirExists("/CFG"))
    GTEST_SKIP() << "/CFG exists";
  ZError e = CatchZ([] { GetDirCfg(); });
  EXPECT_EQ(e.Message, "Отсутствует директория CFG");
}

} // namespace
