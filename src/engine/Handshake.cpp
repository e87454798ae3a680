// The handshake: the board's status and version, and the switch into FLASH
// mode. The byte states of both paths are rows of two tables.
#include <array>
#include <iterator>

#include "app/Form1.h"
#include "app/Text.h"
#include "engine/EngineStates.h"

namespace qrb {

namespace {

constexpr std::int16_t StatusByte = 0x91;
constexpr std::int16_t StartupIdle = 0x12;
constexpr std::int16_t FlashMode = 0x2E;
constexpr std::int16_t Version = 0x92;
constexpr std::int16_t VersionLength = 0x04;

// mode, expects, next, at once, waits, wrong-byte text; state 22/62 also
// takes 0x2E with its own move.
constexpr ByteWait ProgramPath[] = {
    {22, StartupIdle, 23, false, false, "Wrong response from QRB interface [12/2E]: $", nullptr, FlashMode, 28, false},
    {23, Version, 24, false, true, "Wrong response from QRB interface [92]: $"},
    {24, VersionLength, 25, false, true, "Wrong response from QRB interface [04]: $"},
    {26, StatusByte, 27, true, true, "Wrong response from QRB interface [91]: $"},
    {27, FlashMode, 28, true, false, "Wrong response from QRB interface [2E]: $"},
    {28, Version, 29, true, true, "Wrong response from QRB interface [92]: $"},
    {29, VersionLength, 30, true, true, "Wrong response from QRB interface [04]: $"},
};

constexpr ByteWait VerifyPath[] = {
    {62, StartupIdle, 63, false, false, "Wrong response from QRB interface [12/2E]: $", nullptr, FlashMode, 68, true},
    {63, Version, 64, false, true, "Wrong response from QRB interface [92]: $"},
    {64, VersionLength, 65, false, true, "Wrong response from QRB interface [04]: $"},
    {66, StatusByte, 67, false, true, "Wrong response from QRB interface [91]: $"},
    {67, FlashMode, 68, false, false, "Wrong response from QRB interface [2E]: $"},
    {68, Version, 69, false, true, "Wrong response from QRB interface [92]: $"},
    {69, VersionLength, 70, false, true, "Wrong response from QRB interface [04]: $"},
};

// The read path's handshake is the verify path's, forty states on: the same
// bytes, the same waits and texts, its own time-out codes.
constexpr std::int16_t ReadPathOffset = 40;

constexpr auto ReadPath = [] {
  std::array<ByteWait, std::size(VerifyPath)> rows{};
  for (std::size_t i = 0; i < rows.size(); ++i) {
    rows[i] = VerifyPath[i];
    rows[i].mode = static_cast<std::int16_t>(rows[i].mode + ReadPathOffset);
    rows[i].next = static_cast<std::int16_t>(rows[i].next + ReadPathOffset);
    if (rows[i].otherExpected >= 0) rows[i].otherNext = static_cast<std::int16_t>(rows[i].otherNext + ReadPathOffset);
  }
  return rows;
}();

struct FirstRow {
  std::int16_t mode;
  std::int16_t next;
  const char* strayText;
  const char* expiryText;
};

constexpr FirstRow FirstStates[] = {
    {21, 22, "Unexpected byte read from QRB interface [91]: $", "FailTimer expired.  Program mode is 21.  E21_A"},
    {61, 62, "Wrong response from QRB interface [91]: $", "FailTimer expired.  Program mode is 61.  E61_A"},
    {101, 102, "Wrong response from QRB interface [91]: $", "FailTimer expired.  Program mode is 101.  E101_A"},
};

struct VersionRow {
  std::int16_t mode;
  std::int16_t next;
  bool startupIdle;  // the board still has to be switched into FLASH mode
};

constexpr VersionRow VersionStates[] = {
    {25, 90, true},
    {30, 41, false},
    {65, 91, true},
    {70, 71, false},
    {105, 92, true},
    {110, 111, false},
};

void PostWrongByte(Form1& f, const char* text) {
  f.Debug(text + Hex(f.S.LastByte));
}

}  // namespace

void EngineStates::PostTimeout(Form1& f, std::int16_t mode) {
  f.Debug("Timeout reading data. E" + Dec(mode));
}

void EngineStates::RunByteWait(Form1& f, const ByteWait* row, std::int16_t mode) {
  if (row == nullptr) {
    InvalidMode(f, mode);
    return;
  }
  f.GetAByte();
  const std::int32_t byte = f.S.LastByte;
  if (byte == row->expected || (row->otherExpected >= 0 && byte == row->otherExpected)) {
    const bool first = byte == row->expected;
    if (first && row->action != nullptr) row->action(f);
    const std::int16_t next = first ? row->next : row->otherNext;
    f.SetProgramMode(next);
    if ((first ? row->atOnce : row->otherAtOnce) && f.S.ProgramMode == next) Run(f, next);
    return;
  }
  if (byte != -1) {
    PostWrongByte(f, row->wrongText);
    f.AbortSequence();
    return;
  }
  if (row->waits && f.S.FailTimer > 0) return;
  if (!row->waits && f.S.NoWaitTicks < f.S.NoWaitGrace) {
    ++f.S.NoWaitTicks;  // a faster tick: the byte still has the rest of 50 ms
    return;
  }
  PostTimeout(f, mode);
  f.AbortSequence();
}

void EngineStates::HandshakeByte(Form1& f, std::int16_t mode) {
  const ByteWait* row = FindRow(ProgramPath, mode);
  if (row == nullptr) row = FindRow(VerifyPath, mode);
  if (row == nullptr) row = FindRow(ReadPath, mode);
  RunByteWait(f, row, mode);
}

// States 21 and 61: stray bytes before the status are reported and dropped,
// and the state gives up only when its window has run out.
void EngineStates::FirstState(Form1& f, std::int16_t mode) {
  const FirstRow* found = FindRow(FirstStates, mode);
  if (found == nullptr) {
    InvalidMode(f, mode);
    return;
  }
  const FirstRow& row = *found;
  f.GetAByte();
  if (f.S.LastByte == StatusByte) {
    f.SetProgramMode(row.next);
  } else if (f.S.LastByte == -1) {
    if (f.S.FailTimer > 0) return;
    PostTimeout(f, mode);
    f.AbortSequence();
  } else {
    PostWrongByte(f, row.strayText);
  }
  if (f.S.FailTimer <= 0) {
    f.Debug(row.expiryText);
    f.AbortSequence();
  }
}

void EngineStates::VersionState(Form1& f, std::int16_t mode) {
  const VersionRow* row = FindRow(VersionStates, mode);
  if (row == nullptr) {
    InvalidMode(f, mode);
    return;
  }
  f.GetAByte();
  if (f.S.LastByte == -1) {
    if (f.S.FailTimer > 0) return;
    PostTimeout(f, mode);
    f.AbortSequence();
    return;
  }
  if (row->startupIdle) {
    f.S.StartupIdleVersion = f.S.LastByte;
    f.Status("QRB interface at startup idle.  Version:  $" + Hex(f.S.LastByte));
    f.SetProgramMode(row->next);
    f.S.FailTimer = (f.S.FailTimerReload + 1) / 3;  // a third, rounded: one second
    f.Status("Flushing Port Buffers.  Short delay.  Please wait.");
  } else {
    f.S.FlashModeVersion = f.S.LastByte;
    f.Status("QRB interface in FLASH mode.  Version:  $" + Hex(f.S.LastByte));
    f.SetProgramMode(row->next);
    f.S.FailTimer = f.S.FailTimerReload;
  }
}

}  // namespace qrb
