// Fuzz target: arbitrary bytes as the board's replies during program and
// verify runs of a fixed good image. The board's protocol model still takes
// every packet the PC sends (its FLASH is the truth); the input decides, tick
// by tick, whether the PC gets raw bytes of the input or some of the model's
// honest replies.
//
// Input: one byte of options (bit 0: start with a verify run, bit 1: serial
// link instead of Ethernet), then a tape of chunks, one per tick:
//   0x00..0x7F  n raw bytes from the tape follow and are delivered;
//   0x80..0xFE  up to (h - 0x7F) * 4 bytes of the honest replies are delivered;
//   0xFF        every honest reply waiting is delivered.
// Runs follow each other, alternating the path, while the tape lasts.
//
// Invariants: every run ends in AbortSequence within a bounded number of
// ticks; the outcome matches the success line; a program run succeeds only
// when it sent every block of the image and the board holds exactly the image;
// a verify run succeeds only when it read back every block of the image.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "InProcessRun.h"
#include "ReferenceImage.h"

using namespace qrb;
using namespace qrb::fuzz;

namespace {

constexpr int MaxRuns = 4;

// Two full blocks from 0x1000 in records of 32 bytes, a hole, then 40 bytes
// from 0x1300 (a block mostly of 0xFF fill).
std::string GoodImage() {
  return S3Records(0x1000, 0x200, 32) + S3Records(0x1300, 40, 32) + std::string(S7EndRecord);
}

struct Image {
  Image() : text(GoodImage()), expected(ReadReferenceImage(text)) {
    WriteFile(ScratchFile(), text);
    for (const auto& entry : expected.Blocks) addresses.insert(entry.first);
  }
  std::string text;
  ReferenceImage expected;
  std::set<std::uint32_t> addresses;
};

class Tape {
 public:
  Tape(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool Empty() const { return pos_ >= size_; }
  std::size_t Left() const { return size_ - pos_; }

  std::vector<std::uint8_t> NextTick(std::vector<std::uint8_t>& honest) {
    if (Empty()) return {};
    const std::uint8_t h = data_[pos_++];
    std::size_t n = 0;
    if (h < 0x80) {
      n = std::min<std::size_t>(h, Left());
      std::vector<std::uint8_t> raw(data_ + pos_, data_ + pos_ + n);
      pos_ += n;
      return raw;
    }
    n = h == 0xFF ? honest.size() : std::min<std::size_t>(static_cast<std::size_t>(h - 0x7F) * 4, honest.size());
    std::vector<std::uint8_t> bytes(honest.begin(), honest.begin() + static_cast<long>(n));
    honest.erase(honest.begin(), honest.begin() + static_cast<long>(n));
    return bytes;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const Image image;
  if (size < 1) return 0;
  const bool verifyFirst = (data[0] & 1) != 0;
  const Link link = (data[0] & 2) != 0 ? Link::Serial : Link::Ethernet;
  Tape tape(data + 1, size - 1);

  // Always in FLASH mode, so that it stores whatever blocks it is sent even
  // when the input claims a board at start-up idle. A verify run finds the
  // image there.
  sim::BoardModel board(sim::BoardMode::Flash);
  if (verifyFirst)
    for (const auto& [address, block] : image.expected.Blocks) board.Write(address, block);
  InProcessRun run(link, board);
  run.SelectFile(ScratchFile().string());

  bool program = !verifyFirst;
  for (int i = 0; i < MaxRuns && (i == 0 || !tape.Empty()); ++i, program = !program) {
    // Each tick takes at least one byte of the tape while it lasts; after it
    // the run stands at most a flush delay and two time-outs.
    const int bound = static_cast<int>(tape.Left()) + 400;
    const int ticks = run.Run(program, bound, [&tape](std::vector<std::uint8_t>& honest) {
      return tape.NextTick(honest);
    });
    Require(ticks >= 0, "the run ended within its bound of ticks", run);
    Require(run.EndedInAbortSequence(), "the run ended through AbortSequence", run);
    const bool succeeded = run.Succeeded();
    Require(succeeded == run.SuccessLinePosted(program), "the outcome matches the success line", run);
    if (!succeeded) continue;
    if (program) {
      Require(run.Programmed() == image.addresses, "a successful program run sent every block", run);
      Require(HoldsImage(board.Blocks(), image.expected.Blocks, true),
              "after a successful program run the board holds exactly the image", run);
    }
    Require(run.ReadBack() == image.addresses, "a successful run read back every block", run);
  }
  return 0;
}
