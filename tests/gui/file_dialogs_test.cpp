// The file and folder dialogs as they open for real: the open dialog hides
// every file of another edition and keeps folders, without opening a file
// twice; the folder dialog's answer ends in one separator; and Qt's own
// texts speak Russian.
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include "Application.h"
#include "Conversion.h"
#include "FileDialogs.h"
#include "GuiTestSupport.h"
#include "GuiTree.h"

using namespace gui;
using guitest::Tree;

namespace {

// The names the open dialog lists in `folder`, sorted.
QStringList Listed(QFileDialog &d, const std::string &folder) {
  auto *files = d.findChild<QFileSystemModel *>();
  QAbstractProxyModel *proxy = d.proxyModel();
  if (!files || !proxy)
    return {};
  const QModelIndex root =
      proxy->mapFromSource(files->index(QString::fromStdString(folder).chopped(1)));
  QStringList names;
  for (int i = 0; i < proxy->rowCount(root); ++i)
    names << proxy->index(i, 0, root).data().toString();
  names.sort();
  return names;
}

QString Plain(QString caption) {
  return caption.remove(QLatin1Char('&'));
}

} // namespace

class TestFileDialogs : public QObject {
  Q_OBJECT
private slots:
  void init() { guitest::ResetState(); }
  void cleanup() { guitest::ResetState(); }

  void openDialogHidesFilesOfAnotherEditionAndKeepsFolders() {
    Tree t;
    t.Model("a.IMS", 1, 1);
    t.Model("b.IMS", 1, 2, samples::kOtherEdition);
    samples::WriteFileBytes(t.src + "c.IMS", "not a block file");
    t.Model("e.ims", 1, 3);
    t.Model("sub/f.IMS", 1, 4);
    platform::MakeDirs(t.src + "d.IMS");
    platform::MakeDirs(t.src + "empty");
    Engine engine;
    int tests = 0;
    auto d = MakeOpenDialog(nullptr, QStringLiteral("Открыть"),
                            QStringLiteral("Информационная Модель Сметной Стоимости (*.IMS)"),
                            QStringLiteral("*.IMS"), [&](const std::string &path) {
                              ++tests;
                              return engine.IsSourceEdition(path);
                            });
    d->setDirectory(QString::fromStdString(t.src));
    d->show();
    const QStringList want = {QStringLiteral("a.IMS"), QStringLiteral("d.IMS"),
                              QStringLiteral("e.ims"), QStringLiteral("empty"),
                              QStringLiteral("sub")};
    QTRY_COMPARE_WITH_TIMEOUT(Listed(*d, t.src), want, 10000);

    // Repainting and filtering again open no file a second time.
    auto *filter = qobject_cast<EditionFilter *>(d->proxyModel());
    QVERIFY(filter);
    const int opened = filter->Tests();
    QCOMPARE(opened, tests);
    QVERIFY(opened >= 4);
    filter->invalidate();
    QCOMPARE(Listed(*d, t.src), want);
    QCOMPARE(filter->Tests(), opened);

    // A file that changes is tested anew: b.IMS becomes convertible.
    QTest::qWait(20); // a later modification time
    t.Model("b.IMS", 1, 5);
    filter->invalidate();
    QTRY_COMPARE_WITH_TIMEOUT(Listed(*d, t.src).count(QStringLiteral("b.IMS")), 1, 10000);
    QVERIFY(filter->Tests() > opened);
  }

  // The real folder dialog: the chosen folder comes back with one separator.
  void folderDialogAnswerEndsInOneSeparator() {
    Tree t;
    platform::MakeDirs(t.src + "sub");
    guitest::WhenModal<QFileDialog> act([&](QFileDialog *d) {
      QCOMPARE(d->windowTitle(), QStringLiteral("Куда"));
      d->setDirectory(QString::fromStdString(t.src + "sub"));
      static_cast<QDialog *>(d)->accept(); // QFileDialog hides it
    });
    QCOMPARE(BrowseFolder(nullptr, QStringLiteral("Куда")), t.src + "sub/");
    QVERIFY(act.opened);

    guitest::WhenModal<QFileDialog> cancel([](QFileDialog *d) { d->reject(); });
    QCOMPARE(BrowseFolder(nullptr, QStringLiteral("Куда")), std::string());
    QVERIFY(cancel.opened);
  }

  // The window speaks one language: Qt's own buttons say it in Russian.
  void qtTextsAreRussian() {
    QVERIFY2(LoadQtRussian(*qApp), "qtbase_ru is missing (Debian's qt6-translations-l10n)");
    QMessageBox box(QMessageBox::Question, QStringLiteral("Внимание!"), QStringLiteral("?"),
                    QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(Plain(box.button(QMessageBox::Yes)->text()), QStringLiteral("Да"));
    QCOMPARE(Plain(box.button(QMessageBox::No)->text()), QStringLiteral("Нет"));

    auto d = MakeOpenDialog(nullptr, QStringLiteral("Открыть"), QStringLiteral("x (*.IMS)"),
                            QStringLiteral("*.IMS"), {});
    auto *buttons = d->findChild<QDialogButtonBox *>();
    QVERIFY(buttons);
    QCOMPARE(Plain(buttons->button(QDialogButtonBox::Open)->text()), QStringLiteral("Открыть"));
    QCOMPARE(Plain(buttons->button(QDialogButtonBox::Cancel)->text()), QStringLiteral("Отмена"));
  }
};

QTEST_MAIN(TestFileDialogs)
#include "file_dialogs_test.moc"
