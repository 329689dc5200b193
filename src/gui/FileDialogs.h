// The folder and file dialogs of the main window. Qt's own dialogs (not the
// desktop's), so that they speak the window's language everywhere and the
// open dialog can hide the files it must not offer. Each asks its answer
// queue of DialogHooks.h first.
#pragma once

#include <QDateTime>
#include <QHash>
#include <QSortFilterProxyModel>
#include <QString>

#include <functional>
#include <memory>
#include <string>

class QFileDialog;
class QWidget;

namespace gui {

// The folder dialog with `title`; the chosen folder ends with exactly one
// separator ("/" stays "/"). Empty when the user cancels.
std::string BrowseFolder(QWidget *owner, const QString &title);

// The open dialog: `title`, one filter entry, the proposed name; hides every
// file for which `accepts` is false (folders always stay). Empty on cancel.
std::string OpenFileName(QWidget *owner, const QString &title, const QString &filter,
                         const QString &name,
                         const std::function<bool(const std::string &)> &accepts);

// The save dialog: `title`, opened in `folder` with `name` proposed, one
// filter entry. It asks nothing about an existing file: that question belongs
// to the conversion. Empty on cancel.
std::string SaveFileName(QWidget *owner, const QString &title, const QString &filter,
                         const QString &folder, const QString &name);

// The dialogs above as they open, for pictures and tests of the real dialogs.
std::unique_ptr<QFileDialog> MakeFolderDialog(QWidget *owner, const QString &title);
std::unique_ptr<QFileDialog>
MakeOpenDialog(QWidget *owner, const QString &title, const QString &filter, const QString &name,
               const std::function<bool(const std::string &)> &accepts);
std::unique_ptr<QFileDialog> MakeSaveDialog(QWidget *owner, const QString &title,
                                            const QString &filter, const QString &folder,
                                            const QString &name);

// The listing filter of the open dialog: keeps folders and everything that
// is not an existing plain file, and files for which the test passes. Results
// are kept per path, modification time and size, so that scrolling and
// filtering again do not open a file again; a changed file is tested anew.
class EditionFilter : public QSortFilterProxyModel {
  Q_OBJECT
public:
  using Test = std::function<bool(const std::string &path)>;
  explicit EditionFilter(Test test, QObject *parent = nullptr);

  // How many times the test ran (each run opens a file).
  int Tests() const { return Tests_; }

protected:
  bool filterAcceptsRow(int row, const QModelIndex &parent) const override;

private:
  struct Known {
    QDateTime modified;
    qint64 size = -1;
    bool accepted = false;
  };
  Test Test_;
  mutable QHash<QString, Known> Cache_;
  mutable int Tests_ = 0;
};

} // namespace gui
