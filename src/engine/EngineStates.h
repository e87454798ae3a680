// The state handlers of the reflash engine, shared by the sequencer's
// dispatch table and the handshake and block files. Internal to engine/.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

#include "app/Form1.h"
#include "engine/ProgramModes.h"

namespace qrb {

struct StateRow;

struct EngineStates {
  using Handler = void (*)(Form1&, const StateRow& row);

  // The first state of each path, and the program path's block builder
  // (which the pre-flight runs without sending).
  static const std::int16_t ProgramEntry, VerifyEntry, ReadEntry;
  // The program path that reads each block first and skips it when the
  // board already holds it.
  static const std::int16_t SkipEntry;
  static const std::int16_t ProgramFirstBlockState, ProgramNextBlockState;

  // The row of a state, or nullptr outside the state table.
  static const StateRow* Find(std::int16_t mode);
  // Runs the handler of `mode` now (dispatch and chaining at once).
  static void Run(Form1& f, std::int16_t mode);
  static void InvalidMode(Form1& f, std::int16_t mode);

  // Sequencer.
  static void FlushDelay(Form1& f, const StateRow& row);

  // Handshake.
  static void FirstState(Form1& f, const StateRow& row);
  static void VersionState(Form1& f, const StateRow& row);
  // The one-byte wait shared by the handshake and the block states.
  static void ByteState(Form1& f, const StateRow& row);
  static void PostTimeout(Form1& f, std::int16_t mode);

  // Block programming, verification and reading back.
  static void ProgramFirstBlock(Form1& f, const StateRow& row);
  static void ProgramNextBlock(Form1& f, const StateRow& row);
  static void ProgramReadBack(Form1& f, const StateRow& row);
  static void VerifyFirstBlock(Form1& f, const StateRow& row);
  static void VerifyNextBlock(Form1& f, const StateRow& row);
  static void VerifyReadBack(Form1& f, const StateRow& row);
  static void ReadRequest(Form1& f, const StateRow& row);
  static void ReadBlockIn(Form1& f, const StateRow& row);
  // Skipping unchanged blocks.
  static void SkipFirstBlock(Form1& f, const StateRow& row);
  static void SkipNextBlock(Form1& f, const StateRow& row);
  static void SkipPreRead(Form1& f, const StateRow& row);

  // The block builder of both paths; `send` puts the finished block on the
  // link, `fullNext` follows a full block or a hole, `lastNext` the end of
  // the data.
  struct BlockPath {
    void (Form1::*send)();
    std::int16_t fullNext;
    std::int16_t lastNext;
  };
  static void FirstBlock(Form1& f, const BlockPath& path);
  // No block sent yet in this run; the ticks mark blocks without allocating.
  static void ForgetSentBlocks(ReflashSession& s);
  // The builder over the whole file without sending (the pre-flight): true
  // when the run would reach the end of the data after its last block.
  static bool ReadThrough(Form1& f);
  // False when the data had already ended (no block built or sent).
  static bool NextBlock(Form1& f, const BlockPath& path);
  // Action of the states that take 0x37: the block's 256 bytes follow.
  static void StartReadBack(Form1& f);
  // Action of the states that take 0x3A: the block was written; ask for it.
  static void RequestReadBack(Form1& f);
  // What a read-back's 256 bytes are for: compared with BlockData after a
  // write or on verification (and reported), compared before a write
  // (reported by the caller), or stored in BlockData.
  enum class ReadUse { Compare, PreRead, Keep };
  // Algorithm of the read-back: true once all 256 bytes are taken.
  static bool ReadBlockBack(Form1& f, std::int16_t mode, ReadUse use = ReadUse::Compare);
  // The end of a run without mismatches: "  ", then the success lines, or in
  // their place one line when the image was not read cleanly; records the
  // outcome. The caller then ends the run with AbortSequence.
  static void PostSuccess(Form1& f, std::initializer_list<const char*> successLines, const char* uncleanLine);
  // The end of the program path: the error total or the success lines, then
  // AbortSequence.
  static void PostProgramReport(Form1& f);
  // "N blocks written, M unchanged." once at the end of a run that skips
  // unchanged blocks, whichever way it ends.
  static void PostBlockCounts(Form1& f);

 private:
  static void FillLoop(Form1& f, const BlockPath& path);
  static void SendAndWait(Form1& f, const BlockPath& path, std::int16_t next);
  static void NextRecord(Form1& f);
};

// One state of a run: its handler and what the handler works from.
struct StateRow {
  std::int16_t mode = 0;
  EngineStates::Handler handler = nullptr;
  std::int16_t expected = -1;  // the byte the state takes
  std::int16_t next = 0;       // block builders: after a full block or a hole
  bool atOnce = false;         // the next state's handler runs in the same tick
  bool waits = true;           // a missing byte is a time-out only once FailTimer is 0
  void (*action)(Form1&) = nullptr;  // runs when the expected byte arrives
  bool lastBlock = false;      // read-backs: the block was the last one
  std::int16_t otherExpected = -1;   // second accepted byte, with its own move
  std::int16_t otherNext = 0;
  bool otherAtOnce = false;
  std::int16_t lastNext = 0;   // block builders: after the end of the data
  // Skipping unchanged blocks: the state after a block written without a
  // pre-read (builders: full block or hole, and end of the data), or after a
  // pre-read that differed.
  std::int16_t writeNext = 0;
  std::int16_t writeLastNext = 0;
  bool startupIdle = false;    // version states: the board is not yet in FLASH mode
  bool unexpectedWording = false;  // first states: a stray byte is "Unexpected byte read from ..."
  bool blockInFlight = false;  // see IsBlockState
};

// "Wrong response from QRB interface [61]: $": the byte (or bytes) a state
// takes, two hexadecimal digits each.
std::string WrongResponseText(const StateRow& row);

}  // namespace qrb
