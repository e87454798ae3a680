#include "app/Form1.h"

#include <algorithm>
#include <cmath>

#include "pipe/Form2.h"

namespace qrb {

Form1::Form1(const Form1Controls& controls, const Form1Services& services) : C(controls), P(services) {
  P.Winsock1Data.SetEvents(this);
}

Form1::~Form1() { P.Winsock1Data.SetEvents(nullptr); }

void Form1::InitVariables() {
  S = ReflashSession{};

  C.List1.Clear();
  C.List2.Clear();
  C.Text2.SetText("");
  C.Text3.SetText("");

  C.Timer1.SetEnabled(false);
  SetTickInterval(TickIntervalMs);

  SetIdleButtons();

  if (form2_ != nullptr) form2_->ApplyStartState();
}

void Form1::SetTickInterval(int milliseconds) {
  TickIntervalMs = milliseconds;
  C.Timer1.SetInterval(milliseconds);
  const int interval = C.Timer1.Interval();
  // Rounded to nearest, halves to even (the default floating-point rounding).
  S.FailTimerReload = interval > 0 ? static_cast<std::int32_t>(std::nearbyint(double{timing::TimeOutMs} / interval)) : 0;
  S.NoWaitGrace = interval > 0 ? std::max(0, static_cast<std::int32_t>(std::nearbyint(double{timing::NoWaitByteMs} / interval)) - 1) : 0;
}

void Form1::SetIdleButtons() {
  C.SelectDataPipe.SetEnabled(true);
  C.SelectSourceFile.SetEnabled(true);
  C.ProgramFlash.SetCaption("Program FLASH");
  C.ProgramFlash.SetEnabled(true);
  C.VerifyFlash.SetCaption("Verify FLASH");
  C.VerifyFlash.SetEnabled(true);
}

}  // namespace qrb
