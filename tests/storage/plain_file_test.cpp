#include "PlainFile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <stdexcept>

#include "BlockBytes.h"

namespace {

using bb::CatchZ;
using bb::ReadAll;
using bb::WriteAll;

// Whether the system lets a handle write, asked by writing one byte at its start.
bool SystemLetsWrite(platform::Handle h) {
  return platform::Seek(h, 0) == 0 && platform::Write(h, "x", 1);
}

TEST(SFile, MissingFileForReadingRaisesCode1WithResolvedName) {
  bb::TempDir t;
  for (ZFileMode m : {zfmRead, zfmReadWrite}) {
    ZError e = CatchZ([&] { SFile f(t / "none", m); });
    EXPECT_EQ(e.HelpContext, 1) << m;
    EXPECT_EQ(e.Message, t / "none");
  }
  // "alias#" with nothing after resolves to the alias text itself.
  bb::InDir in(t.path);
  ZError e = CatchZ([&] { SFile f("nosuch#", zfmRead); });
  EXPECT_EQ(e.HelpContext, 1);
  EXPECT_EQ(e.Message, "NOSUCH");
}

TEST(SFile, ReadModeOpensReadOnlyAtSystemLevel) {
  bb::TempDir t;
  WriteAll(t / "f", "abc");
  {
    SFile r(t / "f", zfmRead);
    EXPECT_FALSE(SystemLetsWrite(r.Handle));
  }
  EXPECT_EQ(ReadAll(t / "f"), "abc");
  {
    SFile rw(t / "f", zfmReadWrite);
    EXPECT_TRUE(SystemLetsWrite(rw.Handle));
  }
  EXPECT_EQ(ReadAll(t / "f"), "xbc");
}

TEST(SFile, CreateAsksBeforeReplacing) {
  bb::TempDir t;
  const std::string f = t / "f";
  WriteAll(f, "keep");
  {
    bb::Recorder rec;
    rec.answer = 0;
    ZError e = CatchZ([&] { SFile s(f, zfmCreate); });
    EXPECT_EQ(e.HelpContext, 999);
    EXPECT_EQ(e.Message, f);
    ASSERT_EQ(rec.shown.size(), 1u);
    EXPECT_EQ(rec.shown[0].Kind, mk_Question);
    EXPECT_NE(rec.shown[0].Text.find(f), std::string::npos);
    EXPECT_EQ(ReadAll(f), "keep");
  }
  {
    bb::Recorder rec;
    rec.answer = 1;
    SFile s(f, zfmCreate);
    s.SWrite("new", 3);
    s.Close();
    EXPECT_EQ(rec.shown.size(), 1u);
    EXPECT_EQ(ReadAll(f), "new");
  }
  {
    bb::Recorder rec;
    SFile s(f, zfmRewrite);
    s.Close();
    EXPECT_TRUE(rec.shown.empty()) << "zfmRewrite replaces silently";
    EXPECT_EQ(ReadAll(f), "");
  }
}

TEST(SFile, ModeRefusesTheWrongDirection) {
  bb::TempDir t;
  const std::string f = t / "f";
  WriteAll(f, "abcdef");
  char buf[4];
  struct Case {
    ZFileMode mode;
    bool write;
    int code; // 0: allowed
  } cases[] = {
      {zfmRead, true, 18},      {zfmRead, false, 0},  {zfmCreate, false, 17},
      {zfmRewrite, false, 17},  {zfmCreate, true, 0}, {zfmReadWrite, true, 0},
      {zfmReadWrite, false, 0},
  };
  for (const Case &c : cases) {
    if (c.mode == zfmCreate || c.mode == zfmRewrite)
      platform::RemoveFile(f);
    else
      WriteAll(f, "abcdef");
    SFile s(f, c.mode);
    auto op = [&] {
      if (c.write)
        s.SWrite("xy", 2);
      else
        s.SRead(buf, 2);
    };
    if (c.code == 0) {
      EXPECT_NO_THROW(op()) << c.mode << " " << c.write;
    } else {
      ZError e = CatchZ(op);
      EXPECT_EQ(e.HelpContext, c.code) << c.mode;
      EXPECT_EQ(e.Message, f);
    }
  }
}

TEST(SFile, UnknownModeIsNotAZError) {
  bb::TempDir t;
  WriteAll(t / "f", "");
  EXPECT_THROW(SFile(t / "f", zfmAppend), std::invalid_argument);
  EXPECT_THROW(SFile(t / "f", static_cast<ZFileMode>(0)), std::invalid_argument);
}

TEST(SFile, SystemRefusalRaisesCode99WithName) {
  bb::TempDir t;
  const std::string f = t / "no-folder" + platform::Separator + "f";
  // The system's own code for a missing folder: 2 on POSIX systems, 3 on Windows.
  ASSERT_EQ(platform::Open(f, platform::OpenMode::Create), platform::InvalidHandle);
  const int code = platform::LastError();
  ASSERT_NE(code, 0);
  char win[32];
  std::snprintf(win, sizeof win, "[Win=%08X]", static_cast<unsigned>(code));
  ZError e = CatchZ([&] { SFile s(f, zfmRewrite); });
  EXPECT_EQ(e.HelpContext, 99);
  EXPECT_EQ(e.Message.rfind(f + "#(", 0), 0u) << e.Message;
  EXPECT_NE(e.Message.find(win), std::string::npos) << e.Message;
}

TEST(SFile, TextLineEndsInCrLf) {
  bb::TempDir t;
  {
    SFile s(t / "f", zfmRewrite);
    s.SWrite(std::string("abc"));
  }
  EXPECT_EQ(ReadAll(t / "f"), "abc\r\n");
}

TEST(SFile, ReadAtAndNearTheEnd) {
  bb::TempDir t;
  WriteAll(t / "f", "0123456789");
  SFile s(t / "f", zfmRead);
  char buf[16];
  s.Seek(7);
  EXPECT_EQ(s.SRead(buf, 16), 3);
  EXPECT_EQ(std::string(buf, 3), "789");
  EXPECT_EQ(s.Tell(), 10);
  EXPECT_EQ(s.SRead(buf, 16), 0);
  s.Seek(100);
  EXPECT_EQ(s.SRead(buf, 4), 0);
  EXPECT_EQ(s.Size(), 10);
}

TEST(SFile, SeekOrigins) {
  bb::TempDir t;
  WriteAll(t / "f", "0123456789");
  SFile s(t / "f", zfmReadWrite);
  EXPECT_EQ(s.Seek(-3, 2), 7);
  EXPECT_EQ(s.Seek(2, 1), 9);
  EXPECT_EQ(s.Seek(4, 0), 4);
  char c;
  s.SRead(&c, 1);
  EXPECT_EQ(c, '4');
  EXPECT_EQ(CatchZ([&] { s.Seek(-20, 1); }).HelpContext, 99);
  EXPECT_EQ(CatchZ([&] { s.Seek(0, 7); }).HelpContext, 99);
  EXPECT_EQ(CatchZ([&] { s.Seek(-1); }).HelpContext, 99);
}

TEST(SFile, SmallWritesAreBufferedUntilFlush) {
  bb::TempDir t;
  SFile s(t / "f", zfmRewrite);
  platform::InjectFailure(platform::Op::Write, 0); // the next system write fails
  for (int i = 0; i < 1000; ++i)
    s.SWrite("0123456789", 10);
  EXPECT_EQ(s.Tell(), 10000);
  EXPECT_EQ(s.Size(), 10000);
  ZError e = CatchZ([&] { s.Flush(); });
  platform::ClearInjectedFailures();
  EXPECT_EQ(e.HelpContext, 99);
  EXPECT_EQ(e.Message.rfind(t / "f" + "#(", 0), 0u);
}

TEST(SFile, SmallReadsCostOneSystemRead) {
  bb::TempDir t;
  std::string data(30000, '\0');
  for (size_t i = 0; i < data.size(); ++i)
    data[i] = static_cast<char>(i * 7);
  WriteAll(t / "f", data);
  SFile s(t / "f", zfmRead);
  platform::InjectFailure(platform::Op::Read, 1); // one read succeeds, then failure
  std::string got;
  char buf[7];
  for (int i = 0; i < 30000 / 7; ++i) {
    ASSERT_EQ(s.SRead(buf, 7), 7);
    got.append(buf, 7);
  }
  platform::ClearInjectedFailures();
  EXPECT_EQ(got, data.substr(0, got.size()));
}

TEST(SFile, DestructionWritesPendingBytes) {
  bb::TempDir t;
  {
    SFile s(t / "f", zfmRewrite);
    s.SWrite("pending", 7);
  }
  EXPECT_EQ(ReadAll(t / "f"), "pending");
}

TEST(SFile, FailedFlushAtDestructionIsShownNotThrown) {
  bb::TempDir t;
  bb::Recorder rec;
  {
    SFile s(t / "f", zfmRewrite);
    s.SWrite("pending", 7);
    platform::InjectFailure(platform::Op::Write, 0);
  }
  platform::ClearInjectedFailures();
  ASSERT_EQ(rec.shown.size(), 1u);
  EXPECT_EQ(rec.shown[0].Kind, mk_Error);
  EXPECT_NE(rec.shown[0].Text.find(t / "f"), std::string::npos);
}

// Random seeks, reads and writes of sizes around the buffer size against a
// plain string model: positions, read bytes, size and the final file agree.
TEST(SFile, BufferedOperationsMatchAPlainModel) {
  bb::TempDir t;
  const std::string f = t / "f";
  std::mt19937 rnd(12345);
  std::string model(100000, '\0');
  for (char &c : model)
    c = static_cast<char>(rnd());
  WriteAll(f, model);
  SFile s(f, zfmReadWrite);
  int64_t pos = 0;
  const int sizes[] = {1, 7, 100, 4096, SFile::BufSize - 1, SFile::BufSize, SFile::BufSize + 3};
  std::vector<char> buf(SFile::BufSize * 2);
  for (int step = 0; step < 400; ++step) {
    const int op = static_cast<int>(rnd() % 3);
    const int n = sizes[rnd() % 7];
    if (op == 0) {
      pos = static_cast<int64_t>(rnd() % (model.size() + 50));
      s.Seek(static_cast<int>(pos));
    } else if (op == 1) {
      int got = s.SRead(buf.data(), n);
      int64_t expect = std::max<int64_t>(0, std::min<int64_t>(n, model.size() - pos));
      ASSERT_EQ(got, expect) << step;
      ASSERT_EQ(std::string(buf.data(), got),
                model.substr(std::min<size_t>(pos, model.size()), got));
      pos += got;
    } else {
      for (int i = 0; i < n; ++i)
        buf[i] = static_cast<char>(rnd());
      s.SWrite(buf.data(), n);
      if (static_cast<int64_t>(model.size()) < pos + n)
        model.resize(pos + n, '\0');
      model.replace(pos, n, buf.data(), n);
      pos += n;
    }
    ASSERT_EQ(s.Tell(), pos) << step;
    ASSERT_EQ(s.Size(), static_cast<int>(model.size())) << step;
  }
  s.Close();
  EXPECT_TRUE(ReadAll(f) == model);
}

} // namespace

// An anonymous file is written like a created one, read back after
// EndWriting through the same handle, and refuses writing then.
TEST(SFile, AnonymousFileIsReadBackAfterEndWriting) {
  bb::TempDir t;
  SFile f(t / "area$$", AnonymousFile{});
  EXPECT_TRUE(f.Anonymous);
  EXPECT_EQ(f.Name, t / "area$$");
  std::string data(3 * SFile::BufSize + 17, '\0');
  std::mt19937 gen(7);
  for (char &c : data)
    c = static_cast<char>(gen());
  f.SWrite(data.data(), 100);
  f.SWrite(data.data() + 100, static_cast<int>(data.size() - 100));
  EXPECT_EQ(CatchZ([&] {
              char c;
              f.SRead(&c, 1);
            }).HelpContext,
            17);
  f.EndWriting();
  EXPECT_EQ(f.Mode, zfmRead);
  EXPECT_EQ(f.Size(), static_cast<int>(data.size()));
  std::string back(data.size(), '\0');
  f.Seek(0);
  int got = 0;
  while (got < static_cast<int>(back.size())) {
    const int n = f.SRead(back.data() + got, 5000);
    ASSERT_GT(n, 0);
    got += n;
  }
  EXPECT_EQ(back, data);
  EXPECT_EQ(CatchZ([&] { f.SWrite("x", 1); }).HelpContext, 18);
  f.Close();
  EXPECT_FALSE(platform::FileExists(t / "area$$"));
}

// A file opened for reading gets a window sized by the file; reads of every
// size, from every kind of position, still give the file's bytes.
// A temporary file made by its owner is written where it is: the same file
// (so a claim on it stays), never truncated, and never a file holding data.
TEST(SFile, InPlaceWritesTheEmptyFileItselfAndRefusesOneWithData) {
  bb::TempDir t;
  const std::string path = t / "made";
  const platform::Handle owner = platform::CreateNew(path);
  ASSERT_NE(owner, platform::InvalidHandle);
  {
    SFile f(path, InPlace{});
    f.SWrite("written", 7);
    f.Close();
  }
  EXPECT_EQ(platform::Size(owner), 7) << "the owner's file, not a new one";
  EXPECT_EQ(ReadAll(path), "written");
  ZError e = CatchZ([&] { SFile f(path, InPlace{}); });
  EXPECT_EQ(e.HelpContext, 99);
  EXPECT_EQ(ReadAll(path), "written");
  platform::Close(owner);
}

TEST(SFile, SmallFileWindowReadsEveryByte) {
  bb::TempDir t;
  std::mt19937 gen(11);
  for (int size : {0, 1, 4095, 4096, 4097, 9000, SFile::BufSize + 3}) {
    std::string data(static_cast<size_t>(size), '\0');
    for (char &c : data)
      c = static_cast<char>(gen());
    WriteAll(t / "f", data);
    for (int chunk : {1, 4096, 5000, 100000}) {
      for (int start : {0, size / 2, size}) {
        SCOPED_TRACE(testing::Message() << size << " " << chunk << " " << start);
        SFile f(t / "f", zfmRead);
        f.Seek(start);
        std::string back;
        std::string piece(static_cast<size_t>(chunk), '\0');
        for (int n; (n = f.SRead(piece.data(), chunk)) > 0;)
          back.append(piece, 0, static_cast<size_t>(n));
        EXPECT_EQ(back, data.substr(static_cast<size_t>(start)));
      }
    }
  }
}

namespace {

// The bytes that `pieces` of `file` make, one after another.
std::string Concatenated(const std::string &file, const std::vector<FilePiece> &pieces) {
  std::string s;
  for (const FilePiece &p : pieces)
    s += file.substr(static_cast<size_t>(p.at), static_cast<size_t>(p.n));
  return s;
}

} // namespace

// Pieces in order with the gaps of record prefixes, far apart, backwards and
// longer than the window; read in small and large reads at random places.
TEST(SFile, AFileOfPiecesReadsThePiecesOneAfterAnother) {
  bb::TempDir t;
  std::mt19937 rng(17);
  std::string file(600 * 1024, '\0');
  for (char &c : file)
    c = static_cast<char>(rng());
  WriteAll(t / "f", file);
  std::vector<FilePiece> pieces;
  int64_t at = 8;
  for (int i = 0; i < 40; ++i) {
    const int64_t n = 1 + static_cast<int64_t>(rng() % 20000);
    pieces.push_back({at + 7, n});
    at += 7 + n;
  }
  pieces.push_back({500 * 1024, 90 * 1024}); // far on, longer than a window
  pieces.push_back({100, 50});               // backwards
  pieces.push_back({at, 1});
  const std::string want = Concatenated(file, pieces);

  SFile s("inner", t / "f", pieces);
  EXPECT_EQ(s.Name, "inner");
  EXPECT_EQ(s.Size(), static_cast<int>(want.size()));
  std::string whole(want.size() + 10, '\0');
  EXPECT_EQ(s.SRead(whole.data(), static_cast<int>(whole.size())), static_cast<int>(want.size()));
  whole.resize(want.size());
  EXPECT_EQ(whole, want);
  for (int i = 0; i < 300; ++i) {
    const int pos = static_cast<int>(rng() % want.size());
    const int n = static_cast<int>(i % 3 == 0 ? rng() % 200000 : rng() % 100);
    std::string got(static_cast<size_t>(n), '\0');
    s.Seek(pos);
    const int read = s.SRead(got.data(), n);
    ASSERT_EQ(read, std::min<int>(n, static_cast<int>(want.size()) - pos)) << pos << " " << n;
    got.resize(static_cast<size_t>(read));
    ASSERT_EQ(got, want.substr(static_cast<size_t>(pos), static_cast<size_t>(read)))
        << pos << " " << n;
  }
  EXPECT_THROW(s.SWrite("x", 1), ZError); // only read
}

TEST(SFile, AFileOfPiecesEndsWhereItsFileEnds) {
  bb::TempDir t;
  WriteAll(t / "f", "0123456789");
  // The file is shorter than the pieces say: reading stops where it ends.
  SFile s("inner", t / "f", {{2, 3}, {8, 5}, {0, 2}});
  char buf[16];
  EXPECT_EQ(s.SRead(buf, 16), 5);
  EXPECT_EQ(std::string(buf, 5), "23489");
  SFile none("inner", t / "f", {});
  EXPECT_EQ(none.Size(), 0);
  EXPECT_EQ(none.SRead(buf, 4), 0);
  EXPECT_EQ(CatchZ([&] { SFile f("inner", t / "missing", {{0, 1}}); }).HelpContext, 1);
}

// A walk over prefixes through a small window reads the bytes it asks for,
// not the window of 64 KB around them; the window comes back as it was.
TEST(SFile, ASmallWindowReadsOnlyAroundWhatIsAskedFor) {
  bb::TempDir t;
  const std::string data(200000, 'a');
  WriteAll(t / "f", data);
  SFile s(t / "f", zfmRead);
  EXPECT_EQ(s.Window(64), SFile::BufSize);
  char buf[8];
  ASSERT_EQ(s.SRead(buf, 8), 8);
  // Bytes 1000 on change after that read: a window that held them would
  // still give the old ones.
  WriteAll(t / "f", std::string(1000, 'a') + std::string(199000, 'b'));
  s.Seek(1000);
  ASSERT_EQ(s.SRead(buf, 8), 8);
  EXPECT_EQ(std::string(buf, 8), "bbbbbbbb");
  EXPECT_EQ(s.Window(SFile::BufSize), 64);
  s.Seek(0);
  ASSERT_EQ(s.SRead(buf, 8), 8);
  WriteAll(t / "f", std::string(200000, 'c'));
  s.Seek(1000);
  ASSERT_EQ(s.SRead(buf, 8), 8);
  EXPECT_EQ(std::string(buf, 8), "bbbbbbbb"); // from the window of 64 KB again
}
