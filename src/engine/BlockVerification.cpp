// Block verification: the same blocks as block programming, only read back
// from the board and compared; ends with the verdict.
#include "app/Form1.h"
#include "app/Text.h"
#include "engine/EngineStates.h"

namespace qrb {

namespace {

// mode, expects, next, at once, waits, wrong-byte text, action.
constexpr ByteWait VerifyWaits[] = {
    {73, 0x61, 74, true, true, "Wrong response from QRB interface [61]: $"},
    {74, 0x37, 75, true, true, "Wrong response from QRB interface [37]: $", EngineStates::StartReadBack},
    {76, 0x61, 77, true, true, "Wrong response from QRB interface [61]: $"},
    {77, 0x37, 78, true, true, "Wrong response from QRB interface [37]: $", EngineStates::StartReadBack},
};

constexpr EngineStates::BlockPath VerifyBlocks{&Form1::SendVerifyBlock, 73, 76};

void PostBlockLine(Form1& f) {
  const ReflashSession& s = f.S;
  f.Status("Block $" + Hex(s.BlockAddress) +
           (s.BlockErrors == 0 ? "     -- Verified." : "     -- Verify errors: " + Dec(s.BlockErrors)));
}

// The verdict after the last block line (if any), then the end of the run.
void PostVerdict(Form1& f) {
  ReflashSession& s = f.S;
  if (s.TotalErrors != 0) {
    f.Status("  ");
    f.Status("###  Verify Failed  ###     Total errors: " + Dec(s.TotalErrors));
  } else {
    EngineStates::PostSuccess(f, {"***  Success ***.  QRB interface FLASH Verified."},
                              "###  S19 file not read cleanly  ###  QRB interface FLASH not verified.");
  }
  f.AbortSequence();
}

}  // namespace

void EngineStates::VerifyFirstBlock(Form1& f, std::int16_t) { FirstBlock(f, VerifyBlocks); }

void EngineStates::VerifyNextBlock(Form1& f, std::int16_t) {
  if (!NextBlock(f, VerifyBlocks)) PostVerdict(f);
}

void EngineStates::VerifyByte(Form1& f, std::int16_t mode) { RunByteWait(f, FindRow(VerifyWaits, mode), mode); }

void EngineStates::VerifyReadBack(Form1& f, std::int16_t mode) {
  if (!ReadBlockBack(f, mode)) return;
  ReflashSession& s = f.S;
  s.TotalErrors += s.BlockErrors;
  if (mode == 78) {
    // The last block gets its line when it verified or when it has errors of
    // its own; a failed run leaves out a clean last block.
    if (s.TotalErrors == 0 || s.BlockErrors != 0) PostBlockLine(f);
    PostVerdict(f);
    return;
  }
  PostBlockLine(f);
  s.FailTimer = s.FailTimerReload;
  f.SetProgramMode(72);
}

}  // namespace qrb
