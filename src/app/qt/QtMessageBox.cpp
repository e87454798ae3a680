#include "app/qt/QtMessageBox.h"

#include <QMessageBox>

namespace qrb {

void QtMessageBox::Show(const std::string& text, const std::string& title) {
  QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(title), QString::fromStdString(text),
                  QMessageBox::Ok, parent_);
  box.exec();
}

}  // namespace qrb
