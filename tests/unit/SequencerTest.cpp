// The sequencer: start buttons, tick, dispatch, SetProgramMode, AbortSequence
// and the flush delay.
#include <gtest/gtest.h>

#include <filesystem>

#include "EngineRig.h"

namespace qrb::test {
namespace {

using Lines = std::vector<std::string>;


TEST(SequencerTest, RefusedStartsPostOneLineAndSendNothing) {
  struct Case {
    std::string name;
    bool selectFile;
    std::int16_t pipe;
    bool linkOpen;
    std::string line;
  };
  const Case cases[] = {
      {"no file", false, PipeSerial, true, "** ERROR ** Select an S19 source file."},
      {"serial closed", true, PipeSerial, false, "** ERROR ** COM port not initialized."},
      {"ethernet closed", true, PipeEthernet, false, "** ERROR ** Ethernet connection not initialized."},
      {"no such pipe", true, 3, true, "Invalid DataPipe in ProgramFlash: 3"},
  };
  for (const bool program : {true, false}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(c.name + (program ? " program" : " verify"));
      Rig r;
      if (c.selectFile) r.UseImage(SRecord('1', 0x1000, {1}) + S9());
      r.S().DataPipe = c.pipe;
      r.S().ComInitialized = c.linkOpen ? True : False;
      r.S().EthernetInitialized = c.linkOpen ? True : False;
      program ? r.Program() : r.Verify();
      EXPECT_EQ(r.Debug(), Lines{c.line});
      EXPECT_TRUE(r.Status().empty());
      EXPECT_TRUE(r.serial.tx.empty());
      EXPECT_TRUE(r.tcp.sent.empty());
      EXPECT_EQ(r.S().ProgramMode, 0);
      EXPECT_EQ(Buttons(r), Idle);
      EXPECT_EQ(r.S().Outcome, RunOutcome::None);
    }
  }
}

TEST(SequencerTest, TheFileIsReopenedAtItsStartBeforeTheLinkIsChecked) {
  Rig r;
  r.UseImage(SRecord('1', 0x1000, {1}) + S9());
  r.form1.GetARecord();  // move the file on
  r.S().ComInitialized = False;
  r.Verify();
  EXPECT_EQ(r.Debug(), Lines{"** ERROR ** COM port not initialized."});
  r.form1.GetARecord();
  EXPECT_EQ(r.S().RecordType, "S1");
  EXPECT_EQ(r.S().RecordAddress, 0x1000);
}

// A file that has gone since it was chosen: no run, nothing sent.
TEST(SequencerTest, AStartWhoseFileCannotBeReopenedStartsNoRun) {
  for (const bool program : {true, false}) {
    Rig r;
    r.UseImage(SRecord('1', 0x1000, {1}) + S9());
    r.form1.SourceFile.Close();  // an open file cannot be removed everywhere
    ASSERT_TRUE(std::filesystem::remove(r.S().SourceFilePath));
    program ? r.Program() : r.Verify();
    ASSERT_EQ(r.Debug().size(), 1u);
    EXPECT_EQ(r.Debug()[0].rfind("** ERROR ** ", 0), 0u) << r.Debug()[0];
    EXPECT_NE(r.Debug()[0].find(r.S().SourceFilePath), std::string::npos);
    EXPECT_TRUE(r.serial.calls.empty());
    EXPECT_EQ(r.S().ProgramMode, 0);
    EXPECT_EQ(Buttons(r), Idle);
    EXPECT_EQ(r.S().Outcome, RunOutcome::None);
  }
}

class StartTest : public ::testing::TestWithParam<Link> {};

TEST_P(StartTest, ASuccessfulStartFlushesSendsTheOpeningPacketAndLocksTheButtons) {
  for (const bool program : {true, false}) {
    Rig r(GetParam());
    r.UseImage(SRecord('1', 0x1000, {1}) + S9());
    r.S().TotalErrors = 9;
    if (GetParam() == Link::Ethernet) r.tcp.Arrive({1, 2, 3});  // stale bytes, flushed
    program ? r.Program() : r.Verify();
    EXPECT_TRUE(r.Debug().empty());
    EXPECT_TRUE(r.Status().empty());
    EXPECT_EQ(r.Sent(), std::vector<Bytes>{Bytes({0xF1, 0xA5})});
    if (GetParam() == Link::Serial) {
      EXPECT_EQ(r.serial.CallNames()[0], "FlushReceiveBuffer");
      EXPECT_EQ(r.serial.CallNames()[1], "FlushTransmitBuffer");
    } else {
      EXPECT_EQ(r.S().Fifo1Empty, True);
    }
    EXPECT_EQ(Buttons(r), program ? ProgramRunning : VerifyRunning);
    EXPECT_EQ(r.S().ProgramMode, program ? 21 : 61);
    EXPECT_EQ(r.S().FailTimer, 60);
    EXPECT_EQ(r.S().TotalErrors, 0);
    EXPECT_EQ(r.S().Outcome, RunOutcome::Running);
  }
}

TEST_P(StartTest, TheAbortButtonEndsTheRunAndRestoresTheButtons) {
  for (const bool program : {true, false}) {
    Rig r(GetParam());
    r.UseImage(SRecord('1', 0x1000, {1}) + S9());
    program ? r.Program() : r.Verify();
    r.Tick();
    r.ClearLists();
    program ? r.form1.ProgramFlash_Click() : r.form1.VerifyFlash_Click();
    EXPECT_EQ(r.Debug(), (Lines{"Aborting.  ProgramMode = 0.", "Aborted processing."}));
    EXPECT_EQ(r.S().ProgramMode, 0);
    EXPECT_EQ(Buttons(r), Idle);
    EXPECT_EQ(r.S().Outcome, RunOutcome::Failed);
    const auto sent = r.Sent().size();
    for (int i = 0; i < 100; ++i) r.Tick();
    EXPECT_EQ(r.Sent().size(), sent);  // stopped for good
    EXPECT_EQ(r.Debug().size(), 2u);
  }
}

INSTANTIATE_TEST_SUITE_P(Links, StartTest, ::testing::Values(Link::Serial, Link::Ethernet), LinkName);

TEST(SequencerTest, TheTickCountsDownBeforeItsGuardAndNeverBelowZero) {
  Rig r;
  r.S().FailTimer = 2;
  r.form1.Timer1_Timer();
  EXPECT_EQ(r.S().FailTimer, 1);
  r.S().TimerIsrActive = True;
  r.S().ProgramMode = 31;  // would be reported if dispatched
  r.form1.Timer1_Timer();
  EXPECT_EQ(r.S().FailTimer, 0);
  EXPECT_TRUE(r.Debug().empty());
  EXPECT_EQ(r.S().ProgramMode, 31);
  r.form1.Timer1_Timer();
  EXPECT_EQ(r.S().FailTimer, 0);
  r.S().TimerIsrActive = False;
  r.S().ProgramMode = 0;
  r.form1.Timer1_Timer();
  EXPECT_EQ(r.S().FailTimer, 0);
  EXPECT_EQ(r.S().TimerIsrActive, False);
}

TEST(SequencerTest, AStateOutsideTheTableIsReportedAndAborted) {
  for (const std::int16_t mode : {31, 1, 40, 53, 79, 92, 99, 100, 1000, -5}) {
    Rig r;
    r.S().ProgramMode = mode;
    r.form1.Timer1_Timer();
    EXPECT_EQ(r.Debug(), (Lines{"Invalid program mode: " + std::to_string(mode), "Aborting.  ProgramMode = 0."}));
    EXPECT_EQ(r.S().ProgramMode, 0);
    EXPECT_EQ(r.S().TimerIsrActive, False);
  }
}

TEST(SequencerTest, SetProgramModeNeverRestartsAStoppedRun) {
  Rig r;
  r.form1.SetProgramMode(23);
  EXPECT_EQ(r.S().ProgramMode, 0);
  r.S().ProgramMode = 22;
  r.form1.SetProgramMode(23);
  EXPECT_EQ(r.S().ProgramMode, 23);
}

TEST(SequencerTest, AbortSequenceAloneTouchesNothingButModeButtonsAndItsLine) {
  Rig r;
  r.S().ProgramMode = 47;
  r.S().FailTimer = 17;
  r.ProgramFlash.SetCaption("Abort");
  r.VerifyFlash.SetEnabled(false);
  r.form1.AbortSequence();
  r.form1.AbortSequence();
  EXPECT_EQ(r.Debug(), (Lines{"Aborting.  ProgramMode = 0.", "Aborting.  ProgramMode = 0."}));
  EXPECT_EQ(r.S().FailTimer, 17);
  EXPECT_TRUE(r.Timer1.Enabled());
  EXPECT_EQ(Buttons(r), Idle);
  EXPECT_TRUE(r.serial.calls.empty());
}

// The flush delay: the link is flushed on 20 ticks in a row and the
// FLASH-mode command follows the last flush on the 20th.
TEST(SequencerTest, TheFlushDelayFlushesTwentyTicksThenSendsTheFlashModeCommand) {
  for (const std::int16_t mode : {90, 91}) {
    Rig r;
    r.S().ProgramMode = mode;
    r.S().FailTimer = 20;
    for (int tick = 1; tick <= 20; ++tick) {
      r.serial.calls.clear();
      r.serial.rx.push_back(0x55);  // whatever the board sends meanwhile
      r.form1.Timer1_Timer();
      ASSERT_GE(r.serial.CallNames().size(), 2u);
      EXPECT_EQ(r.serial.CallNames()[0], "FlushReceiveBuffer");
      EXPECT_EQ(r.serial.CallNames()[1], "FlushTransmitBuffer");
      EXPECT_TRUE(r.serial.rx.empty());
      if (tick < 20) {
        EXPECT_TRUE(r.serial.packets.empty());
        EXPECT_EQ(r.S().ProgramMode, mode);
      }
    }
    EXPECT_EQ(r.serial.packets, std::vector<Bytes>{Bytes({0xE1, 0x96})});
    EXPECT_EQ(r.S().ProgramMode, mode == 90 ? 26 : 66);
    EXPECT_EQ(r.S().FailTimer, 60);
    EXPECT_TRUE(r.Debug().empty());
    EXPECT_TRUE(r.Status().empty());
  }
}

}  // namespace
}  // namespace qrb::test
