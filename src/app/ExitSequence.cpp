#include "app/Form1.h"

namespace qrb {

bool Form1::AbortProgram_Click() {
  if (S.TimerIsrActive != False) {
    S.DebugLine = "Exit failed. Timer stopped. --> Try again! [TimerIsrActive]";
    PostMsg2(S.DebugLine);
    C.Timer1.SetEnabled(false);
    return false;
  }
  if (S.WinsockIsrActive != False) {
    S.DebugLine = "Exit failed. Timer stopped. --> Try again! [WinsockIsrActive]";
    PostMsg2(S.DebugLine);
    C.Timer1.SetEnabled(false);
    return false;
  }

  CloseDataPipe();

  if (S.SourceFileSelected != 0) {
    SourceFile.Close();
    S.DebugLine = "Closed the S19 file.";
    PostMsg2(S.DebugLine);
  }

  S.StatusLine = "Program terminated.  Short delay.";
  PostMsg1(S.StatusLine);

  // Wait for the clock's next change of second.
  int target = P.WallClock.Seconds() + 1;
  if (target > 59) target -= 60;
  while (P.WallClock.Seconds() != target) {
  }

  P.App.EndProgram();
  return true;
}

}  // namespace qrb
