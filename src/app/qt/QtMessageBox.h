// An OK-only message box over a window.
#pragma once

#include <QPointer>
#include <QWidget>

#include "app/AboutPorts.h"

namespace qrb {

class QtMessageBox : public MessageBox {
 public:
  explicit QtMessageBox(QWidget* parent = nullptr) : parent_(parent) {}
  void Show(const std::string& text, const std::string& title) override;

 private:
  QPointer<QWidget> parent_;
};

}  // namespace qrb
