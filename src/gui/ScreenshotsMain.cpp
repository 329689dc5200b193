// zepconv-screenshots: renders the main window's pages, the selection dialog
// over a sample tree, the progress and file dialogs, and every look of the
// message dialog and the text viewer to PNG files (run with
// QT_QPA_PLATFORM=offscreen by `make screenshots`), or with --show NAME opens
// one of the dialogs for real and prints the answer, for trying the dialogs
// under an X server.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QTabWidget>
#include <QThread>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Application.h"
#include "BilingualControls.h"
#include "BilingualText.h"
#include "FileDialogs.h"
#include "FileSearch.h"
#include "GuiFonts.h"
#include "MainWindow.h"
#include "MassConversion.h"
#include "MessageDialog.h"
#include "Messages.h"
#include "Platform.h"
#include "ProgressDialog.h"
#include "SampleTree.h"
#include "SelectionDialog.h"
#include "TextViewer.h"
#include "WindowPresenter.h"

using namespace gui;

namespace {

struct Shot {
  using Make = std::function<std::shared_ptr<QWidget>()>;
  using Click = std::function<void(QWidget &)>;
  Shot(const char *n, Make m, Click a = {}, bool rus = false)
      : name(n), make(std::move(m)), afterShow(std::move(a)), russian(rus) {}
  const char *name;
  Make make;
  Click afterShow; // optional: a click before the picture
  bool russian;    // shown in the Russian interface
};

// Protocol files in Windows-1251, as the suite writes them, in `dir`.
struct Protocols {
  std::string errors;
  std::string warnings;
  explicit Protocols(const std::string &dir)
      : errors(dir + "Помилки.txt"), warnings(dir + "Неточності.txt") {
    // "Помилка 1: файл obj12.ims пошкоджено" and so on.
    Write(errors, "\xCF\xEE\xEC\xE8\xEB\xEA\xE0 1: \xF4\xE0\xE9\xEB obj12.ims "
                  "\xEF\xEE\xF8\xEA\xEE\xE4\xE6\xE5\xED\xEE\r\n"
                  "\xCF\xEE\xEC\xE8\xEB\xEA\xE0 2: \xE7\xE0\xEF\xE8\xF1 7 \xED\xE5 "
                  "\xEF\xF0\xEE\xF7\xE8\xF2\xE0\xED\xEE\r\n"
                  "\xCE\xF8\xE8\xE1\xEA\xE0 3: \xC8\xA8\xAA\xB2\xBF \xB3\xBA\xBA\r\n");
    Write(warnings, "\xCD\xE5\xF2\xEE\xF7\xED\xB3\xF1\xF2\xFC 1: \xF6\xB3\xED\xE0 = 1,5\r\n"
                    "\xCD\xE5\xF2\xEE\xF7\xED\xB3\xF1\xF2\xFC 2: "
                    "\xE4\xE0\xF2\xE0 01.02.2003\r\n");
  }
  static void Write(const std::string &path, const std::string &bytes) {
    platform::RemoveFile(path);
    const platform::Handle h = platform::Open(path, platform::OpenMode::Create);
    if (h != platform::InvalidHandle) {
      platform::Write(h, bytes.data(), static_cast<int64_t>(bytes.size()));
      platform::Close(h);
    }
  }
};

std::unique_ptr<QWidget> Message(EMsgKind kind, bool normal, const std::string &text) {
  auto d = std::make_unique<TDMessages>(nullptr, kind, normal);
  d->Text = text;
  return d;
}

std::unique_ptr<QWidget> Box(QMessageBox::Icon icon, const char *title, const char *text,
                             QMessageBox::StandardButtons buttons) {
  auto box = std::make_unique<QMessageBox>(icon, QString::fromUtf8(title), QString::fromUtf8(text),
                                           buttons);
  box->setTextFormat(Qt::PlainText);
  return box;
}

// A sample tree of edition-2.10.5 files, written once under the output folder.
struct Sample {
  std::string from, to;
  explicit Sample(const std::string &dir) : from(dir + "sample/"), to(dir + "sample-out/") {
    if (!platform::DirExists(from))
      samples::WriteSampleTree(from);
  }
};

// Lets a file dialog list its folder, which its model reads in the background.
void WaitForListing(QWidget &w) {
  auto *d = qobject_cast<QFileDialog *>(&w);
  auto *files = d ? d->findChild<QFileSystemModel *>() : nullptr;
  if (!files)
    return;
  const auto listed = [&] {
    const QModelIndex root = files->index(d->directory().absolutePath());
    const QAbstractProxyModel *proxy = d->proxyModel();
    return proxy ? proxy->rowCount(proxy->mapFromSource(root)) : files->rowCount(root);
  };
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < 3000 && listed() == 0)
    QApplication::processEvents(QEventLoop::AllEvents, 50);
  QApplication::processEvents();
}

// The main window, shown by several pictures; it owns the one engine.
std::shared_ptr<QWidget> Borrowed(QWidget &w) {
  return std::shared_ptr<QWidget>(&w, [](QWidget *) {});
}

// The pages of the main window, its selection dialog over the sample tree,
// its progress and its file dialogs.
std::vector<Shot> WindowShots(const Sample &s, TFrmMain &main) {
  return {
      {"main-mass",
       [&s, &main] {
         main.SetFolders(s.from, s.to);
         return Borrowed(main);
       }},
      {"main-single",
       [&s, &main] {
         main.PageControl1->setCurrentIndex(1);
         main.ED_SelFile_From->setText(QString::fromStdString(s.from + "Сметы/объект 1/смета.IMS"));
         main.ED_SelFile_To->setText(QString::fromStdString(s.to + "Сметы/объект 1/смета.IMS"));
         return Borrowed(main);
       }},
      {"selection",
       [&s, &main] {
         auto d = std::make_shared<TFrmChkSel>();
         Selection sel = BuildSelection(main.Conversion(), s.from);
         if (sel.size() > 4)
           sel[4].ticked = false; // one file unticked
         d->Fill(sel);
         return d;
       }},
      {"icon",
       [] {
         auto l = std::make_shared<QLabel>();
         l->setWindowTitle(QStringLiteral("zepconv"));
         QPixmap both(256 + 16 + 64, 256);
         both.fill(Qt::white);
         QPainter p(&both);
         p.drawPixmap(0, 0, QApplication::windowIcon().pixmap(256, 256));
         p.drawPixmap(256 + 16, 192, QApplication::windowIcon().pixmap(64, 64));
         p.end();
         l->setPixmap(both);
         return l;
       }},
      {"progress",
       [&s] {
         auto d = std::make_shared<TProgress>(nullptr);
         d->StartMass();
         d->FileStarts(4, 14, s.from + "Сметы/объект 1/этап/смета2.ims");
         return d;
       }},
      {"progress-single",
       [&s] {
         auto d = std::make_shared<TProgress>(nullptr);
         d->StartSingle(s.from + "Сметы/объект 1/смета.IMS");
         return d;
       }},
      {"folder-dialog",
       [&s] {
         auto d = MakeFolderDialog(
             nullptr, QStringLiteral("Папка с файлами программы ЗЕП-5 2.10.5 (откуда)"));
         d->setDirectory(QString::fromStdString(s.from));
         return std::shared_ptr<QWidget>(d.release());
       },
       WaitForListing},
      {"open-dialog",
       [&s, &main] {
         auto d = MakeOpenDialog(nullptr, QStringLiteral("Открыть файл ЗЕП-5 редакции 2.10.5"),
                                 QStringLiteral("Информационная Модель Сметной Стоимости (*.IMS)"),
                                 QStringLiteral("*.IMS"), [&main](const std::string &path) {
                                   return main.Conversion().IsSourceEdition(path);
                                 });
         d->setDirectory(QString::fromStdString(s.from));
         return std::shared_ptr<QWidget>(d.release());
       },
       WaitForListing},
  };
}

std::vector<Shot> Shots(const Protocols &p) {
  std::string files;
  for (int i = 1; i <= 14; ++i)
    files += "C:\\Кошториси\\Об'єкт " + std::to_string(i) + ".ims ";
  const std::string longText = creat_msg(files + "|5-2.10.4", 34);
  return {
      {"error",
       [] { return Message(mk_Error, true, creat_msg("C:\\Кошториси\\Об'єкт 12.ims", 2)); }},
      {"error-missing-text", [] { return Message(mk_Error, true, creat_msg("name", 2001)); }},
      {"question",
       [] {
         return Message(mk_Question, true,
                        creat_msg("Файл $ вже існує.#Замінити його?|C:\\Кошториси\\obj.ims", 2099));
       }},
      {"warning",
       [] {
         return Message(mk_Warning, true,
                        creat_msg("Файл $ записано редакцією 2.10.3|D:\\Ціни\\регіон.rgf", 1099));
       }},
      {"choice",
       [] {
         return Message(mk_Choice, true,
                        "Оберіть дію:#1 - замінити, 2 - переглянути, 3 - скасувати");
       }},
      {"question-ask", [] { return Message(mk_QuestionAsk, true, "Видалити тимчасові файли?"); }},
      {"alarm",
       [] {
         return Message(mk_Question, false,
                        creat_msg("Повторити спробу запису у файл $?|C:\\obj.ims", 2099));
       }},
      {"error-view",
       [&p] {
         auto d = std::make_unique<TDMessages>(nullptr, mk_Error, true);
         d->Text = "Під час перетворення були помилки.#Перегляньте протоколи.";
         d->HasLog = true;
         d->ErrFile = p.errors;
         d->WarFile = p.warnings;
         return std::unique_ptr<QWidget>(std::move(d));
       }},
      {"long-text", [longText] { return Message(mk_Warning, true, longText); }},
      {"left-aligned",
       [] {
         return Message(mk_Error, true,
                        "~Рядок перший, ліворуч#Рядок другий довший, теж ліворуч#третій");
       }},
      {"command-blocks",
       [] {
         return Message(mk_Warning, true,
                        "\x01ЖS10 Ц\x01Заголовок#\x01КД0000C0 \x01курсив червоним#"
                        "\x01ЛF\x01ліворуч, постійно#і цей рядок теж#\x01П\x01праворуч");
       }},
      {"question-russian",
       [] { return Message(mk_Question, true, creat_msg("C:\\Сметы\\obj.ims", 1)); },
       {},
       true},
      {"viewer-errors",
       [&p] {
         auto v = std::make_unique<TViewPrt>();
         v->ErrFile = p.errors;
         v->WarFile = p.warnings;
         return std::unique_ptr<QWidget>(std::move(v));
       }},
      {"viewer-warnings",
       [&p] {
         auto v = std::make_unique<TViewPrt>();
         v->ErrFile = p.errors;
         v->WarFile = p.warnings;
         return std::unique_ptr<QWidget>(std::move(v));
       },
       [](QWidget &d) { static_cast<TViewPrt &>(d).kWar->click(); }},
      {"box-info",
       [] {
         return Box(QMessageBox::NoIcon, "zepconv", "Преобразование завершено.", QMessageBox::Ok);
       }},
      {"box-yesno",
       [] {
         return Box(QMessageBox::Question, "Внимание!", "Заменить файл?\nC:\\out\\obj.ims",
                    QMessageBox::Yes | QMessageBox::No);
       }},
  };
}

// Sets the interface language of the messages and of the bilingual controls.
void SetRussian(bool russian) {
  Cfg[CfgIfaceLangPos] = russian ? 1 : 0;
  IFaceLang = russian ? elg_Rus : elg_Ukr;
}

// The window as a window manager would frame it: a caption bar with the
// title over the client area, so that the title can be checked too.
QImage Framed(QWidget &d) {
  const QPixmap client = d.grab();
  const qreal dpr = client.devicePixelRatio();
  const int bar = TDMessages::DesignFrameHeight;
  QImage out((QSize(d.width(), d.height() + bar + 1) * dpr), QImage::Format_RGB32);
  out.setDevicePixelRatio(dpr);
  out.fill(QColor(60, 60, 60));
  QPainter p(&out);
  p.fillRect(QRect(1, 1, d.width() - 2, bar - 1), QColor(40, 70, 130));
  QFont f = DialogFont();
  f.setBold(true);
  p.setFont(f);
  p.setPen(Qt::white);
  p.drawText(QRect(6, 1, d.width() - 12, bar - 1), Qt::AlignVCenter | Qt::AlignLeft,
             d.windowTitle());
  p.drawPixmap(0, bar + 1, client);
  return out;
}

int Render(const QString &dir) {
  QDir().mkpath(dir + QStringLiteral("/protocols"));
  const std::string root = QDir(dir).absolutePath().toStdString() + "/";
  const Protocols p(root + "protocols/");
  const Sample sample(root);
  TFrmMain main;
  std::vector<Shot> shots = WindowShots(sample, main);
  for (Shot &s : Shots(p))
    shots.push_back(std::move(s));
  int failed = 0;
  for (const Shot &s : shots) {
    SetRussian(s.russian);
    std::shared_ptr<QWidget> d = s.make();
    d->show();
    QApplication::processEvents();
    if (s.afterShow) {
      s.afterShow(*d);
      QApplication::processEvents();
    }
    const QString path = dir + QLatin1Char('/') + QLatin1String(s.name) + QStringLiteral(".png");
    if (!Framed(*d).save(path)) {
      std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
      ++failed;
    } else {
      std::printf("%s\n", qPrintable(path));
    }
    d->hide();
    SetRussian(false);
  }
  return failed == 0 ? 0 : 1;
}

// Opens one look for real; prints the dialog's result (and for the message
// dialog its Answer and the Ask box).
int ShowOne(const QString &name) {
  const std::string dir = platform::MakeTempDir("zep-shots-");
  struct Cleanup {
    std::string dir;
    ~Cleanup() { platform::RemoveTree(dir); }
  } cleanup{dir};
  const Protocols p(dir);
  for (const Shot &s : Shots(p)) {
    if (name != QLatin1String(s.name))
      continue;
    SetRussian(s.russian);
    std::shared_ptr<QWidget> w = s.make();
    auto *d = static_cast<QDialog *>(w.get()); // every look of Shots is a dialog
    const int result = d->exec();
    if (auto *m = dynamic_cast<TDMessages *>(d))
      std::printf("result %d answer %d ask %d\n", result, m->Answer, m->Ask->isChecked() ? 1 : 0);
    else
      std::printf("result %d\n", result);
    std::fflush(stdout);
    return 0;
  }
  std::fprintf(stderr, "no such look: %s\n", qPrintable(name));
  return 2;
}

} // namespace

int main(int argc, char **argv) {
  QApplication app(argc, argv);
  SetUpApplication(app);
  const QStringList args = QApplication::arguments();
  if (args.size() == 3 && args[1] == QLatin1String("--show"))
    return ShowOne(args[2]);
  if (args.size() != 2) {
    std::fprintf(stderr, "usage: zepconv-screenshots OUTPUT_DIR | --show NAME\n");
    return 2;
  }
  return Render(args[1]);
}
