// The sequencer: start buttons, tick, dispatch and the time-out reload.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "EngineRig.h"
#include "engine/ProgramModes.h"
#include "engine/RunProgress.h"

namespace qrb::test {
namespace {

TEST(SequencerTest, RefusedStartsPostOneLineAndSendNothing) {
  struct Case {
    std::string name;
    std::int16_t pipe;
    bool linkOpen;
    std::string line;  // "": the file is gone since it was chosen
  };
  const Case cases[] = {
      {"serial closed", PipeSerial, false, "** ERROR ** COM port not initialized."},
      {"ethernet closed", PipeEthernet, false, "** ERROR ** Ethernet connection not initialized."},
      {"no such pipe", 3, true, "Invalid DataPipe in ProgramFlash: 3"},
      {"file gone", PipeSerial, true, ""},
  };
  for (const bool program : {true, false}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(c.name + (program ? " program" : " verify"));
      Rig r;
      r.UseImage(SRecord('1', 0x1000, {1}) + S9());
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

QRB_SUITE_ON_BOTH_LINKS(StartTest);

// A start flushes the link and resets the totals; its button aborts for good.
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
    EXPECT_EQ(r.S().ProgramMode, program ? 21 : 61);
    EXPECT_EQ(r.S().TotalErrors, 0);
    EXPECT_EQ(r.S().Outcome, RunOutcome::Running);

    r.Tick();
    r.Start(program);
    EXPECT_EQ(r.Debug(), (Lines{Aborting, "Aborted processing."}));
    EXPECT_EQ(r.S().Outcome, RunOutcome::Failed);
    const auto sent = r.Sent().size();
    for (int i = 0; i < 100; ++i) r.Tick();
    EXPECT_EQ(r.Sent().size(), sent);
    EXPECT_EQ(r.Debug().size(), 2u);
  }
}

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

// The reload is read back from the timer, so a timer that rounds its
// interval changes it; halves go to the even number.
struct RoundingTimer : PlainTimer {
  int actual;
  int Interval() const override { return actual; }
};

TEST(InitVariables, ReloadFollowsTheIntervalReadBack) {
  const struct {
    int interval, reload;
  } cases[] = {{50, 60}, {40, 75}, {2400, 1}, {2000, 2}, {1200, 2}, {6000, 0}, {7, 429}};
  for (const auto& c : cases) {
    Harness h;
    RoundingTimer timer;
    timer.actual = c.interval;
    HeadlessWindow w(timer, {h.serial, h.tcp, h.dialog, h.clock, h.app});
    w.form1.InitVariables();
    EXPECT_EQ(w.form1.S.FailTimerReload, c.reload) << "interval " << c.interval;
  }
}

// The kinds a run's ticks start in, each stretch once: how the benchmarks
// group their tick figures.
TEST(SequencerTest, StateKindsFollowTheRun) {
  using K = StateKind;
  for (const bool program : {true, false}) {
    Rig r;
    r.UseTwoBlocks(/*startupIdle=*/true);
    r.Start(program);
    std::vector<K> kinds{K::Handshake};
    for (int ticks = 0; ticks < 500 && kinds.back() != K::Idle; ++ticks) {
      r.Tick();
      if (const K kind = KindOfState(r.S().ProgramMode); kind != kinds.back()) kinds.push_back(kind);
    }
    const std::vector<K> block = program ? std::vector<K>{K::BuildBlock, K::BlockReply, K::ReadBackReply}
                                         : std::vector<K>{K::BuildBlock, K::ReadBackReply};
    std::vector<K> expected{K::Handshake, K::FlushDelay, K::Handshake};
    for (int i = 0; i < 2; ++i) expected.insert(expected.end(), block.begin(), block.end());
    expected.push_back(K::Idle);
    EXPECT_EQ(kinds, expected) << (program ? "program" : "verify");
  }
}

// What a progress display shows: each block counted once as it starts, the
// per cent of the blocks done before it, and the time left at their rate
// (here one second a tick: a block takes as many seconds as it has ticks).
TEST(SequencerTest, ProgressCountsEachBlockOnceWithTheTimeLeft) {
  for (const bool program : {true, false}) {
    Rig r;
    r.UseTwoBlocks(/*startupIdle=*/false);
    r.Start(program);
    RunProgress progress;
    progress.Start(2);
    RunProgress::Clock::time_point now{};
    std::vector<std::string> seen;  // block started, per cent, seconds left
    for (int ticks = 0; ticks < 500 && r.S().ProgramMode != 0; ++ticks) {
      r.Tick();
      now += std::chrono::seconds(1);
      if (!progress.Observe(r.S().ProgramMode, r.S().BlockAddress, now)) continue;
      const int left = progress.SecondsLeft(now);  // unknown before a block is done
      seen.push_back(std::to_string(progress.Started()) + " " + std::to_string(progress.Percent()) + "% " +
                     (left < 0 ? "?" : MinutesSeconds(left)));
    }
    const std::string perBlock = program ? "0:03" : "0:02";
    EXPECT_EQ(seen, (std::vector<std::string>{"1 0% ?", "2 50% " + perBlock})) << (program ? "program" : "verify");
  }
}

}  // namespace
}  // namespace qrb::test
