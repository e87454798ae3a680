// Skipping unchanged blocks: each block is built as in block programming and,
// where the skip rule says it is worth it, read back before it is written; a
// block the board already holds is left as it is.
#include "app/Form1.h"
#include "app/Text.h"
#include "engine/EngineStates.h"

namespace qrb {

namespace {

// The builder's way of sending the block: a read-back request, or the block
// itself when the rule writes it without reading first.
EngineStates::BlockPath SkipBlocks(const ReflashSession& s, const StateRow& row) {
  if (s.Skip.PreReadNext()) return {&Form1::SendVerifyBlock, row.next, row.lastNext};
  return {&Form1::SendProgramBlock, row.writeNext, row.writeLastNext};
}

void NoteBlindWrite(ReflashSession& s, const StateRow& row) {
  if (s.ProgramMode == row.writeNext || s.ProgramMode == row.writeLastNext) s.Skip.WroteBlind();
}

}  // namespace

void EngineStates::SkipFirstBlock(Form1& f, const StateRow& row) {
  f.S.CountsPending = true;
  FirstBlock(f, SkipBlocks(f.S, row));
  NoteBlindWrite(f.S, row);
}

void EngineStates::SkipNextBlock(Form1& f, const StateRow& row) {
  if (!NextBlock(f, SkipBlocks(f.S, row))) {
    PostProgramReport(f);
    return;
  }
  NoteBlindWrite(f.S, row);
}

void EngineStates::SkipPreRead(Form1& f, const StateRow& row) {
  if (!ReadBlockBack(f, row.mode, ReadUse::PreRead)) return;
  ReflashSession& s = f.S;
  if (s.BlockErrors != 0) {
    // Written and read back as any block.
    s.Skip.Differed();
    f.SendProgramBlock();
    f.SetProgramMode(row.writeNext);
    s.FailTimer = s.FailTimerReload;
    return;
  }
  s.Skip.Matched();
  ++s.BlocksUnchanged;
  f.Status("Block  $" + Hex(s.BlockAddress) + "     -- Unchanged.");
  if (f.P.Blocks != nullptr) f.P.Blocks->BlockUnchanged(s.BlockAddress);
  if (row.lastBlock) {
    PostProgramReport(f);
    return;
  }
  // Nothing to wait for: the next block is built at once.
  s.FailTimer = s.FailTimerReload;
  f.SetProgramMode(row.next);
  if (s.ProgramMode == row.next) Run(f, row.next);
}

}  // namespace qrb
