// The handshake: the board's status and version, and the switch into FLASH
// mode.
#include "app/Form1.h"
#include "app/Text.h"
#include "engine/EngineStates.h"

namespace qrb {

void EngineStates::PostTimeout(Form1& f, std::int16_t mode) {
  f.Debug("Timeout reading data. E" + Dec(mode));
}

void EngineStates::ByteState(Form1& f, const StateRow& row) {
  f.GetAByte();
  const std::int32_t byte = f.S.LastByte;
  if (byte == row.expected || (row.otherExpected >= 0 && byte == row.otherExpected)) {
    const bool first = byte == row.expected;
    if (first && row.action != nullptr) row.action(f);
    const std::int16_t next = first ? row.next : row.otherNext;
    f.SetProgramMode(next);
    if ((first ? row.atOnce : row.otherAtOnce) && f.S.ProgramMode == next) Run(f, next);
    return;
  }
  if (byte != -1) {
    f.Debug(WrongResponseText(row) + Hex(byte));
    f.AbortSequence();
    return;
  }
  if (row.waits && f.S.FailTimer > 0) return;
  if (!row.waits && f.S.NoWaitTicks < f.S.NoWaitGrace) {
    ++f.S.NoWaitTicks;  // a faster tick: the byte still has the rest of 50 ms
    return;
  }
  PostTimeout(f, row.mode);
  f.AbortSequence();
}

// The first state of each path: stray bytes before the status are reported
// and dropped, and the state gives up only when its window has run out.
void EngineStates::FirstState(Form1& f, const StateRow& row) {
  f.GetAByte();
  if (f.S.LastByte == row.expected) {
    f.SetProgramMode(row.next);
  } else if (f.S.LastByte == -1) {
    if (f.S.FailTimer > 0) return;
    PostTimeout(f, row.mode);
    f.AbortSequence();
  } else {
    f.Debug(WrongResponseText(row) + Hex(f.S.LastByte));
  }
  if (f.S.FailTimer <= 0) {
    f.Debug("FailTimer expired.  Program mode is " + Dec(row.mode) + ".  E" + Dec(row.mode) + "_A");
    f.AbortSequence();
  }
}

void EngineStates::VersionState(Form1& f, const StateRow& row) {
  f.GetAByte();
  if (f.S.LastByte == -1) {
    if (f.S.FailTimer > 0) return;
    PostTimeout(f, row.mode);
    f.AbortSequence();
    return;
  }
  if (row.startupIdle) {
    f.S.StartupIdleVersion = f.S.LastByte;
    f.Status("QRB interface at startup idle.  Version:  $" + Hex(f.S.LastByte));
    f.SetProgramMode(row.next);
    f.S.FailTimer = (f.S.FailTimerReload + 1) / 3;  // a third, rounded: one second
    f.Status("Flushing Port Buffers.  Short delay.  Please wait.");
  } else {
    f.S.FlashModeVersion = f.S.LastByte;
    f.Status("QRB interface in FLASH mode.  Version:  $" + Hex(f.S.LastByte));
    f.SetProgramMode(row.next);
    f.S.FailTimer = f.S.FailTimerReload;
  }
}

}  // namespace qrb
