// TFrmMain: the converter's window. Two pages: the mass conversion of a
// folder tree and the conversion of one chosen file. The handlers read their
// controls, hand the work to the engine on a worker thread and show what the
// engine asks for on the window thread, so the window never freezes while the
// order of messages and questions stays the engine's.
#pragma once

#include <QWidget>

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "MassConversion.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QThread;
class QToolButton;

namespace gui {

class TFrmChkSel;
class TProgress;

// The closing message of the single-file command: "Преобразование
// завершено." or "Преобразование завершено с ошибкой!"; a file refused for
// its edition (or one that cannot be read) also ends with the second, while
// the "сам в себя" refusal has said everything and gets none.
std::string SingleClosingMessage(const ConvertOutcome &outcome);

class TFrmMain : public QWidget {
  Q_OBJECT
public:
  static constexpr int DesignWidth = 780;
  static constexpr int DesignHeight = 244;

  // Creates the controls, the engine (Rec, the record-buffer pool, the Boib
  // field list), runs FormCreate and creates the selection dialog.
  explicit TFrmMain(QWidget *parent = nullptr);
  // Waits for work under way (asking it to stop), then releases the engine.
  ~TFrmMain() override;

  // Fills the folder fields of the mass page (each given its one separator);
  // an empty text leaves its field alone.
  void SetFolders(const std::string &from, const std::string &to);

  // True while a conversion runs on the worker thread.
  bool Busy() const { return Worker_ != nullptr; }

  Engine &Conversion() { return *Engine_; }

  // --- Controls, named as the design names them ---
  QTabWidget *PageControl1 = nullptr;
  QWidget *TabSheet1 = nullptr; // "Массовое преобразование"
  QWidget *TabSheet2 = nullptr; // "Отдельные файлы"

  QLabel *Lbl_SelFolder_From = nullptr;
  QToolButton *SB_SelFolder_From = nullptr;
  QLineEdit *ED_SelFolder_From = nullptr;
  QLabel *Lbl_SelFolder_To = nullptr;
  QToolButton *SB_SelFolder_To = nullptr;
  QLineEdit *ED_SelFolder_To = nullptr;
  QCheckBox *ChkBx_NoAsk = nullptr;
  QCheckBox *ChkBx_MakeBak = nullptr;
  QCheckBox *ChkBx_MassSel = nullptr;
  QPushButton *Btn_MassConv = nullptr;

  QLabel *Label3 = nullptr;
  QComboBox *CmBx_FileType = nullptr;
  QLabel *Label1 = nullptr;
  QToolButton *SB_SelFile_From = nullptr;
  QLineEdit *ED_SelFile_From = nullptr;
  QLabel *Label2 = nullptr;
  QToolButton *SB_SelFile_To = nullptr;
  QLineEdit *ED_SelFile_To = nullptr;
  QCheckBox *ChkBx_NoAsk_Single = nullptr;
  QCheckBox *ChkBx_MakeBakSingle = nullptr;
  QPushButton *Btn_SingleConv = nullptr;

  TFrmChkSel *FrmChkSel = nullptr;
  TProgress *Progress = nullptr;

  // What the file dialogs get for the selected kind (CmBx_FileTypeClick).
  QString FileFilter; // "description (*.EXT)"
  QString OpenName;   // "*.EXT"

  // --- Handlers ---
  void FormCreate();
  void CmBx_FileTypeClick();
  void SB_SelFolder_FromClick();
  void SB_SelFolder_ToClick();
  void ED_SelFolder_FromChange();
  void ED_SelFolder_ToChange();
  void SB_SelFile_FromClick();
  void SB_SelFile_ToClick();
  void ED_SelFile_FromChange();
  void ED_SelFile_ToChange();
  void Btn_SingleConvClick();
  void Btn_MassConvClick();

signals:
  // A conversion command has finished and its button is enabled again.
  void WorkFinished();

protected:
  void closeEvent(QCloseEvent *event) override;

private:
  void CreateControls();
  void SetFolderButtonState();
  // The file rows the user keeps ticked; false when the run is cancelled.
  bool ChooseFiles(Selection &sel, bool showDialog);
  // Runs `work` on the worker thread behind the progress dialog; `done` runs
  // on the window thread afterwards.
  void RunWork(std::function<void()> work, std::function<void()> done);
  void BringToFront();

  std::unique_ptr<Engine> Engine_;
  QThread *Worker_ = nullptr;
  std::atomic<bool> Stop_{false};
};

} // namespace gui
