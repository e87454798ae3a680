// Form1, the main window: its widgets at their fixed places, each wired to
// the core's handler, and the ports the core drives them through.
#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <memory>

#include "app/Form1.h"
#include "app/qt/AboutDialog.h"
#include "app/qt/WidgetControls.h"
#include "app/qt/WindowRunRecord.h"
#include "app/qt/core/QtTimer.h"
#include "app/qt/core/SystemClock.h"
#include "engine/RunProgress.h"
#include "image/qt/QtFileDialog.h"

namespace qrb {

// What the main window is given rather than owns: the links and the way out.
struct MainWindowPorts {
  SerialLibrary& Serial;
  TcpControl& Winsock1Data;
  Application& App;
  SerialDiagnostics* SerialReasons = nullptr;
};

class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  explicit MainWindow(const MainWindowPorts& ports, QWidget* parent = nullptr);
  ~MainWindow() override;

  Form1& Core() { return *form1_; }
  AboutDialog* About() const { return about_; }

  // The title without the progress of a run.
  static QString Title();
  // The question the close box asks while a run is going.
  static QString CloseQuestion();

  // A checkable item of the "&Options" menu, remembered across starts under
  // `key`; `apply` puts it into effect (at start-up too). Declared, all in
  // one table, in MainWindow.cpp.
  struct OptionItem {
    const char* name;
    const char* caption;
    const char* key;
    void (MainWindow::*apply)(bool on);
  };

 protected:
  // The close box: while a run is going it asks first, then aborts the run;
  // then it runs the exit sequence, and when that refuses, the window stays.
  void closeEvent(QCloseEvent* event) override;
  bool event(QEvent* event) override;

 private:
  struct Widgets {
    QLabel* Label1;
    QLabel* Label2;
    QListWidget* List1;
    QListWidget* List2;
    QLineEdit* Text2;
    QLineEdit* Text3;
    QPushButton* SelectSourceFile;
    QPushButton* ProgramFlash;
    QPushButton* AbortProgram;
    QPushButton* SelectDataPipe;
    QPushButton* VerifyFlash;
    QPushButton* ClearStatusList;
    QPushButton* ClearDebugList;
    QProgressBar* Progress;  // a run's blocks and time left, hidden when idle
    QLabel* Notice;          // a refused start's whole reason and likely cause
  };
  static Widgets BuildWidgets(QMainWindow* window);
  void BuildMenus();
  void WireHandlers();

  void AbortProgram_Click();
  void menuHelpAbout_Click();
  void menuFileRead_Click();
  void menuFileReport_Click();
  void FastTransfer(bool on);
  void SkipUnchangedBlocks(bool on);
  // A path chosen in a save dialog, empty when cancelled.
  QString AskSavePath(const char* name, const QString& title, const QString& filter, const QString& suffix);

  // Both lists back at their left edge.
  void ListsToLeftEdge();
  // A start button pressed: the core's handler, then the notice and the run's
  // progress as they now stand.
  void Start(void (Form1::*handler)());
  void ShowRefusal();
  // After every tick and start: the progress bar, the title and the menu
  // items that wait for the end of a run.
  void FollowRun();
  bool Running() const;
  void Tick();

  static const OptionItem kOptions[];

  Widgets w_;
  WidgetListBox list1_{w_.List1};
  WidgetListBox list2_{w_.List2};
  WindowRunRecord record_{[this](const std::string& line) { form1_->Debug(line); }};
  RecordedListBox status_{list1_, record_, true};
  RecordedListBox debug_{list2_, record_, false};
  WidgetTextBox text2_{w_.Text2};
  WidgetTextBox text3_{w_.Text3};
  WidgetButton selectSourceFile_{w_.SelectSourceFile};
  WidgetButton programFlash_{w_.ProgramFlash};
  WidgetButton verifyFlash_{w_.VerifyFlash};
  WidgetButton selectDataPipe_{w_.SelectDataPipe};
  QtTimer timer1_;
  SystemClock clock_;
  QtFileDialog commonDialog1_{this};
  std::unique_ptr<Form1> form1_;
  QPointer<AboutDialog> about_;
  QList<QAction*> idleOnly_;  // menu items disabled while a run is going
  QAction* saveReport_ = nullptr;
  RunProgress progress_;
  bool wasRunning_ = false;
  bool ended_ = false;
};

}  // namespace qrb
