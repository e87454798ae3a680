// The file-open dialog for the S19 file.
#pragma once

#include <string>

namespace qrb {

// Flags: no read-only check box; only the name of an existing file is taken
// (the dialog says so and stays open otherwise).
inline constexpr int HideReadOnly = 0x4;
inline constexpr int FileMustExist = 0x1000;

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
