// "Exit / Abort": refusals, closing the link and the file, the short delay.
#include <gtest/gtest.h>

#include "Harness.h"

namespace qrb::test {
namespace {

const std::string Terminated = "S: Program terminated.  Short delay.";

// The connection, the port and the file close in order; a failure is reported.
TEST(ExitSequence, ClosesWhatIsOpenThenTellsTheUserAndEnds) {
  const struct {
    bool com, tcp, file;
    std::int32_t closeResult;
    Lines posted;
  } cases[] = {
      {true, false, false, -5, {"D: Error: -5 closing COM port: 2", Terminated}},
      {true, true, true, 0,
       {"D: Ethernet connection closed.", "D: Closed COM port: 2", "D: Closed the S19 file.", Terminated}},
  };
  for (const auto& c : cases) {
    Harness h;
    h.S().ComPort = 2;
    if (c.com) h.form1.InitComPort();
    if (c.tcp) h.form1.InitWinSock(), h.form1.Winsock1Data_Connect();
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

// Refused while a handler runs: nothing closed, the timer stopped.
TEST(ExitSequence, IsRefusedWhileATickOrAnArrivalIsMarkedRunning) {
  const std::string Refused = "D: Exit failed. Timer stopped. --> Try again! ";
  const struct {
    bool tick, arrival;
    std::string line;
  } cases[] = {{true, true, Refused + "[TimerIsrActive]"}, {false, true, Refused + "[WinsockIsrActive]"}};
  for (const auto& c : cases) {
    Harness h;
    h.form1.InitComPort();
    h.posted.clear();
    h.serial.calls.clear();
    h.S().TimerIsrActive = c.tick ? True : False;
    h.S().WinsockIsrActive = c.arrival ? True : False;
    EXPECT_FALSE(h.form1.AbortProgram_Click());
    EXPECT_EQ(h.posted, (Lines{c.line}));
    EXPECT_FALSE(h.Timer1.Enabled());
    EXPECT_TRUE(h.serial.calls.empty());
    EXPECT_EQ(h.app.ended, 0);
    EXPECT_EQ(h.clock.reads, 0);

    h.S().TimerIsrActive = h.S().WinsockIsrActive = False;
    EXPECT_TRUE(h.form1.AbortProgram_Click());
    EXPECT_EQ(h.posted.back(), Terminated);
    EXPECT_EQ(h.app.ended, 1);
  }
}

TEST(ExitSequence, TheDelayEndsAtTheClocksNextSecondWrappingAfter59) {
  for (int start : {0, 58, 59}) {
    Harness h;
    h.clock.second = start;
    h.clock.readsPerStep = 1000;  // many reads per second: the loop must keep reading
    EXPECT_TRUE(h.form1.AbortProgram_Click());
    EXPECT_EQ(h.clock.second, (start + 1) % 60) << start;
    EXPECT_EQ(h.clock.reads, 1000) << start;  // ends at the very read that shows the change
  }
}

}  // namespace
}  // namespace qrb::test
