// Fuzz target: arbitrary bytes as the S19 file of a program run and then a
// verify run against an honest board over the Ethernet link.
//
// Invariants: the pre-flight's verdict (what `check` reports) is the program
// run's outcome on an honest board; a start the pre-flight refuses sends not
// one packet; every run that starts ends in AbortSequence within a bounded
// number of ticks; the outcome matches the success line; a run succeeds only
// when the file reads cleanly and the board holds exactly what the file says
// (0xFF fill included); an image that was programmed verifies; a board that
// differs in one byte does not verify.
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string_view>

#include "ReferenceImage.h"
#include "Rig.h"

using namespace qrb;
using namespace qrb::test;

namespace {

constexpr std::size_t MaxFileSize = 1 << 16;

// A block costs three ticks with an honest board, and a block needs at least
// one data byte (two characters); the rest covers the handshake, its flush
// delay and one full time-out.
int TickBound(std::size_t fileSize) { return 300 + 3 * static_cast<int>(fileSize / 2 + 1); }

bool RunChecked(BoardRig& run, bool program, int bound, const ReferenceImage& expected) {
  if (!run.form1.Preflight().Passes) {
    run.Start(program);
    run.Require(run.RunPackets() == 0, "a start the pre-flight refuses sends nothing");
    run.Require(run.S().Outcome == RunOutcome::None && run.S().ProgramMode == 0, "a refused start is no run");
    return false;
  }
  const bool succeeded = run.RunEnded(program, bound);
  if (succeeded) {
    run.Require(run.S().ImageReadClean, "a successful run read the file cleanly");
    run.Require(expected.Clean, "a successful run has a file that reads cleanly");
    run.Require(HoldsImage(run.board.Flash(), expected.Blocks, program),
                "after a successful run the board holds what the file says");
  }
  return succeeded;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > MaxFileSize) return 0;
  const std::string_view file(reinterpret_cast<const char*>(data), size);
  const std::string path = WriteTempFile(file, "fuzz.s19");
  const ReferenceImage expected = ReadReferenceImage(file);
  const int bound = TickBound(size);

  BoardRig run(Link::Ethernet);
  run.board.flashMode = false;  // start-up idle, FLASH never written
  run.UseFile(path);

  const bool passes = run.form1.Preflight().Passes;
  const bool programmed = RunChecked(run, true, bound, expected);
  run.Require(programmed == passes, "the pre-flight's verdict is the program run's outcome on an honest board");
  const bool verified = RunChecked(run, false, bound, expected);
  if (programmed) run.Require(verified, "an image just programmed verifies on an honest board");

  if (verified && !expected.Blocks.empty()) {
    auto block = expected.Blocks.begin();
    std::advance(block, static_cast<long>(size % expected.Blocks.size()));
    const std::uint32_t address = block->first + static_cast<std::uint32_t>(size * 7 % sim::FlashBlockSize);
    run.board.Load(address, {static_cast<std::uint8_t>(~run.board.Read(address))});
    RunChecked(run, false, bound, expected);
    run.Require(run.S().Outcome != RunOutcome::Succeeded, "a board that differs from the file in one byte does not verify");
  }
  return 0;
}
