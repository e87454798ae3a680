// frmAbout: title, version, description, the maker's disclaimer, "OK" and
// "System Info...". Modeless and unloaded (deleted) when it closes.
#pragma once

#include <QDialog>

#include "app/AboutBox.h"
#include "app/qt/QtMessageBox.h"
#include "app/qt/QtProgramLauncher.h"
#include "app/qt/QtRegistry.h"

class QPushButton;

namespace qrb {

class AboutDialog : public QDialog {
  Q_OBJECT

 public:
  explicit AboutDialog(QWidget* parent = nullptr);

 private:
  QtRegistry registry_;
  QtProgramLauncher launcher_;
  QtMessageBox messageBox_{this};
  AboutBox about_{registry_, launcher_, messageBox_};
};

}  // namespace qrb
