#include "app/qt/MainStartUp.h"

#include <QApplication>
#include <QIcon>

// The icon lives in a static library, whose resources load only on request.
static void LoadResources() { Q_INIT_RESOURCE(resources); }

namespace qrb {

MainStartUp::MainStartUp(const MainWindowPorts& ports) : ports_(ports) {}

MainStartUp::~MainStartUp() = default;

void MainStartUp::Main() {
  LoadResources();
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/app-icon.png")));

  form1_ = std::make_unique<MainWindow>(ports_);
  form2_ = new Form2Dialog(form1_->Core(), form1_.get());  // loaded, hidden
  form1_->Core().AttachSettingsDialog(&form2_->Core());
  form1_->Core().InitVariables();
  form1_->show();
}

}  // namespace qrb
