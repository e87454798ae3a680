// The start-up routine: loads the main window and the hidden settings
// dialog, gives every field its start value and shows the main window.
#pragma once

#include <memory>

#include "app/qt/MainWindow.h"
#include "app/qt/Form2Dialog.h"

namespace qrb {

class MainStartUp {
 public:
  explicit MainStartUp(const MainWindowPorts& ports);
  ~MainStartUp();
  MainStartUp(const MainStartUp&) = delete;
  MainStartUp& operator=(const MainStartUp&) = delete;

  void Main();

  MainWindow& Form1Window() { return *form1_; }
  Form2Dialog& Form2Window() { return *form2_; }

 private:
  MainWindowPorts ports_;
  std::unique_ptr<MainWindow> form1_;
  Form2Dialog* form2_ = nullptr;  // owned by the main window
};

}  // namespace qrb
