// How runs end when the data ends on a block boundary, and that an image
// that changes on disk during a run never ends in the success lines.
#include <gtest/gtest.h>

#include "EngineRig.h"

namespace qrb::test {
namespace {

const std::string ProgramPartly = "###  S19 file not read cleanly  ###  QRB interface FLASH partly written.";
const std::string VerifyUnclean = "###  S19 file not read cleanly  ###  QRB interface FLASH not verified.";
const std::string VerifyFailed = "###  Verify Failed  ###     Total errors: ";

class MendsTest : public ::testing::TestWithParam<Link> {};

TEST_P(MendsTest, Runs) {
  const Bytes p = Pattern(512);
  const std::string full = S19Data(0x1000, p, 32);
  const Lines s9{"S9 record detected.", Aborting};
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
      {"blocks out of order", true, S19Data(0x1100, Slice(p, 256, 512)) + S19Data(0x1000, Slice(p, 0, 256)) + S9(),
       Concat({{InFlashMode, Sent1100, BlockVerified, Sent1000, BlockVerified}, ProgramSuccess}), s9, true},
  };
  for (const auto& c : cases) CheckRun(GetParam(), c);
}

// The file the pre-flight passed is damaged on disk while the run reads it:
// the end line says what became of the FLASH, never a success.
TEST_P(MendsTest, FileDamagedDuringTheRun) {
  const Bytes p = Pattern(40 * 256);
  const std::string clean = S19Data(0x1000, p) + S9();
  std::string damaged = clean;
  // Record 592 of 640 (44 characters each) in lower case: the data end with
  // block $3500, every block before it as the board holds it.
  damaged[592 * 44] = 's';
  for (const bool program : {true, false}) {
    SCOPED_TRACE(program);
    Rig r(GetParam());
    r.board.Load(0x1000, p);
    r.UseImage(clean);
    r.Start(program);
    ASSERT_NE(r.S().ProgramMode, 0);
    std::ofstream(r.S().SourceFilePath, std::ios::binary | std::ios::trunc) << damaged;
    r.RunToEnd();
    EXPECT_EQ(r.S().Outcome, RunOutcome::Failed);
    EXPECT_EQ(r.Status().back(), program ? ProgramPartly : VerifyUnclean);
    EXPECT_EQ(r.Debug().front(), "Unexpected record found.");
  }
}

INSTANTIATE_TEST_SUITE_P(Links, MendsTest, ::testing::Values(Link::Serial, Link::Ethernet), LinkName);

}  // namespace
}  // namespace qrb::test
