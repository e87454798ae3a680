// The sequencer: start buttons, tick, dispatch and the flush delay.
#include <gtest/gtest.h>

#include <filesystem>

#include "EngineRig.h"
#include "engine/ProgramModes.h"

namespace qrb::test {
namespace {

TEST(SequencerTest, RefusedStartsPostOneLineAndSendNothing) {
  struct Case {
    std::string name;
    bool selectFile;
    std::int16_t pipe;
    bool linkOpen;
    std::string line;  // "": the file is gone since it was chosen
  };
  const Case cases[] = {
      {"serial closed", true, PipeSerial, false, "** ERROR ** COM port not initialized."},
      {"ethernet closed", true, PipeEthernet, false, "** ERROR ** Ethernet connection not initialized."},
      {"no such pipe", true, 3, true, "Invalid DataPipe in ProgramFlash: 3"},
      {"file gone", true, PipeSerial, true, ""},
  };
  for (const bool program : {true, false}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(c.name + (program ? " program" : " verify"));
      Rig r;
      if (c.selectFile) r.UseImage(SRecord('1', 0x1000, {1}) + S9());
      r.S().DataPipe = c.pipe;
      r.S().ComInitialized = r.S().EthernetInitialized = c.linkOpen ? True : False;
      if (c.line.empty()) {
        r.form1.SourceFile.Close();  // an open file cannot be removed everywhere
        ASSERT_TRUE(std::filesystem::remove(r.S().SourceFilePath));
      }
      r.Start(program);
      ASSERT_EQ(r.Debug().size(), 1u);
      const std::string gone = "** ERROR ** Cannot re-open the S19 source file " + r.S().SourceFilePath;
      EXPECT_EQ(r.Debug()[0].substr(0, c.line.empty() ? gone.size() : std::string::npos), c.line.empty() ? gone : c.line);
      EXPECT_TRUE(r.Status().empty());
      EXPECT_TRUE(r.serial.tx.empty() && r.tcp.sent.empty());
      EXPECT_EQ(r.S().ProgramMode, 0);
      EXPECT_EQ(r.Buttons(), Idle);
      EXPECT_EQ(r.S().Outcome, RunOutcome::None);
    }
  }
}

class StartTest : public ::testing::TestWithParam<Link> {};

// A start flushes the link, resets the totals and locks the other buttons;
// the started button then aborts the run for good.
TEST_P(StartTest, StartAndAbortByTheButton) {
  for (const bool program : {true, false}) {
    Rig r(GetParam());
    r.UseImage(SRecord('1', 0x1000, {1}) + S9());
    r.S().TotalErrors = 9;
    if (GetParam() == Link::Ethernet) r.tcp.Arrive({1, 2, 3});  // stale bytes, flushed
    r.Start(program);
    if (GetParam() == Link::Serial) {
      EXPECT_EQ(r.serial.CallNames(), (std::vector<std::string>{"FlushReceiveBuffer", "FlushTransmitBuffer", "PutByte",
                                                                "PutByte", "ser_rs232_putpacket"}));
    } else {
      EXPECT_EQ(r.S().Fifo1Empty, True);
    }
    EXPECT_EQ(r.Buttons(), program ? "Abort+ Verify FLASH- --" : "Program FLASH- Abort+ --");
    EXPECT_EQ(r.S().ProgramMode, program ? 21 : 61);
    EXPECT_EQ(r.S().TotalErrors, 0);
    EXPECT_EQ(r.S().Outcome, RunOutcome::Running);

    r.Tick();
    r.Start(program);
    EXPECT_EQ(r.Debug(), (Lines{Aborting, "Aborted processing."}));
    EXPECT_EQ(r.Buttons(), Idle);
    EXPECT_EQ(r.S().Outcome, RunOutcome::Failed);
    const auto sent = r.Sent().size();
    for (int i = 0; i < 100; ++i) r.Tick();
    EXPECT_EQ(r.Sent().size(), sent);
    EXPECT_EQ(r.Debug().size(), 2u);
  }
}

INSTANTIATE_TEST_SUITE_P(Links, StartTest, ::testing::Values(Link::Serial, Link::Ethernet), LinkName);

// The fail timer counts down even in a tick that overlaps a running one, which
// dispatches nothing; an unknown state is reported and aborted.
TEST(SequencerTest, TheTickCountsDownBeforeItsGuardAndDispatchesOnlyKnownStates) {
  Rig r;
  r.S().FailTimer = 1;
  r.S().TimerIsrActive = True;
  r.S().ProgramMode = 31;
  r.form1.Timer1_Timer();
  r.form1.Timer1_Timer();
  EXPECT_EQ(r.S().FailTimer, 0);
  EXPECT_TRUE(r.Debug().empty());

  for (const std::int16_t mode : {31, 53, 79, 100, -5}) {
    r.List2.Clear();
    r.S().TimerIsrActive = False;
    r.S().ProgramMode = mode;
    r.form1.Timer1_Timer();
    EXPECT_EQ(r.Debug(), (Lines{"Invalid program mode: " + std::to_string(mode), Aborting}));
    EXPECT_EQ(r.S().ProgramMode, 0);
    EXPECT_EQ(r.S().TimerIsrActive, False);
    r.form1.SetProgramMode(23);  // a stopped run is never restarted
    EXPECT_EQ(r.S().ProgramMode, 0);
  }
}

// The link is flushed on each of the 20 ticks, then the command goes out.
TEST(SequencerTest, TheFlushDelayFlushesEveryTickThenSendsTheCommand) {
  for (const std::int16_t mode : {90, 91}) {
    Rig r;
    r.S().ProgramMode = mode;
    r.S().FailTimer = 20;
    for (int tick = 1; tick <= 20; ++tick) {
      EXPECT_TRUE(r.serial.packets.empty());
      r.serial.rx.push_back(0x55);
      r.form1.Timer1_Timer();
      EXPECT_TRUE(r.serial.rx.empty()) << tick;
    }
    EXPECT_EQ(r.serial.packets, std::vector<Bytes>{Bytes({0xE1, 0x96})});
    EXPECT_EQ(r.S().ProgramMode, mode == 90 ? 26 : 66);
    EXPECT_EQ(r.S().FailTimer, 60);
  }
}

}  // namespace
}  // namespace qrb::test
