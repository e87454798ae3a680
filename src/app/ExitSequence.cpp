#include "app/Form1.h"

namespace qrb {

bool Form1::AbortProgram_Click() {
  if (S.TimerIsrActive != False) {
    Debug("Exit failed. Timer stopped. --> Try again! [TimerIsrActive]");
    C.Timer1.SetEnabled(false);
    return false;
  }
  if (S.WinsockIsrActive != False) {
    Debug("Exit failed. Timer stopped. --> Try again! [WinsockIsrActive]");
    C.Timer1.SetEnabled(false);
    return false;
  }

  CloseDataPipe();

  if (S.SourceFileSelected != 0) {
    SourceFile.Close();
    Debug("Closed the S19 file.");
  }

  Status("Program terminated.  Short delay.");

  // Wait for the clock's next change of second.
  int target = P.WallClock.Seconds() + 1;
  if (target > 59) target -= 60;
  while (P.WallClock.Seconds() != target) {
  }

  P.App.EndProgram();
  return true;
}

}  // namespace qrb
