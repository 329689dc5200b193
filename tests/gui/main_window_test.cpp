// The main window: its controls and the rules that enable them, the kind
// list, the folder and file dialogs through their hooks, the single-file and
// the mass command end to end over generated trees (the work on the worker
// thread, the messages and questions on the window thread), and Cancel.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>

#include <thread>

#include "DialogHooks.h"
#include "FileKinds.h"
#include "GuiTestSupport.h"
#include "GuiTree.h"
#include "MainWindow.h"
#include "ProgressDialog.h"
#include "SelectionDialog.h"

using namespace gui;
using guitest::Tree;

namespace {

QString Str(const std::string &s) {
  return QString::fromStdString(s);
}

std::vector<std::string> ShownTexts() {
  std::vector<std::string> out;
  for (const MsgRequest &r : MessageAnswers().Shown())
    out.push_back(r.Text);
  return out;
}

// Presses `button` and waits until the command it starts has finished.
bool RunCommand(TFrmMain &w, QPushButton *button) {
  QSignalSpy finished(&w, &TFrmMain::WorkFinished);
  button->click();
  return finished.count() > 0 || finished.wait(60000);
}

const std::string SameFolders =
    "Папки \"Откуда\" и \"Куда\" совпадают.\nПреобразование \"сам в себя\" невозможно!";
const std::string SameFiles =
    "Файлы \"Откуда\" и \"Куда\" совпадают.\nПреобразование \"сам в себя\" невозможно!";

} // namespace

class TestMainWindow : public QObject {
  Q_OBJECT
private slots:
  void init() { guitest::ResetState(); }
  void cleanup() { guitest::ResetState(); }

  // --- Controls -----------------------------------------------------------------

  void windowAndControlsAsDesigned() {
    TFrmMain w;
    QCOMPARE(w.windowTitle(),
             QStringLiteral("Преобразование информационных моделей ЗЕП-5 2.10.5 в 2.10.4"));
    QCOMPARE(w.size(), QSize(780, 244));
    QCOMPARE(w.PageControl1->count(), 2);
    QCOMPARE(w.PageControl1->tabText(0), QStringLiteral("Массовое преобразование"));
    QCOMPARE(w.PageControl1->tabText(1), QStringLiteral("Отдельные файлы"));
    QCOMPARE(w.PageControl1->currentIndex(), 0);
    struct Box {
      QCheckBox *box;
      const char *caption;
      bool ticked;
    } boxes[] = {
        {w.ChkBx_NoAsk, "Не спрашивать при совпадении имен (перезапись)", false},
        {w.ChkBx_MakeBak, "При совпадении переименовывать затираемые файлы (делать копию)", true},
        {w.ChkBx_MassSel, "Уточнить перед преобразованием", true},
        {w.ChkBx_NoAsk_Single, "Не спрашивать при совпадении имени (записать поверх)", false},
        {w.ChkBx_MakeBakSingle, "При совпадении переименововать затираемый файл (сделать копию)",
         true},
    };
    for (const Box &b : boxes) {
      QCOMPARE(b.box->text(), QString::fromUtf8(b.caption));
      QCOMPARE(b.box->isChecked(), b.ticked);
    }
    QCOMPARE(w.Lbl_SelFolder_From->text(),
             QStringLiteral("Папка с файлами программы ЗЕП-5 2.10.5 (откуда)"));
    QCOMPARE(w.Lbl_SelFolder_To->text(),
             QStringLiteral("Папка с файлами для программы ЗЕП-5 2.10.4 (куда)"));
    QCOMPARE(w.Label1->text(), QStringLiteral("Файл редакции ЗЕП-5 2.10.5 (откуда)"));
    QCOMPARE(w.Label2->text(), QStringLiteral("Файл редакции ЗЕП-5 2.10.4 (куда)"));
    QCOMPARE(w.Label3->text(), QStringLiteral("Вид файла"));
    for (QLineEdit *e :
         {w.ED_SelFolder_From, w.ED_SelFolder_To, w.ED_SelFile_From, w.ED_SelFile_To}) {
      QVERIFY(e->isReadOnly());
      QVERIFY(e->text().isEmpty());
    }
    for (QPushButton *b : {w.Btn_MassConv, w.Btn_SingleConv}) {
      QCOMPARE(b->text(), QStringLiteral("Выполнить преобразование"));
      QVERIFY(!b->isEnabled());
    }
    QVERIFY(!w.SB_SelFile_To->isEnabled());
    QVERIFY(w.SB_SelFile_From->isEnabled());
    QVERIFY(!w.CmBx_FileType->isEditable());
  }

  // Screen readers and UI automation find every control by its name.
  void everyControlHasAnAccessibleName() {
    TFrmMain w;
    QCOMPARE(w.SB_SelFolder_From->accessibleName(), QStringLiteral("Выбрать папку откуда"));
    QCOMPARE(w.SB_SelFolder_To->accessibleName(), QStringLiteral("Выбрать папку куда"));
    QCOMPARE(w.SB_SelFile_From->accessibleName(), QStringLiteral("Выбрать файл откуда"));
    QCOMPARE(w.SB_SelFile_To->accessibleName(), QStringLiteral("Выбрать файл куда"));
    for (QWidget *c : w.findChildren<QWidget *>()) {
      const bool control = qobject_cast<QAbstractButton *>(c) || qobject_cast<QLineEdit *>(c) ||
                           qobject_cast<QComboBox *>(c);
      if (control && c->window() == &w && !c->parentWidget()->inherits("QTabBar") &&
          !c->parentWidget()->inherits("QComboBox"))
        QVERIFY2(!c->accessibleName().isEmpty(), qPrintable(c->metaObject()->className()));
    }
  }

  // One row per offered kind in code order, "description (EXT)", the code as
  // its data; the first selected; the dialogs take the kind's filter.
  void kindListRowsAndTheDialogsFilter() {
    TFrmMain w;
    QComboBox *c = w.CmBx_FileType;
    QCOMPARE(c->count(), 10);
    const std::vector<int> codes = {1, 2, 3, 5, 6, 7, 8, 9, 10, 11};
    for (int i = 0; i < c->count(); ++i) {
      QCOMPARE(c->itemData(i).toInt(), codes[i]);
      const FileKind *k = KindByCode(static_cast<uint8_t>(codes[i]));
      QCOMPARE(c->itemText(i), QString::fromUtf8(k->description) + QStringLiteral(" (") +
                                   QLatin1String(k->extension) + QLatin1Char(')'));
    }
    QCOMPARE(c->itemText(9), QStringLiteral("Файл КП (IMK)"));
    QCOMPARE(c->currentIndex(), 0);
    QCOMPARE(w.FileFilter, QStringLiteral("Информационная Модель Сметной Стоимости (*.IMS)"));
    QCOMPARE(w.OpenName, QStringLiteral("*.IMS"));

    // Another kind changes the dialogs only, never the chosen files.
    w.ED_SelFile_From->setText(QStringLiteral("/a/x.IMS"));
    w.ED_SelFile_To->setText(QStringLiteral("/b/x.IMS"));
    c->setCurrentIndex(9);
    QCOMPARE(w.FileFilter, QStringLiteral("Файл КП (*.IMK)"));
    QCOMPARE(w.OpenName, QStringLiteral("*.IMK"));
    QCOMPARE(w.ED_SelFile_From->text(), QStringLiteral("/a/x.IMS"));
    QCOMPARE(w.ED_SelFile_To->text(), QStringLiteral("/b/x.IMS"));
    OpenFileAnswers().Arm();
    w.SB_SelFile_From->click();
    QCOMPARE(OpenFileAnswers().Shown().size(), size_t(1));
    QCOMPARE(OpenFileAnswers().Shown()[0].Filter, std::string("Файл КП (*.IMK)"));
    QCOMPARE(OpenFileAnswers().Shown()[0].Name, std::string("*.IMK"));
    QCOMPARE(OpenFileAnswers().Shown()[0].Title, std::string("Открыть файл ЗЕП-5 редакции 2.10.5"));
  }

  // The folder dialog gets the label as its title; its answer ends in one
  // separator; a cancelled dialog clears the field; the command button
  // follows both fields.
  void folderFieldsEnableTheMassCommandAndCancelClears() {
    TFrmMain w;
    FolderAnswers().Push("/data/models//");
    w.SB_SelFolder_From->click();
    QCOMPARE(w.ED_SelFolder_From->text(), QStringLiteral("/data/models/"));
    QVERIFY(!w.Btn_MassConv->isEnabled());
    FolderAnswers().Push("/");
    w.SB_SelFolder_To->click();
    QCOMPARE(w.ED_SelFolder_To->text(), QStringLiteral("/"));
    QVERIFY(w.Btn_MassConv->isEnabled());
    QCOMPARE(FolderAnswers().Shown(),
             (std::vector<std::string>{"Папка с файлами программы ЗЕП-5 2.10.5 (откуда)",
                                       "Папка с файлами для программы ЗЕП-5 2.10.4 (куда)"}));

    FolderAnswers().Push(""); // cancelled
    w.SB_SelFolder_From->click();
    QVERIFY(w.ED_SelFolder_From->text().isEmpty());
    QVERIFY(!w.Btn_MassConv->isEnabled());
    FolderAnswers().Push("/x");
    w.SB_SelFolder_From->click();
    QCOMPARE(w.ED_SelFolder_From->text(), QStringLiteral("/x/"));
    QVERIFY(w.Btn_MassConv->isEnabled());
  }

  // No target before a source; a missing source is refused and the dialog
  // offered again; the save dialog opens at the source; clearing the source
  // clears the target and disables the command.
  void fileFieldsAndTheirDialogs() {
    Tree t;
    const std::string source = t.Model("a/x.IMS", 1, 1);
    TFrmMain w;
    QVERIFY(!w.SB_SelFile_To->isEnabled());
    OpenFileAnswers().Push(t.src + "missing.IMS");
    OpenFileAnswers().Push(source);
    MessageAnswers().Arm();
    w.SB_SelFile_From->click();
    QCOMPARE(OpenFileAnswers().Shown().size(), size_t(2));
    QCOMPARE(ShownTexts(), std::vector<std::string>{"Файл\n" + t.src +
                                                    "missing.IMS\nне существует, выберите "
                                                    "существующий файл"});
    QCOMPARE(w.ED_SelFile_From->text(), Str(source));
    QVERIFY(w.SB_SelFile_To->isEnabled());
    QVERIFY(!w.Btn_SingleConv->isEnabled());

    OpenFileAnswers().Push(""); // cancelled: nothing changes
    w.SB_SelFile_From->click();
    QCOMPARE(w.ED_SelFile_From->text(), Str(source));

    SaveFileAnswers().Push(t.dst + "y.IMS");
    w.SB_SelFile_To->click();
    const FileDialogRequest save = SaveFileAnswers().Shown().back();
    QCOMPARE(save.Title,
             std::string("Сохранить файл для ЗЕП-5 редакции 2.10.4 (новое место или имя)"));
    QCOMPARE(save.Folder, t.src + "a");
    QCOMPARE(save.Name, source);
    QCOMPARE(save.Filter, std::string("Информационная Модель Сметной Стоимости (*.IMS)"));
    QCOMPARE(w.ED_SelFile_To->text(), Str(t.dst + "y.IMS"));
    QVERIFY(w.Btn_SingleConv->isEnabled());

    SaveFileAnswers().Push(""); // cancelled: the target stays
    w.SB_SelFile_To->click();
    QCOMPARE(w.ED_SelFile_To->text(), Str(t.dst + "y.IMS"));

    w.ED_SelFile_From->clear();
    QVERIFY(!w.SB_SelFile_To->isEnabled());
    QVERIFY(w.ED_SelFile_To->text().isEmpty());
    QVERIFY(!w.Btn_SingleConv->isEnabled());
  }

  void chosenTargetTakesTheSourceExtension_data() {
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("message"); // empty: none
    QTest::newRow(".ims kept") << QStringLiteral("/out/t.ims") << QStringLiteral("/out/t.ims")
                               << QString();
    QTest::newRow(".bak corrected")
        << QStringLiteral("/out/t.bak") << QStringLiteral("/out/t.IMS")
        << QStringLiteral("Вы изменили расширение файла с .IMS на .bak\nРасширение исправлено.");
    QTest::newRow("none appended")
        << QStringLiteral("/out/t") << QStringLiteral("/out/t.IMS")
        << QStringLiteral("Вы изменили расширение файла с .IMS на пусто\nРасширение исправлено.");
    QTest::newRow("a dot in a folder ignored")
        << QStringLiteral("/out.2010/t") << QStringLiteral("/out.2010/t.IMS")
        << QStringLiteral("Вы изменили расширение файла с .IMS на пусто\nРасширение исправлено.");
    QTest::newRow("the last dot of the name")
        << QStringLiteral("/out/t.IMS.bak") << QStringLiteral("/out/t.IMS.IMS")
        << QStringLiteral("Вы изменили расширение файла с .IMS на .bak\nРасширение исправлено.");
  }
  void chosenTargetTakesTheSourceExtension() {
    QFETCH(QString, chosen);
    QFETCH(QString, target);
    QFETCH(QString, message);
    TFrmMain w;
    w.ED_SelFile_From->setText(QStringLiteral("/src.d/x.IMS"));
    SaveFileAnswers().Push(chosen.toStdString());
    MessageAnswers().Arm();
    w.SB_SelFile_To->click();
    QCOMPARE(w.ED_SelFile_To->text(), target);
    const std::vector<std::string> want =
        message.isEmpty() ? std::vector<std::string>{} : std::vector{message.toStdString()};
    QCOMPARE(ShownTexts(), want);
  }

  // --- The single-file command ------------------------------------------------------

  // Each row of the existing-target table: the check boxes do what their
  // captions say, the question is asked only with both clear, and an existing
  // file is replaced only at the final rename.
  void singleFileExistingTarget_data() {
    QTest::addColumn<bool>("makeCopy");
    QTest::addColumn<bool>("noAsk");
    QTest::addColumn<int>("answer"); // -1: no question
    QTest::addColumn<bool>("replaced");
    QTest::newRow("copy box") << true << false << -1 << false;
    QTest::newRow("copy box wins over overwrite") << true << true << -1 << false;
    QTest::newRow("overwrite box") << false << true << -1 << true;
    QTest::newRow("asked, yes") << false << false << 1 << true;
    QTest::newRow("asked, no") << false << false << 0 << false;
  }
  void singleFileExistingTarget() {
    QFETCH(bool, makeCopy);
    QFETCH(bool, noAsk);
    QFETCH(int, answer);
    QFETCH(bool, replaced);
    Tree t;
    const std::string source = t.Model("x.IMS", 1, 7);
    const std::string target = t.dst + "x.IMS";
    platform::MakeDirs(t.dst);
    samples::WriteFileBytes(target, "old");
    TFrmMain w;
    w.PageControl1->setCurrentIndex(1);
    w.ED_SelFile_From->setText(Str(source));
    w.ED_SelFile_To->setText(Str(target));
    w.ChkBx_MakeBakSingle->setChecked(makeCopy);
    w.ChkBx_NoAsk_Single->setChecked(noAsk);
    if (answer >= 0)
      MessageAnswers().Push(answer);
    MessageAnswers().Arm();
    QVERIFY(RunCommand(w, w.Btn_SingleConv));
    std::vector<std::string> want;
    if (answer >= 0)
      want.push_back("Заменить файл?\n" + target);
    want.push_back("Преобразование завершено.");
    QCOMPARE(ShownTexts(), want);
    QVERIFY(w.Btn_SingleConv->isEnabled());
    if (replaced) {
      QCOMPARE(Tree::Files(t.dst), std::vector<std::string>{"x.IMS"});
      QCOMPARE(guitest::EditionOf(target), std::string(samples::kConvertedEdition));
    } else {
      QCOMPARE(Tree::Files(t.dst), (std::vector<std::string>{"x-k.IMS", "x.IMS"}));
      QCOMPARE(samples::ReadFileBytes(target), std::string("old"));
      QCOMPARE(guitest::EditionOf(t.dst + "x-k.IMS"), std::string(samples::kConvertedEdition));
    }
  }

  // A source of another edition: the edition message, then the closing
  // message of a failure; the "сам в себя" refusal stands alone and leaves
  // the button enabled.
  void singleFileRefusals() {
    Tree t;
    const std::string other = t.Model("old.IMS", 1, 2, samples::kOtherEdition);
    const std::string good = t.Model("x.IMS", 1, 3);
    TFrmMain w;
    w.ED_SelFile_From->setText(Str(other));
    w.ED_SelFile_To->setText(Str(t.dst + "old.IMS"));
    MessageAnswers().Arm();
    QVERIFY(RunCommand(w, w.Btn_SingleConv));
    QCOMPARE(ShownTexts(), (std::vector<std::string>{
                               "Ошибка!\nФайл " + other +
                                   "\nимеет неверный шифр редакции\nТребуется файл редакции 2.10.5",
                               "Преобразование завершено с ошибкой!"}));
    QVERIFY(!platform::DirExists(t.dst));

    MessageAnswers().Reset();
    MessageAnswers().Arm();
    w.ED_SelFile_From->setText(Str(good));
    w.ED_SelFile_To->setText(Str(good));
    QVERIFY(RunCommand(w, w.Btn_SingleConv));
    QCOMPARE(ShownTexts(), std::vector<std::string>{SameFiles});
    QVERIFY(w.Btn_SingleConv->isEnabled());
    QCOMPARE(Tree::Files(t.src), (std::vector<std::string>{"old.IMS", "x.IMS"}));
  }

  // The kind converted is the one selected when the command runs.
  void singleFileUsesTheSelectedKind() {
    Tree t;
    const std::string source = t.Model("x.IMS", 9, 4); // regional prices stored as .IMS
    TFrmMain w;
    w.CmBx_FileType->setCurrentIndex(w.CmBx_FileType->findData(9));
    w.ED_SelFile_From->setText(Str(source));
    w.ED_SelFile_To->setText(Str(t.dst + "x.IMS"));
    MessageAnswers().Arm();
    QVERIFY(RunCommand(w, w.Btn_SingleConv));
    QCOMPARE(ShownTexts().back(), std::string("Преобразование завершено."));
    QCOMPARE(guitest::EditionOf(t.dst + "x.IMS"), std::string(samples::kConvertedEdition));
  }

  // --- The mass command ---------------------------------------------------------------

  void massSameFoldersRefusedAndTheButtonEnabledAgain() {
    Tree t;
    t.Model("a.IMS", 1, 1);
    TFrmMain w;
    w.SetFolders(t.src, t.src);
    MessageAnswers().Arm();
    SelectionAnswers().Arm();
    QVERIFY(RunCommand(w, w.Btn_MassConv));
    QCOMPARE(ShownTexts(), std::vector<std::string>{SameFolders});
    QVERIFY(SelectionAnswers().Shown().empty());
    QVERIFY(w.Btn_MassConv->isEnabled());
  }

  void massNothingFound() {
    Tree t;
    t.Model("old.IMS", 1, 1, samples::kOtherEdition);
    TFrmMain w;
    w.SetFolders(t.src, t.dst);
    MessageAnswers().Arm();
    SelectionAnswers().Arm();
    QVERIFY(RunCommand(w, w.Btn_MassConv));
    QCOMPARE(ShownTexts(), std::vector<std::string>{"Не найдено ни одного файла"});
    QVERIFY(SelectionAnswers().Shown().empty());
    QVERIFY(!platform::DirExists(t.dst));
    QVERIFY(w.Btn_MassConv->isEnabled());
  }

  // The selection offers the kinds in code order; cancelling it converts
  // nothing, asks nothing and leaves every existing target untouched.
  void massSelectionCancelled() {
    Tree t;
    t.Model("b/r.RGF", 9, 1);
    t.Model("a.IMS", 1, 2);
    platform::MakeDirs(t.dst);
    samples::WriteFileBytes(t.dst + "a.IMS", "old");
    TFrmMain w;
    w.SetFolders(t.src, t.dst);
    w.ChkBx_MakeBak->setChecked(false); // with questions: none may come
    MessageAnswers().Arm();
    SelectionAnswers().Arm(); // closed without an answer
    QVERIFY(RunCommand(w, w.Btn_MassConv));
    QCOMPARE(ShownTexts(), std::vector<std::string>{"Отменено пользователем"});
    QCOMPARE(SelectionAnswers().Shown().size(), size_t(1));
    std::vector<std::string> rows;
    for (const SelectionRow &r : SelectionAnswers().Shown()[0])
      rows.push_back(r.header ? "#" + std::to_string(r.kind) : r.text);
    QCOMPARE(rows, (std::vector<std::string>{"#1", t.src + "a.IMS", "#9", t.src + "b/r.RGF"}));
    QCOMPARE(Tree::Files(t.dst), std::vector<std::string>{"a.IMS"});
    QCOMPARE(samples::ReadFileBytes(t.dst + "a.IMS"), std::string("old"));
  }

  // Every row unticked with the dialog's own button: nothing converted, the
  // run still ends "Преобразование завершено !" with its counts.
  void massAllUnticked() {
    Tree t;
    t.Model("a.IMS", 1, 1);
    t.Model("c/b.IMD", 2, 2);
    TFrmMain w;
    w.SetFolders(t.src, t.dst);
    MessageAnswers().Arm();
    SelectionAnswers().Push([](TFrmChkSel &d) {
      d.Button1->click();
      d.Btn_Yes->click();
      return d.result() == QDialog::Accepted;
    });
    QVERIFY(RunCommand(w, w.Btn_MassConv));
    QCOMPARE(ShownTexts(),
             std::vector<std::string>{
                 "Преобразование завершено !\nПреобразовано файлов: 0, с ошибкой: 0"});
    QVERIFY(Tree::Files(t.dst).empty());
  }

  // The real dialog, opened and answered by its buttons: the unticked file
  // stays, the others convert into the same relative places.
  void massConvertsTheTickedFilesThroughTheRealDialog() {
    Tree t;
    t.Model("a.IMS", 1, 1);
    t.Model("deep/er/p.IMP", 3, 2);
    t.Model("n/u.NSF", 10, 3);
    TFrmMain w;
    w.SetFolders(t.src, t.dst);
    MessageAnswers().Arm();
    guitest::WhenModal<TFrmChkSel> act([](TFrmChkSel *d) {
      QCOMPARE(d->ChkLsBx_Sel->count(), 6);
      d->ChkLsBx_Sel->item(1)->setCheckState(Qt::Unchecked); // a.IMS
      d->Btn_Yes->click();
    });
    QVERIFY(RunCommand(w, w.Btn_MassConv));
    QVERIFY(act.opened);
    QVERIFY(!act.leftOpen);
    QCOMPARE(ShownTexts(),
             std::vector<std::string>{
                 "Преобразование завершено !\nПреобразовано файлов: 2, с ошибкой: 0"});
    QCOMPARE(Tree::Files(t.dst), (std::vector<std::string>{"deep/er/p.IMP", "n/u.NSF"}));
    QCOMPARE(guitest::EditionOf(t.dst + "n/u.NSF"), std::string(samples::kConvertedEdition));
    QVERIFY(w.Progress->isHidden());
    QCOMPARE(w.Progress->Bar->value(), 2);
  }

  // A failing file shows its failure messages and asks whether to stop; Yes
  // stops the run, the files before it stay converted.
  void massFailureAndStopOnYes() {
    Tree t;
    t.Model("a.IMS", 1, 1);
    t.Damaged("b.IMS");
    t.Model("c.IMS", 1, 3);
    TFrmMain w;
    w.SetFolders(t.src, t.dst);
    w.ChkBx_MassSel->setChecked(false);
    // The failure message, then Yes to the question.
    MessageAnswers().Push(0);
    MessageAnswers().Push(1);
    QVERIFY(RunCommand(w, w.Btn_MassConv));
    QCOMPARE(ShownTexts(),
             (std::vector<std::string>{
                 "файл " + t.src + "b.IMS\nне удается преобразовать", "Прервать преобразование?",
                 "Преобразование завершено !\nПреобразовано файлов: 1, с ошибкой: 1"}));
    QCOMPARE(MessageAnswers().Shown()[1].Kind, mk_YesNo);
    QCOMPARE(Tree::Files(t.dst), std::vector<std::string>{"a.IMS"});
    QVERIFY(w.Btn_MassConv->isEnabled());
  }

  // Cancel in the progress dialog while a file converts: that file finishes,
  // no other starts, "Отменено пользователем"; the target tree holds only
  // whole converted files.
  void cancelDuringAMassRunLeavesOnlyWholeFiles() {
    Tree t;
    t.Model("a.IMS", 1, 1);
    t.Damaged("b.IMS");
    t.Model("c.IMS", 1, 3);
    t.Model("d.IMS", 1, 4);
    TFrmMain w;
    w.SetFolders(t.src, t.dst);
    w.ChkBx_MassSel->setChecked(false);
    // The question after b.IMS holds the worker: Cancel is pressed while it
    // waits, then the run is told to go on.
    std::vector<std::string> texts;
    ScopedPresenter answers([&](const MsgRequest &r) {
      texts.push_back(r.Text);
      if (r.Text == "Прервать преобразование?") {
        OnWindowThread([&] {
          QVERIFY(w.Progress->isVisible());
          QVERIFY(w.Progress->Btn_Cancel->isEnabled());
          w.Progress->Btn_Cancel->click();
        });
        return 0;
      }
      return 0;
    });
    QVERIFY(RunCommand(w, w.Btn_MassConv));
    QCOMPARE(texts.back(), std::string("Отменено пользователем"));
    QCOMPARE(Tree::Files(t.dst), std::vector<std::string>{"a.IMS"});
    QCOMPARE(guitest::EditionOf(t.dst + "a.IMS"), std::string(samples::kConvertedEdition));
    QVERIFY(w.Btn_MassConv->isEnabled());
    QVERIFY(w.Progress->isHidden());
  }

  // While the worker runs nothing else can be started: the progress dialog
  // is modal and the command button disabled; the progress goes before the
  // closing message.
  void whileWorkRunsTheWindowIsBlocked() {
    Tree t;
    t.Model("a.IMS", 1, 1);
    t.Damaged("b.IMS");
    t.Model("c.IMS", 1, 3);
    TFrmMain w;
    w.show();
    w.SetFolders(t.src, t.dst);
    w.ChkBx_MassSel->setChecked(false);
    bool blockedAtTheQuestion = false, goneAtTheEnd = false;
    ScopedPresenter answers([&](const MsgRequest &r) {
      OnWindowThread([&] {
        if (r.Text == "Прервать преобразование?")
          blockedAtTheQuestion = w.Busy() && !w.Btn_MassConv->isEnabled() &&
                                 w.Progress->isVisible() && w.Progress->isModal() &&
                                 w.Progress->Bar->value() == 2 && w.Progress->Bar->maximum() == 3;
        if (r.Text.starts_with("Преобразование завершено !"))
          goneAtTheEnd = w.Busy() && w.Progress->isHidden();
      });
      return 0; // go on
    });
    QVERIFY(RunCommand(w, w.Btn_MassConv));
    QVERIFY(blockedAtTheQuestion);
    QVERIFY(goneAtTheEnd);
    QVERIFY(!w.Busy());
    QVERIFY(w.Btn_MassConv->isEnabled());
    QCOMPARE(Tree::Files(t.dst), (std::vector<std::string>{"a.IMS", "c.IMS"}));
  }

  // One file shows a busy bar naming it, without Cancel (a file under way
  // is never cut short); it goes before the closing message.
  void singleFileShowsABusyIndicator() {
    Tree t;
    const std::string source = t.Model("x.IMS", 1, 1);
    platform::MakeDirs(t.dst);
    samples::WriteFileBytes(t.dst + "x.IMS", "old");
    TFrmMain w;
    w.show();
    w.ED_SelFile_From->setText(Str(source));
    w.ED_SelFile_To->setText(Str(t.dst + "x.IMS"));
    w.ChkBx_MakeBakSingle->setChecked(false); // asks "Заменить файл?"
    bool busy = false, goneAtTheEnd = false;
    ScopedPresenter answers([&](const MsgRequest &r) {
      OnWindowThread([&] {
        if (r.Kind == mk_YesNo)
          busy = w.Progress->isVisible() && w.Progress->Bar->maximum() == 0 &&
                 w.Progress->Btn_Cancel->isHidden() && !w.Btn_SingleConv->isEnabled() &&
                 w.Progress->Current->toolTip() == Str(source);
        if (r.Text == "Преобразование завершено.")
          goneAtTheEnd = w.Progress->isHidden();
      });
      return 1;
    });
    QVERIFY(RunCommand(w, w.Btn_SingleConv));
    QVERIFY(busy);
    QVERIFY(goneAtTheEnd);
    QVERIFY(w.Btn_SingleConv->isEnabled());
  }

  // --- The presenter across threads ------------------------------------------------------

  // A question raised on another thread opens on the window thread; the
  // asking thread gets the answer given there.
  void questionFromAWorkerIsAnsweredOnTheWindowThread() {
    std::atomic<int> answer{-1};
    guitest::WhenModal<QMessageBox> act([](QMessageBox *box) {
      QCOMPARE(box->thread(), qApp->thread());
      QCOMPARE(box->text(), QStringLiteral("Заменить файл?\n/x.IMS"));
      box->button(QMessageBox::Yes)->click();
    });
    std::thread worker([&] { answer = AskYesNo("Заменить файл?\n/x.IMS") ? 1 : 0; });
    QTRY_VERIFY_WITH_TIMEOUT(answer >= 0, 10000);
    worker.join();
    QVERIFY(act.opened);
    QCOMPARE(answer.load(), 1);
  }
};

QTEST_MAIN(TestMainWindow)
#include "main_window_test.moc"
