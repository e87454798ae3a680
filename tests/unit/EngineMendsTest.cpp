// How runs end when the data ends on a block boundary, that an image not read
// cleanly never ends in the success lines, and that no record may lead back
// into a block already sent.
#include <gtest/gtest.h>

#include "EngineRig.h"

namespace qrb::test {
namespace {

const std::string ProgramUnclean = "###  S19 file not read cleanly  ###  QRB interface FLASH not updated.";
const std::string VerifyUnclean = "###  S19 file not read cleanly  ###  QRB interface FLASH not verified.";
const std::string Premature = "S19 file ends inside a record.  Premature end of file.";
const std::string AlreadySent = "Block  $1000 already sent in this run.  Record refused.";
const std::string VerifyFailed = "###  Verify Failed  ###     Total errors: ";

class MendsTest : public ::testing::TestWithParam<Link> {};

TEST_P(MendsTest, Runs) {
  const Bytes p = Pattern(512);
  const std::string full = S19Data(0x1000, p, 32);
  std::string digit = S19Data(0x1000, Slice(p, 0, 300)) + S9();
  digit.replace(8, 2, "ab");  // the first data byte, 00, in lower case: read as 00
  std::string cut = S19Data(0x1000, Slice(p, 0, 40), 20);
  cut.resize(cut.size() - 2 - 2 - 1);  // line end, checksum and half the last data pair
  const std::string lf = SRecord('1', 0x1000, Slice(p, 0, 16), "\n") + SRecord('1', 0x1010, Slice(p, 16, 32), "\n") +
                         SRecord('9', 0, {}, "\n");
  const Lines s9{"S9 record detected.", Aborting}, nibbles{"Nib1 not valid: 61", "Nib0 not valid: 62"};
  const RunCase cases[] = {
      // The next-block state meets the end and gives the final report; no
      // block is made of the end record. One tick more than a short block.
      {"boundary, end of file", true, full,
       Concat({{InFlashMode, Sent1000, BlockVerified, Sent1100, BlockVerified}, ProgramSuccess}),
       {"S19 EOF encountered.", Aborting}, true, 0, {}, 3 + 2 * 3 + 1},
      {"boundary, S9", false, full + S9(), Concat({{InFlashMode, Verified1000, Verified1100}, VerifySuccess}), s9, true,
       512, {}, 4 + 2 * 2 + 1},
      {"boundary, S5, mismatches", true, full + SRecord('5', 2),
       {InFlashMode, Sent1000, BlockVerified, Sent1100, "Verification errors: 2", "Verification errors: 2"},
       {"S5 record detected.", Aborting}, false, 0, {0x1101, 0x1102}},
      {"boundary, S8, mismatches", false, full + SRecord('8', 0),
       {InFlashMode, "Block $1000     -- Verify errors: 1", "Block $1100     -- Verify errors: 1", "  ",
        VerifyFailed + "2"},
       {"S8 record detected.  Operation terminated.", Aborting}, false, 512, {0x10FF, 0x11FF}},
      {"invalid digit", true, digit, {InFlashMode, Sent1000, BlockVerified, Sent1100, "  ", ProgramUnclean},
       Concat({nibbles, s9})},
      {"invalid digit", false, digit, {InFlashMode, Verified1000, Verified1100, "  ", VerifyUnclean},
       Concat({nibbles, s9}), false, 300},
      {"one-character line ends", true, lf, {InFlashMode, Sent1000, "  ", ProgramUnclean},
       {"Unexpected record found.", Aborting}},
      // The half byte is not taken: the board's 40th byte meets the fill.
      {"cut inside a record", true, cut, {InFlashMode, Sent1000, "  ", ProgramUnclean}, {Premature, Aborting}},
      {"cut inside a record", false, cut,
       {InFlashMode, "Block $1000     -- Verify errors: 1", "  ", VerifyFailed + "1"}, {Premature, Aborting}, false,
       40},
      {"refused record", false,
       S19Data(0x1000, Slice(p, 0, 32), 16, '3') + SRecord('3', 0x80000000, {1}) + SRecord('7', 0),
       {InFlashMode, Verified1000, "  ", VerifyUnclean},
       {"S3 record address $80000000 is outside the data range.  Record refused.", Aborting}, false, 32},
      // Its block would be written again, with 0xFF over the first one's data.
      {"back into the block just sent", true,
       S19Data(0x1000, Slice(p, 0, 240)) + S19Data(0x1000, Slice(p, 240, 256)) + S9(),
       {InFlashMode, Sent1000, BlockVerified, AlreadySent}, {Aborting}},
      {"back into an earlier block", false, S19Data(0x1000, p) + S19Data(0x1000, Slice(p, 0, 16)) + S9(),
       {InFlashMode, Verified1000, Verified1100, AlreadySent}, {Aborting}, false, 512},
      {"blocks out of order", true, S19Data(0x1100, Slice(p, 256, 512)) + S19Data(0x1000, Slice(p, 0, 256)) + S9(),
       Concat({{InFlashMode, Sent1100, BlockVerified, Sent1000, BlockVerified}, ProgramSuccess}), s9, true},
  };
  for (const auto& c : cases) CheckRun(GetParam(), c);
}

// A new run reads the image afresh: a clean file after an unclean one, with
// the same block, succeeds again.
TEST_P(MendsTest, EachRunJudgesItsOwnImage) {
  Rig r(GetParam());
  r.Run(true, S19Data(0x1000, Pattern(16)) + "S1ZZ\r\n");
  EXPECT_EQ(r.S().Outcome, RunOutcome::Failed);
  r.Run(true, S19Data(0x1000, Pattern(16)) + S9());
  EXPECT_EQ(r.S().Outcome, RunOutcome::Succeeded);
}

INSTANTIATE_TEST_SUITE_P(Links, MendsTest, ::testing::Values(Link::Serial, Link::Ethernet), LinkName);

}  // namespace
}  // namespace qrb::test
