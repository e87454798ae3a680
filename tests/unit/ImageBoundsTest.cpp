// Images that would make a run overwrite its own blocks or leave the data
// model: refused before anything wrong reaches the board, on both paths.
#include <gtest/gtest.h>

#include "EngineRig.h"

namespace qrb::test {
namespace {

struct Case {
  const char* name;
  std::string s19;
  std::vector<std::uint32_t> blocksSent;  // program path
  std::string statusLine;                 // the refusal on the Status list, if any
  std::string debugLine;                  // the refusal on the Debug list, if any
};

std::vector<Case> Cases() {
  const Bytes data = Pattern(256);
  const Bytes head(data.begin(), data.begin() + 240), tail(data.begin() + 240, data.end());
  return {
      // 240 bytes, then a record back at 0x1000: its block would be written
      // again with 0xFF over the 224 bytes of the first.
      {"BackIntoASentBlock", S19Data(0x1000, head) + S19Data(0x1000, tail) + S19Data(0x1100, data) + S9(),
       {0x1000}, "Block  $1000 already sent in this run.  Record refused.", ""},
      {"BackIntoAnEarlierBlock", S19Data(0x1000, data) + S19Data(0x3000, data) + S19Data(0x1000, data) + S9(),
       {0x1000, 0x3000}, "Block  $1000 already sent in this run.  Record refused.", ""},
      // An S3 record that starts inside the data model and runs past its end.
      {"RunningPast7FFFFFFF", S19Data(0x7FFFFFF0, Pattern(32), 32, '3') + S9(), {}, "",
       "S3 record address $7FFFFFF0 is outside the data range.  Record refused."},
  };
}

class ImageBoundsTest : public ::testing::TestWithParam<Link> {};

TEST_P(ImageBoundsTest, RefusedWithoutSuccess) {
  for (const bool program : {true, false}) {
    for (const Case& c : Cases()) {
      SCOPED_TRACE(std::string(c.name) + (program ? " program" : " verify"));
      Rig r(GetParam());
      r.UseImage(c.s19);
      program ? r.Program() : r.Verify();
      r.RunToEnd();
      EXPECT_EQ(r.S().Outcome, RunOutcome::Failed);
      if (!c.statusLine.empty()) {
        EXPECT_EQ(r.Status().back(), c.statusLine);
      }
      if (!c.debugLine.empty()) {
        EXPECT_NE(std::find(r.Debug().begin(), r.Debug().end(), c.debugLine), r.Debug().end());
      }
      EXPECT_EQ(r.Debug().back(), "Aborting.  ProgramMode = 0.");
      if (program) {
        EXPECT_EQ(r.board.programmedBlocks, c.blocksSent);
      } else {
        EXPECT_EQ(r.board.readBlocks, c.blocksSent);
      }
    }
  }
}

// Aligned blocks in any order, each written once, still program and verify.
TEST_P(ImageBoundsTest, BlocksInAnyOrderEachWrittenOnceSucceed) {
  for (const bool program : {true, false}) {
    Rig r(GetParam());
    const Bytes data = Pattern(64);
    r.board.Load(0x1000, data);
    r.board.Load(0x3000, data);
    r.UseImage(S19Data(0x3000, data) + S19Data(0x1000, data) + S9());
    program ? r.Program() : r.Verify();
    r.RunToEnd();
    EXPECT_EQ(r.S().Outcome, RunOutcome::Succeeded) << (program ? "program" : "verify");
  }
}

INSTANTIATE_TEST_SUITE_P(Links, ImageBoundsTest, ::testing::Values(Link::Serial, Link::Ethernet), LinkName);

}  // namespace
}  // namespace qrb::test
