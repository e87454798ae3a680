// The main window's shared state: every field the data pipe, the S19 reader
// and the reflash engine work on.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/BlockObserver.h"
#include "pipe/ComPortRecord.h"
#include "pipe/LinkDefaults.h"

namespace qrb {

// Flags are 16-bit integers: true = -1, false = 0.
using Flag = std::int16_t;
inline constexpr Flag True = -1;
inline constexpr Flag False = 0;

inline constexpr std::int16_t PipeSerial = 1;
inline constexpr std::int16_t PipeEthernet = 5;

inline constexpr int PacketBufferSize = 301;
inline constexpr int Fifo1Size = 1025;
inline constexpr int BlockSize = 256;

// How the last run ended; read by the command-line front end.
enum class RunOutcome { None, Running, Succeeded, Failed };

// The initialisers are the start values: InitVariables restores them all.
struct ReflashSession {
  // Sequencer.
  std::int16_t ProgramMode = 0;
  std::int32_t FailTimer = 0;
  std::int32_t FailTimerReload = 0;
  Flag TimerIsrActive = False;
  // A state that does not wait for its byte gives it the time of one 50 ms
  // tick: at a faster tick this many ticks more (0 at 50 ms), counted in
  // NoWaitTicks since the state was entered.
  std::int32_t NoWaitGrace = 0;
  std::int32_t NoWaitTicks = 0;

  // Message lists.
  std::string StatusLine;
  std::string DebugLine;

  // Data pipe.
  std::int16_t DataPipe = PipeSerial;
  std::int32_t LastByte = -1;
  std::array<std::int32_t, PacketBufferSize> PacketBuffer{};
  std::int32_t PacketLength = 0;
  std::array<std::uint8_t, Fifo1Size> Fifo1{};
  std::int32_t Fifo1In = 0;
  std::int32_t Fifo1Out = 0;
  Flag Fifo1Empty = True;
  Flag Fifo1Full = False;
  std::int32_t Fifo1Dropped = 0;  // bytes dropped in the current burst

  // Serial link.
  Flag ComInitialized = False;
  std::int32_t ComPort = 1;
  std::int16_t ComSpeed = 1;
  std::int16_t ComIRQ = 4;
  std::int16_t ComAddr = 0x3F8;
  std::int32_t ComStatus = 0;
  // The serial read failure last reported, 0 when reading works.
  std::int32_t ComReadFailure = 0;
  ComPortRecord ComPortInfo;

  // Ethernet link.
  Flag EthernetInitialized = False;
  Flag WinsockIsrActive = False;
  std::string IPAddress = DefaultIPAddress;
  std::int32_t PortNumber = DefaultPortNumber;
  std::vector<std::uint8_t> IncomingBytes;
  std::int32_t IncomingLBound = 1;
  std::int32_t IncomingUBound = 0;

  // S19 reader.
  std::string SourceFilePath;
  std::int16_t SourceFileSelected = 0;  // 1 when a file is chosen and open
  std::string RecordType = "xx";
  std::string HexPair = "xx";
  std::int16_t RecordByteCount = 0;
  std::int32_t RecordAddress = 0;
  std::int32_t AddressByte3 = 0;
  std::int32_t AddressByte2 = 0;
  std::int32_t AddressByte1 = 0;
  std::int32_t AddressByte0 = 0;
  Flag RecordValid = False;
  Flag RecordFresh = False;
  // False once the current run met anything that makes the image unreliable
  // (an invalid digit, a premature end, a refused or unexpected record).
  bool ImageReadClean = true;

  // Blocks.
  std::array<std::uint8_t, BlockSize + 1> BlockData{};
  std::int32_t CurrentAddress = 0;
  std::int32_t BlockAddress = 0;
  std::int16_t BlockFill = 0;
  std::int32_t BlockAddressLow = 0;
  std::int16_t BlockIndex = 0;
  std::array<std::uint8_t, 4> BlockAddressBytes{};
  std::int32_t TotalErrors = 0;
  std::int32_t BlockErrors = 0;
  std::int16_t ReadIndex = 0;
  // The blocks sent in this run, one bit per 256-byte block of the address
  // range (0 to 0x7FFFFFFF), and their count: a record that leads back into
  // one of them would overwrite it with a partial block.
  std::vector<bool> SentBlocks;
  std::int32_t BlocksSent = 0;

  // The version bytes as the handshake read them, -1 when not read: at
  // start-up idle, and in FLASH mode.
  std::int32_t StartupIdleVersion = -1;
  std::int32_t FlashModeVersion = -1;

  // Reading the FLASH back: the blocks to read, and the span that holds
  // BlockAddress.
  std::vector<BlockSpan> ReadSpans;
  std::size_t ReadSpanIndex = 0;
  // Each block is read until two reads agree (at most MaxReadsPerBlock), or
  // once with SingleRead; the earlier reads of the block at BlockAddress.
  static constexpr int MaxReadsPerBlock = 4;
  bool SingleRead = false;
  std::int32_t ReadsOfBlock = 0;
  std::array<std::array<std::uint8_t, BlockSize>, MaxReadsPerBlock - 1> EarlierReads{};

  RunOutcome Outcome = RunOutcome::None;
};

}  // namespace qrb
