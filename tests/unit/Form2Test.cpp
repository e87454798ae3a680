// The settings dialog's logic behind its buttons, and "Select Data Pipe".
// Captions, enabled states and option groups are tested on the real dialog.
#include <gtest/gtest.h>

#include "Harness.h"

namespace qrb {
namespace {

using test::Harness;
using Lines = std::vector<std::string>;

TEST(SettingsDialog, CancelKeepsTheChoicesOpensNothingAndHides) {
  Harness h;
  h.form2->Show();
  h.form2->ComIoBtn_Click(0x2E8);
  h.form2->Cancel1_Click();
  EXPECT_EQ(h.S().ComAddr, 0x2E8);
  EXPECT_EQ(h.posted, (Lines{"D: Comms selection cancelled."}));
  EXPECT_FALSE(h.form2Window.Visible());
  EXPECT_TRUE(h.serial.calls.empty());
  EXPECT_TRUE(h.tcp.calls.empty());
}

TEST(SettingsDialog, InitializeOpensTheChosenLinkAndHidesEvenOnFailure) {
  Harness h;
  h.form2->Show();
  h.serial.results["InitializePort"] = -2;
  h.form2->Initialize_Click();
  EXPECT_EQ(h.Debug(), (Lines{"Error initializing COM port: -2"}));  // no reasons: only the code
  EXPECT_FALSE(h.form2Window.Visible());

  h.form2->Show();
  h.S().DataPipe = 3;
  h.form2->Initialize_Click();
  EXPECT_EQ(h.Debug().back(), "Invalid DataPipe selection: 3");
  EXPECT_FALSE(h.form2Window.Visible());
  EXPECT_EQ(h.serial.calls.size(), 1u);
  EXPECT_TRUE(h.tcp.calls.empty());
}

// The port box takes a whole number from 1 to 65535, blanks around it
// allowed; anything else is refused with the text quoted and the dialog
// stays open with nothing taken from either box.
TEST(SettingsDialog, InitializeOnEthernetTakesBothBoxesOnlyWithAValidPort) {
  struct Case {
    const char* text;
    std::int32_t port;  // 0: refused
  };
  const Case cases[] = {{"502", 502}, {"1", 1}, {"65535", 65535}, {" 10002 ", 10002}, {"", 0},       {"  ", 0},
                        {"abc", 0},   {"0", 0}, {"65536", 0},     {"-1", 0},           {"+80", 0},    {"12x", 0},
                        {"1.5", 0},   {"12 34", 0}, {"99999999999", 0}, {"4294977297", 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    Harness t;
    t.form2->Show();
    t.form2->DataPipeSelect_Click(5);
    t.IPAddressBox.SetText("10.1.2.3");
    t.PortNumberBox.SetText(c.text);
    t.form2->Initialize_Click();
    ASSERT_EQ(t.Debug().size(), 1u);
    if (c.port != 0) {
      EXPECT_EQ(t.Debug()[0], "Ethernet connection pending.");
      EXPECT_EQ(t.S().IPAddress, "10.1.2.3");
      EXPECT_EQ(t.S().PortNumber, c.port);
      EXPECT_EQ(t.tcp.host, "10.1.2.3");
      EXPECT_EQ(t.tcp.port, c.port);
      EXPECT_FALSE(t.form2Window.Visible());
    } else {
      EXPECT_NE(t.Debug()[0].find(std::string("\"") + c.text + "\""), std::string::npos) << t.Debug()[0];
      EXPECT_TRUE(t.form2Window.Visible());
      EXPECT_EQ(t.S().IPAddress, "192.168.1.70");
      EXPECT_EQ(t.S().PortNumber, 10001);
      EXPECT_TRUE(t.tcp.calls.empty());
    }
  }
}

TEST(SelectDataPipe, ClosesTheOpenLinkThenShowsTheDialog) {
  Harness h;
  h.S().ComPort = 2;
  h.form1.InitComPort();
  h.posted.clear();
  h.form1.SelectDataPipe_Click();
  EXPECT_EQ(h.posted, (Lines{"D: Closed COM port: 2"}));
  EXPECT_EQ(h.Text3.Text(), "");
  EXPECT_EQ(h.S().ComInitialized, False);
  EXPECT_FALSE(h.Timer1.Enabled());
  EXPECT_TRUE(h.form2Window.Visible());
}

TEST(SelectDataPipe, IsRefusedWhileATickOrArrivalIsRunning) {
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
