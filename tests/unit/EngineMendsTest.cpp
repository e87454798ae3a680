// How runs end when the data ends on a block boundary, and that an image
// that was not read cleanly never ends in the success lines.
#include <gtest/gtest.h>

#include "EngineRig.h"

namespace qrb::test {
namespace {

using Lines = std::vector<std::string>;

const std::string InFlashMode = "QRB interface in FLASH mode.  Version:  $7";
const std::string Aborting = "Aborting.  ProgramMode = 0.";
const std::string BlockVerified = "                           -- Verified.";
const std::string ProgramUnclean = "###  S19 file not read cleanly  ###  QRB interface FLASH not updated.";
const std::string VerifyUnclean = "###  S19 file not read cleanly  ###  QRB interface FLASH not verified.";
const std::string Premature = "S19 file ends inside a record.  Premature end of file.";

class MendsTest : public ::testing::TestWithParam<Link> {
 protected:
  Rig r{GetParam()};

  void Run(bool program, const std::string& s19) {
    r.UseImage(s19);
    program ? r.Program() : r.Verify();
    r.RunToEnd();
  }
};

// Data that fills its last block exactly: the next-block state meets the end
// record and ends the run with the final report; no block is made of it.
TEST_P(MendsTest, DataEndingOnABlockBoundaryEndsWithTheReport) {
  struct Case {
    bool program;
    std::string end;
    std::vector<std::uint32_t> bad;
    Lines status;
    Lines debug;
    RunOutcome outcome;
  };
  const Case cases[] = {
      {true, S9(), {},
       {InFlashMode, "Block  $1000     -- Sent.", BlockVerified, "Block  $1100     -- Sent.", BlockVerified, "  ",
        "***  Success ***.  QRB interface FLASH Updated.", "Exit this program and Re-Boot the QRB interface."},
       {"S9 record detected.", Aborting}, RunOutcome::Succeeded},
      {true, "", {},
       {InFlashMode, "Block  $1000     -- Sent.", BlockVerified, "Block  $1100     -- Sent.", BlockVerified, "  ",
        "***  Success ***.  QRB interface FLASH Updated.", "Exit this program and Re-Boot the QRB interface."},
       {"S19 EOF encountered.", Aborting}, RunOutcome::Succeeded},
      {true, SRecord('5', 2), {0x1101, 0x1102},
       {InFlashMode, "Block  $1000     -- Sent.", BlockVerified, "Block  $1100     -- Sent.", "Verification errors: 2",
        "Verification errors: 2"},
       {"S5 record detected.", Aborting}, RunOutcome::Failed},
      {false, S9(), {},
       {InFlashMode, "Block $1000     -- Verified.", "Block $1100     -- Verified.", "  ",
        "***  Success ***.  QRB interface FLASH Verified."},
       {"S9 record detected.", Aborting}, RunOutcome::Succeeded},
      {false, SRecord('8', 0), {0x10FF, 0x11FF},
       {InFlashMode, "Block $1000     -- Verify errors: 1", "Block $1100     -- Verify errors: 1", "  ",
        "###  Verify Failed  ###     Total errors: 2"},
       {"S8 record detected.  Operation terminated.", Aborting}, RunOutcome::Failed},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.debug[0]);
    Rig rig(GetParam());
    const Bytes image = Pattern(512);
    rig.board.Load(0x1000, image);
    for (const auto a : c.bad) {
      if (c.program) {
        rig.board.stuckCells.insert(a);
      } else {
        rig.board.flash[a] ^= 0xFF;
      }
    }
    rig.UseImage(S19Data(0x1000, image, 32) + c.end);
    c.program ? rig.Program() : rig.Verify();
    rig.RunToEnd();
    EXPECT_EQ(rig.Status(), c.status);
    EXPECT_EQ(rig.Debug(), c.debug);
    EXPECT_EQ(rig.S().Outcome, c.outcome);
    EXPECT_EQ(rig.S().TotalErrors, static_cast<std::int32_t>(c.bad.size()));
    EXPECT_EQ(rig.board.programmedBlocks.size(), c.program ? 2u : 0u);
    EXPECT_EQ(rig.board.readBlocks, (std::vector<std::uint32_t>{0x1000, 0x1100}));
  }
}

// An invalid digit: the same Debug lines and blocks as the Parts give, but
// the success lines are replaced by one line.
TEST_P(MendsTest, AnInvalidDigitInTheDataMeansNoSuccess) {
  for (const bool program : {true, false}) {
    Rig rig(GetParam());
    Bytes image = Pattern(300);
    std::string s19 = S19Data(0x1000, image) + S9();
    s19.replace(8, 2, "ab");  // the first data byte, lower case
    image[0] = 0x00;          // as the reader takes it
    rig.board.Load(0x1000, image);
    rig.UseImage(s19);
    program ? rig.Program() : rig.Verify();
    rig.RunToEnd();
    EXPECT_EQ(rig.Debug(), (Lines{"Nib1 not valid: 61", "Nib0 not valid: 62", "S9 record detected.", Aborting}));
    const Lines expected = program ? Lines{InFlashMode, "Block  $1000     -- Sent.", BlockVerified,
                                           "Block  $1100     -- Sent.", "  ", ProgramUnclean}
                                   : Lines{InFlashMode, "Block $1000     -- Verified.", "Block $1100     -- Verified.",
                                           "  ", VerifyUnclean};
    EXPECT_EQ(rig.Status(), expected);
    EXPECT_EQ(rig.S().Outcome, RunOutcome::Failed);
    EXPECT_EQ(rig.S().TotalErrors, 0);
    EXPECT_EQ(rig.board.readBlocks.size(), 2u);
  }
}

TEST_P(MendsTest, OneCharacterLineEndsMeanNoSuccess) {
  const Bytes image = Pattern(64);
  r.board.Load(0x1000, image);
  std::string lf;
  for (std::size_t i = 0; i < image.size(); i += 16)
    lf += SRecord('1', 0x1000 + static_cast<std::uint32_t>(i), Bytes(image.begin() + static_cast<std::ptrdiff_t>(i),
                                                                      image.begin() + static_cast<std::ptrdiff_t>(i + 16)),
                  "\n");
  Run(true, lf + SRecord('9', 0, {}, "\n"));
  EXPECT_EQ(r.Debug(), (Lines{"Unexpected record found.", Aborting}));
  EXPECT_EQ(r.Status(), (Lines{InFlashMode, "Block  $1000     -- Sent.", "  ", ProgramUnclean}));
  EXPECT_EQ(r.ProgrammedData(0), Joined(Bytes(image.begin(), image.begin() + 16), Bytes(240, 0xFF)));
  EXPECT_EQ(r.S().Outcome, RunOutcome::Failed);
}

// A file cut inside a data pair: the bytes before it are sent, the half byte
// is not, and the run ends without success.
TEST_P(MendsTest, AFileCutInsideARecordEndsTheDataUnclean) {
  for (const bool program : {true, false}) {
    Rig rig(GetParam());
    const Bytes image = Pattern(40);
    rig.board.Load(0x1000, image);
    std::string s19 = S19Data(0x1000, image, 20);
    s19.resize(s19.size() - 2 - 2 - 1);  // line end, checksum and half the last data pair
    rig.UseImage(s19);
    program ? rig.Program() : rig.Verify();
    rig.RunToEnd();
    EXPECT_EQ(rig.Debug(), (Lines{Premature, Aborting}));
    if (program) {
      EXPECT_EQ(rig.Status(), (Lines{InFlashMode, "Block  $1000     -- Sent.", "  ", ProgramUnclean}));
      EXPECT_EQ(rig.ProgrammedData(0), Joined(Bytes(image.begin(), image.begin() + 39), Bytes(217, 0xFF)));
    } else {
      // The board's 40th byte is compared with the fill.
      EXPECT_EQ(rig.Status(), (Lines{InFlashMode, "Block $1000     -- Verify errors: 1", "  ",
                                     "###  Verify Failed  ###     Total errors: 1"}));
    }
    EXPECT_EQ(rig.S().Outcome, RunOutcome::Failed);
  }
}

TEST_P(MendsTest, AFileEndingRightAfterAChecksumIsClean) {
  std::string s19 = S19Data(0x1000, Pattern(40), 20);
  s19.resize(s19.size() - 2);
  Run(true, s19);
  EXPECT_EQ(r.Debug(), (Lines{"S19 EOF encountered.", Aborting}));
  EXPECT_EQ(r.Status().back(), "Exit this program and Re-Boot the QRB interface.");
  EXPECT_EQ(r.S().Outcome, RunOutcome::Succeeded);
}

TEST_P(MendsTest, ARefusedRecordEndsTheDataUnclean) {
  const Bytes image = Pattern(32);
  r.board.Load(0x1000, image);
  Run(false, S19Data(0x1000, image, 16, '3') + SRecord('3', 0x80000000, {1, 2, 3}) + SRecord('7', 0));
  EXPECT_EQ(r.Debug(), (Lines{"S3 record address $80000000 is outside the data range.  Record refused.", Aborting}));
  EXPECT_EQ(r.Status(), (Lines{InFlashMode, "Block $1000     -- Verified.", "  ", VerifyUnclean}));
  EXPECT_EQ(r.S().Outcome, RunOutcome::Failed);
}

// A new run reads the image afresh: a clean file after an unclean one
// succeeds again.
TEST_P(MendsTest, EachRunJudgesItsOwnImage) {
  Run(true, S19Data(0x1000, Pattern(16), 16, '1') + "S1ZZ\r\n");
  EXPECT_EQ(r.S().Outcome, RunOutcome::Failed);
  Run(true, S19Data(0x1000, Pattern(16)) + S9());
  EXPECT_EQ(r.Status().back(), "Exit this program and Re-Boot the QRB interface.");
  EXPECT_EQ(r.S().Outcome, RunOutcome::Succeeded);
}

INSTANTIATE_TEST_SUITE_P(Links, MendsTest, ::testing::Values(Link::Serial, Link::Ethernet), LinkName);

}  // namespace
}  // namespace qrb::test
