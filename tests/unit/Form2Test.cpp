// The "COM Port Parameters" dialog's logic and the "Select Data Pipe" button.
#include <gtest/gtest.h>

#include "Harness.h"

namespace qrb {
namespace {

using test::Harness;
using Lines = std::vector<std::string>;

enum Group { DataPipeSelect, Comx, ComBaud, ComIo, ComIrq };

class SettingsDialog : public ::testing::Test {
 protected:
  Harness h;
  Form2& d = *h.form2;
  ReflashSession& s = h.S();

  PlainOptionButton& Option(Group g, int index) { return h.options[g].at(index); }
  // Enabled states of the sixteen COM option buttons.
  std::vector<bool> ComEnabled() {
    std::vector<bool> states;
    for (Group g : {Comx, ComBaud, ComIo, ComIrq})
      for (auto& [index, button] : h.options[g]) states.push_back(button.Enabled());
    return states;
  }
};

TEST_F(SettingsDialog, StartsHiddenWithTheDefaultsCheckedAndTheEthernetBoxesDisabled) {
  EXPECT_FALSE(h.form2Window.Visible());
  EXPECT_TRUE(Option(Comx, 1).Value());
  EXPECT_TRUE(Option(ComBaud, 1).Value());
  EXPECT_TRUE(Option(ComIo, 0x3F8).Value());
  EXPECT_TRUE(Option(ComIrq, 4).Value());
  EXPECT_TRUE(Option(DataPipeSelect, 1).Value());
  EXPECT_FALSE(Option(DataPipeSelect, 5).Value());
  EXPECT_EQ(ComEnabled(), std::vector<bool>(16, true));
  EXPECT_EQ(h.IPAddressBox.Text(), "192.168.1.70");
  EXPECT_EQ(h.PortNumberBox.Text(), "10001");
  EXPECT_FALSE(h.IPAddressBox.Enabled());
  EXPECT_FALSE(h.PortNumberBox.Enabled());
}

TEST_F(SettingsDialog, ChoosingEthernetSwapsWhichControlsAreEnabledAndSerialSwapsBack) {
  d.DataPipeSelect_Click(5);
  EXPECT_EQ(s.DataPipe, PipeEthernet);
  EXPECT_EQ(ComEnabled(), std::vector<bool>(16, false));
  EXPECT_TRUE(h.IPAddressBox.Enabled());
  EXPECT_TRUE(h.PortNumberBox.Enabled());

  d.DataPipeSelect_Click(1);
  EXPECT_EQ(s.DataPipe, PipeSerial);
  EXPECT_EQ(ComEnabled(), std::vector<bool>(16, true));
  EXPECT_FALSE(h.IPAddressBox.Enabled());
  EXPECT_FALSE(h.PortNumberBox.Enabled());
}

TEST_F(SettingsDialog, EachOptionClickWritesItsIndexThroughAtOnce) {
  d.ComxBtn_Click(3);
  d.ComBaudBtn_Click(4);
  d.ComIoBtn_Click(0x2E8);
  d.ComIrqBtn_Click(7);
  EXPECT_EQ(s.ComPort, 3);
  EXPECT_EQ(s.ComSpeed, 4);
  EXPECT_EQ(s.ComAddr, 0x2E8);
  EXPECT_EQ(s.ComIRQ, 7);
  EXPECT_TRUE(h.posted.empty());
}

TEST_F(SettingsDialog, CancelKeepsTheChoicesOpensNothingAndHides) {
  d.Show();
  d.ComIoBtn_Click(0x2E8);
  d.Cancel1_Click();
  EXPECT_EQ(s.ComAddr, 0x2E8);
  EXPECT_EQ(h.posted, (Lines{"D: Comms selection cancelled."}));
  EXPECT_FALSE(h.form2Window.Visible());
  EXPECT_TRUE(h.serial.calls.empty());
  EXPECT_TRUE(h.tcp.calls.empty());
}

TEST_F(SettingsDialog, InitializeOnEthernetCopiesBothBoxesBeforeConnecting) {
  d.Show();
  d.DataPipeSelect_Click(5);
  h.IPAddressBox.SetText("10.1.2.3");
  h.PortNumberBox.SetText("502");
  d.Initialize_Click();
  EXPECT_EQ(s.IPAddress, "10.1.2.3");
  EXPECT_EQ(s.PortNumber, 502);
  EXPECT_EQ(h.tcp.host, "10.1.2.3");
  EXPECT_EQ(h.tcp.port, 502);
  EXPECT_EQ(h.posted, (Lines{"D: Ethernet connection pending."}));
  EXPECT_FALSE(h.form2Window.Visible());
}

TEST_F(SettingsDialog, InitializeOnSerialOpensThePortAndHidesEvenOnFailure) {
  d.Show();
  h.serial.results["InitializePort"] = -2;
  d.Initialize_Click();
  EXPECT_EQ(h.Debug(), (Lines{"Error initializing COM port: -2"}));
  EXPECT_FALSE(h.form2Window.Visible());

  d.Show();
  h.serial.results.clear();
  d.Initialize_Click();
  EXPECT_EQ(s.ComInitialized, True);
  EXPECT_FALSE(h.form2Window.Visible());
}

TEST_F(SettingsDialog, InitializeWithAnUnknownPipeIsReportedAndHides) {
  d.Show();
  s.DataPipe = 3;
  d.Initialize_Click();
  EXPECT_EQ(h.posted, (Lines{"D: Invalid DataPipe selection: 3"}));
  EXPECT_FALSE(h.form2Window.Visible());
  EXPECT_TRUE(h.serial.calls.empty());
  EXPECT_TRUE(h.tcp.calls.empty());
}

TEST_F(SettingsDialog, APortNumberThatIsNotAWholeNumberFrom1To65535IsRefused) {
  for (const char* text : {"", "  ", "abc", "0", "65536", "-1", "+80", "12x", "1.5", "99999999999", "4294977297"}) {
    Harness t;
    t.form2->Show();
    t.form2->DataPipeSelect_Click(5);
    t.IPAddressBox.SetText("10.1.2.3");
    t.PortNumberBox.SetText(text);
    t.form2->Initialize_Click();
    ASSERT_EQ(t.Debug().size(), 1u) << text;
    EXPECT_NE(t.Debug()[0].find(std::string("\"") + text + "\""), std::string::npos) << t.Debug()[0];
    EXPECT_TRUE(t.form2Window.Visible()) << text;
    EXPECT_EQ(t.S().IPAddress, "192.168.1.70");
    EXPECT_EQ(t.S().PortNumber, 10001);
    EXPECT_TRUE(t.tcp.calls.empty()) << text;
  }
}

TEST_F(SettingsDialog, PortNumbersAtTheEdgesAndWithBlanksAreAccepted) {
  struct Case {
    const char* text;
    std::int32_t port;
  };
  for (const Case& c : {Case{"1", 1}, Case{"65535", 65535}, Case{" 10002 ", 10002}}) {
    Harness t;
    t.form2->DataPipeSelect_Click(5);
    t.PortNumberBox.SetText(c.text);
    t.form2->Initialize_Click();
    EXPECT_EQ(t.S().PortNumber, c.port) << c.text;
    EXPECT_EQ(t.tcp.port, c.port);
  }
}

TEST_F(SettingsDialog, ShowingAgainKeepsEveryChoiceAndState) {
  d.Show();
  d.DataPipeSelect_Click(5);
  h.PortNumberBox.SetText("7");
  d.Cancel1_Click();
  h.form1.SelectDataPipe_Click();
  EXPECT_TRUE(h.form2Window.Visible());
  EXPECT_EQ(h.PortNumberBox.Text(), "7");
  EXPECT_TRUE(h.PortNumberBox.Enabled());
  EXPECT_EQ(ComEnabled(), std::vector<bool>(16, false));
  EXPECT_EQ(s.DataPipe, PipeEthernet);
}

// ---- "Select Data Pipe" on the main window ----

TEST_F(SettingsDialog, SelectDataPipeClosesTheOpenLinkThenShowsTheDialog) {
  s.ComPort = 2;
  h.form1.InitComPort();
  h.posted.clear();
  h.form1.SelectDataPipe_Click();
  EXPECT_EQ(h.posted, (Lines{"D: Closed COM port: 2"}));
  EXPECT_EQ(h.Text3.Text(), "");
  EXPECT_EQ(s.ComInitialized, False);
  EXPECT_FALSE(h.Timer1.Enabled());
  EXPECT_TRUE(h.form2Window.Visible());
}

TEST_F(SettingsDialog, SelectDataPipeIsRefusedWhileATickOrArrivalIsRunning) {
  for (bool tick : {true, false}) {
    Harness t;
    t.form1.InitComPort();
    t.posted.clear();
    (tick ? t.S().TimerIsrActive : t.S().WinsockIsrActive) = True;
    t.form1.SelectDataPipe_Click();
    EXPECT_EQ(t.posted, (Lines{"D: Com setup attempt failed, timer stopped. --> Try again !"}));
    EXPECT_FALSE(t.Timer1.Enabled());
    EXPECT_FALSE(t.form2Window.Visible());
    EXPECT_EQ(t.S().ComInitialized, True);  // the link stays open
    EXPECT_EQ(t.Text3.Text(), "COM1: at 19.2 kbaud");
  }
}

}  // namespace
}  // namespace qrb
