#include "app/qt/MainWindow.h"

#include <QCloseEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>

#include "app/qt/AboutDialog.h"
#include "app/qt/FormMetrics.h"

namespace qrb {

namespace {

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

  const QList<QWidget*> tabOrder{w.SelectSourceFile, w.ProgramFlash, w.AbortProgram, w.SelectDataPipe,
                                 w.Text2,            w.Text3,        w.List1,        w.List2,
                                 w.VerifyFlash,      w.ClearStatusList, w.ClearDebugList};
  for (qsizetype i = 1; i < tabOrder.size(); ++i) QWidget::setTabOrder(tabOrder[i - 1], tabOrder[i]);
  return w;
}

MainWindow::MainWindow(const MainWindowPorts& ports, QWidget* parent)
    : QMainWindow(parent), w_(BuildWidgets(this)), timer1_([this] { form1_->Timer1_Timer(); }, this) {
  setObjectName(QStringLiteral("Form1"));
  UseFormFont(this);
  setWindowTitle(QStringLiteral("QRB-530 FLASH Download"));
  setWindowFlag(Qt::WindowMaximizeButtonHint, false);

  auto* menuHelp = menuBar()->addMenu(QStringLiteral("Help"));
  menuHelp->setObjectName(QStringLiteral("menuHelp"));
  QAction* menuHelpAbout = menuHelp->addAction(QStringLiteral("About"));
  menuHelpAbout->setObjectName(QStringLiteral("menuHelpAbout"));
  connect(menuHelpAbout, &QAction::triggered, this, &MainWindow::menuHelpAbout_Click);

  // The client area is fixed; the window is as large as it and the menu bar.
  layout()->setSizeConstraint(QLayout::SetFixedSize);

  form1_ = std::make_unique<Form1>(
      Form1Controls{list1_, list2_, text2_, text3_, selectSourceFile_, programFlash_, verifyFlash_,
                    selectDataPipe_, timer1_},
      Form1Services{ports.Serial, ports.Winsock1Data, commonDialog1_, clock_, ports.App, ports.SerialReasons});
  WireHandlers();
  w_.SelectSourceFile->setFocus();
}

MainWindow::~MainWindow() { delete about_; }

void MainWindow::WireHandlers() {
  Form1* f = form1_.get();
  connect(w_.SelectSourceFile, &QPushButton::clicked, this, [f] { f->SelectSourceFile_Click(); });
  connect(w_.ProgramFlash, &QPushButton::clicked, this, [f] { f->ProgramFlash_Click(); });
  connect(w_.VerifyFlash, &QPushButton::clicked, this, [f] { f->VerifyFlash_Click(); });
  connect(w_.SelectDataPipe, &QPushButton::clicked, this, [f] { f->SelectDataPipe_Click(); });
  connect(w_.ClearStatusList, &QPushButton::clicked, this, [f] { f->ClearStatusList_Click(); });
  connect(w_.ClearDebugList, &QPushButton::clicked, this, [f] { f->ClearDebugList_Click(); });
  connect(w_.AbortProgram, &QPushButton::clicked, this, &MainWindow::AbortProgram_Click);
}

void MainWindow::AbortProgram_Click() {
  if (!form1_->AbortProgram_Click()) return;
  ended_ = true;
  close();  // unloads the window; the program has been told to end
}

void MainWindow::closeEvent(QCloseEvent* event) {
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
