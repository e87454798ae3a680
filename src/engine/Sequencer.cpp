// The sequencer: the 50 ms tick with its fail timer, dispatch on ProgramMode,
// the two start buttons, SetProgramMode, AbortSequence and the flush delay.
#include <array>

#include "app/Form1.h"
#include "app/Text.h"
#include "engine/EngineStates.h"
#include "pipe/SerialCodes.h"

namespace qrb {

namespace {

using E = EngineStates;

struct StateEntry {
  std::int16_t mode;
  EngineStates::Handler handler;
};

// Every state of a run and its handler; any other non-zero mode is invalid.
constexpr StateEntry States[] = {
    // Handshake, program path.
    {21, E::FirstState}, {22, E::HandshakeByte}, {23, E::HandshakeByte}, {24, E::HandshakeByte},
    {25, E::VersionState}, {90, E::FlushDelay}, {26, E::HandshakeByte}, {27, E::HandshakeByte},
    {28, E::HandshakeByte}, {29, E::HandshakeByte}, {30, E::VersionState},
    // Block programming.
    {41, E::ProgramFirstBlock}, {42, E::ProgramNextBlock}, {43, E::ProgramByte}, {44, E::ProgramByte},
    {45, E::ProgramByte}, {46, E::ProgramByte}, {47, E::ProgramReadBack}, {48, E::ProgramByte},
    {49, E::ProgramByte}, {50, E::ProgramByte}, {51, E::ProgramByte}, {52, E::ProgramReadBack},
    // Handshake, verify path.
    {61, E::FirstState}, {62, E::HandshakeByte}, {63, E::HandshakeByte}, {64, E::HandshakeByte},
    {65, E::VersionState}, {91, E::FlushDelay}, {66, E::HandshakeByte}, {67, E::HandshakeByte},
    {68, E::HandshakeByte}, {69, E::HandshakeByte}, {70, E::VersionState},
    // Block verification.
    {71, E::VerifyFirstBlock}, {72, E::VerifyNextBlock}, {73, E::VerifyByte}, {74, E::VerifyByte},
    {75, E::VerifyReadBack}, {76, E::VerifyByte}, {77, E::VerifyByte}, {78, E::VerifyReadBack},
    // Handshake, read path.
    {101, E::FirstState}, {102, E::HandshakeByte}, {103, E::HandshakeByte}, {104, E::HandshakeByte},
    {105, E::VersionState}, {92, E::FlushDelay}, {106, E::HandshakeByte}, {107, E::HandshakeByte},
    {108, E::HandshakeByte}, {109, E::HandshakeByte}, {110, E::VersionState},
    // Reading the FLASH back.
    {111, E::ReadRequest}, {112, E::ReadByte}, {113, E::ReadByte}, {114, E::ReadBlockIn},
};

// The flush delays and the state each moves to once it has sent 0xE1 0x96.
constexpr struct {
  std::int16_t mode, next;
} FlushDelays[] = {{90, 26}, {91, 66}, {92, 106}};

constexpr std::size_t ModeLimit = 128;

constexpr std::array<EngineStates::Handler, ModeLimit> HandlersByMode = [] {
  std::array<EngineStates::Handler, ModeLimit> byMode{};
  for (const StateEntry& entry : States) byMode[static_cast<std::size_t>(entry.mode)] = entry.handler;
  return byMode;
}();

void SendTwoBytes(Form1& f, std::int32_t first, std::int32_t second) {
  f.S.PacketBuffer[0] = first;
  f.S.PacketBuffer[1] = second;
  f.S.PacketLength = 2;
  f.SendAPacket();
}

}  // namespace

EngineStates::Handler EngineStates::Find(std::int16_t mode) {
  if (mode <= 0 || static_cast<std::size_t>(mode) >= ModeLimit) return nullptr;
  return HandlersByMode[static_cast<std::size_t>(mode)];
}

void EngineStates::Run(Form1& f, std::int16_t mode) {
  if (mode == 0) return;
  if (const Handler handler = Find(mode)) {
    handler(f, mode);
  } else {
    InvalidMode(f, mode);
  }
}

void EngineStates::InvalidMode(Form1& f, std::int16_t mode) {
  f.Debug("Invalid program mode: " + Dec(mode));
  f.AbortSequence();
}

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

void Form1::StartRun(RunPath path) {
  if (S.ProgramMode != 0) {
    AbortSequence();
    Debug("Aborted processing.");
    return;
  }
  S.Outcome = RunOutcome::None;  // stays so when the start is refused

  if (path != RunPath::Read) {
    if (S.SourceFileSelected != 1) {
      Debug("** ERROR ** Select an S19 source file.");
      return;
    }
    if (!ReopenSourceFile()) return;
  }

  switch (S.DataPipe) {
    case PipeSerial:
      if (S.ComInitialized == False) {
        Debug("** ERROR ** COM port not initialized.");
        return;
      }
      break;
    case PipeEthernet:
      if (S.EthernetInitialized == False) {
        Debug("** ERROR ** Ethernet connection not initialized.");
        return;
      }
      break;
    default:
      Debug("Invalid DataPipe in ProgramFlash: " + Dec(S.DataPipe));
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
  S.ProgramMode = path == RunPath::Program ? 21 : path == RunPath::Verify ? 61 : 101;
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
  Debug("Aborting.  ProgramMode = 0.");
  SetIdleButtons();
}

// States 90 and 91: flush on every tick of the one-second delay, then send the
// FLASH-mode command.
void EngineStates::FlushDelay(Form1& f, std::int16_t mode) {
  f.FlushDataPipe();
  if (f.S.FailTimer > 0) return;
  SendTwoBytes(f, 0xE1, 0x96);
  if (const auto* delay = FindRow(FlushDelays, mode)) f.SetProgramMode(delay->next);
  f.S.FailTimer = f.S.FailTimerReload;
}

}  // namespace qrb
