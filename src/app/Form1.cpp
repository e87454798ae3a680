#include "app/Form1.h"

#include <algorithm>
#include <cmath>

#include "pipe/Form2.h"
#include "pipe/LinkDefaults.h"

namespace qrb {

Form1::Form1(const Form1Controls& controls, const Form1Services& services) : C(controls), P(services) {
  P.Winsock1Data.SetEvents(this);
}

Form1::~Form1() { P.Winsock1Data.SetEvents(nullptr); }

void Form1::InitVariables() {
  S.ProgramMode = 0;

  C.List1.Clear();
  C.List2.Clear();
  C.Text2.SetText("");
  C.Text3.SetText("");
  S.StatusLine.clear();
  S.DebugLine.clear();

  C.Timer1.SetEnabled(false);
  C.Timer1.SetInterval(TickIntervalMs);

  S.FailTimer = 0;
  const int interval = C.Timer1.Interval();
  // Rounded to nearest, halves to even (the default floating-point rounding).
  S.FailTimerReload = interval > 0 ? static_cast<std::int32_t>(std::nearbyint(3000.0 / interval)) : 0;
  S.NoWaitGrace = interval > 0 ? std::max(0, static_cast<std::int32_t>(std::nearbyint(50.0 / interval)) - 1) : 0;
  S.NoWaitTicks = 0;

  S.DataPipe = PipeSerial;
  S.ComInitialized = False;
  S.ComPort = 1;
  S.ComSpeed = 1;
  S.ComIRQ = 4;
  S.ComAddr = 0x3F8;
  S.ComStatus = 0;
  S.LastByte = -1;
  S.EthernetInitialized = False;

  S.IPAddress = DefaultIPAddress;
  S.PortNumber = DefaultPortNumber;

  S.IncomingLBound = 1;
  S.IncomingUBound = 0;
  S.TimerIsrActive = False;
  S.WinsockIsrActive = False;
  S.PacketLength = 0;
  S.PacketBuffer.fill(0);
  S.Fifo1.fill(0);
  S.Fifo1Empty = True;
  S.Fifo1Full = False;
  S.Fifo1In = 0;
  S.Fifo1Out = 0;
  S.Fifo1Dropped = 0;

  S.SourceFilePath.clear();
  S.SourceFileSelected = 0;
  S.RecordType = "xx";
  S.HexPair = "xx";
  S.RecordByteCount = 0;
  S.RecordAddress = 0;
  S.AddressByte3 = S.AddressByte2 = S.AddressByte1 = S.AddressByte0 = 0;
  S.RecordValid = False;
  S.RecordFresh = False;
  S.BlockData.fill(0);
  S.CurrentAddress = 0;
  S.BlockAddress = 0;
  S.BlockAddressLow = 0;
  S.BlockIndex = 0;
  S.BlockAddressBytes.fill(0);
  S.TotalErrors = 0;
  S.BlockErrors = 0;
  S.ReadIndex = 0;

  SetIdleButtons();

  if (form2_ != nullptr) form2_->ApplyStartState();
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
