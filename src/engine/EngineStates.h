// The state handlers of the reflash engine, shared by the sequencer's
// dispatch table and the handshake and block files. Internal to engine/.
#pragma once

#include <cstdint>
#include <initializer_list>

#include "app/Form1.h"

namespace qrb {

// A state that takes one expected byte (or one of two) from the board.
struct ByteWait {
  std::int16_t mode;
  std::int16_t expected;
  std::int16_t next;
  bool atOnce;  // the next state's handler runs in the same tick
  bool waits;   // a missing byte is a time-out only once FailTimer is 0
  const char* wrongText;
  void (*action)(Form1&) = nullptr;  // runs when the expected byte arrives
  std::int16_t otherExpected = -1;   // second accepted byte, with its own move
  std::int16_t otherNext = 0;
  bool otherAtOnce = false;
};

struct EngineStates {
  using Handler = void (*)(Form1&, std::int16_t mode);

  // The handler of a state, or nullptr outside the state table.
  static Handler Find(std::int16_t mode);
  // Runs the handler of `mode` now (dispatch and chaining at once).
  static void Run(Form1& f, std::int16_t mode);
  static void InvalidMode(Form1& f, std::int16_t mode);

  // Sequencer.
  static void FlushDelay(Form1& f, std::int16_t mode);

  // Handshake.
  static void FirstState(Form1& f, std::int16_t mode);
  static void HandshakeByte(Form1& f, std::int16_t mode);
  static void VersionState(Form1& f, std::int16_t mode);
  // The one-byte wait shared by the handshake and the block states.
  static void RunByteWait(Form1& f, const ByteWait* row, std::int16_t mode);
  static void PostTimeout(Form1& f, std::int16_t mode);

  // Block programming and verification.
  static void ProgramFirstBlock(Form1& f, std::int16_t mode);
  static void ProgramNextBlock(Form1& f, std::int16_t mode);
  static void ProgramByte(Form1& f, std::int16_t mode);
  static void ProgramReadBack(Form1& f, std::int16_t mode);
  static void VerifyFirstBlock(Form1& f, std::int16_t mode);
  static void VerifyNextBlock(Form1& f, std::int16_t mode);
  static void VerifyByte(Form1& f, std::int16_t mode);
  static void VerifyReadBack(Form1& f, std::int16_t mode);

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
  // Algorithm of the read-back: true once all 256 bytes are compared.
  static bool ReadBlockBack(Form1& f, std::int16_t mode);
  // The end of a run without mismatches: "  ", then the success lines, or in
  // their place one line when the image was not read cleanly; records the
  // outcome. The caller then ends the run with AbortSequence.
  static void PostSuccess(Form1& f, std::initializer_list<const char*> successLines, const char* uncleanLine);

 private:
  static void FillLoop(Form1& f, const BlockPath& path);
  static void SendAndWait(Form1& f, const BlockPath& path, std::int16_t next);
  static void NextRecord(Form1& f);
};

template <std::size_t N>
const ByteWait* FindRow(const ByteWait (&rows)[N], std::int16_t mode) {
  for (const ByteWait& row : rows)
    if (row.mode == mode) return &row;
  return nullptr;
}

}  // namespace qrb
