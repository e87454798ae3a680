// Block programming: 256-byte blocks built from the S19 records, written to
// the board, read back and compared. The builder, the packets and the
// read-back are shared with block verification.

#include <utility>

#include "app/Form1.h"
#include "app/Text.h"
#include "engine/EngineStates.h"

namespace qrb {

namespace {

constexpr std::uint8_t Fill = 0xFF;
constexpr std::int32_t BlockHeaderLength = 8;

// Bytes 0 to 7 of both block packets: 0x57, the command, the block address
// most significant byte first, and the length 256.
void PutBlockHeader(Form1& f, std::int32_t command) {
  const auto address = static_cast<std::uint32_t>(f.S.BlockAddress);
  for (int i = 0; i < 4; ++i)
    f.S.BlockAddressBytes[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(address >> (24 - 8 * i));
  f.S.PacketBuffer[0] = 0x57;
  f.S.PacketBuffer[1] = command;
  for (std::size_t i = 0; i < 4; ++i) f.S.PacketBuffer[2 + i] = f.S.BlockAddressBytes[i];
  f.S.PacketBuffer[6] = 0x01;
  f.S.PacketBuffer[7] = 0x00;
}

void PostStartNotEven(Form1& f) {
  f.Status("Starting address not an even block.  Address: " + Hex(f.S.RecordAddress));
  f.AbortSequence();
}

// A record that leads back into a block already sent in this run would start
// that block again, and its 0xFF fill would overwrite what the first one wrote.
void PostBlockAlreadySent(Form1& f) {
  f.S.ImageReadClean = false;
  f.Status("Block  $" + Hex(f.S.RecordAddress) + " already built from earlier records.  Record refused.");
  f.AbortSequence();
}

// Blocks of 256 bytes from 0 to 0x7FFFFFFF.
constexpr std::size_t BlockCount = std::size_t{1} << 23;

std::size_t BlockNumber(std::int32_t blockAddress) { return static_cast<std::uint32_t>(blockAddress) >> 8; }

// Whether a block starting at this address was sent (every block sent starts
// at a multiple of 256).
bool AlreadySent(const ReflashSession& s, std::int32_t blockAddress) {
  const std::size_t n = BlockNumber(blockAddress);
  return (blockAddress & 0xFF) == 0 && n < s.SentBlocks.size() && s.SentBlocks[n];
}

// The programming path from a block builder's row.
EngineStates::BlockPath ProgramBlocks(const StateRow& row) { return {&Form1::SendProgramBlock, row.next, row.lastNext}; }

}  // namespace

void Form1::FillBlock() {
  if (S.BlockFill == 0 || S.BlockFill == BlockSize) return;
  for (std::size_t i = static_cast<std::size_t>(S.BlockFill); i <= BlockSize; ++i) S.BlockData[i] = Fill;
}

void Form1::SendProgramBlock() {
  PutBlockHeader(*this, 0x3A);
  for (S.BlockIndex = 0; S.BlockIndex < BlockSize; ++S.BlockIndex) {
    const auto i = static_cast<std::size_t>(S.BlockIndex);
    S.PacketBuffer[BlockHeaderLength + i] = S.BlockData[i];
  }
  S.PacketLength = BlockHeaderLength + BlockSize;
  SendAPacket();
  ++S.BlocksWritten;
  Status("Block  $" + Hex(S.BlockAddress) + "     -- Sent.");
}

void Form1::SendVerifyBlock() {
  PutBlockHeader(*this, 0x37);
  S.PacketLength = BlockHeaderLength;
  SendAPacket();
}

void EngineStates::ForgetSentBlocks(ReflashSession& s) {
  s.SentBlocks.assign(BlockCount, false);
  s.BlocksWritten = 0;
  s.BlocksUnchanged = 0;
  s.Skip = SkipRule{};
  s.CountsPending = false;
}

void EngineStates::NextRecord(Form1& f) {
  f.SkipRecordTrailer();
  if (f.S.RecordValid != False) f.GetARecord();
}

void EngineStates::SendAndWait(Form1& f, const BlockPath& path, std::int16_t next) {
  if (const std::size_t n = BlockNumber(f.S.BlockAddress); n < f.S.SentBlocks.size()) f.S.SentBlocks[n] = true;
  (f.*path.send)();
  f.SetProgramMode(next);
  f.S.FailTimer = f.S.FailTimerReload;
}

// Fills the block from the records until it is full, the data leaves a hole
// or the data ends; runs to its end within one tick.
void EngineStates::FillLoop(Form1& f, const BlockPath& path) {
  ReflashSession& s = f.S;
  for (;;) {
    if (s.RecordByteCount == 0) {
      NextRecord(f);
      const bool ended = s.RecordValid == False;
      if (ended || s.CurrentAddress != s.RecordAddress) {
        if (s.BlockFill == 0) {
          f.AbortSequence();
          return;
        }
        f.FillBlock();
        SendAndWait(f, path, ended ? path.lastNext : path.fullNext);
        return;
      }
      // A record without data bytes: its checksum is no data.
      if (s.RecordByteCount == 0) continue;
    }

    const std::uint8_t byte = f.ReadDataByte();
    if (s.RecordValid == False) {  // the file ended inside the byte
      if (s.BlockFill == 0) {
        f.AbortSequence();
        return;
      }
      f.FillBlock();
      SendAndWait(f, path, path.lastNext);
      return;
    }
    s.BlockData[static_cast<std::size_t>(s.BlockFill)] = byte;
    ++s.BlockFill;
    s.RecordFresh = False;
    s.CurrentAddress = static_cast<std::int32_t>(static_cast<std::uint32_t>(s.CurrentAddress) + 1u);
    --s.RecordByteCount;

    if (s.BlockFill == BlockSize) {
      SendAndWait(f, path, path.fullNext);
      return;
    }
  }
}

void EngineStates::FirstBlock(Form1& f, const BlockPath& path) {
  ReflashSession& s = f.S;
  f.GetARecord();
  if (s.RecordValid == False) {
    f.AbortSequence();
    return;
  }
  s.CurrentAddress = s.RecordAddress;
  s.BlockAddressLow = s.RecordAddress & 0xFF;
  if (s.BlockAddressLow != 0) {
    PostStartNotEven(f);
    return;
  }
  s.BlockAddress = s.RecordAddress;
  s.BlockFill = 0;
  FillLoop(f, path);
}

bool EngineStates::NextBlock(Form1& f, const BlockPath& path) {
  ReflashSession& s = f.S;
  if (s.RecordByteCount == 0) NextRecord(f);
  // The previous block ended exactly with the data: nothing of an end
  // record may become a block.
  if (s.RecordValid == False) return false;

  if (s.RecordFresh != False) {
    if (AlreadySent(s, s.RecordAddress)) {
      PostBlockAlreadySent(f);
      return true;
    }
    s.CurrentAddress = s.RecordAddress;
    s.BlockAddress = s.RecordAddress;
  } else {
    s.BlockAddress = s.CurrentAddress;
  }
  s.BlockFill = 0;
  s.BlockAddressLow = s.BlockAddress & 0xFF;
  if (s.BlockAddressLow != 0) {
    PostStartNotEven(f);
    return true;
  }
  FillLoop(f, path);
  return true;
}

void EngineStates::StartReadBack(Form1& f) {
  f.S.BlockErrors = 0;
  f.S.ReadIndex = 0;
}

void EngineStates::RequestReadBack(Form1& f) {
  f.SendVerifyBlock();
  f.S.FailTimer = f.S.FailTimerReload;
}

bool EngineStates::ReadBlockBack(Form1& f, std::int16_t mode, ReadUse use) {
  ReflashSession& s = f.S;
  for (;;) {
    f.GetAByte();
    if (s.LastByte == -1) {
      if (s.FailTimer > 0) return false;  // the rest comes on later ticks
      PostTimeout(f, mode);
      f.AbortSequence();
      return false;
    }
    std::uint8_t& cell = s.BlockData[static_cast<std::size_t>(s.ReadIndex)];
    if (use == ReadUse::Keep) {
      cell = static_cast<std::uint8_t>(s.LastByte);
    } else if (s.LastByte != cell) {
      ++s.BlockErrors;
    }
    if (++s.ReadIndex >= BlockSize) {
      s.ReadIndex = 0;
      if (use == ReadUse::Compare && f.P.Blocks != nullptr) f.P.Blocks->BlockCompared(s.BlockAddress, s.BlockErrors);
      return true;
    }
  }
}

void EngineStates::PostSuccess(Form1& f, std::initializer_list<const char*> successLines, const char* uncleanLine) {
  f.Status("  ");
  if (!f.S.ImageReadClean) {
    f.Status(uncleanLine);
    return;
  }
  for (const char* line : successLines) f.Status(line);
  f.S.Outcome = RunOutcome::Succeeded;
}

void EngineStates::PostBlockCounts(Form1& f) {
  if (!std::exchange(f.S.CountsPending, false)) return;
  f.Status(Dec(f.S.BlocksWritten) + " blocks written, " + Dec(f.S.BlocksUnchanged) + " unchanged.");
}

void EngineStates::PostProgramReport(Form1& f) {
  ReflashSession& s = f.S;
  PostBlockCounts(f);
  if (s.TotalErrors != 0) {
    f.Status("Verification errors: " + Dec(s.TotalErrors));
  } else if (s.BlocksWritten == 0) {
    // Only a run that skips unchanged blocks gets here with a clean image:
    // the board is in FLASH mode all the same and must be re-booted.
    PostSuccess(f,
                {"***  Success ***.  QRB interface FLASH already holds the file.  Nothing written.",
                 "Exit this program and Re-Boot the QRB interface."},
                "###  S19 file not read cleanly  ###  QRB interface FLASH not updated.");
  } else {
    // The pre-flight read the file cleanly, so it changed during the run.
    PostSuccess(f,
                {"***  Success ***.  QRB interface FLASH Updated.", "Exit this program and Re-Boot the QRB interface."},
                "###  S19 file not read cleanly  ###  QRB interface FLASH partly written.");
  }
  f.AbortSequence();
}

void EngineStates::ProgramFirstBlock(Form1& f, const StateRow& row) { FirstBlock(f, ProgramBlocks(row)); }

void EngineStates::ProgramNextBlock(Form1& f, const StateRow& row) {
  if (!NextBlock(f, ProgramBlocks(row))) PostProgramReport(f);
}

void EngineStates::ProgramReadBack(Form1& f, const StateRow& row) {
  if (!ReadBlockBack(f, row.mode)) return;
  ReflashSession& s = f.S;
  if (row.lastBlock) {
    s.TotalErrors += s.BlockErrors;
    PostProgramReport(f);
    return;
  }
  if (s.BlockErrors == 0) {
    f.Status("                           -- Verified.");
  } else {
    f.Status("Verification errors: " + Dec(s.BlockErrors));
  }
  s.TotalErrors += s.BlockErrors;
  s.FailTimer = s.FailTimerReload;
  f.SetProgramMode(row.next);
}

}  // namespace qrb
