#include "MainWindow.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QThread>
#include <QToolButton>
#include <QVBoxLayout>

#include <exception>

#include "FileDialogs.h"
#include "FileKinds.h"
#include "FileSearch.h"
#include "GuiFonts.h"
#include "Messages.h"
#include "Platform.h"
#include "ProgressDialog.h"
#include "SelectionDialog.h"
#include "TargetName.h"
#include "WindowPresenter.h"

namespace gui {

namespace {

const char *const WindowCaption = "Преобразование информационных моделей ЗЕП-5 2.10.5 в 2.10.4";
const char *const OpenTitle = "Открыть файл ЗЕП-5 редакции 2.10.5";
const char *const SaveTitle = "Сохранить файл для ЗЕП-5 редакции 2.10.4 (новое место или имя)";

QString Q(const char *utf8) {
  return QString::fromUtf8(utf8);
}

std::string Text(const QLineEdit *edit) {
  return edit->text().toStdString();
}

bool Blank(const QLineEdit *edit) {
  return edit->text().trimmed().isEmpty();
}

// What an existing target gets, as the two check boxes' captions say: the
// copy box keeps the existing file (the new one takes the "-k" name) and
// wins over the overwrite box; the overwrite box replaces without a
// question; with neither, the question decides.
ExistingTarget Policy(const QCheckBox *makeCopy, const QCheckBox *noAsk) {
  if (makeCopy->isChecked())
    return ExistingTarget::Copy;
  return noAsk->isChecked() ? ExistingTarget::Replace : ExistingTarget::Ask;
}

QLabel *Label(const char *caption, QWidget *page) {
  auto *l = new QLabel(Q(caption), page);
  l->setTextFormat(Qt::PlainText);
  return l;
}

QLineEdit *ReadOnlyEdit(const char *name, QWidget *page) {
  auto *e = new QLineEdit(page);
  e->setReadOnly(true);
  e->setAccessibleName(Q(name));
  return e;
}

// The small "..." button beside a field; `picks` says what it picks.
QToolButton *PickButton(const char *picks, QWidget *page) {
  auto *b = new QToolButton(page);
  b->setText(QStringLiteral("..."));
  b->setAccessibleName(Q(picks));
  b->setToolTip(Q(picks));
  return b;
}

QCheckBox *CheckBox(const char *caption, bool ticked, QWidget *page) {
  auto *c = new QCheckBox(Q(caption), page);
  c->setChecked(ticked);
  c->setAccessibleName(c->text());
  return c;
}

QPushButton *CommandButton(QWidget *page) {
  auto *b = new QPushButton(QStringLiteral("Выполнить преобразование"), page);
  b->setAccessibleName(b->text());
  return b;
}

// A field with its "..." button at the right.
QHBoxLayout *FieldRow(QLineEdit *edit, QToolButton *button) {
  auto *row = new QHBoxLayout;
  row->setSpacing(2);
  row->addWidget(edit, 1);
  row->addWidget(button);
  return row;
}

QVBoxLayout *PageLayout(QWidget *page) {
  auto *l = new QVBoxLayout(page);
  l->setContentsMargins(8, 6, 8, 8);
  l->setSpacing(3);
  return l;
}

// Check boxes stacked at the left, the command button at the bottom right.
QHBoxLayout *CommandRow(std::initializer_list<QCheckBox *> boxes, QPushButton *command) {
  auto *stack = new QVBoxLayout;
  stack->setSpacing(2);
  for (QCheckBox *c : boxes)
    stack->addWidget(c);
  auto *row = new QHBoxLayout;
  row->addLayout(stack);
  row->addStretch(1);
  row->addWidget(command, 0, Qt::AlignBottom);
  return row;
}

} // namespace

std::string SingleClosingMessage(const ConvertOutcome &outcome) {
  if (outcome.status == ConvertStatus::Refused && outcome.refusal != Refusal::SameFile) {
    ConvertOutcome failed = outcome;
    failed.status = ConvertStatus::Failed;
    return ClosingMessage(failed);
  }
  return ClosingMessage(outcome);
}

TFrmMain::TFrmMain(QWidget *parent) : QWidget(parent) {
  CreateControls();
  Engine_ = std::make_unique<Engine>();
  FormCreate();
  FrmChkSel = new TFrmChkSel(this);
  Progress = new TProgress(this);
  connect(Progress, &TProgress::CancelPressed, this, [this] { Stop_ = true; });
}

TFrmMain::~TFrmMain() {
  if (Worker_) {
    Stop_ = true;
    Worker_->disconnect(this);
    // The worker may be waiting for an answer of this thread.
    while (!Worker_->wait(10))
      QCoreApplication::processEvents();
    delete Worker_;
    Worker_ = nullptr;
  }
}

void TFrmMain::CreateControls() {
  setWindowTitle(Q(WindowCaption));
  setFont(DialogFont());
  resize(DesignWidth, DesignHeight);
  // Centred on the desktop, also where no window manager places it.
  if (const QScreen *screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());

  PageControl1 = new QTabWidget(this);
  auto *whole = new QVBoxLayout(this);
  whole->setContentsMargins(0, 0, 0, 0);
  whole->addWidget(PageControl1);

  TabSheet1 = new QWidget;
  PageControl1->addTab(TabSheet1, QStringLiteral("Массовое преобразование"));
  Lbl_SelFolder_From = Label("Папка с файлами программы ЗЕП-5 2.10.5 (откуда)", TabSheet1);
  SB_SelFolder_From = PickButton("Выбрать папку откуда", TabSheet1);
  ED_SelFolder_From = ReadOnlyEdit("Папка откуда", TabSheet1);
  Lbl_SelFolder_To = Label("Папка с файлами для программы ЗЕП-5 2.10.4 (куда)", TabSheet1);
  SB_SelFolder_To = PickButton("Выбрать папку куда", TabSheet1);
  ED_SelFolder_To = ReadOnlyEdit("Папка куда", TabSheet1);
  ChkBx_NoAsk = CheckBox("Не спрашивать при совпадении имен (перезапись)", false, TabSheet1);
  ChkBx_MakeBak =
      CheckBox("При совпадении переименовывать затираемые файлы (делать копию)", true, TabSheet1);
  ChkBx_MassSel = CheckBox("Уточнить перед преобразованием", true, TabSheet1);
  Btn_MassConv = CommandButton(TabSheet1);
  QVBoxLayout *mass = PageLayout(TabSheet1);
  mass->addWidget(Lbl_SelFolder_From);
  mass->addLayout(FieldRow(ED_SelFolder_From, SB_SelFolder_From));
  mass->addWidget(Lbl_SelFolder_To);
  mass->addLayout(FieldRow(ED_SelFolder_To, SB_SelFolder_To));
  mass->addStretch(1);
  mass->addLayout(CommandRow({ChkBx_NoAsk, ChkBx_MakeBak, ChkBx_MassSel}, Btn_MassConv));

  TabSheet2 = new QWidget;
  PageControl1->addTab(TabSheet2, QStringLiteral("Отдельные файлы"));
  Label3 = Label("Вид файла", TabSheet2);
  CmBx_FileType = new QComboBox(TabSheet2);
  CmBx_FileType->setEditable(false);
  CmBx_FileType->setAccessibleName(Label3->text());
  CmBx_FileType->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  Label3->setBuddy(CmBx_FileType);
  Label1 = Label("Файл редакции ЗЕП-5 2.10.5 (откуда)", TabSheet2);
  SB_SelFile_From = PickButton("Выбрать файл откуда", TabSheet2);
  ED_SelFile_From = ReadOnlyEdit("Файл откуда", TabSheet2);
  Label2 = Label("Файл редакции ЗЕП-5 2.10.4 (куда)", TabSheet2);
  SB_SelFile_To = PickButton("Выбрать файл куда", TabSheet2);
  ED_SelFile_To = ReadOnlyEdit("Файл куда", TabSheet2);
  ChkBx_NoAsk_Single =
      CheckBox("Не спрашивать при совпадении имени (записать поверх)", false, TabSheet2);
  ChkBx_MakeBakSingle =
      CheckBox("При совпадении переименововать затираемый файл (сделать копию)", true, TabSheet2);
  Btn_SingleConv = CommandButton(TabSheet2);
  QVBoxLayout *single = PageLayout(TabSheet2);
  auto *kindRow = new QHBoxLayout;
  kindRow->addWidget(Label3);
  kindRow->addWidget(CmBx_FileType);
  kindRow->addStretch(1);
  single->addLayout(kindRow);
  single->addWidget(Label1);
  single->addLayout(FieldRow(ED_SelFile_From, SB_SelFile_From));
  single->addWidget(Label2);
  single->addLayout(FieldRow(ED_SelFile_To, SB_SelFile_To));
  single->addStretch(1);
  single->addLayout(CommandRow({ChkBx_NoAsk_Single, ChkBx_MakeBakSingle}, Btn_SingleConv));

  connect(CmBx_FileType, &QComboBox::currentIndexChanged, this, &TFrmMain::CmBx_FileTypeClick);
  connect(SB_SelFolder_From, &QToolButton::clicked, this, &TFrmMain::SB_SelFolder_FromClick);
  connect(SB_SelFolder_To, &QToolButton::clicked, this, &TFrmMain::SB_SelFolder_ToClick);
  connect(ED_SelFolder_From, &QLineEdit::textChanged, this, &TFrmMain::ED_SelFolder_FromChange);
  connect(ED_SelFolder_To, &QLineEdit::textChanged, this, &TFrmMain::ED_SelFolder_ToChange);
  connect(SB_SelFile_From, &QToolButton::clicked, this, &TFrmMain::SB_SelFile_FromClick);
  connect(SB_SelFile_To, &QToolButton::clicked, this, &TFrmMain::SB_SelFile_ToClick);
  connect(ED_SelFile_From, &QLineEdit::textChanged, this, &TFrmMain::ED_SelFile_FromChange);
  connect(ED_SelFile_To, &QLineEdit::textChanged, this, &TFrmMain::ED_SelFile_ToChange);
  connect(Btn_SingleConv, &QPushButton::clicked, this, &TFrmMain::Btn_SingleConvClick);
  connect(Btn_MassConv, &QPushButton::clicked, this, &TFrmMain::Btn_MassConvClick);
}

void TFrmMain::FormCreate() {
  Btn_MassConv->setEnabled(false);
  Btn_SingleConv->setEnabled(false);
  SB_SelFile_To->setEnabled(false);
  const QSignalBlocker quiet(CmBx_FileType);
  for (const FileKind &k : FileKinds())
    CmBx_FileType->addItem(QString::fromStdString(KindCaption(k)), int(k.code));
  CmBx_FileType->setCurrentIndex(0);
  CmBx_FileTypeClick();
}

void TFrmMain::SetFolders(const std::string &from, const std::string &to) {
  if (!from.empty())
    ED_SelFolder_From->setText(QString::fromStdString(FolderText(from)));
  if (!to.empty())
    ED_SelFolder_To->setText(QString::fromStdString(FolderText(to)));
  if (Btn_MassConv->isEnabled())
    Btn_MassConv->setFocus();
}

void TFrmMain::CmBx_FileTypeClick() {
  const FileKind *k = KindByCode(static_cast<uint8_t>(CmBx_FileType->currentData().toInt()));
  if (!k)
    return;
  const QString ext = QString::fromLatin1(k->extension);
  FileFilter = Q(k->description) + QStringLiteral(" (*.") + ext + QLatin1Char(')');
  OpenName = QStringLiteral("*.") + ext;
}

void TFrmMain::SB_SelFolder_FromClick() {
  ED_SelFolder_From->setText(
      QString::fromStdString(BrowseFolder(this, Lbl_SelFolder_From->text())));
  BringToFront();
}

void TFrmMain::SB_SelFolder_ToClick() {
  ED_SelFolder_To->setText(QString::fromStdString(BrowseFolder(this, Lbl_SelFolder_To->text())));
  BringToFront();
}

void TFrmMain::SetFolderButtonState() {
  if (Blank(ED_SelFolder_From) || Blank(ED_SelFolder_To))
    Btn_MassConv->setEnabled(false);
  else
    Btn_MassConv->setEnabled(true);
}

void TFrmMain::ED_SelFolder_FromChange() {
  SetFolderButtonState();
}

void TFrmMain::ED_SelFolder_ToChange() {
  SetFolderButtonState();
}

void TFrmMain::SB_SelFile_FromClick() {
  const auto accepts = [this](const std::string &path) { return Engine_->IsSourceEdition(path); };
  for (;;) {
    const std::string name = OpenFileName(this, Q(OpenTitle), FileFilter, OpenName, accepts);
    if (name.empty())
      return;
    if (platform::FileExists(name)) {
      ED_SelFile_From->setText(QString::fromStdString(name));
      return;
    }
    ShowMessage("Файл\n" + name + "\nне существует, выберите существующий файл");
  }
}

void TFrmMain::SB_SelFile_ToClick() {
  const std::string source = Text(ED_SelFile_From);
  const QString folder = QFileInfo(ED_SelFile_From->text()).absolutePath();
  const std::string chosen =
      SaveFileName(this, Q(SaveTitle), FileFilter, folder, ED_SelFile_From->text());
  if (!chosen.empty()) {
    ED_SelFile_To->setText(QString::fromStdString(chosen));
    const TargetChoice corrected = CorrectTargetExtension(source, chosen);
    if (!corrected.message.empty()) {
      ED_SelFile_To->setText(QString::fromStdString(corrected.path));
      ShowMessage(corrected.message);
    }
  }
  BringToFront();
}

void TFrmMain::ED_SelFile_FromChange() {
  if (Blank(ED_SelFile_From)) {
    SB_SelFile_To->setEnabled(false);
    ED_SelFile_To->clear();
  } else {
    SB_SelFile_To->setEnabled(true);
  }
}

void TFrmMain::ED_SelFile_ToChange() {
  Btn_SingleConv->setEnabled(!Blank(ED_SelFile_From) && !Blank(ED_SelFile_To));
}

void TFrmMain::Btn_SingleConvClick() {
  if (Busy())
    return;
  const std::string source = Text(ED_SelFile_From);
  const std::string target = Text(ED_SelFile_To);
  const auto kind = static_cast<uint8_t>(CmBx_FileType->currentData().toInt());
  const ExistingTarget policy = Policy(ChkBx_MakeBakSingle, ChkBx_NoAsk_Single);
  Btn_SingleConv->setEnabled(false);
  Progress->StartSingle(source);
  RunWork(
      [this, source, target, kind, policy] {
        const ConvertOutcome outcome = Engine_->ConvertFile(source, target, kind, policy);
        const std::string closing = SingleClosingMessage(outcome);
        if (!closing.empty()) {
          OnWindowThread([this] { Progress->hide(); }); // the closing message stands alone
          ShowMessage(closing);
        }
      },
      [this] { Btn_SingleConv->setEnabled(true); });
}

void TFrmMain::Btn_MassConvClick() {
  if (Busy())
    return;
  Btn_MassConv->setEnabled(false);
  MassRequest req;
  req.sourceFolder = Text(ED_SelFolder_From);
  req.targetFolder = Text(ED_SelFolder_To);
  req.policy = Policy(ChkBx_MakeBak, ChkBx_NoAsk);
  req.askAfterFailure = true;
  req.closingCounts = true;
  const bool showDialog = ChkBx_MassSel->isChecked();
  req.select = [this, showDialog](Selection &sel) {
    bool ok = false;
    OnWindowThread([&] { ok = ChooseFiles(sel, showDialog); });
    return ok;
  };
  req.onStart = [this](const PlannedFile &f, size_t index, size_t total) {
    QMetaObject::invokeMethod(
        Progress, [p = Progress, index, total, s = f.source] { p->FileStarts(index, total, s); },
        Qt::QueuedConnection);
  };
  req.onResult = [this, done = size_t{0}](const MassResult &) mutable {
    QMetaObject::invokeMethod(
        Progress, [p = Progress, n = ++done] { p->FilesDone(n); }, Qt::QueuedConnection);
  };
  req.shouldStop = [this] { return Stop_.load(); };
  Progress->StartMass();
  RunWork([this, req] { MassConvert(*Engine_, req); }, [this] { SetFolderButtonState(); });
}

bool TFrmMain::ChooseFiles(Selection &sel, bool showDialog) {
  if (Stop_)
    return false;
  if (!showDialog)
    return true;
  Progress->hide();
  const bool ok = FrmChkSel->Choose(sel);
  if (ok)
    Progress->show();
  return ok;
}

void TFrmMain::RunWork(std::function<void()> work, std::function<void()> done) {
  Stop_ = false;
  Progress->show();
  Worker_ = QThread::create([work = std::move(work)] {
    try {
      work();
    } catch (const std::exception &e) {
      // The engine shows its own failures; anything else is said plainly.
      ShowMessage(e.what());
    }
  });
  connect(Worker_, &QThread::finished, this, [this, done = std::move(done)] {
    Worker_->wait();
    delete Worker_;
    Worker_ = nullptr;
    Progress->hide();
    done();
    BringToFront();
    emit WorkFinished();
  });
  Worker_->start();
}

void TFrmMain::BringToFront() {
  raise();
  activateWindow();
}

void TFrmMain::closeEvent(QCloseEvent *event) {
  // The work under way finishes first; its progress dialog offers Cancel.
  if (Busy())
    event->ignore();
  else
    event->accept();
}

} // namespace gui
