#include "Messages.h"

#include "BilingualText.h"
#include "Platform.h"

#include <cstdio>
#include <map>
#include <vector>

MsgLoader cLoadMsg;

namespace {

// Built-in templates 0..39: 0x04 Russian 0x05 Ukrainian. The Ukrainian texts
// use the Latin i where the Cyrillic one belongs, and entries 33/34 a Latin p;
// they are kept exactly as the program has always shown them.
const char *const kBuiltIn[40] = {
    "$",
    "\x04"
    "Файл $ не существует"
    "\x05"
    "Файл $ не iснує", // 1
    "\x04"
    "Ошибка при открытии файла $"
    "\x05"
    "Помилка при вiдкриттi файлу $", // 2
    "\x04"
    "Ошибка при создании файла $"
    "\x05"
    "Помилка при створеннi файлу $", // 3
    "\x04"
    "Буфер отсутствует в списке"
    "\x05"
    "Буфер вiдсутнiй у списку", // 4
    "\x04"
    "Ошибка при записи в файл $"
    "\x05"
    "Помилка при запису у файл $", // 5
    "\x04"
    "Не задано имя файла $"
    "\x05"
    "Не задано iм'я файлу $", // 6
    "\x04"
    "Заданный псевдоним $ отсутствует в списке псевдонимов"
    "\x05"
    "Заданий псевдонiм $ вiдсутнiй у списку псевдонiмiв", // 7
    "\x04"
    "Попытка обновления удаленой записи в файле $  "
    "\x05"
    "Спроба оновлення видаленого запису у файлi $", // 8
    "\x04"
    "Прочитана запись нулевой длины из файла $"
    "\x05"
    "Прочитано запис нульової довжини з файлу $", // 9
    "\x04"
    "В файле $ неверно задан адрес следующей записи $"
    "\x05"
    "У файлi $ неправильно задана адреса наступного запису $", // 10
    "\x04"
    "В файле $ длина записи ( $ ) превышает допустимую $"
    "\x05"
    "У файлi $ довжина запису ( $ ) перевищує припустиму $", // 11
    "\x04"
    "Контрольная сумма файла $ не совпадает с эталонной"
    "\x05"
    "Контрольна сума файлу $ не збiгається з еталонною", // 12
    "\x04"
    "На Вашем компьютере экран настроен на $ dpi. Необходимо установить 96 dpi"
    "\x05"
    "На Вашому комп'ютерi екран настроєно на $ dpi. Необхiдно установити 96 dpi", // 13
    "\x04"
    "Указанный путь не существует"
    "\x05"
    "Зазначений шлях не iснує", // 14
    "",                         // 15
    "\x04"
    "Несоответствие длин при перезаписи.#(Физический файл $)"
    "\x05"
    "Невiдповiднiсть довжин при перезапису.#(Фiзичний файл $)", // 16
    "\x04"
    "Попытка чтения из файла для записи.#(Физический файл $)"
    "\x05"
    "Спроба читання з файлу для запису.#(Фiзичний файл $)", // 17
    "\x04"
    "Попытка записи в файл для чтения.#(Физический файл $)"
    "\x05"
    "Спроба запису у файл для читання.#(Фiзичний файл $)", // 18
    "\x04"
    "Некорректно задан поисковый образ#$"
    "\x05"
    "Некоректно задано пошуковий образ#$", // 19
    "",                                    // 20
    "\x04"
    "Ошибка при позиционировании в файле $"
    "\x05"
    "Помилка при позицiонуваннi у файлi $", // 21
    "\x04"
    "Последний символ числа не может быть разделителем целой и дробной частей"
    "\x05"
    "Останнiй символ числа не може бути роздiльником цiлої i дробової частин", // 22
    "\x04"
    "Недопустимый символ операции"
    "\x05"
    "Неприпустимий символ операцiї", // 23
    "\x04"
    "Отсутствует открывающая скобка"
    "\x05"
    "Вiдсутня вiдкриваюча дужка", // 24
    "\x04"
    "Отсутствует закрывающая скобка"
    "\x05"
    "Вiдсутня закриваюча дужка", // 25
    "\x04"
    "Ошибка в записи числа"
    "\x05"
    "Помилка в запису числа", // 26
    "\x04"
    "Деление на ноль"
    "\x05"
    "Дiлення на нуль", // 27
    "\x04"
    "Возведения нуля в нулевую степень при определении $"
    "\x05"
    "Пiднесення нуля до нульового степеня при визначеннi $", // 28
    "\x04"
    "Возведение отрицательного числа в дробную степень при определении $"
    "\x05"
    "Пiднесення вiд'ємного числа до дробового степеня при визначеннi $", // 29
    "\x04"
    "Метод не соответствует типу логического файла. Файл $"
    "\x05"
    "Метод не вiдповiдає типу логiчного файлу. Файл $", // 30
    "\x04"
    "Неопределенный идентификатор $"
    "\x05"
    "Невизначений iдентифiкатор $", // 31
    "\x04"
    "Папка $ не существует"
    "\x05"
    "Папка $ не iснує", // 32
    "\x04"
    "Файл  $ не соответствует текущей pедакции комплекса - $"
    "\x05"
    "Файл  $ не вiдповiдає поточнiй редакцiї комплексу - $", // 33
    "\x04"
    "Файлы  $ не соответствуют текущей pедакции комплекса - $"
    "\x05"
    "Файли  $ не вiдповiдають поточнiй редакцiї комплексу - $", // 34
    "\x04"
    "Ошибка в записи переменной"
    "\x05"
    "Помилка в запису змiнної", // 35
    "\x04"
    "Идентификатор должен начинаться с буквы"
    "\x05"
    "Iдентифiкатор повинен починатись з букви", // 36
    "\x04"
    "Недопустимое использование функции S"
    "\x05"
    "Неприпустиме використання функцiї S", // 37
    "\x04"
    "Были ошибки в задании промежутков функции выбор (S)"
    "\x05"
    "Були помилки в завданнi промiжкiв функцiї вибiр (S)", // 38
    "\x04"
    " $ с таким номером уже существует"
    "\x05"
    " $ з таким номером вже iснує", // 39
};

constexpr int32_t kMaxLoadLen = 800;

MsgPresenter gPresenter;
std::map<int32_t, std::string> gResStrings;

int DefaultPresenter(const MsgRequest &r) {
  switch (r.Kind) {
  case mk_Error:
  case mk_Warning:
  case mk_Info:
    std::fprintf(stderr, "%s\n", r.Text.c_str());
    return 0;
  case mk_Choice:
    return 3;
  default:
    return 0; // questions: no
  }
}

// "|" becomes a line break; CR, LF and CR LF end a line; a final line break
// adds no element and an empty text gives none.
std::vector<std::string> SplitArgs(const std::string &text) {
  std::vector<std::string> list;
  std::string line;
  bool open = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '|' || c == '\n') {
      list.push_back(std::move(line));
      line.clear();
      open = false;
    } else if (c == '\r') {
      list.push_back(std::move(line));
      line.clear();
      open = false;
      if (i + 1 < text.size() && text[i + 1] == '\n')
        ++i;
    } else {
      line += c;
      open = true;
    }
  }
  if (open)
    list.push_back(std::move(line));
  return list;
}

std::string FindTemplate(int32_t number) {
  if (number >= 1 && number <= 98) {
    if (number >= 40)
      return {};
    return GetTextLang(InterfaceRussian() ? 1 : 0, std::string(kBuiltIn[number]));
  }
  if (number == 99 || number == 1099 || number == 2099)
    return "$";
  if (cLoadMsg)
    return cLoadMsg(static_cast<uint16_t>(number), InterfaceRussian(), kMaxLoadLen);
  return LoadResString(number);
}

void ReplaceAll(std::string &text, const std::string &from, const std::string &to) {
  for (size_t pos = text.find(from); pos != std::string::npos;
       pos = text.find(from, pos + to.size()))
    text.replace(pos, from.size(), to);
}

// The system's text for an error code; two characters or fewer count as none.
std::string SystemText(int code) {
  std::string s = platform::ErrorText(code);
  return s.size() <= 2 ? std::string() : s;
}

MsgRequest Request(EMsgKind kind, std::string text) {
  MsgRequest r;
  r.Kind = kind;
  r.Text = std::move(text);
  return r;
}

MsgRequest LogRequest(EMsgKind kind, std::string text, const std::string &errFile,
                      const std::string &warFile) {
  MsgRequest r = Request(kind, std::move(text));
  r.HasLog = true;
  r.ErrFile = errFile;
  r.WarFile = warFile;
  return r;
}

} // namespace

void SetPresenter(MsgPresenter p) {
  gPresenter = std::move(p);
}
const MsgPresenter &CurrentPresenter() {
  return gPresenter;
}

int Present(const MsgRequest &r) {
  // A copy, so that a presenter may replace itself while it runs.
  const MsgPresenter p = gPresenter;
  return p ? p(r) : DefaultPresenter(r);
}

ScopedPresenter::ScopedPresenter(MsgPresenter p) : Previous(gPresenter) {
  SetPresenter(std::move(p));
}
ScopedPresenter::~ScopedPresenter() {
  SetPresenter(std::move(Previous));
}

std::string LoadResString(int32_t number) {
  const auto it = gResStrings.find(number);
  return it == gResStrings.end() ? std::string() : it->second;
}
void SetResString(int32_t number, std::string text) {
  gResStrings[number] = std::move(text);
}
void ClearResStrings() {
  gResStrings.clear();
}

std::string creat_msg(const std::string &args, int32_t number) {
  if (number == 0)
    return args;
  const std::vector<std::string> list = SplitArgs(args);
  std::string text = FindTemplate(number);
  if (text.empty()) {
    // The sentence is Russian whatever the interface language.
    text =
        "Ошибка. Текст сообщения №" + std::to_string(number) + " отсутствует в ресурсах программы";
    if (!list.empty()) {
      text += "##" + std::string(list.size(), '$');
      ReplaceAll(text, "$", " $");
    }
  }
  for (const std::string &arg : list) {
    const size_t pos = text.find('$');
    if (pos == std::string::npos)
      break; // surplus arguments are dropped
    text.replace(pos, 1, arg);
  }
  for (char &c : text)
    if (c == '$')
      c = ' ';
  return text;
}

void OutErr(const std::string &text, int32_t number) {
  if (number == 999)
    return;
  Present(Request(mk_Error, creat_msg(text, number)));
}

void OutErr(const ZError *e) {
  if (e != nullptr)
    OutErr(e->Message, e->HelpContext);
}

void OutErr(const ZError &e) {
  OutErr(e.Message, e.HelpContext);
}

void OutErrLog(const std::string &text, int32_t number, const std::string &errFile,
               const std::string &warFile) {
  if (number == 999)
    return;
  Present(LogRequest(mk_Error, creat_msg(text, number), errFile, warFile));
}

void OutWar(const std::string &text, int32_t number) {
  Present(Request(mk_Warning, creat_msg(text, number + 1000)));
}

void OutWarLog(const std::string &text, int32_t number, const std::string &errFile,
               const std::string &warFile) {
  Present(LogRequest(mk_Warning, creat_msg(text, number + 1000), errFile, warFile));
}

bool OutSel(const std::string &text, int32_t number) {
  return Present(Request(mk_Question, creat_msg(text, number + 2000))) == 1;
}

bool OutSelRepeat(const std::string &text, int32_t number) {
  MsgRequest r = Request(mk_Question, creat_msg(text, number + 2000));
  r.Normal = false;
  return Present(r) == 1;
}

bool OutSelLog(const std::string &text, int32_t number, const std::string &errFile,
               const std::string &warFile) {
  return Present(LogRequest(mk_Question, creat_msg(text, number + 2000), errFile, warFile)) == 1;
}

int SelVarAnswer(const std::string &text, int32_t number) {
  const int answer = Present(Request(mk_Choice, creat_msg(text, number + 2000)));
  return answer == 1 || answer == 2 ? answer : 3; // closed otherwise: 3
}

int MRestNo(const std::string &text) {
  return Present(Request(mk_QuestionAsk, text)) & 3;
}

void OutUnDefError(const std::string &text) {
  const int code = platform::LastError(); // before anything can change it
  const std::string sys = code != 0 ? SystemText(code) : std::string();
  OutErr(sys.empty() ? text : text + "#(" + sys + ")", 99);
}

Interrupted::Interrupted(int signal)
    : ZException("прервано сигналом " + platform::InterruptionName(signal), 0), Signal(signal) {}

void CheckInterruption() {
  if (const int signal = platform::Interruption())
    throw Interrupted(signal);
}

void OutSystemError(const std::string &text) {
  const int code = platform::LastError(); // before anything can change it
  char hex[16];
  std::snprintf(hex, sizeof hex, "%08X", static_cast<unsigned>(code));
  const std::string sys = SystemText(code) + "[Win=" + hex + "]";
  throw ZError(text.empty() ? sys : text + "#(" + sys + ")", 99);
}

void SetError(const std::string &text, int32_t number) {
  throw ZError(text, number);
}

void ShowMessage(const std::string &text) {
  Present(Request(mk_Info, text));
}

bool AskYesNo(const std::string &text) {
  return Present(Request(mk_YesNo, text)) == 1;
}
