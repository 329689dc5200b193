#include "FileDialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QSplitter>
#include <QTreeView>

#include "DialogHooks.h"
#include "FileSearch.h"

namespace gui {

namespace {

std::string Utf8(const QString &s) {
  return s.toStdString();
}

// Qt's own dialog, modal.
std::unique_ptr<QFileDialog> Dialog(QWidget *owner, const QString &title) {
  auto d = std::make_unique<QFileDialog>(owner);
  d->setWindowTitle(title);
  d->setOption(QFileDialog::DontUseNativeDialog);
  d->setWindowModality(Qt::ApplicationModal);
  // Room for long names, the size, type and date columns, and the places at
  // the left with their names whole.
  d->resize(780, 480);
  if (auto *split = d->findChild<QSplitter *>(QStringLiteral("splitter")))
    split->setSizes({130, 650});
  if (auto *list = d->findChild<QTreeView *>(QStringLiteral("treeView"))) {
    const int widths[] = {300, 90, 90, 150};
    for (int i = 0; i < 4; ++i)
      list->header()->resizeSection(i, widths[i]);
  }
  return d;
}

// The first chosen name, empty on cancel. Qt names files with "/" on every
// system; the program's paths use the system's separator.
std::string Run(QFileDialog &d) {
  if (d.exec() != QDialog::Accepted || d.selectedFiles().isEmpty())
    return {};
  return Utf8(QDir::toNativeSeparators(d.selectedFiles().front()));
}

} // namespace

std::unique_ptr<QFileDialog> MakeFolderDialog(QWidget *owner, const QString &title) {
  auto d = Dialog(owner, title);
  d->setFileMode(QFileDialog::Directory);
  d->setOption(QFileDialog::ShowDirsOnly);
  return d;
}

std::unique_ptr<QFileDialog>
MakeOpenDialog(QWidget *owner, const QString &title, const QString &filter, const QString &name,
               const std::function<bool(const std::string &)> &accepts) {
  auto d = Dialog(owner, title);
  d->setAcceptMode(QFileDialog::AcceptOpen);
  d->setFileMode(QFileDialog::ExistingFile);
  d->setNameFilter(filter);
  // The dialog owns the filter; its source is the dialog's file system model.
  d->setProxyModel(new EditionFilter(accepts, d.get()));
  d->selectFile(name);
  return d;
}

std::unique_ptr<QFileDialog> MakeSaveDialog(QWidget *owner, const QString &title,
                                            const QString &filter, const QString &folder,
                                            const QString &name) {
  auto d = Dialog(owner, title);
  d->setAcceptMode(QFileDialog::AcceptSave);
  d->setFileMode(QFileDialog::AnyFile);
  // Whether an existing file is replaced is the conversion's question.
  d->setOption(QFileDialog::DontConfirmOverwrite);
  d->setNameFilter(filter);
  if (!folder.isEmpty())
    d->setDirectory(folder);
  d->selectFile(name);
  return d;
}

std::string BrowseFolder(QWidget *owner, const QString &title) {
  if (const auto answer = FolderAnswers().Intercept(Utf8(title), {}))
    return answer->empty() ? std::string() : FolderText(*answer);
  const std::string chosen = Run(*MakeFolderDialog(owner, title));
  return chosen.empty() ? chosen : FolderText(chosen);
}

std::string OpenFileName(QWidget *owner, const QString &title, const QString &filter,
                         const QString &name,
                         const std::function<bool(const std::string &)> &accepts) {
  if (const auto answer =
          OpenFileAnswers().Intercept({Utf8(title), {}, Utf8(name), Utf8(filter)}, {}))
    return *answer;
  return Run(*MakeOpenDialog(owner, title, filter, name, accepts));
}

std::string SaveFileName(QWidget *owner, const QString &title, const QString &filter,
                         const QString &folder, const QString &name) {
  if (const auto answer =
          SaveFileAnswers().Intercept({Utf8(title), Utf8(folder), Utf8(name), Utf8(filter)}, {}))
    return *answer;
  return Run(*MakeSaveDialog(owner, title, filter, folder, name));
}

EditionFilter::EditionFilter(Test test, QObject *parent)
    : QSortFilterProxyModel(parent), Test_(std::move(test)) {}

bool EditionFilter::filterAcceptsRow(int row, const QModelIndex &parent) const {
  const auto *files = qobject_cast<const QFileSystemModel *>(sourceModel());
  if (!files || !Test_)
    return true;
  const QModelIndex index = files->index(row, 0, parent);
  if (files->isDir(index))
    return true;
  // Looked at now, not as the model saw it: a file rewritten in place gets
  // no notice from the model.
  const QFileInfo info(files->filePath(index));
  if (!info.isFile())
    return true;
  const QString path = info.absoluteFilePath();
  const QDateTime modified = info.lastModified();
  const qint64 size = info.size();
  const auto known = Cache_.constFind(path);
  if (known != Cache_.constEnd() && known->modified == modified && known->size == size)
    return known->accepted;
  ++Tests_;
  const bool accepted = Test_(Utf8(path));
  Cache_.insert(path, {modified, size, accepted});
  return accepted;
}

} // namespace gui
