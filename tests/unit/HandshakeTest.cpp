// The handshake of both paths against a fake board on both links.
#include <gtest/gtest.h>

#include "EngineRig.h"

namespace qrb::test {
namespace {

using Lines = std::vector<std::string>;

class HandshakeTest : public ::testing::TestWithParam<Link> {
 protected:
  Rig r{GetParam()};
  void SetUp() override { r.UseImage(SRecord('1', 0x1000, Pattern(256)) + S9()); }
  void Start(bool program) { program ? r.Program() : r.Verify(); }
};

// A board at start-up idle gets the FLASH-mode command after the flush
// delay; one already in FLASH mode gets none. Ticks until the first block.
TEST_P(HandshakeTest, ABoardAtStartupIdleIsSwitchedIntoFlashModeOthersGetNoCommand) {
  struct Case {
    bool program, startupIdle;
    std::uint8_t version;
    int ticks;
    Lines status;
    std::vector<Bytes> sent;
  };
  const Lines idle = {"QRB interface at startup idle.  Version:  $15",
                      "Flushing Port Buffers.  Short delay.  Please wait.",
                      "QRB interface in FLASH mode.  Version:  $15"};
  const std::vector<Bytes> both = {{0xF1, 0xA5}, {0xE1, 0x96}}, opening = {{0xF1, 0xA5}};
  const Case cases[] = {
      {true, true, 0x15, 26, idle, both},
      {false, true, 0x15, 30, idle, both},
      {true, false, 0x07, 3, {"QRB interface in FLASH mode.  Version:  $7"}, opening},
      {false, false, 0x00, 4, {"QRB interface in FLASH mode.  Version:  $0"}, opening},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.status.front() + (c.program ? " program" : " verify"));
    Rig rig(GetParam());
    rig.UseImage(SRecord('1', 0x1000, Pattern(256)) + S9());
    rig.board.flashMode = !c.startupIdle;
    rig.board.version = c.version;
    c.program ? rig.Program() : rig.Verify();
    EXPECT_EQ(rig.TicksUntil(c.program ? 41 : 71), c.ticks);
    EXPECT_EQ(rig.Status(), c.status);
    EXPECT_TRUE(rig.Debug().empty());
    EXPECT_EQ(rig.Sent(), c.sent);
    EXPECT_EQ(rig.S().FailTimer, 60);
  }
}

TEST_P(HandshakeTest, StrayBytesBeforeTheStatusAreReportedAndDropped) {
  for (const bool program : {true, false}) {
    Rig rig(GetParam());
    rig.UseImage(SRecord('1', 0x1000, Pattern(256)) + S9());
    rig.board.strayBefore[0] = {0x00, 0x00};
    program ? rig.Program() : rig.Verify();
    EXPECT_EQ(rig.TicksUntil(program ? 41 : 71), program ? 5 : 6);
    const std::string line = program ? "Unexpected byte read from QRB interface [91]: $0"
                                     : "Wrong response from QRB interface [91]: $0";
    EXPECT_EQ(rig.Debug(), (Lines{line, line}));
  }
}

TEST_P(HandshakeTest, NoAnswerEndsTheFirstStateWithTimeoutAndExpiry) {
  for (const bool program : {true, false}) {
    Rig rig(GetParam());
    rig.UseImage(SRecord('1', 0x1000, Pattern(256)) + S9());
    rig.board.cutAt = 0;
    program ? rig.Program() : rig.Verify();
    EXPECT_EQ(rig.RunToEnd(), 60);
    const std::string code = program ? "21" : "61";
    EXPECT_EQ(rig.Debug(), (Lines{"Timeout reading data. E" + code, "Aborting.  ProgramMode = 0.",
                                  "FailTimer expired.  Program mode is " + code + ".  E" + code + "_A",
                                  "Aborting.  ProgramMode = 0."}));
    EXPECT_EQ(rig.S().Outcome, RunOutcome::Failed);
  }
}

// The status coming only on the window's last tick, or a stray byte then:
// the run still ends with the expiry.
TEST_P(HandshakeTest, AnAnswerOnTheLastTickStillEndsWithTheExpiry) {
  for (const bool stray : {false, true}) {
    Rig rig(GetParam());
    rig.UseImage(SRecord('1', 0x1000, Pattern(256)) + S9());
    rig.board.delayFrom[0] = 59;
    if (stray) rig.board.replace[0] = 0x33;
    rig.Program();
    EXPECT_EQ(rig.RunToEnd(), 60);
    Lines debug = {"FailTimer expired.  Program mode is 21.  E21_A", "Aborting.  ProgramMode = 0."};
    if (stray) debug.insert(debug.begin(), "Unexpected byte read from QRB interface [91]: $33");
    EXPECT_EQ(rig.Debug(), debug);
  }
}

// Every state's wrong byte and time-out, found by where in the board's answer
// the fault lies. Stream bytes: 0..4 the reply to the opening packet, 5..9
// the reply to the FLASH-mode command (board at start-up idle).
struct FaultCase {
  bool program;
  bool startupIdle;
  std::size_t index;
  int value;  // -1: the byte never comes
  std::string line;
};

const FaultCase HandshakeFaults[] = {
    {true, true, 1, 0x13, "Wrong response from QRB interface [12/2E]: $13"},
    {true, true, 1, -1, "Timeout reading data. E22"},
    {true, true, 2, 0x93, "Wrong response from QRB interface [92]: $93"},
    {true, true, 2, -1, "Timeout reading data. E23"},
    {true, true, 3, 0x05, "Wrong response from QRB interface [04]: $5"},
    {true, true, 3, -1, "Timeout reading data. E24"},
    {true, true, 4, -1, "Timeout reading data. E25"},
    {true, true, 5, 0x90, "Wrong response from QRB interface [91]: $90"},
    {true, true, 5, -1, "Timeout reading data. E26"},
    {true, true, 6, 0x12, "Wrong response from QRB interface [2E]: $12"},
    {true, true, 6, -1, "Timeout reading data. E27"},
    {true, true, 7, 0xFF, "Wrong response from QRB interface [92]: $FF"},
    {true, true, 7, -1, "Timeout reading data. E28"},
    {true, true, 8, 0x40, "Wrong response from QRB interface [04]: $40"},
    {true, true, 8, -1, "Timeout reading data. E29"},
    {true, true, 9, -1, "Timeout reading data. E30"},
    {true, false, 2, 0x00, "Wrong response from QRB interface [92]: $0"},
    {true, false, 2, -1, "Timeout reading data. E28"},
    {true, false, 4, -1, "Timeout reading data. E30"},
    {false, true, 1, 0x2F, "Wrong response from QRB interface [12/2E]: $2F"},
    {false, true, 1, -1, "Timeout reading data. E62"},
    {false, true, 2, 0x93, "Wrong response from QRB interface [92]: $93"},
    {false, true, 2, -1, "Timeout reading data. E63"},
    {false, true, 3, 0x05, "Wrong response from QRB interface [04]: $5"},
    {false, true, 3, -1, "Timeout reading data. E64"},
    {false, true, 4, -1, "Timeout reading data. E65"},
    {false, true, 5, 0x92, "Wrong response from QRB interface [91]: $92"},
    {false, true, 5, -1, "Timeout reading data. E66"},
    {false, true, 6, 0x12, "Wrong response from QRB interface [2E]: $12"},
    {false, true, 6, -1, "Timeout reading data. E67"},
    {false, true, 7, 0x04, "Wrong response from QRB interface [92]: $4"},
    {false, true, 7, -1, "Timeout reading data. E68"},
    {false, true, 8, 0x92, "Wrong response from QRB interface [04]: $92"},
    {false, true, 8, -1, "Timeout reading data. E69"},
    {false, true, 9, -1, "Timeout reading data. E70"},
    {false, false, 2, 0x91, "Wrong response from QRB interface [92]: $91"},
    {false, false, 3, -1, "Timeout reading data. E69"},
};

TEST_P(HandshakeTest, EveryStateReportsItsWrongByteAndItsTimeout) {
  for (const auto& c : HandshakeFaults) {
    SCOPED_TRACE(c.line + (c.program ? " (program)" : " (verify)"));
    Rig rig(GetParam());
    rig.UseImage(SRecord('1', 0x1000, Pattern(256)) + S9());
    rig.board.flashMode = !c.startupIdle;
    if (c.value < 0) {
      rig.board.cutAt = c.index;
    } else {
      rig.board.replace[c.index] = static_cast<std::uint8_t>(c.value);
    }
    c.program ? rig.Program() : rig.Verify();
    rig.RunToEnd();
    EXPECT_EQ(rig.Debug(), (Lines{c.line, "Aborting.  ProgramMode = 0."}));
    EXPECT_EQ(rig.S().Outcome, RunOutcome::Failed);
    EXPECT_EQ(rig.BlockPackets(0x3A).size() + rig.BlockPackets(0x37).size(), 0u);
  }
}

// A waiting state times out only when the window is used up: 60 ticks from
// the start for the states before the command, 60 from the command after it.
TEST_P(HandshakeTest, WaitingStatesShareTheirWindow) {
  struct Case {
    bool startupIdle;
    std::size_t cut;
    int ticks;
  };
  for (const auto& c : {Case{true, 2, 60}, Case{true, 4, 60}, Case{true, 5, 25 + 60}, Case{true, 9, 25 + 60},
                        Case{false, 2, 60}}) {
    Rig rig(GetParam());
    rig.UseImage(SRecord('1', 0x1000, Pattern(256)) + S9());
    rig.board.flashMode = !c.startupIdle;
    rig.board.cutAt = c.cut;
    rig.Program();
    EXPECT_EQ(rig.RunToEnd(), c.ticks) << c.cut;
  }
}

TEST_P(HandshakeTest, TheNoWaitStateAfterTheStatusNeedsItsByteOnTheNextTick) {
  r.board.delayFrom[1] = 2;
  Start(true);
  EXPECT_EQ(r.RunToEnd(), 2);
  EXPECT_EQ(r.Debug(), (Lines{"Timeout reading data. E22", "Aborting.  ProgramMode = 0."}));
}

// After the command the program path chains 26 into 27 in one tick, the
// verify path takes 67 on the next tick.
TEST_P(HandshakeTest, ASplitFlashModeStatusFailsOnlyOnTheProgramPath) {
  for (const bool program : {true, false}) {
    Rig rig(GetParam());
    rig.UseImage(SRecord('1', 0x1000, Pattern(256)) + S9());
    rig.board.flashMode = false;
    rig.board.delayFrom[6] = 1;
    program ? rig.Program() : rig.Verify();
    if (program) {
      rig.RunToEnd();
      EXPECT_EQ(rig.Debug(), (Lines{"Timeout reading data. E27", "Aborting.  ProgramMode = 0."}));
    } else {
      EXPECT_EQ(rig.TicksUntil(71), 30);
      EXPECT_TRUE(rig.Debug().empty());
    }
  }
}

TEST_P(HandshakeTest, ALaterRunFindsTheBoardInFlashMode) {
  r.board.flashMode = false;
  r.board.cutAt = 9;  // the version after the command never comes
  Start(true);
  r.RunToEnd();
  r.board.cutAt.reset();
  r.board.streamIndex = 100;
  Start(true);
  EXPECT_EQ(r.TicksUntil(41), 3);
  EXPECT_EQ(r.Status(), Lines{"QRB interface in FLASH mode.  Version:  $7"});
}

INSTANTIATE_TEST_SUITE_P(Links, HandshakeTest, ::testing::Values(Link::Serial, Link::Ethernet), LinkName);

}  // namespace
}  // namespace qrb::test
