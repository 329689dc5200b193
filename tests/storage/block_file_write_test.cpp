#include "BlockFile.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "BlockBytes.h"
#include "BlockFileUtils.h"

namespace {

using bb::Body;
using bb::CatchZ;
using bb::EndRec;
using bb::ReadAll;
using bb::ReadAllRecs;
using bb::Rec;

void Fill(WRec &r, const std::string &body, uint8_t flag = 0) {
  std::memcpy(r.Data, body.data(), body.size());
  r.Len = static_cast<uint16_t>(body.size());
  r.Flag = flag;
}

// A block file of 3 empty logical files with "5-2.10.3" in logical file 0.
std::string Fresh(const bb::TempDir &t) {
  const std::string f = t / "f";
  creat_bf(f, 3, "5-2.10.3");
  return f;
}

TEST(WFileWrite, CommitAppendsTheNewVersionAndPointsTheDirectoryAtIt) {
  bb::TempDir t;
  const std::string f = Fresh(t);
  const std::string before = ReadAll(f);
  WFile w(f);
  const uint32_t oldEnd = w.Header.EndAdr;
  w.WCreat_file(1);
  EXPECT_TRUE(platform::FileExists(f + "$$"));
  EXPECT_EQ(w.WWrite(0, 10, "0123456789"), 0u);
  WRec r;
  Fill(r, std::string(20, 'z'), 0x05);
  r.Next = 1234;
  EXPECT_EQ(w.WWrite(&r), 17u);
  EXPECT_EQ(r.Next, EmptyAdr) << "WWrite resets the caller's link";
  EXPECT_EQ(ReadAll(f), before) << "nothing reaches the block file before commit";
  w.WClose_file(1, true);
  EXPECT_FALSE(platform::FileExists(f + "$$"));
  EXPECT_EQ(w.Dir[1].Adr, oldEnd);
  EXPECT_EQ(w.Dir[1].Len, 17u + 27u + 8u);
  EXPECT_EQ(w.Header.EndAdr, oldEnd + 52);
  w.Close();

  const std::string after = ReadAll(f);
  ASSERT_EQ(after.size(), before.size() + 52);
  EXPECT_EQ(bb::Get32(after, 0), oldEnd + 52);
  EXPECT_EQ(bb::Get32(after, 16), oldEnd);
  EXPECT_EQ(bb::Get32(after, 20), 52u);
  EXPECT_EQ(after.substr(24, oldEnd - 24), before.substr(24, oldEnd - 24))
      << "the old chain stays on disk";
  EXPECT_EQ(after.substr(oldEnd),
            Rec("0123456789") + Rec(0x05, EmptyAdr, std::string(20, 'z')) + EndRec());
  WFile again(f);
  EXPECT_EQ(ReadAllRecs(again, 1), (std::vector<std::string>{"0123456789", std::string(20, 'z')}));
  EXPECT_EQ(ReadAllRecs(again, 0), std::vector<std::string>{"5-2.10.3"});
}

TEST(WFileWrite, EmptyCommitAddsOnlyTheEndRecord) {
  bb::TempDir t;
  const std::string f = Fresh(t);
  WFile w(f);
  const uint32_t oldEnd = w.Header.EndAdr;
  w.WCreat_file(2);
  w.WClose_file(2, true);
  EXPECT_EQ(w.Dir[2].Adr, oldEnd);
  EXPECT_EQ(w.Dir[2].Len, LenEof);
  EXPECT_EQ(w.Header.EndAdr, oldEnd + 8);
  EXPECT_EQ(ReadAll(f).substr(oldEnd), EndRec());
}

TEST(WFileWrite, DiscardLeavesTheFileByteForByte) {
  bb::TempDir t;
  const std::string f = Fresh(t);
  const std::string before = ReadAll(f);
  {
    WFile w(f);
    w.WCreat_file(1);
    w.WWrite(0, 3, "abc");
    w.WClose_file(1, false);
    EXPECT_EQ(w.OpenLog, EmptyAdr);
    EXPECT_EQ(ReadAllRecs(w, 1), std::vector<std::string>{});
  }
  EXPECT_EQ(ReadAll(f), before);
  EXPECT_FALSE(platform::FileExists(f + "$$"));
}

TEST(WFileWrite, TextRecordsCarryTheirLength) {
  bb::TempDir t;
  const std::string f = Fresh(t);
  WFile w(f);
  w.WCreat_file(1);
  EXPECT_EQ(w.WWrite(std::string("abc")), 0u);
  EXPECT_EQ(w.WWrite(std::string()), 12u);
  w.WClose_file(1, true);
  EXPECT_EQ(ReadAllRecs(w, 1),
            (std::vector<std::string>{std::string("\3\0abc", 5), std::string("\0\0", 2)}));
}

TEST(WFileWrite, OtherLogicalFilesStayReadableWhileWriting) {
  bb::TempDir t;
  const std::string f = Fresh(t);
  WFile w(f);
  w.WCreat_file(1);
  w.WWrite(0, 1, "x");
  EXPECT_EQ(ReadAllRecs(w, 0), std::vector<std::string>{"5-2.10.3"});
  w.WWrite(0, 1, "y");
  w.WClose_file(1, true);
  EXPECT_EQ(ReadAllRecs(w, 1), (std::vector<std::string>{"x", "y"}));
}

TEST(WFileWrite, UpdateTmpRewritesAnEarlierRecord) {
  bb::TempDir t;
  const std::string f = Fresh(t);
  WFile w(f);
  w.WCreat_file(1);
  const uint32_t first = w.WWrite(0, 4, "aaaa");
  w.WWrite(0, 2, "bb");
  WRec r;
  Fill(r, "XYZW", 0x02);
  w.WUpdateTmp(first, &r, 2); // only two body bytes
  w.WWrite(0, 2, "cc");
  w.WClose_file(1, true);
  EXPECT_EQ(ReadAllRecs(w, 1), (std::vector<std::string>{"XYaa", "bb", "cc"}));
  WRec big;
  w.WCreat_file(1);
  w.WWrite(0, 2, "dd");
  Fill(big, "longer");
  ZError e = CatchZ([&] { w.WUpdateTmp(0, &big, 0); });
  EXPECT_NE(e.Message.find("неверен адрес перезаписи 0"), std::string::npos) << e.Message;
  w.WClose_file(1, false);
}

TEST(WFileWrite, ClearEmptiesALogicalFileAtOnce) {
  bb::TempDir t;
  const std::string f = Fresh(t);
  WFile w(f);
  w.WClear_file(0);
  EXPECT_EQ(w.Dir[0].Len, LenEof);
  WFile other(f); // sees it on disk
  WRec r;
  EXPECT_EQ(other.WOpen_file(0), LenEof);
  EXPECT_FALSE(other.WRead(&r));
}

// Each refusal: the text, code 0, and nothing written.
TEST(WFileWrite, RefusalsLeaveTheFileUnchanged) {
  bb::TempDir t;
  const std::string f = Fresh(t);
  const std::string s = t / "s";
  bb::WriteAll(s, Rec("a") + EndRec());
  const std::string before = ReadAll(f);
  const std::string simpleBefore = ReadAll(s);
  WRec r;
  Fill(r, "abc");
  struct Case {
    const char *name;
    std::function<void()> op;
    std::string text;
  };
  WFile w(f);
  WFile ro(f, true);
  WFile sr(s, zfmRead);
  const std::vector<Case> cases = {
      {"write without creation", [&] { w.WWrite(0, 1, "x"); },
       "Невозможна запись в несуществующий файл TMP"},
      {"close without creation", [&] { w.WClose_file(1, true); },
       "Закрытие файла невозможно для несуществующего файла TMP$"},
      {"create number >= Count", [&] { w.WCreat_file(3); },
       "Для файла " + f + " неверен номер лог. файла 3"},
      {"close number >= Count without creation", [&] { w.WClose_file(7, true); },
       "Закрытие файла невозможно для несуществующего файла TMP$"},
      {"clear number >= Count", [&] { w.WClear_file(3); },
       "Для файла " + f + " неверен номер лог. файла 3"},
      {"create on a simple file", [&] { sr.WCreat_file(0); },
       "Файл " + s + " не является составным"},
      {"close on a simple file", [&] { sr.WClose_file(0, true); },
       "Файл " + s + " не является составным"},
      {"clear on a simple file", [&] { sr.WClear_file(0); },
       "Для файла " + s + " невозможна очистка логического файла"},
      {"record write on a read simple file", [&] { sr.WWrite(&r); },
       "Файл " + s + " не открыт для записи или дозаписи"},
      {"text write on a read simple file", [&] { sr.WWrite(std::string("q")); },
       "Файл " + s + " не открыт для записи или дозаписи"},
      {"raw write on a read simple file", [&] { sr.WWrite(0, 1, "q"); },
       "Файл " + s + " не открыт только для записи или дозаписи"},
      {"update on a read simple file", [&] { sr.WUpdateTmp(0, &r, 0); },
       "Файл " + s + " не открыт для записи или дозаписи"},
      {"edit write on a read-only file", [&] { ro.WWriteEdit(&r); },
       "Файл " + f + " не открыт только для записи"},
      {"seek end on a composite file", [&] { w.WSeekEnd(); }, "Файл " + f + " должен быть простым"},
      {"append on a composite file", [&] { w.WWriteAppend(&r); },
       "Файл " + f + " должен быть простым"},
  };
  for (const Case &c : cases) {
    ZError e = CatchZ(c.op);
    EXPECT_EQ(e.HelpContext, 0) << c.name;
    EXPECT_EQ(e.Message, c.text) << c.name;
    EXPECT_FALSE(platform::FileExists(f + "$$")) << c.name;
  }
  EXPECT_EQ(ReadAll(f), before);
  EXPECT_EQ(ReadAll(s), simpleBefore);
  // The read-only object's own writes are refused by the plain file.
  EXPECT_EQ(CatchZ([&] { ro.WClear_file(1); }).HelpContext, 18);
}

TEST(WFileWrite, RecordLengthsOutsideTheFormatAreRefused) {
  bb::TempDir t;
  const std::string f = Fresh(t);
  WFile w(f);
  w.WCreat_file(1);
  std::string big(20001, 'b');
  ZError e = CatchZ([&] { w.WWrite(0, 20001, big.data()); });
  EXPECT_EQ(e.HelpContext, 11);
  EXPECT_EQ(e.Message, f + "|( 20001)|20000");
  EXPECT_EQ(CatchZ([&] { w.WWrite(std::string(19999, 's')); }).HelpContext, 11);
  EXPECT_NE(CatchZ([&] { w.WWrite(0, 0, ""); }).Message.find("нулевая длина"), std::string::npos);
  EXPECT_EQ(w.WWrite(0, 20000, big.data()), 0u);
  EXPECT_EQ(w.WWrite(std::string(19998, 's')), 20007u);
  w.WClose_file(1, true);
  EXPECT_EQ(w.Dir[1].Len, 20007u + 20007u + 8u);
}

TEST(WFileWrite, WrongCloseNumberCommitsTheOpenOneFirst) {
  bb::TempDir t;
  const std::string f = Fresh(t);
  WFile w(f);
  w.WCreat_file(1);
  w.WWrite(0, 1, "k");
  ZError e = CatchZ([&] { w.WClose_file(2, true); });
  EXPECT_EQ(e.Message, "Для файла " + f + " ошибочно задан номер файла 2 вместо 1");
  EXPECT_EQ(w.OpenLog, EmptyAdr);
  EXPECT_EQ(ReadAllRecs(w, 1), std::vector<std::string>{"k"});

  w.WCreat_file(2);
  w.WWrite(0, 1, "m");
  ZError e2 = CatchZ([&] { w.WCreat_file(1); });
  EXPECT_EQ(e2.Message, "Для файла " + f + " не выполнено закрытие файла 2");
  EXPECT_EQ(w.OpenLog, EmptyAdr) << "the new creation is not started";
  EXPECT_EQ(ReadAllRecs(w, 2), std::vector<std::string>{"m"});
}

// Closing and creating test the state of the object first and the number
// against Count last: a number beyond Count while another logical file is
// being written still commits that one and names the mistake.
TEST(WFileWrite, StateIsCheckedBeforeTheNumberAgainstCount) {
  bb::TempDir t;
  const std::string f = Fresh(t);
  struct Case {
    const char *name;
    std::function<void(WFile &)> op;
    std::string text;
  } cases[] = {
      {"close beyond Count", [](WFile &w) { w.WClose_file(7, true); },
       "Для файла " + f + " ошибочно задан номер файла 7 вместо 1"},
      {"discard beyond Count", [](WFile &w) { w.WClose_file(3, false); },
       "Для файла " + f + " ошибочно задан номер файла 3 вместо 1"},
      {"create beyond Count", [](WFile &w) { w.WCreat_file(3); },
       "Для файла " + f + " не выполнено закрытие файла 1"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    WFile w(f);
    w.WCreat_file(1);
    w.WWrite(0, 4, c.name);
    ZError e = CatchZ([&] { c.op(w); });
    EXPECT_EQ(e.HelpContext, 0);
    EXPECT_EQ(e.Message, c.text);
    EXPECT_EQ(w.OpenLog, EmptyAdr);
    EXPECT_FALSE(platform::FileExists(f + "$$"));
    EXPECT_EQ(ReadAllRecs(w, 1), std::vector<std::string>{std::string(c.name, 4)});
  }
}

TEST(WFileWrite, DestructionCommitsAndReportsThroughThePresenter) {
  bb::TempDir t;
  const std::string f = Fresh(t);
  bb::Recorder rec;
  {
    WFile w(f);
    w.WCreat_file(2);
    w.WWrite(0, 4, "kept");
  }
  ASSERT_EQ(rec.shown.size(), 1u);
  EXPECT_EQ(rec.shown[0].Kind, mk_Error);
  EXPECT_EQ(rec.shown[0].Text, "Для файла " + f + " не выполнено закрытие файла 2");
  EXPECT_FALSE(platform::FileExists(f + "$$"));
  WFile w(f);
  EXPECT_EQ(ReadAllRecs(w, 2), std::vector<std::string>{"kept"});
}

TEST(WFileWrite, ExplicitCloseCommitsAndThrows) {
  bb::TempDir t;
  const std::string f = Fresh(t);
  bb::Recorder rec;
  {
    WFile w(f);
    w.WCreat_file(1);
    w.WWrite(0, 2, "ok");
    ZError e = CatchZ([&] { w.Close(); });
    EXPECT_EQ(e.Message, "Для файла " + f + " не выполнено закрытие файла 1");
    EXPECT_NO_THROW(w.Close()) << "a second close does nothing";
  }
  EXPECT_TRUE(rec.shown.empty()) << "the error was raised, not shown again";
  WFile w(f);
  EXPECT_EQ(ReadAllRecs(w, 1), std::vector<std::string>{"ok"});
}

TEST(WFileWrite, FailedCommitKeepsThePreviousVersionInForce) {
  bb::TempDir t;
  const std::string f = Fresh(t);
  {
    WFile w(f);
    w.WCreat_file(1);
    w.WWrite(0, 3, "old");
    w.WClose_file(1, true);
  }
  // Fail each system write of closing in turn (the area's end record, the
  // data, EndAdr, the entry): whichever fails, the old version stays in force.
  for (int countdown = 0; countdown < 4; ++countdown) {
    SCOPED_TRACE(countdown);
    bb::Recorder rec;
    {
      WFile w(f);
      w.WCreat_file(1);
      w.WWrite(0, 3, "new");
      platform::InjectFailure(platform::Op::Write, countdown);
      ZError e = CatchZ([&] { w.WClose_file(1, true); });
      platform::ClearInjectedFailures();
      EXPECT_EQ(e.HelpContext, 99);
      WFile reader(f);
      EXPECT_EQ(ReadAllRecs(reader, 1), std::vector<std::string>{"old"});
      EXPECT_EQ(w.Header.EndAdr, reader.Header.EndAdr) << "memory follows the disk";
      EXPECT_EQ(w.Dir[1].Adr, reader.Dir[1].Adr);
      if (w.OpenLog != EmptyAdr) {
        try {
          w.WClose_file(1, false);
        } catch (const ZError &) {
          // A broken area cannot be discarded; closing the object removes it.
        }
      }
    }
    EXPECT_FALSE(platform::FileExists(f + "$$"));
    WFile reader(f);
    EXPECT_EQ(ReadAllRecs(reader, 1), std::vector<std::string>{"old"});
  }
}

TEST(WFileWrite, CommitOverwritesATrailerAfterEndAdr) {
  bb::TempDir t;
  const std::string f = Fresh(t);
  bb::AppendBytes(f, "TRAILER!");
  {
    WFile w(f);
    w.WCreat_file(2);
    w.WWrite(0, 5, "after");
    w.WClose_file(2, true);
  }
  WFile w(f);
  EXPECT_EQ(ReadAllRecs(w, 2), std::vector<std::string>{"after"});
  EXPECT_EQ(ReadAllRecs(w, 0), std::vector<std::string>{"5-2.10.3"});
}

TEST(WFileWrite, CloseOpenMakesWrittenBytesVisible) {
  bb::TempDir t;
  const std::string f = Fresh(t);
  WFile w(f);
  w.WSeek(w.Header.EndAdr);
  WRec r;
  Fill(r, "raw");
  r.Next = 77;
  EXPECT_EQ(w.WWriteEdit(&r), 0u);
  w.WCloseOpen();
  EXPECT_EQ(ReadAll(f).substr(w.Header.EndAdr), Rec(0, 77, "raw"));
}

// ---- simple block files

TEST(WFileSimple, CreatedFileGetsItsEndRecordAtDestruction) {
  bb::TempDir t;
  {
    WFile w(t / "s", zfmCreate);
    EXPECT_EQ(w.WWrite(0, 2, "ab"), 0u);
    EXPECT_EQ(w.WWrite(std::string("c")), 9u);
    EXPECT_EQ(w.Header.EndAdr, 9u + 10u);
  }
  EXPECT_EQ(ReadAll(t / "s"), Rec("ab") + Rec(std::string("\1\0c", 3)) + EndRec());
}

TEST(WFileSimple, AppendWritesOverTheEndRecord) {
  bb::TempDir t;
  bb::WriteAll(t / "s", Rec("one") + EndRec());
  {
    WFile w(t / "s", zfmAppend);
    EXPECT_EQ(w.Header.EndAdr, 10u);
    const uint32_t a = w.WWrite(0, 3, "two");
    EXPECT_EQ(a, 0u) << "offsets count from where writing began";
    w.WWrite(0, 5, "three");
    WRec r;
    Fill(r, "TWO");
    w.WUpdateTmp(a, &r, 0);
    w.WWrite(0, 4, "four"); // after the last record, not over "two"
  }
  EXPECT_EQ(ReadAll(t / "s"), Rec("one") + Rec("TWO") + Rec("three") + Rec("four") + EndRec());
}

TEST(WFileSimple, AppendRefusesAFileWithoutEndRecord) {
  bb::TempDir t;
  bb::WriteAll(t / "s", Rec("one") + Rec("two"));
  const std::string before = ReadAll(t / "s");
  ZError e = CatchZ([&] { WFile w(t / "s", zfmAppend); });
  EXPECT_NE(e.Message.find("нет записи конца файла"), std::string::npos) << e.Message;
  EXPECT_EQ(ReadAll(t / "s"), before);
}

TEST(WFileSimple, SeekEndAndAppendAtThePhysicalEnd) {
  bb::TempDir t;
  bb::WriteAll(t / "s", Rec("one") + EndRec());
  {
    WFile w(t / "s", zfmRead);
    WRec r;
    Fill(r, "x");
    EXPECT_EQ(CatchZ([&] { w.WWriteAppend(&r); }).HelpContext, 18);
  }
  {
    WFile w(t / "s", zfmAppend);
    WRec r;
    Fill(r, "tail", 3);
    r.Next = 5;
    w.WWriteAppend(&r);
    EXPECT_EQ(r.Next, 5u) << "the record itself is not changed";
  }
  // The appended record went after the physical end; destruction then ends
  // the file with an end record at the writing position.
  EXPECT_EQ(ReadAll(t / "s").substr(18, 11), Rec(3, EmptyAdr, "tail"));
}

} // namespace

// The temporary area in memory gives the bytes the file area gives, and no
// file appears beside the block file, whether the area is committed, discarded
// or lost with a failed write.
TEST(WFileWrite, MemoryAreaCommitsTheSameBytesWithoutACompanionFile) {
  bb::TempDir t;
  std::string got[2];
  for (bool memory : {false, true}) {
    SCOPED_TRACE(memory);
    const std::string f = t / (memory ? "m" : "d");
    creat_bf(f, 3, "5-2.10.3");
    const std::string before = ReadAll(f);
    WFile w(f);
    w.MemoryTmp = memory;
    w.WCreat_file(1);
    EXPECT_EQ(platform::FileExists(f + "$$"), !memory);
    w.WWrite(0, 10, "0123456789");
    WRec r;
    Fill(r, std::string(9000, 'q'), 0x05);
    for (int i = 0; i < 8; ++i) // more than one buffer of the area
      w.WWrite(&r);
    Fill(r, "Z123456789");
    w.WUpdateTmp(0, &r, 0);
    EXPECT_EQ(ReadAll(f), before);
    w.WClose_file(1, true);
    EXPECT_FALSE(platform::FileExists(f + "$$"));
    w.WCreat_file(2);
    w.WWrite(0, 3, "abc");
    w.WClose_file(2, false);
    w.Close();
    got[memory] = ReadAll(f);
    WFile again(f);
    const std::vector<std::string> recs = ReadAllRecs(again, 1);
    ASSERT_EQ(recs.size(), 9u);
    EXPECT_EQ(recs[0], "Z123456789");
    EXPECT_EQ(ReadAllRecs(again, 2), std::vector<std::string>{});
  }
  EXPECT_EQ(got[1], got[0]);

  // A failed write while closing (the area's end, the data, EndAdr) ends in
  // the same bytes for both kinds of area, and closing the object commits
  // the retry in both.
  for (int countdown = 0; countdown < 3; ++countdown) {
    SCOPED_TRACE(countdown);
    std::string after[2];
    for (bool memory : {false, true}) {
      const std::string f = t / ((memory ? "fm" : "fd") + std::to_string(countdown));
      creat_bf(f, 3, "5-2.10.3");
      bb::Recorder rec;
      {
        WFile w(f);
        w.MemoryTmp = memory;
        w.WCreat_file(1);
        w.WWrite(0, 3, "new");
        platform::InjectFailure(platform::Op::Write, countdown);
        ZError e = CatchZ([&] { w.WClose_file(1, true); });
        platform::ClearInjectedFailures();
        EXPECT_EQ(e.HelpContext, 99);
      }
      EXPECT_FALSE(platform::FileExists(f + "$$"));
      after[memory] = ReadAll(f);
    }
    EXPECT_EQ(after[1], after[0]);
  }
}
