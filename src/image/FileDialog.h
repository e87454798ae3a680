// The file-open dialog for the S19 file.
#pragma once

#include <string>

namespace qrb {

struct FileDialogSettings {
  std::string FileName;
  bool CancelError = false;
  int Flags = 0;
  std::string Filter;
  std::string DefaultExt;
  int FilterIndex = 0;
  std::string InitDir;
};

class FileDialog {
 public:
  virtual ~FileDialog() = default;
  // Shows the dialog; on OK stores the chosen path in settings.FileName and
  // returns true. Cancel returns false when CancelError is set.
  virtual bool ShowOpen(FileDialogSettings& settings) = 0;
};

}  // namespace qrb
