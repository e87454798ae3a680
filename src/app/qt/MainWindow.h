// Form1, the main window: its widgets at their fixed places, each wired to
// the core's handler, and the ports the core drives them through.
#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QPointer>
#include <QPushButton>
#include <memory>

#include "app/Form1.h"
#include "app/qt/AboutDialog.h"
#include "app/qt/WidgetControls.h"
#include "app/qt/core/QtTimer.h"
#include "app/qt/core/SystemClock.h"
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

 protected:
  // The close box runs the exit sequence; when it refuses, the window stays.
  void closeEvent(QCloseEvent* event) override;

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
  };
  static Widgets BuildWidgets(QMainWindow* window);
  void WireHandlers();

  void AbortProgram_Click();
  void menuHelpAbout_Click();

  Widgets w_;
  WidgetListBox list1_{w_.List1};
  WidgetListBox list2_{w_.List2};
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
  bool ended_ = false;
};

}  // namespace qrb
