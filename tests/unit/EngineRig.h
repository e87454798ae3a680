// Whole engine runs against the board's protocol model, checked by the test,
// and the lines and cases they share.
#pragma once

#include <gtest/gtest.h>

#include "Rig.h"

namespace qrb::test {

inline const std::string InFlashMode = "QRB interface in FLASH mode.  Version:  $7";
inline const std::string Aborting = "Aborting.  ProgramMode = 0.";
inline const std::string BlockVerified = "                           -- Verified.";
inline const std::string Sent1000 = "Block  $1000     -- Sent.", Sent1100 = "Block  $1100     -- Sent.";
inline const std::string Verified1000 = "Block $1000     -- Verified.", Verified1100 = "Block $1100     -- Verified.";
inline const Lines ProgramSuccess{"  ", "***  Success ***.  QRB interface FLASH Updated.",
                                  "Exit this program and Re-Boot the QRB interface."};
inline const Lines VerifySuccess{"  ", "***  Success ***.  QRB interface FLASH Verified."};

inline Lines Concat(std::initializer_list<Lines> parts) {
  Lines out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// A rig whose failures are the test's own.
struct Rig : BoardRig {
  explicit Rig(Link l = Link::Serial) : BoardRig(l) {
    fail = [](const std::string& what) { ADD_FAILURE() << what; };
  }
  ~Rig() { EXPECT_TRUE(board.unknown.empty()) << "the board got a packet it does not know"; }
};

inline const std::string Idle = "Program FLASH+ Verify FLASH+ ++";

struct RunCase {
  const char* name;
  bool program;
  std::string s19;
  Lines status, debug;
  bool success = false;
  std::size_t onBoard = 0;              // bytes of Pattern() the board holds at 0x1000
  std::vector<std::uint32_t> bad = {};  // cells written inverted, or that differ on the board
  int ticks = 0;                        // of the whole run, checked when not 0
};

inline void CheckRun(Link link, const RunCase& c, bool skipUnchanged = false) {
  SCOPED_TRACE(c.name);
  Rig r(link);
  r.form1.SkipUnchanged = skipUnchanged;
  r.board.Load(0x1000, Pattern(c.onBoard));
  for (const auto a : c.bad) {
    if (c.program) {
      r.board.stuckCells.insert(a);
    } else {
      r.board.Load(a, {static_cast<std::uint8_t>(r.board.Read(a) ^ 0x01)});
    }
  }
  const int ticks = r.Run(c.program, c.s19);
  EXPECT_EQ(r.Status(), c.status);
  EXPECT_EQ(r.Debug(), c.debug);
  EXPECT_EQ(r.S().Outcome, c.success ? RunOutcome::Succeeded : RunOutcome::Failed);
  if (c.ticks != 0) {
    EXPECT_EQ(ticks, c.ticks);
  }
  // A skipping run reads every block first (two differing in a row start no blind write).
  if (skipUnchanged) {
    EXPECT_EQ(r.board.readBlocks.front(), 0x1000u);
  }
}

// A test suite run once over each link.
#define QRB_SUITE_ON_BOTH_LINKS(Suite)                 \
  class Suite : public ::testing::TestWithParam<Link> {}; \
  INSTANTIATE_TEST_SUITE_P(Links, Suite, ::testing::Values(Link::Serial, Link::Ethernet), \
                           [](const auto& link) { return link.param == Link::Serial ? "Serial" : "Ethernet"; })

}  // namespace qrb::test
