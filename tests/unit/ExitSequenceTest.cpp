// "Exit / Abort": refusals, closing the link and the file, the short delay.
#include <gtest/gtest.h>

#include "Harness.h"

namespace qrb {
namespace {

using test::Harness;
using Lines = std::vector<std::string>;

const std::string Terminated = "S: Program terminated.  Short delay.";

// The TCP connection, the COM port and the file are closed in that order
// before the last line; a failure to close is reported and the program ends.
TEST(ExitSequence, ClosesWhatIsOpenThenTellsTheUserAndEnds) {
  struct Case {
    bool com, tcp, file;
    std::int32_t closeResult;
    Lines posted;
  };
  const Case cases[] = {
      {false, false, false, 0, {Terminated}},
      {true, false, true, 0, {"D: Closed COM port: 2", "D: Closed the S19 file.", Terminated}},
      {true, false, false, -5, {"D: Error: -5 closing COM port: 2", Terminated}},
      {true, true, true, 0,
       {"D: Ethernet connection closed.", "D: Closed COM port: 2", "D: Closed the S19 file.", Terminated}},
  };
  for (const Case& c : cases) {
    Harness h;
    h.S().ComPort = 2;
    if (c.com) h.form1.InitComPort();
    if (c.tcp) {
      h.form1.InitWinSock();
      h.form1.Winsock1Data_Connect();
    }
    h.S().SourceFileSelected = c.file ? 1 : 0;
    h.serial.results["UnInitializePort"] = c.closeResult;
    h.posted.clear();
    h.serial.calls.clear();
    h.tcp.calls.clear();
    EXPECT_TRUE(h.form1.AbortProgram_Click());
    EXPECT_EQ(h.posted, c.posted);
    EXPECT_EQ(h.serial.calls, c.com ? Lines{"UnInitializePort(2)"} : Lines{});
    EXPECT_EQ(h.tcp.calls, c.tcp ? Lines{"Close"} : Lines{});
    EXPECT_EQ(h.app.ended, 1);
  }
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
