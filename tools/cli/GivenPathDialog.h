// "Select Source File" without the dialog: it answers with the given path.
#pragma once

#include <string>
#include <utility>

#include "image/FileDialog.h"

namespace qrb::cli {

class GivenPathDialog : public FileDialog {
 public:
  explicit GivenPathDialog(std::string path) : path_(std::move(path)) {}
  void SetPath(std::string path) { path_ = std::move(path); }
  bool ShowOpen(FileDialogSettings& settings) override {
    settings.FileName = path_;
    return true;
  }

 private:
  std::string path_;
};

}  // namespace qrb::cli
