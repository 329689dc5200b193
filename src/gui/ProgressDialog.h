// The window's progress while work runs on the worker thread: for a mass run
// the files done of the total, the file under way and a Cancel button; for
// one file a busy bar without Cancel. Modal over the main window, so nothing
// else is started meanwhile, while the window keeps painting.
#pragma once

#include <QDialog>

#include <string>

class QLabel;
class QProgressBar;
class QPushButton;

namespace gui {

class TProgress : public QDialog {
  Q_OBJECT
public:
  explicit TProgress(QWidget *owner);

  // A mass run: the search first (a busy bar), then files counted; Cancel
  // asks to stop before the next file.
  void StartMass();
  // One file: a busy bar naming it, no Cancel.
  void StartSingle(const std::string &source);
  // The file at `index` (from 0) of `total` starts.
  void FileStarts(size_t index, size_t total, const std::string &source);
  // `done` files of the run are finished; after the last one the dialog
  // goes, so that the closing message stands alone.
  void FilesDone(size_t done);

  bool CancelRequested() const { return Cancelled_; }

  QLabel *Counts = nullptr;  // "Файл 3 из 15"
  QLabel *Current = nullptr; // the file under way
  QProgressBar *Bar = nullptr;
  QPushButton *Btn_Cancel = nullptr;

signals:
  // Cancel was pressed (or Esc, or the window frame) during a mass run.
  void CancelPressed();

public slots:
  void reject() override; // Esc and the frame: Cancel when there is one

private:
  void Cancel();
  void ShowPath(const std::string &path);
  bool Cancelled_ = false;
};

} // namespace gui
