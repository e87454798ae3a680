// The settings dialog's port box and "Select Data Pipe".
#include <gtest/gtest.h>

#include "Harness.h"

namespace qrb::test {
namespace {

// The port box takes a whole number from 1 to 65535, blanks around it
// allowed, the address box four numbers 0 to 255 or a host name; anything
// else is refused, quoted, and neither box is taken.
TEST(SettingsDialog, InitializeOnEthernetTakesBothBoxesOnlyWhenBothAreValid) {
  const struct {
    const char* text;
    std::int32_t port;  // 0: refused
    const char* address = "10.1.2.3";
  } cases[] = {{"502", 502}, {"1", 1},       {"65535", 65535}, {" 10002 ", 10002}, {"", 0},
               {"abc", 0},   {"0", 0},       {"65536", 0},     {"-1", 0},          {"+80", 0},
               {"12x", 0},   {"12 34", 0},   {"4294977297", 0},
               {"7", 7, "board-7.local"}, {"7", 7, "255.0.0.1"}, {"7", 0, "256.0.0.1"}, {"7", 0, "1.2.3"},
               {"7", 0, "1.2.3.4."},      {"7", 0, ""},          {"7", 0, "a b"},     {"7", 0, "-x"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.text) + " at " + c.address);
    Harness h;
    h.form2.Show();
    h.form2.DataPipeSelect_Click(5);
    h.settings.IPAddress.SetText(c.address);
    h.settings.PortNumber.SetText(c.text);
    h.form2.Initialize_Click();
    ASSERT_EQ(h.Debug().size(), 1u);
    const bool taken = c.port != 0;
    EXPECT_EQ(h.S().IPAddress, taken ? c.address : "192.168.1.70");
    EXPECT_EQ(h.S().PortNumber, taken ? c.port : 10001);
    EXPECT_EQ(h.settings.Dialog.Visible(), !taken);
    if (taken) {
      EXPECT_EQ(h.tcp.calls[2], std::string("SetRemoteHost(") + c.address + ")");
      EXPECT_EQ(h.tcp.calls[3], "SetRemotePort(" + std::to_string(c.port) + ")");
    } else {
      const std::string quoted = std::string("\"") + (std::string(c.text) == "7" ? c.address : c.text) + "\"";
      EXPECT_NE(h.Debug()[0].find(quoted), std::string::npos) << h.Debug()[0];
      EXPECT_TRUE(h.tcp.calls.empty());
    }
  }
}

// The open link is closed before the dialog shows; while a tick or an
// arrival is marked running nothing is closed and the timer stops.
TEST(SelectDataPipe, ClosesTheOpenLinkAndShowsTheDialogUnlessAHandlerIsRunning) {
  for (Flag ReflashSession::*mark : {static_cast<Flag ReflashSession::*>(nullptr), &ReflashSession::TimerIsrActive,
                                     &ReflashSession::WinsockIsrActive}) {
    Harness h;
    h.S().ComPort = 2;
    h.form1.InitComPort();
    h.posted.clear();
    if (mark != nullptr) h.S().*mark = True;
    h.form1.SelectDataPipe_Click();
    EXPECT_FALSE(h.Timer1.Enabled());
    EXPECT_EQ(h.settings.Dialog.Visible(), mark == nullptr);
    EXPECT_EQ(h.S().ComInitialized, mark == nullptr ? False : True);
    EXPECT_EQ(h.Text3.Text(), mark == nullptr ? "" : "COM2: at 19.2 kbaud");
    EXPECT_EQ(h.posted, (Lines{mark == nullptr ? "D: Closed COM port: 2"
                                               : "D: Com setup attempt failed, timer stopped. --> Try again !"}));
  }
}

}  // namespace
}  // namespace qrb::test
