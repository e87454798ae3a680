// The state table of the reflash engine: every ProgramMode of a run, its
// handler and the data the handler works from. The state numbers live here
// and nowhere else.
#include <array>

#include "app/Text.h"
#include "engine/EngineStates.h"

namespace qrb {

namespace {

using E = EngineStates;

constexpr std::int16_t StatusByte = 0x91;
constexpr std::int16_t StartupIdle = 0x12;
constexpr std::int16_t FlashMode = 0x2E;
constexpr std::int16_t Version = 0x92;
constexpr std::int16_t VersionLength = 0x04;
constexpr std::int16_t Accepted = 0x61;
constexpr std::int16_t Written = 0x3A;
constexpr std::int16_t BlockFollows = 0x37;

constexpr bool AtOnce = true, NextTick = false;
constexpr bool Waits = true, NoWait = false;

// A state that takes one byte.
constexpr StateRow Takes(std::int16_t mode, std::int16_t expected, std::int16_t next, bool atOnce, bool waits,
                         void (*action)(Form1&) = nullptr) {
  StateRow row;
  row.mode = mode;
  row.handler = E::ByteState;
  row.expected = expected;
  row.next = next;
  row.atOnce = atOnce;
  row.waits = waits;
  row.action = action;
  return row;
}

// ... or a second byte, with its own move.
constexpr StateRow OrTakes(StateRow row, std::int16_t otherExpected, std::int16_t otherNext, bool otherAtOnce) {
  row.otherExpected = otherExpected;
  row.otherNext = otherNext;
  row.otherAtOnce = otherAtOnce;
  return row;
}

constexpr StateRow InBlock(StateRow row) {
  row.blockInFlight = true;
  return row;
}

// A state with its own handler and a next state.
constexpr StateRow Handled(std::int16_t mode, E::Handler handler, std::int16_t next) {
  StateRow row;
  row.mode = mode;
  row.handler = handler;
  row.next = next;
  return row;
}

constexpr StateRow First(std::int16_t mode, std::int16_t next, bool unexpectedWording) {
  StateRow row = Handled(mode, E::FirstState, next);
  row.expected = StatusByte;
  row.unexpectedWording = unexpectedWording;
  return row;
}

constexpr StateRow VersionIn(std::int16_t mode, std::int16_t next, bool startupIdle) {
  StateRow row = Handled(mode, E::VersionState, next);
  row.startupIdle = startupIdle;
  return row;
}

constexpr StateRow Builder(std::int16_t mode, E::Handler handler, std::int16_t fullNext, std::int16_t lastNext) {
  StateRow row = Handled(mode, handler, fullNext);
  row.lastNext = lastNext;
  return row;
}

constexpr StateRow ReadBack(std::int16_t mode, E::Handler handler, std::int16_t next, bool lastBlock) {
  StateRow row = InBlock(Handled(mode, handler, next));
  row.lastBlock = lastBlock;
  return row;
}

constexpr StateRow ProgramPath[] = {
    // Handshake.
    First(21, 22, true),
    OrTakes(Takes(22, StartupIdle, 23, NextTick, NoWait), FlashMode, 28, NextTick),
    Takes(23, Version, 24, NextTick, Waits),
    Takes(24, VersionLength, 25, NextTick, Waits),
    VersionIn(25, 90, true),
    Handled(90, E::FlushDelay, 26),
    Takes(26, StatusByte, 27, AtOnce, Waits),
    Takes(27, FlashMode, 28, AtOnce, NoWait),
    Takes(28, Version, 29, AtOnce, Waits),
    Takes(29, VersionLength, 30, AtOnce, Waits),
    VersionIn(30, 41, false),
    // Block programming: 43..47 for a block with more to come, 48..52 for
    // the last one.
    Builder(41, E::ProgramFirstBlock, 43, 48),
    Builder(42, E::ProgramNextBlock, 43, 48),
    InBlock(Takes(43, Accepted, 44, AtOnce, Waits)),
    InBlock(Takes(44, Written, 45, NextTick, Waits, E::RequestReadBack)),
    InBlock(Takes(45, Accepted, 46, AtOnce, Waits)),
    InBlock(Takes(46, BlockFollows, 47, AtOnce, Waits, E::StartReadBack)),
    ReadBack(47, E::ProgramReadBack, 42, false),
    InBlock(Takes(48, Accepted, 49, AtOnce, Waits)),
    InBlock(Takes(49, Written, 50, NextTick, Waits, E::RequestReadBack)),
    InBlock(Takes(50, Accepted, 51, AtOnce, Waits)),
    InBlock(Takes(51, BlockFollows, 52, AtOnce, Waits, E::StartReadBack)),
    ReadBack(52, E::ProgramReadBack, 0, true),
};

constexpr StateRow VerifyHandshake[] = {
    First(61, 62, false),
    OrTakes(Takes(62, StartupIdle, 63, NextTick, NoWait), FlashMode, 68, AtOnce),
    Takes(63, Version, 64, NextTick, Waits),
    Takes(64, VersionLength, 65, NextTick, Waits),
    VersionIn(65, 91, true),
    Handled(91, E::FlushDelay, 66),
    Takes(66, StatusByte, 67, NextTick, Waits),
    Takes(67, FlashMode, 68, NextTick, NoWait),
    Takes(68, Version, 69, NextTick, Waits),
    Takes(69, VersionLength, 70, NextTick, Waits),
    VersionIn(70, 71, false),
};

// Block verification: 73..75 for a block with more to come, 76..78 for the
// last one.
constexpr StateRow VerifyBlocks[] = {
    Builder(71, E::VerifyFirstBlock, 73, 76),
    Builder(72, E::VerifyNextBlock, 73, 76),
    InBlock(Takes(73, Accepted, 74, AtOnce, Waits)),
    InBlock(Takes(74, BlockFollows, 75, AtOnce, Waits, E::StartReadBack)),
    ReadBack(75, E::VerifyReadBack, 72, false),
    InBlock(Takes(76, Accepted, 77, AtOnce, Waits)),
    InBlock(Takes(77, BlockFollows, 78, AtOnce, Waits, E::StartReadBack)),
    ReadBack(78, E::VerifyReadBack, 0, true),
};

// The read path's handshake is the verify path's, forty states on (its flush
// delay is 92): the same bytes, waits and texts, its own time-out codes.
constexpr std::int16_t ReadPathOffset = 40;

constexpr std::int16_t ReadState(std::int16_t verifyState) {
  return verifyState == 91 ? 92 : static_cast<std::int16_t>(verifyState + ReadPathOffset);
}

// The first N rows of `from` under other state numbers: the same bytes,
// waits and texts, every state they name moved by `to`.
template <std::size_t N>
constexpr std::array<StateRow, N> Renumbered(const StateRow* from, std::int16_t (*to)(std::int16_t)) {
  std::array<StateRow, N> rows{};
  for (std::size_t i = 0; i < N; ++i) {
    StateRow row = from[i];
    row.mode = to(row.mode);
    row.next = to(row.next);
    if (row.otherExpected >= 0) row.otherNext = to(row.otherNext);
    rows[i] = row;
  }
  return rows;
}

constexpr auto ReadHandshake = Renumbered<std::size(VerifyHandshake)>(VerifyHandshake, ReadState);

// Reading the FLASH back, block by block.
constexpr StateRow ReadBlocks[] = {
    Handled(111, E::ReadRequest, 112),
    InBlock(Takes(112, Accepted, 113, AtOnce, Waits)),
    InBlock(Takes(113, BlockFollows, 114, AtOnce, Waits, E::StartReadBack)),
    ReadBack(114, E::ReadBlockIn, 111, false),
};

// Skipping unchanged blocks: the program path's handshake a hundred states
// on (its flush delay is 93), then blocks that are read first and written
// only where they differ.
constexpr std::int16_t SkipPathOffset = 100;
constexpr std::size_t ProgramHandshakeRows = 11;  // 21..25, 90, 26..30
static_assert(ProgramPath[ProgramHandshakeRows - 1].mode == 30 && ProgramPath[ProgramHandshakeRows].mode == 41);

constexpr std::int16_t SkipState(std::int16_t programState) {
  return programState == 90 ? 93 : static_cast<std::int16_t>(programState + SkipPathOffset);
}

constexpr auto SkipHandshake = Renumbered<ProgramHandshakeRows>(ProgramPath, SkipState);

constexpr std::int16_t SkipFirst = SkipState(41), SkipNext = SkipState(42);
// A block read first: with more to come, or the last one.
constexpr std::int16_t PreReadMore = 143, PreReadLast = 146;
// A block written: the program path's states 43..47 and 48..52 moved here.
constexpr std::int16_t WriteOffset = 106;
constexpr std::int16_t WriteMore = 43 + WriteOffset, WriteLast = 48 + WriteOffset;

constexpr StateRow SkipBuilder(std::int16_t mode, E::Handler handler) {
  StateRow row = Builder(mode, handler, PreReadMore, PreReadLast);
  row.writeNext = WriteMore;
  row.writeLastNext = WriteLast;
  return row;
}

// The pre-read's 256 bytes: the next block (or the end) when they match,
// else the block is written.
constexpr StateRow PreRead(std::int16_t mode, std::int16_t next, std::int16_t writeNext, bool lastBlock) {
  StateRow row = ReadBack(mode, E::SkipPreRead, next, lastBlock);
  row.writeNext = writeNext;
  return row;
}

constexpr StateRow SkipBlocks[] = {
    SkipBuilder(SkipFirst, E::SkipFirstBlock),
    SkipBuilder(SkipNext, E::SkipNextBlock),
    InBlock(Takes(PreReadMore, Accepted, PreReadMore + 1, AtOnce, Waits)),
    InBlock(Takes(PreReadMore + 1, BlockFollows, PreReadMore + 2, AtOnce, Waits, E::StartReadBack)),
    PreRead(PreReadMore + 2, SkipNext, WriteMore, false),
    InBlock(Takes(PreReadLast, Accepted, PreReadLast + 1, AtOnce, Waits)),
    InBlock(Takes(PreReadLast + 1, BlockFollows, PreReadLast + 2, AtOnce, Waits, E::StartReadBack)),
    PreRead(PreReadLast + 2, 0, WriteLast, true),
};

// Writing and reading back a block: the bytes, waits and texts of 43..52,
// their own time-out codes, and the next block built by the skipping builder.
constexpr auto SkipWrites = [] {
  std::array<StateRow, 10> rows{};
  std::size_t n = 0;
  for (const StateRow& program : ProgramPath) {
    if (program.mode < 43 || program.mode > 52) continue;
    StateRow row = program;
    row.mode = static_cast<std::int16_t>(row.mode + WriteOffset);
    row.next = row.next == 0 ? 0 : row.next == 42 ? SkipNext : static_cast<std::int16_t>(row.next + WriteOffset);
    rows[n++] = row;
  }
  return rows;
}();
static_assert(SkipWrites.back().mode == 52 + WriteOffset && SkipWrites[4].next == SkipNext);

constexpr std::size_t ModeLimit = 160;

template <typename Rows>
constexpr void Enter(std::array<const StateRow*, ModeLimit>& byMode, const Rows& rows) {
  for (const StateRow& row : rows) {
    const auto mode = static_cast<std::size_t>(row.mode);
    if (mode >= ModeLimit || byMode[mode] != nullptr) throw "a state number outside the table or used twice";
    byMode[mode] = &row;
  }
}

// Any other mode but 0 is invalid.
constexpr std::array<const StateRow*, ModeLimit> RowsByMode = [] {
  std::array<const StateRow*, ModeLimit> byMode{};
  Enter(byMode, ProgramPath);
  Enter(byMode, VerifyHandshake);
  Enter(byMode, VerifyBlocks);
  Enter(byMode, ReadHandshake);
  Enter(byMode, ReadBlocks);
  Enter(byMode, SkipHandshake);
  Enter(byMode, SkipBlocks);
  Enter(byMode, SkipWrites);
  return byMode;
}();

std::string TwoDigits(std::int16_t byte) { return (byte < 0x10 ? "0" : "") + Hex(byte); }

}  // namespace

const std::int16_t EngineStates::ProgramEntry = 21;
const std::int16_t EngineStates::VerifyEntry = 61;
const std::int16_t EngineStates::ReadEntry = ReadState(61);
const std::int16_t EngineStates::SkipEntry = SkipState(21);
const std::int16_t EngineStates::ProgramFirstBlockState = 41;
const std::int16_t EngineStates::ProgramNextBlockState = 42;

const StateRow* EngineStates::Find(std::int16_t mode) {
  if (mode <= 0 || static_cast<std::size_t>(mode) >= ModeLimit) return nullptr;
  return RowsByMode[static_cast<std::size_t>(mode)];
}

void EngineStates::Run(Form1& f, std::int16_t mode) {
  if (mode == 0) return;
  if (const StateRow* row = Find(mode)) {
    row->handler(f, *row);
  } else {
    InvalidMode(f, mode);
  }
}

void EngineStates::InvalidMode(Form1& f, std::int16_t mode) {
  f.Debug("Invalid program mode: " + Dec(mode));
  f.AbortSequence();
}

std::string WrongResponseText(const StateRow& row) {
  std::string bytes = TwoDigits(row.expected);
  if (row.otherExpected >= 0) bytes += "/" + TwoDigits(row.otherExpected);
  return (row.unexpectedWording ? "Unexpected byte read from QRB interface [" : "Wrong response from QRB interface [") +
         bytes + "]: $";
}

bool IsBlockState(std::int16_t mode) {
  const StateRow* row = EngineStates::Find(mode);
  return row != nullptr && row->blockInFlight;
}

StateKind KindOfState(std::int16_t mode) {
  const StateRow* row = EngineStates::Find(mode);
  if (row == nullptr) return StateKind::Idle;
  if (row->handler == E::FlushDelay) return StateKind::FlushDelay;
  if (row->lastNext != 0 || row->handler == E::ReadRequest) return StateKind::BuildBlock;
  if (!row->blockInFlight) return StateKind::Handshake;
  // A block's states up to the read-back request take the programming
  // acknowledgement; the rest take the block read back.
  for (; row != nullptr && row->blockInFlight; row = EngineStates::Find(row->next))
    if (row->action == E::RequestReadBack) return StateKind::BlockReply;
  return StateKind::ReadBackReply;
}

}  // namespace qrb
