// Choosing the S19 file and re-opening it at the start of every run.
#include <filesystem>
#include <system_error>

#include "app/Form1.h"

namespace qrb {

void Form1::SelectSourceFile_Click() {
  SourceFile.Close();
  C.Text2.SetText("");

  FileDialogSettings dialog;
  dialog.FileName = "*.s19";
  S.SourceFilePath.clear();
  S.SourceFileSelected = 0;
  dialog.CancelError = true;  // Cancel is a failure, reported below

  dialog.Flags = HideReadOnly | FileMustExist;
  dialog.Filter = "S19 Files (*.S19)";
  dialog.DefaultExt = "s19";
  dialog.FilterIndex = 1;
  std::error_code ec;
  dialog.InitDir = std::filesystem::current_path(ec).string();

  const bool chosen = P.CommonDialog1.ShowOpen(dialog);
  if (chosen) {
    S.SourceFilePath = dialog.FileName;
    if (S.SourceFilePath.empty()) {
      Debug("No S19 source file selected.");
      return;
    }
    if (SourceFile.Open(S.SourceFilePath)) {
      S.SourceFileSelected = 1;
      C.Text2.SetText(S.SourceFilePath);
      return;
    }
    // Chosen, not cancelled: the person needs to know why it was not taken.
    Debug("** ERROR ** Cannot open the S19 source file " + S.SourceFilePath + ": " + SourceFile.Reason() + ".");
    S.SourceFilePath.clear();
    return;
  }
  S.SourceFilePath.clear();
  Debug("S19 source file selection cancelled.");
}

bool Form1::ReopenSourceFile() {
  SourceFile.Close();
  if (SourceFile.Open(S.SourceFilePath)) return true;
  Debug("** ERROR ** Cannot re-open the S19 source file " + S.SourceFilePath + ": " + SourceFile.Reason() + ".");
  return false;
}

}  // namespace qrb
