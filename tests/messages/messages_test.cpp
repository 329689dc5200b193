#include "Messages.h"

#include "BilingualText.h"
#include "Platform.h"

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace {

const std::string kMissing = "Ошибка. Текст сообщения №";
const std::string kMissingEnd = " отсутствует в ресурсах программы";

// Leaves the program-wide message state as it is at start.
class MsgTest : public ::testing::Test {
protected:
  void SetUp() override { Reset(); }
  void TearDown() override { Reset(); }
  static void Reset() {
    Cfg[CfgIfaceLangPos] = 0;
    Cfg[CfgDataLangPos] = 0;
    cLoadMsg = nullptr;
    ClearResStrings();
    SetPresenter(nullptr);
  }
};

struct ComposeCase {
  std::string args;
  int32_t number;
  std::string expected;
};

void PrintTo(const ComposeCase &c, std::ostream *os) {
  *os << "'" << c.args << "' " << c.number;
}

class CreatMsgUkr : public MsgTest, public ::testing::WithParamInterface<ComposeCase> {};

TEST_P(CreatMsgUkr, Composes) {
  EXPECT_EQ(creat_msg(GetParam().args, GetParam().number), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CreatMsgUkr,
    ::testing::Values(
        ComposeCase{"a|b|c", 11, "У файлi a довжина запису ( b ) перевищує припустиму c"},
        ComposeCase{"x", 5, "Помилка при запису у файл x"},
        ComposeCase{"", 5, "Помилка при запису у файл  "},
        ComposeCase{"Файл $ не найден|C:\\a", 99, "Файл C:\\a не найден"},
        ComposeCase{"$ и $|1|2", 1099, "1 и 2"}, ComposeCase{"$=$|k|v", 2099, "k=v"},
        ComposeCase{"name", 2001, kMissing + "2001" + kMissingEnd + "## name"},
        ComposeCase{"", 15, kMissing + "15" + kMissingEnd},
        ComposeCase{"", 20, kMissing + "20" + kMissingEnd},
        ComposeCase{"a|b", 40, kMissing + "40" + kMissingEnd + "## a b"},
        ComposeCase{"x", 98, kMissing + "98" + kMissingEnd + "## x"},
        ComposeCase{"x", 999, kMissing + "999" + kMissingEnd + "## x"},
        ComposeCase{"x", -5, kMissing + "-5" + kMissingEnd + "## x"},
        ComposeCase{"a|b", 1, "Файл a не iснує"}, // the surplus argument is dropped
        ComposeCase{"p|q", 0, "p|q"}, ComposeCase{"$x$", 0, "$x$"},
        // An argument's own "$" is filled by the next argument, or blanked.
        ComposeCase{"a$|b", 1, "Файл ab не iснує"}, ComposeCase{"a$", 1, "Файл a  не iснує"},
        ComposeCase{"x", 10, "У файлi x неправильно задана адреса наступного запису  "},
        // Splitting: empty elements in the middle and at the start count, a
        // final line break adds none; CR, LF and CR LF all end a line.
        ComposeCase{"a||b", 40, kMissing + "40" + kMissingEnd + "## a  b"},
        ComposeCase{"|a", 40, kMissing + "40" + kMissingEnd + "##  a"},
        ComposeCase{"a|", 40, kMissing + "40" + kMissingEnd + "## a"},
        ComposeCase{"a\r\nb\rc\nd", 40, kMissing + "40" + kMissingEnd + "## a b c d"},
        // Texts kept exactly: trailing blanks, double blanks, Latin letters.
        ComposeCase{"f", 8, "Спроба оновлення видаленого запису у файлi f"},
        ComposeCase{"f|5-2.10.4", 33,
                    "Файл  f не вiдповiдає поточнiй редакцiї комплексу - 5-2.10.4"},
        ComposeCase{"N", 39, " N з таким номером вже iснує"},
        ComposeCase{"", 36, "Iдентифiкатор повинен починатись з букви"},
        ComposeCase{"x", 16, "Невiдповiднiсть довжин при перезапису.#(Фiзичний файл x)"}));

TEST_F(MsgTest, RussianInterfaceUsesRussianTemplates) {
  Cfg[CfgIfaceLangPos] = 1;
  EXPECT_EQ(creat_msg("x", 5), "Ошибка при записи в файл x");
  EXPECT_EQ(creat_msg("f", 8), "Попытка обновления удаленой записи в файле f  ");
  EXPECT_EQ(creat_msg("f|v", 33), "Файл  f не соответствует текущей pедакции комплекса - v");
  EXPECT_EQ(creat_msg("f|v", 34), "Файлы  f не соответствуют текущей pедакции комплекса - v");
  // The missing-text sentence is Russian in both languages.
  EXPECT_EQ(creat_msg("x", 45), kMissing + "45" + kMissingEnd + "## x");
  Cfg[CfgIfaceLangPos] = 2; // any non-zero value
  EXPECT_EQ(creat_msg("", 27), "Деление на ноль");
}

TEST_F(MsgTest, LatinLettersStayLatin) {
  // "i" in the Ukrainian texts and "p" in entries 33/34 are Latin letters.
  const std::string ukr = creat_msg("a", 1);
  EXPECT_NE(ukr.find(" iснує"), std::string::npos);
  EXPECT_EQ(ukr.find("\xD1\x96"), std::string::npos); // no Cyrillic і
  Cfg[CfgIfaceLangPos] = 1;
  const std::string rus = creat_msg("f|v", 33);
  EXPECT_NE(rus.find(" pедакции"), std::string::npos);
  EXPECT_EQ(rus.find("\xD1\x80\xD0\xB5\xD0\xB4"), std::string::npos); // no Cyrillic "ред"
}

TEST_F(MsgTest, LoaderHookIsAskedOutsideTheBuiltInRanges) {
  struct Call {
    uint16_t number;
    bool russian;
    int maxLen;
  };
  std::vector<Call> calls;
  cLoadMsg = [&](uint16_t n, bool rus, int maxLen) {
    calls.push_back({n, rus, maxLen});
    return n == 2005 ? std::string("Hook $ $") : std::string();
  };
  EXPECT_EQ(creat_msg("a|b", 2005), "Hook a b");
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].number, 2005);
  EXPECT_FALSE(calls[0].russian);
  EXPECT_EQ(calls[0].maxLen, 800);

  // Built-in numbers, 99 and 0 never reach the hook.
  calls.clear();
  creat_msg("x", 5);
  creat_msg("x", 50);
  creat_msg("x", 99);
  creat_msg("x", 1099);
  creat_msg("x", 0);
  EXPECT_TRUE(calls.empty());

  // An empty answer gives the missing-text sentence; the number goes as 16 bits.
  Cfg[CfgIfaceLangPos] = 1;
  EXPECT_EQ(creat_msg("y", 70000), kMissing + "70000" + kMissingEnd + "## y");
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].number, 70000 - 65536);
  EXPECT_TRUE(calls[0].russian);
}

TEST_F(MsgTest, StringTableIsUsedWithoutAHook) {
  SetResString(3001, "Рес $");
  EXPECT_EQ(creat_msg("z", 3001), "Рес z");
  cLoadMsg = [](uint16_t, bool, int) { return std::string("hook"); };
  EXPECT_EQ(creat_msg("z", 3001), "hook"); // the hook takes precedence
  cLoadMsg = nullptr;
  ClearResStrings();
  EXPECT_EQ(creat_msg("z", 3001), kMissing + "3001" + kMissingEnd + "## z");
}

TEST(ZErrorType, CarriesTextAndNumber) {
  try {
    SetError("a|b", 11);
    FAIL() << "SetError returned";
  } catch (const ZException &e) {
    EXPECT_EQ(e.Message, "a|b");
    EXPECT_EQ(e.HelpContext, 11);
    EXPECT_STREQ(e.what(), "a|b"); // the raw text, not the sentence
    EXPECT_NE(dynamic_cast<const ZError *>(&e), nullptr);
  }
}

// Records every request and answers from a queue (0 when it runs dry).
struct Recorder {
  std::vector<MsgRequest> seen;
  std::vector<int> answers;
  MsgPresenter Presenter() {
    return [this](const MsgRequest &r) {
      seen.push_back(r);
      if (answers.empty())
        return 0;
      const int a = answers.front();
      answers.erase(answers.begin());
      return a;
    };
  }
};

struct OutputCase {
  const char *name;
  std::function<int()> call; // returns the function's result (0 for none)
  int answer;
  EMsgKind kind;
  bool normal;
  bool hasLog;
  std::string text;
  int result;
};

void PrintTo(const OutputCase &c, std::ostream *os) {
  *os << c.name;
}

class OutputFunctions : public MsgTest, public ::testing::WithParamInterface<OutputCase> {};

TEST_P(OutputFunctions, PresentOneRequest) {
  const OutputCase &c = GetParam();
  Recorder rec;
  rec.answers = {c.answer};
  ScopedPresenter scope(rec.Presenter());
  EXPECT_EQ(c.call(), c.result);
  ASSERT_EQ(rec.seen.size(), 1u);
  const MsgRequest &r = rec.seen[0];
  EXPECT_EQ(r.Kind, c.kind);
  EXPECT_EQ(r.Normal, c.normal);
  EXPECT_EQ(r.HasLog, c.hasLog);
  EXPECT_EQ(r.Text, c.text);
  if (c.hasLog) {
    EXPECT_EQ(r.ErrFile, "err.txt");
    EXPECT_EQ(r.WarFile, "");
  }
}

const ZError kErr11("a|b|c", 11);
const std::string kSentence11 = "У файлi a довжина запису ( b ) перевищує припустиму c";

INSTANTIATE_TEST_SUITE_P(
    Calls, OutputFunctions,
    ::testing::Values(
        OutputCase{"OutErr", [] { return OutErr("x", 5), 0; }, 0, mk_Error, true, false,
                   "Помилка при запису у файл x", 0},
        OutputCase{"OutErrZErrorPtr", [] { return OutErr(&kErr11), 0; }, 0, mk_Error, true, false,
                   kSentence11, 0},
        OutputCase{"OutErrZErrorRef", [] { return OutErr(kErr11), 0; }, 0, mk_Error, true, false,
                   kSentence11, 0},
        OutputCase{"OutErrLog", [] { return OutErrLog("x", 2, "err.txt", ""), 0; }, 0, mk_Error,
                   true, true, "Помилка при вiдкриттi файлу x", 0},
        OutputCase{"OutWar999", [] { return OutWar("x", 999), 0; }, 0, mk_Warning, true, false,
                   kMissing + "1999" + kMissingEnd + "## x", 0},
        OutputCase{"OutWar99", [] { return OutWar("w $|1", 99), 0; }, 0, mk_Warning, true, false,
                   "w 1", 0},
        OutputCase{"OutWarLog", [] { return OutWarLog("x", 5, "err.txt", ""), 0; }, 0, mk_Warning,
                   true, true, kMissing + "1005" + kMissingEnd + "## x", 0},
        OutputCase{"OutSelYes", [] { return int(OutSel("q?", 99)); }, 1, mk_Question, true, false,
                   "q?", 1},
        OutputCase{"OutSelNo", [] { return int(OutSel("q?", 99)); }, 0, mk_Question, true, false,
                   "q?", 0},
        OutputCase{"OutSelOtherAnswer", [] { return int(OutSel("q?", 99)); }, 2, mk_Question, true,
                   false, "q?", 0},
        OutputCase{"OutSelMissing", [] { return int(OutSel("f", 3)); }, 1, mk_Question, true, false,
                   kMissing + "2003" + kMissingEnd + "## f", 1},
        OutputCase{"OutSelRepeat", [] { return int(OutSelRepeat("q?", 99)); }, 1, mk_Question,
                   false, false, "q?", 1},
        OutputCase{"OutSelLog", [] { return int(OutSelLog("q?", 99, "err.txt", "")); }, 1,
                   mk_Question, true, true, "q?", 1},
        OutputCase{"SelVarAnswer1", [] { return SelVarAnswer("c", 99); }, 1, mk_Choice, true, false,
                   "c", 1},
        OutputCase{"SelVarAnswer2", [] { return SelVarAnswer("c", 99); }, 2, mk_Choice, true, false,
                   "c", 2},
        OutputCase{"SelVarAnswer3", [] { return SelVarAnswer("c", 99); }, 3, mk_Choice, true, false,
                   "c", 3},
        OutputCase{"SelVarAnswerClosed", [] { return SelVarAnswer("c", 99); }, -1, mk_Choice, true,
                   false, "c", 3},
        OutputCase{"MRestNoYesAsk", [] { return MRestNo("a$|b#c"); }, 3, mk_QuestionAsk, true,
                   false, "a$|b#c", 3},
        OutputCase{"MRestNoAskOnly", [] { return MRestNo("t"); }, 2, mk_QuestionAsk, true, false,
                   "t", 2},
        OutputCase{"ShowMessage", [] { return ShowMessage("Готово $|x"), 0; }, 0, mk_Info, true,
                   false, "Готово $|x", 0},
        OutputCase{"AskYesNoYes", [] { return int(AskYesNo("Заменить файл?")); }, 1, mk_YesNo, true,
                   false, "Заменить файл?", 1},
        OutputCase{"AskYesNoNo", [] { return int(AskYesNo("Заменить файл?")); }, 0, mk_YesNo, true,
                   false, "Заменить файл?", 0}),
    [](const ::testing::TestParamInfo<OutputCase> &info) { return std::string(info.param.name); });

TEST_F(MsgTest, SilentErrorsShowNothing) {
  Recorder rec;
  ScopedPresenter scope(rec.Presenter());
  OutErr("x", 999);
  const ZError silent("x", 999);
  OutErr(silent);
  OutErr(&silent);
  OutErr(static_cast<const ZError *>(nullptr));
  OutErrLog("x", 999, "e", "w");
  EXPECT_TRUE(rec.seen.empty());
}

TEST_F(MsgTest, UndefinedErrorAddsTheSystemText) {
  Recorder rec;
  ScopedPresenter scope(rec.Presenter());
  platform::SetLastError(platform::ErrNotFound);
  OutUnDefError("f");
  platform::SetLastError(0);
  OutUnDefError("g");
  ASSERT_EQ(rec.seen.size(), 2u);
  EXPECT_EQ(rec.seen[0].Kind, mk_Error);
  EXPECT_EQ(rec.seen[0].Text, "f#(" + platform::ErrorText(platform::ErrNotFound) + ")");
  EXPECT_EQ(rec.seen[1].Text, "g"); // code 0: no system text, no suffix
}

TEST_F(MsgTest, SystemErrorAfterAFailedOpen) {
  // A missing file in an existing folder: code 2 on POSIX systems and on Windows.
  const std::string dir = platform::MakeTempDir("zep-msg-");
  ASSERT_FALSE(dir.empty());
  const platform::Handle h = platform::Open(dir + "missing", platform::OpenMode::Read);
  const int code = platform::LastError();
  platform::RemoveTree(dir);
  ASSERT_EQ(h, platform::InvalidHandle);
  platform::SetLastError(code);
  ASSERT_EQ(platform::LastError(), 2);
  try {
    OutSystemError("C:\\f");
    FAIL() << "OutSystemError returned";
  } catch (const ZError &e) {
    EXPECT_EQ(e.HelpContext, 99);
    EXPECT_EQ(e.Message, "C:\\f#(" + platform::ErrorText(2) + "[Win=00000002])");
    const std::string tail = "[Win=00000002])";
    ASSERT_GE(e.Message.size(), tail.size());
    EXPECT_EQ(e.Message.substr(e.Message.size() - tail.size()), tail);
  }
}

TEST_F(MsgTest, SystemErrorCodeIsEightUpperCaseHexDigits) {
  struct Case {
    int code;
    std::string text;
    std::string expected;
  };
  const Case cases[] = {
      {28, "", platform::ErrorText(28) + "[Win=0000001C]"},
      {0, "", platform::ErrorText(0) + "[Win=00000000]"},
      {0xABC, "t", "t#(" + platform::ErrorText(0xABC) + "[Win=00000ABC])"},
  };
  for (const Case &c : cases) {
    platform::SetLastError(c.code);
    try {
      OutSystemError(c.text);
      FAIL() << "OutSystemError returned";
    } catch (const ZError &e) {
      EXPECT_EQ(e.Message, c.expected);
      EXPECT_EQ(e.HelpContext, 99);
    }
  }
}

TEST_F(MsgTest, DefaultPresenterWritesAndAnswersNo) {
  ::testing::internal::CaptureStderr();
  OutErr("x", 5);
  OutWar("y", 99);
  ShowMessage("z");
  EXPECT_FALSE(OutSel("q", 99));
  EXPECT_FALSE(AskYesNo("q"));
  EXPECT_EQ(SelVarAnswer("c", 99), 3);
  EXPECT_EQ(MRestNo("m"), 0);
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(err, "Помилка при запису у файл x\ny\nz\n");
}

TEST_F(MsgTest, ScopedPresentersNestAndRestore) {
  Recorder outer, inner;
  {
    ScopedPresenter a(outer.Presenter());
    {
      ScopedPresenter b(inner.Presenter());
      ShowMessage("1");
    }
    ShowMessage("2");
  }
  ::testing::internal::CaptureStderr();
  ShowMessage("3"); // default again
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "3\n");
  ASSERT_EQ(inner.seen.size(), 1u);
  EXPECT_EQ(inner.seen[0].Text, "1");
  ASSERT_EQ(outer.seen.size(), 1u);
  EXPECT_EQ(outer.seen[0].Text, "2");
}

TEST_F(MsgTest, PresenterMayReplaceItselfWhileRunning) {
  std::vector<std::string> later;
  std::string big(64, 'k'); // captured state that dies with the first presenter
  SetPresenter([&later, big](const MsgRequest &r) {
    SetPresenter([&later](const MsgRequest &q) {
      later.push_back(q.Text);
      return 0;
    });
    later.push_back(big + r.Text); // uses its own capture after the swap
    return 1;
  });
  EXPECT_TRUE(AskYesNo("a"));
  ShowMessage("b");
  ASSERT_EQ(later.size(), 2u);
  EXPECT_EQ(later[0], big + "a");
  EXPECT_EQ(later[1], "b");
}

} // namespace
