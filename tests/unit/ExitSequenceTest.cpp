// "Exit / Abort": refusals, closing the link and the file, the short delay.
#include <gtest/gtest.h>

#include "Harness.h"

namespace qrb {
namespace {

using test::Harness;
using Lines = std::vector<std::string>;

const std::string Terminated = "S: Program terminated.  Short delay.";

TEST(ExitSequence, WithNothingOpenOnlyTellsTheUserAndEnds) {
  Harness h;
  EXPECT_TRUE(h.form1.AbortProgram_Click());
  EXPECT_EQ(h.posted, (Lines{Terminated}));
  EXPECT_EQ(h.app.ended, 1);
  EXPECT_TRUE(h.serial.calls.empty());
  EXPECT_TRUE(h.tcp.calls.empty());
}

TEST(ExitSequence, ClosesTheComPortAndTheFileBeforeTheLastLine) {
  Harness h;
  h.S().ComPort = 2;
  h.form1.InitComPort();
  h.S().SourceFileSelected = 1;
  h.posted.clear();
  EXPECT_TRUE(h.form1.AbortProgram_Click());
  EXPECT_EQ(h.posted, (Lines{"D: Closed COM port: 2", "D: Closed the S19 file.", Terminated}));
  EXPECT_EQ(h.serial.calls.back(), "UnInitializePort(2)");
  EXPECT_EQ(h.app.ended, 1);
}

TEST(ExitSequence, AFailureToCloseThePortIsReportedAndTheProgramStillEnds) {
  Harness h;
  h.form1.InitComPort();
  h.serial.results["UnInitializePort"] = -5;
  h.posted.clear();
  EXPECT_TRUE(h.form1.AbortProgram_Click());
  EXPECT_EQ(h.posted, (Lines{"D: Error: -5 closing COM port: 1", Terminated}));
  EXPECT_EQ(h.app.ended, 1);
}

TEST(ExitSequence, AnOpenTcpConnectionIsClosedFirst) {
  Harness h;
  h.form1.InitComPort();
  h.form1.InitWinSock();
  h.form1.Winsock1Data_Connect();
  h.S().SourceFileSelected = 1;
  h.posted.clear();
  EXPECT_TRUE(h.form1.AbortProgram_Click());
  EXPECT_EQ(h.posted,
            (Lines{"D: Ethernet connection closed.", "D: Closed COM port: 1", "D: Closed the S19 file.", Terminated}));
  EXPECT_EQ(h.tcp.calls.back(), "Close");
}

TEST(ExitSequence, IsRefusedWhileATickOrAnArrivalIsMarkedRunningAndWorksOnceClear) {
  struct Case {
    Flag ReflashSession::*mark;
    std::string line;
  };
  const Case cases[] = {
      {&ReflashSession::TimerIsrActive, "D: Exit failed. Timer stopped. --> Try again! [TimerIsrActive]"},
      {&ReflashSession::WinsockIsrActive, "D: Exit failed. Timer stopped. --> Try again! [WinsockIsrActive]"},
  };
  for (const Case& c : cases) {
    Harness h;
    h.form1.InitComPort();
    h.S().SourceFileSelected = 1;
    h.posted.clear();
    h.serial.calls.clear();
    h.S().*c.mark = True;
    EXPECT_FALSE(h.form1.AbortProgram_Click());
    EXPECT_EQ(h.posted, (Lines{c.line}));
    EXPECT_FALSE(h.Timer1.Enabled());
    EXPECT_EQ(h.S().ComInitialized, True);
    EXPECT_TRUE(h.serial.calls.empty());
    EXPECT_EQ(h.app.ended, 0);
    EXPECT_EQ(h.clock.reads, 0);

    h.S().*c.mark = False;
    EXPECT_TRUE(h.form1.AbortProgram_Click());
    EXPECT_EQ(h.posted.back(), Terminated);
    EXPECT_EQ(h.app.ended, 1);
  }
}

TEST(ExitSequence, TheTimerMarkIsCheckedFirst) {
  Harness h;
  h.S().TimerIsrActive = True;
  h.S().WinsockIsrActive = True;
  EXPECT_FALSE(h.form1.AbortProgram_Click());
  EXPECT_EQ(h.posted, (Lines{"D: Exit failed. Timer stopped. --> Try again! [TimerIsrActive]"}));
}

TEST(ExitSequence, TheDelayEndsAtTheClocksNextSecondWrappingAfter59) {
  for (int start : {0, 30, 58, 59}) {
    Harness h;
    h.clock.second = start;
    h.clock.readsPerStep = 1000;  // many reads per second: the loop must keep reading
    EXPECT_TRUE(h.form1.AbortProgram_Click());
    EXPECT_EQ(h.clock.second, (start + 1) % 60) << start;
    EXPECT_EQ(h.clock.reads, 1000) << start;  // ends at the very read that shows the change
    EXPECT_EQ(h.app.ended, 1);
  }
}

}  // namespace
}  // namespace qrb
