// Reading the FLASH back to the front end: after the handshake, a read-back
// request for every block the ranges touch, each answer taken as in block
// verification; a block is read again until two reads agree, then handed to
// the block observer.
#include <algorithm>

#include "app/Form1.h"
#include "app/Text.h"
#include "engine/EngineStates.h"

namespace qrb {

namespace {

constexpr std::uint32_t BlockMask = ~static_cast<std::uint32_t>(BlockSize - 1);

// The block after BlockAddress; false when it was the last one.
bool AdvanceBlock(ReflashSession& s) {
  const BlockSpan& span = s.ReadSpans[s.ReadSpanIndex];
  const auto address = static_cast<std::uint32_t>(s.BlockAddress);
  if (address != span.Last) {
    s.BlockAddress = static_cast<std::int32_t>(address + BlockSize);
    return true;
  }
  if (++s.ReadSpanIndex >= s.ReadSpans.size()) return false;
  s.BlockAddress = static_cast<std::int32_t>(s.ReadSpans[s.ReadSpanIndex].First);
  return true;
}

enum class ReadCheck { Agreed, Again, NoAgreement };

// The block in BlockData against the earlier reads of the same block.
ReadCheck CheckRead(ReflashSession& s) {
  const auto* bytes = s.BlockData.data();
  for (std::int32_t i = 0; i < s.ReadsOfBlock; ++i)
    if (std::equal(bytes, bytes + BlockSize, s.EarlierReads[static_cast<std::size_t>(i)].begin()))
      return ReadCheck::Agreed;
  if (s.ReadsOfBlock + 1 >= ReflashSession::MaxReadsPerBlock) return ReadCheck::NoAgreement;
  std::copy(bytes, bytes + BlockSize, s.EarlierReads[static_cast<std::size_t>(s.ReadsOfBlock)].begin());
  ++s.ReadsOfBlock;
  return ReadCheck::Again;
}

}  // namespace

std::vector<BlockSpan> BlockSpans(const std::vector<AddressRange>& ranges) {
  std::vector<BlockSpan> spans;
  for (const AddressRange& range : ranges)
    spans.push_back({range.First & BlockMask, std::max(range.First, range.Last) & BlockMask});
  std::sort(spans.begin(), spans.end(), [](const auto& a, const auto& b) { return a.First < b.First; });
  std::vector<BlockSpan> merged;
  for (const BlockSpan& span : spans) {
    if (!merged.empty() && (merged.back().Last == BlockMask || span.First <= merged.back().Last + BlockSize)) {
      merged.back().Last = std::max(merged.back().Last, span.Last);
    } else {
      merged.push_back(span);
    }
  }
  return merged;
}

void Form1::ReadFlash(const std::vector<AddressRange>& ranges, bool singleRead) {
  if (S.ProgramMode == 0) {
    S.SingleRead = singleRead;
    S.ReadsOfBlock = 0;
    S.ReadSpans = BlockSpans(ranges);
    if (S.ReadSpans.empty()) {
      Debug("** ERROR ** No address range to read.");
      return;
    }
    S.ReadSpanIndex = 0;
    S.BlockAddress = static_cast<std::int32_t>(S.ReadSpans.front().First);
  }
  StartRun(RunPath::Read);
}

// Ask for the block at BlockAddress.
void EngineStates::ReadRequest(Form1& f, const StateRow& row) {
  f.SendVerifyBlock();
  f.SetProgramMode(row.next);
  f.S.FailTimer = f.S.FailTimerReload;
}

// The block's 256 bytes; once two reads agree (or after the one read), its
// line, and the next block or the end of the run.
void EngineStates::ReadBlockIn(Form1& f, const StateRow& row) {
  if (!ReadBlockBack(f, row.mode, true)) return;
  ReflashSession& s = f.S;
  const std::int32_t reads = s.SingleRead ? 1 : s.ReadsOfBlock + 1;
  if (!s.SingleRead) {
    const ReadCheck check = CheckRead(s);
    if (check == ReadCheck::NoAgreement) {
      f.Debug("** ERROR ** Block $" + Hex(s.BlockAddress) + " read " + Dec(reads) +
              " times, no two reads alike.");
      f.AbortSequence();
      return;
    }
    if (check == ReadCheck::Again) {
      // The same block again: row.next asks for BlockAddress.
      if (s.ReadsOfBlock > 1)
        f.Debug("Block $" + Hex(s.BlockAddress) + " read " + Dec(s.ReadsOfBlock) +
                " times, no two reads alike; reading it again.");
      s.FailTimer = s.FailTimerReload;
      f.SetProgramMode(row.next);
      return;
    }
    s.ReadsOfBlock = 0;
  }
  if (f.P.Blocks != nullptr && !f.P.Blocks->BlockRead(s.BlockAddress, s.BlockData.data(), reads)) {
    f.Debug("Block $" + Hex(s.BlockAddress) + " read, but could not be stored.");
    f.AbortSequence();
    return;
  }
  f.Status("Block $" + Hex(s.BlockAddress) + "     -- Read.");
  if (AdvanceBlock(s)) {
    s.FailTimer = s.FailTimerReload;
    f.SetProgramMode(row.next);
    return;
  }
  if (f.P.Blocks != nullptr && !f.P.Blocks->ReadComplete()) {
    f.Debug("** ERROR ** The blocks read could not be stored.");
    f.AbortSequence();
    return;
  }
  PostSuccess(f, {"***  Success ***.  QRB interface FLASH Read."}, "");
  f.AbortSequence();
}

}  // namespace qrb
