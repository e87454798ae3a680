// The sequencer: the 50 ms tick with its fail timer, dispatch on ProgramMode,
// the two start buttons, SetProgramMode, AbortSequence and the flush delay.
#include "app/Form1.h"
#include "app/Text.h"
#include "engine/EngineStates.h"
#include "pipe/LinkKind.h"
#include "pipe/SerialCodes.h"

namespace qrb {

namespace {

void SendTwoBytes(Form1& f, std::int32_t first, std::int32_t second) {
  f.S.PacketBuffer[0] = first;
  f.S.PacketBuffer[1] = second;
  f.S.PacketLength = 2;
  f.SendAPacket();
}

}  // namespace

void Form1::Timer1_Timer() {
  if (S.FailTimer > 0) {
    --S.FailTimer;
  } else {
    S.FailTimer = 0;
  }
  if (S.TimerIsrActive != False) return;
  S.TimerIsrActive = True;
  if (S.ProgramMode != 0 && S.ComReadFailure == SerialCode::DeviceGone) {
    AbortSequence();  // nothing more can come from a device that is gone
  } else {
    DispatchProgramMode();
  }
  S.TimerIsrActive = False;
}

void Form1::DispatchProgramMode() { EngineStates::Run(*this, S.ProgramMode); }

void Form1::ProgramFlash_Click() { StartRun(RunPath::Program); }

void Form1::VerifyFlash_Click() { StartRun(RunPath::Verify); }

// Any start button aborts a run that is going.
void Form1::AbortRun() {
  if (Running()) StartRun(RunPath::Program);
}

void Form1::StartRun(RunPath path) {
  if (S.ProgramMode != 0) {
    AbortSequence();
    Debug("Aborted processing.");
    return;
  }
  S.Outcome = RunOutcome::None;  // stays so when the start is refused
  refusal_ = {};

  if (path != RunPath::Read) {
    if (S.SourceFileSelected != 1) {
      Debug("** ERROR ** Select an S19 source file.");
      return;
    }
    if (!ReopenSourceFile()) return;
  }

  const LinkKind* link = FindLinkKind(S.DataPipe);
  if (link == nullptr) {
    Debug("Invalid DataPipe in ProgramFlash: " + Dec(S.DataPipe));
    return;
  }
  if (!link->isOpen(S)) {
    Debug(link->notOpen);
    return;
  }

  // Reading back needs no file: nothing of the image goes to the board.
  if (path != RunPath::Read && !PreflightPasses()) return;

  S.ComReadFailure = 0;
  FlushDataPipe();
  SendTwoBytes(*this, 0xF1, 0xA5);

  if (path == RunPath::Read) {
    C.ProgramFlash.SetEnabled(false);
    C.VerifyFlash.SetEnabled(false);
  } else {
    CommandButton& started = path == RunPath::Program ? C.ProgramFlash : C.VerifyFlash;
    CommandButton& other = path == RunPath::Program ? C.VerifyFlash : C.ProgramFlash;
    started.SetCaption("Abort");
    other.SetEnabled(false);
  }
  C.SelectDataPipe.SetEnabled(false);
  C.SelectSourceFile.SetEnabled(false);

  S.TotalErrors = 0;
  S.ImageReadClean = true;
  EngineStates::ForgetSentBlocks(S);
  S.StartupIdleVersion = -1;
  S.FlashModeVersion = -1;
  S.Outcome = RunOutcome::Running;
  S.NoWaitTicks = 0;
  S.ProgramMode = path == RunPath::Program  ? (SkipUnchanged ? EngineStates::SkipEntry : EngineStates::ProgramEntry)
                  : path == RunPath::Verify ? EngineStates::VerifyEntry
                                            : EngineStates::ReadEntry;
  S.FailTimer = S.FailTimerReload;
}

void Form1::SetProgramMode(std::int16_t mode) {
  if (S.ProgramMode != 0) S.ProgramMode = mode;
  S.NoWaitTicks = 0;
}

void Form1::AbortSequence() {
  SetProgramMode(0);
  if (Muted != nullptr) {  // the pre-flight found where the run would stop
    Muted->Stopped();
    return;
  }
  if (S.Outcome == RunOutcome::Running) S.Outcome = RunOutcome::Failed;
  EngineStates::PostBlockCounts(*this);
  Debug("Aborting.  ProgramMode = 0.");
  SetIdleButtons();
}

// The flush delays: flush on every tick of the one-second delay, then send
// the FLASH-mode command.
void EngineStates::FlushDelay(Form1& f, const StateRow& row) {
  f.FlushDataPipe();
  if (f.S.FailTimer > 0) return;
  SendTwoBytes(f, 0xE1, 0x96);
  f.SetProgramMode(row.next);
  f.S.FailTimer = f.S.FailTimerReload;
}

}  // namespace qrb
