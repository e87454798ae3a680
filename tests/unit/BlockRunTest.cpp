// Whole programming and verification runs: block building, mismatches, data
// ending on a block boundary, and an image damaged on disk during the run.
#include <gtest/gtest.h>

#include "EngineRig.h"

namespace qrb::test {
namespace {

const std::string VerifyFailed = "###  Verify Failed  ###     Total errors: ";
const std::string ProgramPartly = "###  S19 file not read cleanly  ###  QRB interface FLASH partly written.";
const std::string VerifyUnclean = "###  S19 file not read cleanly  ###  QRB interface FLASH not verified.";

QRB_SUITE_ON_BOTH_LINKS(BlockRunTest);

// Program: 3 handshake ticks, then 3 per block. Verify: 4, then 2.
TEST_P(BlockRunTest, Runs) {
  const std::string image = S19Data(0x1000, Pattern(300)) + S9();
  const Bytes p = Pattern(512);
  const std::string full512 = S19Data(0x1000, p, 32);
  const Lines s9{"S9 record detected.", Aborting};
  const RunCase cases[] = {
      {"program", true, image, Concat({{InFlashMode, Sent1000, BlockVerified, Sent1100}, ProgramSuccess}), s9, true,
       0, {}, 3 + 2 * 3},
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
      // On a boundary the next-block state meets the end: one tick more.
      {"boundary, end of file", true, full512,
       Concat({{InFlashMode, Sent1000, BlockVerified, Sent1100, BlockVerified}, ProgramSuccess}),
       {"S19 EOF encountered.", Aborting}, true, 0, {}, 3 + 2 * 3 + 1},
      {"boundary, S9", false, full512 + S9(), Concat({{InFlashMode, Verified1000, Verified1100}, VerifySuccess}), s9,
       true, 512, {}, 4 + 2 * 2 + 1},
      {"boundary, S5, mismatches", true, full512 + SRecord('5', 2),
       {InFlashMode, Sent1000, BlockVerified, Sent1100, "Verification errors: 2", "Verification errors: 2"},
       {"S5 record detected.", Aborting}, false, 0, {0x1101, 0x1102}},
      {"boundary, S8, mismatches", false, full512 + SRecord('8', 0),
       {InFlashMode, "Block $1000     -- Verify errors: 1", "Block $1100     -- Verify errors: 1", "  ",
        VerifyFailed + "2"},
       {"S8 record detected.  Operation terminated.", Aborting}, false, 512, {0x10FF, 0x11FF}},
  };
  for (const auto& c : cases) CheckRun(GetParam(), c);
}

// An empty data record inside a block adds nothing to it; the rest of the
// last block is 0xFF. (Record lengths, holes and S2/S3 against srec_cat's
// reading of the image: e2e production.sh and corpus.sh.)
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

// The file the pre-flight passed is damaged on disk while the run reads it:
// the end line says what became of the FLASH, never a success. A run that
// skips unchanged blocks tells it by the blocks written, not those built.
TEST_P(BlockRunTest, FileDamagedDuringTheRun) {
  const Bytes p = Pattern(40 * 256);
  const std::string clean = S19Data(0x1000, p) + S9();
  std::string damaged = clean;
  // Record 592 of 640 (44 characters each) in lower case: the data end with
  // block $3500, every block before it as the board holds it.
  damaged[592 * 44] = 's';
  const struct {
    bool program, skip, boardHoldsIt;
    std::string end;
  } cases[] = {{true, false, true, ProgramPartly},
               {false, false, true, VerifyUnclean},
               {true, true, true, "###  S19 file not read cleanly  ###  QRB interface FLASH not updated."},
               {true, true, false, ProgramPartly}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.end);
    Rig r(GetParam());
    r.form1.SkipUnchanged = c.skip;
    if (c.boardHoldsIt) r.board.Load(0x1000, p);
    r.UseImage(clean);
    r.Start(c.program);
    ASSERT_NE(r.S().ProgramMode, 0);
    std::ofstream(r.S().SourceFilePath, std::ios::binary | std::ios::trunc) << damaged;
    r.RunToEnd();
    EXPECT_EQ(r.S().Outcome, RunOutcome::Failed);
    EXPECT_EQ(r.Status().back(), c.end);
    if (c.skip) {
      EXPECT_EQ(r.Status().end()[-3], c.boardHoldsIt ? "0 blocks written, 37 unchanged." : "37 blocks written, 0 unchanged.");
    }
    EXPECT_EQ(r.Debug().front(), "Unexpected record found.");
  }
}

}  // namespace
}  // namespace qrb::test
