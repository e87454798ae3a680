// Fuzz target: arbitrary bytes as the board's replies during program and
// verify runs of a fixed good image. The board's protocol model still takes
// every packet the PC sends (its FLASH is the truth); the input decides, tick
// by tick, whether the PC gets raw bytes of the input or some of the model's
// honest replies.
//
// Input: one byte of options (bit 0: start with a verify run, bit 1: serial
// link instead of Ethernet, bit 2: program runs skip unchanged blocks), then
// a tape of chunks, one per tick:
//   0x00..0x7F  n raw bytes from the tape follow and are delivered;
//   0x80..0xFE  up to (h - 0x7F) * 4 bytes of the honest replies are delivered;
//   0xFF        every honest reply waiting is delivered.
// Runs follow each other, alternating the path, while the tape lasts.
//
// Invariants: every run ends in AbortSequence within a bounded number of
// ticks; the outcome matches the success line; a program run succeeds only
// when it sent every block of the image (or, skipping, every block it did not
// find unchanged, and none it did) and the board holds exactly the image;
// a verify run succeeds only when it read back every block of the image.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "ReferenceImage.h"
#include "Rig.h"

using namespace qrb;
using namespace qrb::test;

namespace {

constexpr int MaxRuns = 4;

// Two full blocks from 0x1000 in records of 32 bytes, a hole, then 40 bytes
// from 0x1300 (a block mostly of 0xFF fill).
const std::string& GoodImageText() {
  static const std::string text = S3Records(0x1000, 0x200, 32) + S3Records(0x1300, 40, 32) + std::string(S7EndRecord);
  return text;
}

// One tick's bytes from the tape at `pos`: raw bytes of the tape or some of
// the board's honest replies.
std::vector<std::uint8_t> NextTick(const std::uint8_t* data, std::size_t size, std::size_t& pos,
                                   std::vector<std::uint8_t>& honest) {
  if (pos >= size) return {};
  const std::uint8_t h = data[pos++];
  if (h < 0x80) {
    const std::size_t n = std::min<std::size_t>(h, size - pos);
    pos += n;
    return std::vector<std::uint8_t>(data + pos - n, data + pos);
  }
  const std::size_t n = h == 0xFF ? honest.size() : std::min<std::size_t>((h - 0x7Fu) * 4, honest.size());
  std::vector<std::uint8_t> bytes(honest.begin(), honest.begin() + static_cast<long>(n));
  honest.erase(honest.begin(), honest.begin() + static_cast<long>(n));
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  static const ReferenceImage image = ReadReferenceImage(GoodImageText());
  static const std::string path = WriteTempFile(GoodImageText());
  std::set<std::uint32_t> addresses;
  for (const auto& entry : image.Blocks) addresses.insert(entry.first);
  const bool verifyFirst = (data[0] & 1) != 0;
  std::size_t pos = 1;

  // Always in FLASH mode, so that it stores whatever blocks it is sent even
  // when the input claims a board at start-up idle. A verify run finds the
  // image there.
  BoardRig run((data[0] & 2) != 0 ? Link::Serial : Link::Ethernet);
  if (verifyFirst)
    for (const auto& [address, block] : image.Blocks) run.board.Load(address, Bytes(block.begin(), block.end()));
  run.board.wire = [&](std::vector<std::uint8_t>& honest) { return NextTick(data, size, pos, honest); };
  run.form1.SkipUnchanged = (data[0] & 4) != 0;
  run.UseFile(path);

  bool program = !verifyFirst;
  for (int i = 0; i < MaxRuns && (i == 0 || pos < size); ++i, program = !program) {
    // Each tick takes at least one byte of the tape while it lasts; after it
    // the run stands at most a flush delay and two time-outs.
    if (!run.RunEnded(program, static_cast<int>(size - pos) + 400)) continue;
    const std::set<std::uint32_t> written = run.RunBlocks(0x3A);
    if (program) {
      std::set<std::uint32_t> covered = run.Unchanged();
      run.Require(std::none_of(covered.begin(), covered.end(), [&](std::uint32_t a) { return written.count(a) != 0; }),
                  "no block found unchanged was written");
      covered.insert(written.begin(), written.end());
      run.Require(covered == addresses, "a successful program run sent every block it did not find unchanged");
      run.Require(HoldsImage(run.board.Flash(), image.Blocks, true),
                  "after a successful program run the board holds exactly the image");
    }
    run.Require(run.RunBlocks(0x37) == addresses, "a successful run read back every block");
  }
  return 0;
}
