// CommonDialog1's file-open dialog over QFileDialog.
#pragma once

#include <QPointer>
#include <QStringList>
#include <QWidget>

#include "image/FileDialog.h"

namespace qrb {

// Turns a "Description|pattern;pattern|..." filter, or a description that
// carries its patterns in brackets ("S19 Files (*.S19)"), into Qt name
// filters. Every pattern is offered in lower and upper case too, so
// "*.S19" also lists "*.s19" files where file names are case-sensitive.
QStringList NameFilters(const std::string& filter);

class QtFileDialog : public FileDialog {
 public:
  explicit QtFileDialog(QWidget* parent = nullptr) : parent_(parent) {}

  // False when the user cancels (settings.FileName is then left alone).
  bool ShowOpen(FileDialogSettings& settings) override;

 private:
  QPointer<QWidget> parent_;
};

}  // namespace qrb
