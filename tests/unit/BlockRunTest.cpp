// Whole programming and verification runs against a fake board on both
// links: the worked examples, block building and mismatches. (A file that
// would stop a run before its last block never starts one: PreflightTest.)
#include <gtest/gtest.h>

#include "EngineRig.h"

namespace qrb::test {
namespace {

const std::string VerifyFailed = "###  Verify Failed  ###     Total errors: ";

class BlockRunTest : public ::testing::TestWithParam<Link> {};

// Program: 3 handshake ticks, then 3 per block. Verify: 4, then 2.
TEST_P(BlockRunTest, Runs) {
  const std::string image = S19Data(0x1000, Pattern(300)) + S9();
  const Lines s9{"S9 record detected.", Aborting};
  const RunCase cases[] = {
      {"program", true, image, Concat({{InFlashMode, Sent1000, BlockVerified, Sent1100}, ProgramSuccess}), s9, true,
       0, {}, 3 + 2 * 3},
      {"verify", false, image, Concat({{InFlashMode, Verified1000, Verified1100}, VerifySuccess}), s9, true, 300, {},
       4 + 2 * 2},
      // Per block, then the total after the last block.
      {"program mismatches", true, image,
       {InFlashMode, Sent1000, "Verification errors: 2", Sent1100, "Verification errors: 3"}, s9, false, 0,
       {0x1000, 0x1001, 0x1100}},
      // A failed verify leaves out a clean last block.
      {"verify mismatches in the first block", false, image,
       {InFlashMode, "Block $1000     -- Verify errors: 2", "  ", VerifyFailed + "2"}, s9, false, 300,
       {0x1000, 0x10FF}},
      // The fill of the last block is compared as 0xFF.
      {"verify mismatches in both blocks", false, image,
       {InFlashMode, "Block $1000     -- Verify errors: 1", "Block $1100     -- Verify errors: 1", "  ",
        VerifyFailed + "2"},
       s9, false, 300, {0x1001, 0x11C8}},
  };
  for (const auto& c : cases) CheckRun(GetParam(), c);
}

// Blocks follow the data byte for byte, whatever the record lengths; the
// rest of a last block is 0xFF.
TEST_P(BlockRunTest, BlocksDoNotDependOnRecordBoundaries) {
  struct Case {
    std::string name;
    std::string s19;
    std::vector<std::pair<std::uint32_t, Bytes>> blocks;  // address, data of each
  };
  auto blockOf = [](const Bytes& image, std::size_t offset) {
    Bytes out(256, 0xFF);
    const auto end = std::min(image.size(), offset + 256);
    std::copy(image.begin() + static_cast<std::ptrdiff_t>(offset), image.begin() + static_cast<std::ptrdiff_t>(end),
              out.begin());
    return out;
  };
  const Bytes a = Pattern(300, 1), b = Pattern(272, 2), c = Pattern(80, 3), d = Pattern(16, 4);
  const Case cases[] = {
      {"last block filled", S19Data(0x1000, a) + S9(), {{0x1000, blockOf(a, 0)}, {0x1100, blockOf(a, 256)}}},
      {"record across a block", S19Data(0x3000, Slice(b, 0, 240)) + S19Data(0x30F0, Slice(b, 240, 272), 32) + S9(),
       {{0x3000, blockOf(b, 0)}, {0x3100, blockOf(b, 256)}}},
      {"hole to a block start", S19Data(0x4000, Slice(c, 0, 64)) + S19Data(0x5000, d) + S9(),
       {{0x4000, blockOf(Slice(c, 0, 64), 0)}, {0x5000, blockOf(d, 0)}}},
      {"S2 records", S19Data(0x012300, a, 20, '2') + S9(), {{0x012300, blockOf(a, 0)}, {0x012400, blockOf(a, 256)}}},
      {"S3 records", S19Data(0x7FFFFD00, a, 40, '3') + SRecord('7', 0),
       {{0x7FFFFD00, blockOf(a, 0)}, {0x7FFFFE00, blockOf(a, 256)}}},
      {"empty record inside",
       S19Data(0x6000, Slice(c, 0, 64)) + SRecord('1', 0x6040) + S19Data(0x6040, Slice(c, 64, 80)) + S9(),
       {{0x6000, blockOf(c, 0)}}},
  };
  for (const auto& cs : cases) {
    SCOPED_TRACE(cs.name);
    Rig r(GetParam());
    r.Run(true, cs.s19);
    std::vector<Bytes> expected;
    for (const auto& [address, data] : cs.blocks) {
      const auto byte = [a = address](int shift) { return static_cast<std::uint8_t>(a >> shift); };
      expected.push_back({0x57, 0x3A, byte(24), byte(16), byte(8), byte(0), 0x01, 0x00});
      expected.back().insert(expected.back().end(), data.begin(), data.end());
    }
    EXPECT_EQ(r.BlockPackets(0x3A), expected);
    EXPECT_EQ(r.board.readBlocks.size(), expected.size());  // each read back
    EXPECT_EQ(r.S().Outcome, RunOutcome::Succeeded);
  }
}

INSTANTIATE_TEST_SUITE_P(Links, BlockRunTest, ::testing::Values(Link::Serial, Link::Ethernet), LinkName);

}  // namespace
}  // namespace qrb::test
