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

// An empty data record inside a block adds nothing to it; the rest of the
// last block is 0xFF. (Record lengths, holes and S2/S3 against srec_cat's
// reading of the image: e2e program_verify.sh and corpus.sh.)
TEST_P(BlockRunTest, AnEmptyRecordInsideABlockAddsNothing) {
  const Bytes c = Pattern(80, 3);
  Rig r(GetParam());
  r.Run(true, S19Data(0x6000, Slice(c, 0, 64)) + SRecord('1', 0x6040) + S19Data(0x6040, Slice(c, 64, 80)) + S9());
  Bytes block{0x57, 0x3A, 0x00, 0x00, 0x60, 0x00, 0x01, 0x00};
  block.insert(block.end(), c.begin(), c.end());
  block.resize(8 + 256, 0xFF);
  EXPECT_EQ(r.BlockPackets(0x3A), std::vector<Bytes>{block});
  EXPECT_EQ(r.S().Outcome, RunOutcome::Succeeded);
}

INSTANTIATE_TEST_SUITE_P(Links, BlockRunTest, ::testing::Values(Link::Serial, Link::Ethernet), LinkName);

}  // namespace
}  // namespace qrb::test
