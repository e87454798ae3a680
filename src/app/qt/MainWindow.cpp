#include "app/qt/MainWindow.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <algorithm>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>

#include "app/qt/AboutDialog.h"
#include "app/qt/FormMetrics.h"
#include "app/qt/ReadRangeDialog.h"
#include "app/qt/core/OutputFile.h"

namespace qrb {

namespace {

// Where the window keeps what it remembers across starts.
QSettings AppSettings() { return QSettings(QStringLiteral("qrb-flash"), QStringLiteral("qrb-flash")); }

constexpr int ClientWidthTwips = 6720;
constexpr int ClientHeightTwips = 6510;

template <typename W>
W* Place(QWidget* parent, const char* name, QRect twips) {
  auto* widget = new W(parent);
  widget->setObjectName(QString::fromLatin1(name));
  widget->setGeometry(twips);
  return widget;
}

QPushButton* Button(QWidget* parent, const char* name, const char* caption, QRect twips) {
  auto* button = Place<QPushButton>(parent, name, twips);
  button->setText(QString::fromLatin1(caption));
  button->setAutoDefault(true);  // Enter presses the focused button, as Space does
  return button;
}

QLabel* Heading(QWidget* parent, const char* name, const char* caption, QRect twips) {
  auto* label = Place<QLabel>(parent, name, twips);
  label->setText(QString::fromLatin1(caption));
  label->setAlignment(Qt::AlignHCenter | Qt::AlignBottom);
  return label;
}

QListWidget* MessageList(QWidget* parent, const char* name, QRect twips) {
  auto* list = Place<QListWidget>(parent, name, twips);
  list->setSelectionMode(QAbstractItemView::SingleSelection);
  list->setSortingEnabled(false);
  // Every line whole: each item as wide as its text, scrolled sideways when
  // wider than the list.
  list->setUniformItemSizes(false);
  list->setTextElideMode(Qt::ElideNone);
  list->setWordWrap(false);
  list->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  return list;
}

QLineEdit* OneLineBox(QWidget* parent, const char* name, QRect twips) {
  auto* edit = Place<QLineEdit>(parent, name, twips);
  edit->setReadOnly(true);  // shows what the program chose; never read back
  return edit;
}

}  // namespace

// Placement in twips (left, top, width, height); 15 twips are one pixel.
MainWindow::Widgets MainWindow::BuildWidgets(QMainWindow* window) {
  auto* client = new QWidget(window);
  client->setObjectName(QStringLiteral("client"));
  client->setFixedSize(Px(ClientWidthTwips), Px(ClientHeightTwips));
  window->setCentralWidget(client);

  Widgets w{};
  // Created in tab order; the labels take no focus.
  w.SelectSourceFile = Button(client, "SelectSourceFile", "Select Source File", TwipsRect(120, 2400, 1695, 375));
  w.ProgramFlash = Button(client, "ProgramFlash", "Program FLASH", TwipsRect(120, 3960, 1695, 375));
  w.AbortProgram = Button(client, "AbortProgram", "Exit / Abort", TwipsRect(120, 6015, 1695, 375));
  w.SelectDataPipe = Button(client, "SelectDataPipe", "Select Data Pipe", TwipsRect(120, 3000, 1695, 375));
  w.Text2 = OneLineBox(client, "Text2", TwipsRect(1920, 2430, 4455, 315));
  w.Text3 = OneLineBox(client, "Text3", TwipsRect(1920, 3030, 4455, 315));
  w.Label1 = Heading(client, "Label1", "Status", TwipsRect(240, 0, 6255, 240));
  w.Label2 = Heading(client, "Label2", "Debug", TwipsRect(2040, 4320, 4335, 240));
  w.List1 = MessageList(client, "List1", TwipsRect(240, 240, 6255, 1815));
  w.List2 = MessageList(client, "List2", TwipsRect(2040, 4560, 4335, 1425));
  w.VerifyFlash = Button(client, "VerifyFlash", "Verify FLASH", TwipsRect(120, 4560, 1695, 375));
  w.ClearStatusList = Button(client, "ClearStatusList", "Clear Status", TwipsRect(4800, 2055, 1695, 255));
  w.ClearDebugList = Button(client, "ClearDebugList", "Clear Debug", TwipsRect(4680, 5985, 1695, 255));
  // The free space between "Select Data Pipe" and "Program FLASH" across the
  // window, and beside "Program FLASH" up to the "Debug" heading.
  w.Progress = Place<QProgressBar>(client, "Progress", TwipsRect(120, 3480, 6255, 375));
  w.Progress->setTextVisible(true);
  w.Progress->setAlignment(Qt::AlignCenter);
  w.Progress->hide();
  w.Notice = Place<QLabel>(client, "Notice", TwipsRect(1920, 3390, 4455, 915));
  w.Notice->setWordWrap(true);
  w.Notice->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  w.Notice->setTextInteractionFlags(Qt::TextSelectableByMouse);
  w.Notice->hide();

  const QList<QWidget*> tabOrder{w.SelectSourceFile, w.ProgramFlash, w.AbortProgram, w.SelectDataPipe,
                                 w.Text2,            w.Text3,        w.List1,        w.List2,
                                 w.VerifyFlash,      w.ClearStatusList, w.ClearDebugList};
  for (qsizetype i = 1; i < tabOrder.size(); ++i) QWidget::setTabOrder(tabOrder[i - 1], tabOrder[i]);
  return w;
}

MainWindow::MainWindow(const MainWindowPorts& ports, QWidget* parent)
    : QMainWindow(parent), w_(BuildWidgets(this)), timer1_([this] { Tick(); }, this) {
  setObjectName(QStringLiteral("Form1"));
  UseFormFont(this);
  setWindowTitle(Title());
  setWindowFlag(Qt::WindowMaximizeButtonHint, false);

  // The client area is fixed; the window is as large as it and the menu bar.
  layout()->setSizeConstraint(QLayout::SetFixedSize);

  form1_ = std::make_unique<Form1>(
      Form1Controls{status_, debug_, text2_, text3_, selectSourceFile_, programFlash_, verifyFlash_,
                    selectDataPipe_, timer1_},
      Form1Services{ports.Serial, ports.Winsock1Data, commonDialog1_, clock_, ports.App, ports.SerialReasons});
  form1_->AttachBlockObserver(&record_);
  BuildMenus();
  WireHandlers();
  w_.SelectSourceFile->setFocus();
}

bool MainWindow::event(QEvent* event) {
  // The focus mark is drawn from the start, not only after the first key.
  if (event->type() == QEvent::WindowActivate) setAttribute(Qt::WA_KeyboardFocusChange);
  return QMainWindow::event(event);
}

QString MainWindow::Title() { return QStringLiteral("QRB-530 FLASH Download"); }

QString MainWindow::CloseQuestion() { return QStringLiteral("A run is in progress.  Abort it and exit?"); }

// Every item of the "&Options" menu.
const MainWindow::OptionItem MainWindow::kOptions[] = {
    {"menuOptionsFastTransfer", "&Fast Transfer", "FastTransfer", &MainWindow::FastTransfer},
    {"menuOptionsSkipUnchanged", "Skip &Unchanged Blocks", "SkipUnchanged", &MainWindow::SkipUnchangedBlocks},
};

void MainWindow::BuildMenus() {
  const auto item = [this](QMenu* menu, const char* name, const char* caption, auto handler) {
    QAction* action = menu->addAction(QString::fromLatin1(caption));
    action->setObjectName(QString::fromLatin1(name));
    connect(action, &QAction::triggered, this, handler);
    return action;
  };
  const auto menu = [this](const char* name, const char* caption) {
    QMenu* m = menuBar()->addMenu(QString::fromLatin1(caption));
    m->setObjectName(QString::fromLatin1(name));
    return m;
  };

  QMenu* file = menu("menuFile", "&File");
  idleOnly_ << item(file, "menuFileRead", "&Read FLASH to File...", &MainWindow::menuFileRead_Click);
  saveReport_ = item(file, "menuFileReport", "Save Run &Report...", &MainWindow::menuFileReport_Click);
  saveReport_->setEnabled(false);  // until a run has ended
  file->addSeparator();
  item(file, "menuFileExit", "E&xit", &MainWindow::AbortProgram_Click);

  QMenu* options = menu("menuOptions", "&Options");
  QSettings settings = AppSettings();
  for (const OptionItem& option : kOptions) {
    QAction* action = options->addAction(QString::fromLatin1(option.caption));
    action->setObjectName(QString::fromLatin1(option.name));
    action->setCheckable(true);
    const QString key = QStringLiteral("Options/") + QString::fromLatin1(option.key);
    action->setChecked(settings.value(key, false).toBool());
    (this->*option.apply)(action->isChecked());
    connect(action, &QAction::toggled, this, [this, key, apply = option.apply](bool on) {
      AppSettings().setValue(key, on);
      (this->*apply)(on);
    });
    idleOnly_ << action;
  }

  QMenu* help = menu("menuHelp", "&Help");
  item(help, "menuHelpAbout", "&About", &MainWindow::menuHelpAbout_Click);
}

void MainWindow::FastTransfer(bool on) { form1_->SetTickInterval(on ? timing::MinTickMs : timing::DefaultTickMs); }

void MainWindow::SkipUnchangedBlocks(bool on) { form1_->SkipUnchanged = on; }

MainWindow::~MainWindow() { delete about_; }

void MainWindow::WireHandlers() {
  Form1* f = form1_.get();
  connect(w_.SelectSourceFile, &QPushButton::clicked, this, [this, f] {
    w_.Notice->hide();
    f->SelectSourceFile_Click();
  });
  connect(w_.ProgramFlash, &QPushButton::clicked, this, [this] { Start(&Form1::ProgramFlash_Click); });
  connect(w_.VerifyFlash, &QPushButton::clicked, this, [this] { Start(&Form1::VerifyFlash_Click); });
  connect(w_.SelectDataPipe, &QPushButton::clicked, this, [f] { f->SelectDataPipe_Click(); });
  connect(w_.ClearStatusList, &QPushButton::clicked, this, [this, f] {
    w_.Notice->hide();
    f->ClearStatusList_Click();
    ListsToLeftEdge();
  });
  connect(w_.ClearDebugList, &QPushButton::clicked, this, [this, f] {
    f->ClearDebugList_Click();
    ListsToLeftEdge();
  });
  connect(w_.AbortProgram, &QPushButton::clicked, this, &MainWindow::AbortProgram_Click);
}

void MainWindow::ListsToLeftEdge() {
  for (QListWidget* list : {w_.List1, w_.List2}) list->horizontalScrollBar()->setValue(0);
}

void MainWindow::Tick() {
  form1_->Timer1_Timer();
  const bool counted = progress_.Observe(form1_->S.ProgramMode, form1_->S.BlockAddress);
  if (counted || Running() != wasRunning_) FollowRun();
}

bool MainWindow::Running() const { return form1_->Running(); }

void MainWindow::Start(void (Form1::*handler)()) {
  const bool starting = !Running();
  if (starting) {
    ListsToLeftEdge();
    record_.Begin(*form1_, handler == &Form1::VerifyFlash_Click ? cli::CliCommand::Verify : cli::CliCommand::Program,
                  form1_->SourceFilePath());
  }
  (form1_.get()->*handler)();
  if (starting) {
    ShowRefusal();
    progress_.Start(form1_->BlocksToSend());
  }
  FollowRun();
}

QString MainWindow::AskSavePath(const char* name, const QString& title, const QString& filter, const QString& suffix) {
  QFileDialog dialog(this, title);
  dialog.setObjectName(QString::fromLatin1(name));
  dialog.setAcceptMode(QFileDialog::AcceptSave);  // asks before it replaces a file
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilter(filter);
  dialog.setDefaultSuffix(suffix);
  dialog.setDirectory(QDir::currentPath());
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().constFirst();
}

void MainWindow::menuFileRead_Click() {
  if (Running()) return;
  // Prefilled with the chosen file's data, first byte to last.
  std::optional<AddressRange> prefill;
  if (form1_->SourceFileChosen()) {
    const PreflightReport file = form1_->Preflight();
    for (const PreflightReport::Range& r : file.Ranges) {
      if (r.End == r.First) continue;
      if (!prefill) prefill = AddressRange{r.First, r.End - 1};
      prefill->First = std::min(prefill->First, r.First);
      prefill->Last = std::max(prefill->Last, r.End - 1);
    }
  }
  ReadRangeDialog ask(prefill, this);
  if (ask.exec() != QDialog::Accepted) return;
  const QString chosen = AskSavePath("ReadFile", QStringLiteral("Read FLASH to File"),
                                     QStringLiteral("S19 Files (*.s19 *.S19)"), QStringLiteral("s19"));
  if (chosen.isEmpty()) return;
  const std::string path = QDir::toNativeSeparators(chosen).toStdString();
  std::string problem = OutputPathProblem(path);
  if (problem.empty() && form1_->SourceFileChosen())
    problem = SameFileProblem({{"the chosen S19 file", form1_->SourceFilePath()}}, {{"", path}});
  const std::vector<AddressRange> ranges{ask.Range()};
  auto output = std::make_unique<cli::S19Writer>(path, BlockSpans(ranges).back().Last | 0xFFu);
  if (problem.empty()) output->Open(problem);
  if (!problem.empty()) {
    form1_->Debug("** ERROR ** Cannot write " + path + ": " + problem + ".");
    return;
  }
  ListsToLeftEdge();
  w_.Notice->hide();
  record_.Begin(*form1_, cli::CliCommand::Read, path, ranges, std::move(output));
  form1_->ReadFlash(ranges);
  std::uint64_t blocks = 0;
  for (const BlockSpan& span : BlockSpans(ranges)) blocks += span.Blocks();
  progress_.Start(static_cast<int>(blocks));
  FollowRun();
}

void MainWindow::menuFileReport_Click() {
  if (Running() || !record_.Complete()) return;
  const QString chosen = AskSavePath("ReportFile", QStringLiteral("Save Run Report"),
                                     QStringLiteral("JSON Files (*.json)"), QStringLiteral("json"));
  if (chosen.isEmpty()) return;
  const std::string path = QDir::toNativeSeparators(chosen).toStdString();
  std::string error = OutputPathProblem(path);
  if (error.empty() && record_.Write(path, error)) {
    form1_->Debug("Run report written to " + path + ".");
  } else {
    form1_->Debug("** ERROR ** Cannot write the run report " + path + ": " + error + ".");
  }
}

namespace {

// The form's font, made smaller until the label's text fits its height.
void FitText(QLabel* label) {
  QFont font = label->parentWidget()->font();
  label->setFont(font);
  while (label->heightForWidth(label->width()) > label->height() && font.pointSize() > 6) {
    font.setPointSize(font.pointSize() - 1);
    label->setFont(font);
  }
}

}  // namespace

void MainWindow::ShowRefusal() {
  const StartRefusal& refusal = form1_->LastRefusal();
  if (refusal.Problem.empty()) {
    w_.Notice->hide();
    return;
  }
  QString text = QStringLiteral("S19 file refused at line %1: %2  Nothing sent to the QRB interface.")
                     .arg(refusal.Line)
                     .arg(QString::fromStdString(refusal.Problem));
  if (!refusal.Cause.empty()) text += QStringLiteral("\nLikely cause: %1.").arg(QString::fromStdString(refusal.Cause));
  w_.Notice->setText(text);
  FitText(w_.Notice);
  w_.Notice->show();
}

void MainWindow::FollowRun() {
  const bool running = Running();
  if (running != wasRunning_) {
    wasRunning_ = running;
    for (QAction* action : idleOnly_) action->setEnabled(!running);
    w_.Progress->setVisible(running);
    if (!running) setWindowTitle(Title());
  }
  if (!running) {
    record_.End(*form1_);  // a run that ended, or a start that did not begin one
    saveReport_->setEnabled(record_.Complete());
    return;
  }
  saveReport_->setEnabled(false);
  w_.Progress->setMaximum(std::max(1, progress_.Total()));
  w_.Progress->setValue(std::min(progress_.Total(), std::max(0, progress_.Started() - 1)));
  QString text = QStringLiteral("block %1 of %2").arg(progress_.Started()).arg(progress_.Total());
  const int left = progress_.SecondsLeft();
  if (left >= 0) text += QStringLiteral(", %1 left").arg(QString::fromStdString(MinutesSeconds(left)));
  w_.Progress->setFormat(text);
  setWindowTitle(QStringLiteral("%1% - %2").arg(progress_.Percent()).arg(Title()));
}

void MainWindow::AbortProgram_Click() {
  if (!form1_->AbortProgram_Click()) return;
  ended_ = true;
  close();  // unloads the window; the program has been told to end
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (!ended_ && Running()) {
    QMessageBox question(QMessageBox::Question, Title(), CloseQuestion(), QMessageBox::Yes | QMessageBox::No, this);
    question.setObjectName(QStringLiteral("CloseQuestion"));
    question.setDefaultButton(QMessageBox::No);
    if (question.exec() != QMessageBox::Yes) {
      event->ignore();  // the run goes on
      return;
    }
    // The run may have ended while the question was open.
    if (Running()) Start(&Form1::ProgramFlash_Click);  // any start button aborts the run
  }
  if (ended_ || form1_->AbortProgram_Click()) {
    ended_ = true;
    if (about_) about_->close();
    event->accept();
  } else {
    event->ignore();
  }
}

void MainWindow::menuHelpAbout_Click() {
  if (!about_) {
    about_ = new AboutDialog();  // modeless, without an owner
    about_->show();
  }
  about_->raise();
  about_->activateWindow();
}

}  // namespace qrb
