// Block verification: the same blocks as block programming, only read back
// from the board and compared; ends with the verdict.
#include "app/Form1.h"
#include "app/Text.h"
#include "engine/EngineStates.h"

namespace qrb {

namespace {

// The verification path from a block builder's row.
EngineStates::BlockPath VerifyBlocks(const StateRow& row) { return {&Form1::SendVerifyBlock, row.next, row.lastNext}; }

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

void EngineStates::VerifyFirstBlock(Form1& f, const StateRow& row) { FirstBlock(f, VerifyBlocks(row)); }

void EngineStates::VerifyNextBlock(Form1& f, const StateRow& row) {
  if (!NextBlock(f, VerifyBlocks(row))) PostVerdict(f);
}

void EngineStates::VerifyReadBack(Form1& f, const StateRow& row) {
  if (!ReadBlockBack(f, row.mode)) return;
  ReflashSession& s = f.S;
  s.TotalErrors += s.BlockErrors;
  if (row.lastBlock) {
    // The last block gets its line when it verified or when it has errors of
    // its own; a failed run leaves out a clean last block.
    if (s.TotalErrors == 0 || s.BlockErrors != 0) PostBlockLine(f);
    PostVerdict(f);
    return;
  }
  PostBlockLine(f);
  s.FailTimer = s.FailTimerReload;
  f.SetProgramMode(row.next);
}

}  // namespace qrb
