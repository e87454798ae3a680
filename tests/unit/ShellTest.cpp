// Start-up defaults and the two message lists.
#include <gtest/gtest.h>

#include <algorithm>

#include "Harness.h"

namespace qrb {
namespace {

using test::Harness;

bool AllZero(const auto& array) {
  return std::all_of(std::begin(array), std::end(array), [](auto v) { return v == 0; });
}

// Gives every field and control a value other than its start value.
void Scribble(Harness& h) {
  ReflashSession& s = h.S();
  s.ProgramMode = 41;
  s.StatusLine = "status";
  s.DebugLine = "debug";
  s.FailTimer = 7;
  s.FailTimerReload = 9;
  s.DataPipe = PipeEthernet;
  s.ComInitialized = True;
  s.ComPort = 3;
  s.ComSpeed = 4;
  s.ComIRQ = 7;
  s.ComAddr = 0x2E8;
  s.ComStatus = -5;
  s.LastByte = 0x33;
  s.EthernetInitialized = True;
  s.IPAddress = "10.0.0.1";
  s.PortNumber = 2000;
  s.IncomingLBound = 4;
  s.IncomingUBound = 9;
  s.TimerIsrActive = True;
  s.WinsockIsrActive = True;
  s.PacketLength = 264;
  s.PacketBuffer.fill(0xAA);
  s.Fifo1.fill(0x55);
  s.Fifo1Empty = False;
  s.Fifo1Full = True;
  s.Fifo1In = 12;
  s.Fifo1Out = 10;
  s.SourceFilePath = "/tmp/a.s19";
  s.SourceFileSelected = 1;
  s.RecordType = "S1";
  s.HexPair = "0A";
  s.RecordByteCount = 16;
  s.RecordAddress = 0x1000;
  s.AddressByte3 = s.AddressByte2 = s.AddressByte1 = s.AddressByte0 = 0x12;
  s.RecordValid = True;
  s.RecordFresh = True;
  s.BlockData.fill(0xFF);
  s.CurrentAddress = 0x100;
  s.BlockAddress = 0x200;
  s.BlockAddressLow = 0x300;
  s.BlockIndex = 5;
  s.BlockAddressBytes.fill(1);
  s.TotalErrors = 3;
  s.BlockErrors = 2;
  s.ReadIndex = 8;
  // Fields that start-up leaves alone.
  s.BlockFill = 77;
  s.IncomingBytes = {1, 2, 3};
  s.ComPortInfo.BaudCode = 11;

  h.List1.AddItem("old status");
  h.List2.AddItem("old debug");
  h.Text2.SetText("file");
  h.Text3.SetText("COM2");
  h.Timer1.SetEnabled(true);
  h.Timer1.SetInterval(20);
  for (PlainButton* b : {&h.SelectSourceFile, &h.ProgramFlash, &h.VerifyFlash, &h.SelectDataPipe}) {
    b->SetEnabled(false);
  }
  h.ProgramFlash.SetCaption("Abort");
  h.VerifyFlash.SetCaption("Abort");
}

TEST(InitVariables, GivesEveryFieldItsStartValue) {
  Harness h;
  Scribble(h);
  h.form1.InitVariables();
  const ReflashSession& s = h.S();

  EXPECT_EQ(s.ProgramMode, 0);
  EXPECT_EQ(s.StatusLine, "");
  EXPECT_EQ(s.DebugLine, "");
  EXPECT_EQ(s.FailTimer, 0);
  EXPECT_EQ(s.FailTimerReload, 60);
  EXPECT_EQ(s.DataPipe, 1);
  EXPECT_EQ(s.ComInitialized, False);
  EXPECT_EQ(s.ComPort, 1);
  EXPECT_EQ(s.ComSpeed, 1);
  EXPECT_EQ(s.ComIRQ, 4);
  EXPECT_EQ(s.ComAddr, 0x3F8);
  EXPECT_EQ(s.ComStatus, 0);
  EXPECT_EQ(s.LastByte, -1);
  EXPECT_EQ(s.EthernetInitialized, False);
  EXPECT_EQ(s.IPAddress, "192.168.1.70");
  EXPECT_EQ(s.PortNumber, 10001);
  EXPECT_EQ(s.IncomingLBound, 1);
  EXPECT_EQ(s.IncomingUBound, 0);
  EXPECT_EQ(s.TimerIsrActive, False);
  EXPECT_EQ(s.WinsockIsrActive, False);
  EXPECT_EQ(s.PacketLength, 0);
  EXPECT_TRUE(AllZero(s.PacketBuffer));
  EXPECT_TRUE(AllZero(s.Fifo1));
  EXPECT_EQ(s.Fifo1Empty, True);
  EXPECT_EQ(s.Fifo1Full, False);
  EXPECT_EQ(s.Fifo1In, 0);
  EXPECT_EQ(s.Fifo1Out, 0);
  EXPECT_EQ(s.SourceFilePath, "");
  EXPECT_EQ(s.SourceFileSelected, 0);
  EXPECT_EQ(s.RecordType, "xx");
  EXPECT_EQ(s.HexPair, "xx");
  EXPECT_EQ(s.RecordByteCount, 0);
  EXPECT_EQ(s.RecordAddress, 0);
  EXPECT_EQ(s.AddressByte3, 0);
  EXPECT_EQ(s.AddressByte2, 0);
  EXPECT_EQ(s.AddressByte1, 0);
  EXPECT_EQ(s.AddressByte0, 0);
  EXPECT_EQ(s.RecordValid, False);
  EXPECT_EQ(s.RecordFresh, False);
  EXPECT_TRUE(AllZero(s.BlockData));
  EXPECT_EQ(s.CurrentAddress, 0);
  EXPECT_EQ(s.BlockAddress, 0);
  EXPECT_EQ(s.BlockAddressLow, 0);
  EXPECT_EQ(s.BlockIndex, 0);
  EXPECT_TRUE(AllZero(s.BlockAddressBytes));
  EXPECT_EQ(s.TotalErrors, 0);
  EXPECT_EQ(s.BlockErrors, 0);
  EXPECT_EQ(s.ReadIndex, 0);

  // Not start-up's to set.
  EXPECT_EQ(s.BlockFill, 77);
  EXPECT_EQ(s.IncomingBytes, (std::vector<std::uint8_t>{1, 2, 3}));
  EXPECT_EQ(s.ComPortInfo.BaudCode, 11);
}

TEST(InitVariables, ResetsTheMainWindowsControls) {
  Harness h;
  Scribble(h);
  h.form1.InitVariables();

  EXPECT_EQ(h.List1.ListCount(), 0);
  EXPECT_EQ(h.List2.ListCount(), 0);
  EXPECT_EQ(h.Text2.Text(), "");
  EXPECT_EQ(h.Text3.Text(), "");
  EXPECT_FALSE(h.Timer1.Enabled());
  EXPECT_EQ(h.Timer1.Interval(), 50);
  EXPECT_EQ(h.ProgramFlash.Caption(), "Program FLASH");
  EXPECT_EQ(h.VerifyFlash.Caption(), "Verify FLASH");
  for (PlainButton* b : {&h.SelectSourceFile, &h.ProgramFlash, &h.VerifyFlash, &h.SelectDataPipe}) {
    EXPECT_TRUE(b->Enabled()) << b->Caption();
  }
}

// The reload is read back from the timer, so a timer that rounds its
// interval changes it; halves go to the even number.
class RoundingTimer : public PlainTimer {
 public:
  explicit RoundingTimer(int actual) : actual_(actual) {}
  int Interval() const override { return actual_; }

 private:
  int actual_;
};

TEST(InitVariables, ReloadFollowsTheIntervalReadBack) {
  const struct {
    int interval;
    int reload;
  } cases[] = {{50, 60}, {40, 75}, {2400, 1}, {2000, 2}, {1200, 2}, {6000, 0}, {7, 429}};
  for (const auto& c : cases) {
    Harness h;
    RoundingTimer timer(c.interval);
    Form1 form1(Form1Controls{h.List1, h.List2, h.Text2, h.Text3, h.SelectSourceFile, h.ProgramFlash,
                              h.VerifyFlash, h.SelectDataPipe, timer},
                Form1Services{h.serial, h.tcp, h.dialog, h.clock, h.app});
    form1.InitVariables();
    EXPECT_EQ(form1.S.FailTimerReload, c.reload) << "interval " << c.interval;
  }
}

TEST(MessageLists, KeepAtMost200LinesDroppingTheOldest) {
  Harness h;
  for (int i = 1; i <= 201; ++i) {
    h.S().StatusLine = "status " + std::to_string(i);
    h.form1.PostMsg1(h.S().StatusLine);
    h.S().DebugLine = "debug " + std::to_string(i);
    h.form1.PostMsg2(h.S().DebugLine);
  }
  for (const auto* lines : {&h.Status(), &h.Debug()}) {
    ASSERT_EQ(lines->size(), 200u);
    EXPECT_TRUE(lines->front().ends_with(" 2"));
    EXPECT_TRUE(lines->back().ends_with(" 201"));
    for (std::size_t i = 1; i < lines->size(); ++i) {
      ASSERT_TRUE((*lines)[i].ends_with(" " + std::to_string(i + 2))) << (*lines)[i];
    }
  }
}

TEST(MessageLists, NewestLineIsShownUnhighlightedAndRepaintedPerPost) {
  Harness h;
  for (int i = 0; i < 3; ++i) {
    std::string line = "line";
    h.form1.PostMsg2(line);
    EXPECT_EQ(h.List2.CurrentIndex(), i);
    EXPECT_EQ(h.List2.SelectedIndex(), -1);
    EXPECT_EQ(h.List2.Refreshes(), i + 1);
  }
  h.form1.PostMsg1("status");
  EXPECT_EQ(h.List1.CurrentIndex(), 0);
  EXPECT_EQ(h.List1.SelectedIndex(), -1);
  EXPECT_EQ(h.List1.Refreshes(), 1);
}

TEST(MessageLists, LinesAreKeptExactlyAsPosted) {
  const std::string lines[] = {"", "  leading", "trailing  ", "two  blanks   three", " "};
  Harness h;
  for (const std::string& line : lines) {
    h.S().StatusLine = line;
    h.form1.PostMsg1(h.S().StatusLine);
    std::string copy = line;
    h.form1.PostMsg2(copy);
  }
  EXPECT_EQ(h.Status(), std::vector<std::string>(std::begin(lines), std::end(lines)));
  EXPECT_EQ(h.Debug(), std::vector<std::string>(std::begin(lines), std::end(lines)));
}

TEST(MessageLists, PostMsg2EmptiesItsArgumentPostMsg1DoesNot) {
  Harness h;
  h.S().StatusLine = "Status text";
  h.form1.PostMsg1(h.S().StatusLine);
  EXPECT_EQ(h.S().StatusLine, "Status text");

  h.S().DebugLine = "Debug text";
  h.form1.PostMsg2(h.S().DebugLine);
  EXPECT_EQ(h.S().DebugLine, "");
  EXPECT_EQ(h.Debug(), std::vector<std::string>{"Debug text"});

  std::string own = "dialog's own";
  h.form1.PostMsg2(own);
  EXPECT_EQ(own, "");
}

TEST(MessageLists, EachClearEmptiesOnlyItsOwnList) {
  Harness h;
  h.S().StatusLine = "s";
  h.S().DebugLine = "kept";
  h.form1.PostMsg1("s1");
  std::string d = "d1";
  h.form1.PostMsg2(d);

  h.form1.ClearStatusList_Click();
  EXPECT_TRUE(h.Status().empty());
  EXPECT_EQ(h.Debug().size(), 1u);

  h.form1.PostMsg1("after");
  EXPECT_EQ(h.Status(), std::vector<std::string>{"after"});

  h.form1.ClearDebugList_Click();
  EXPECT_TRUE(h.Debug().empty());
  EXPECT_EQ(h.Status().size(), 1u);
  EXPECT_EQ(h.S().StatusLine, "s");
  EXPECT_EQ(h.S().DebugLine, "kept");
}

}  // namespace
}  // namespace qrb
