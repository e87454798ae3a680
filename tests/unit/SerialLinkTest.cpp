// Opening and closing the serial COM link.
#include <gtest/gtest.h>

#include <tuple>

#include "Harness.h"

namespace qrb::test {
namespace {

const Lines OpenCalls = {"InitializePort", "ser_rs232_getport", "SetPortCharacteristics", "CdrvSetTimerResolution",
                         "SetTimeout",     "SetPaceTime",       "FlushReceiveBuffer",     "FlushTransmitBuffer"};

TEST(InitComPort, OpensThePortWithItsSettingsAndIsNotOpenedTwice) {
  const struct {
    std::int32_t port;
    std::int16_t speed, addr, irq;
    std::string initialize, baudCode, kbaud;
  } cases[] = {
      {1, 1, 0x3F8, 4, "1,0,1016,4", "8", "19.2"}, {4, 2, 0x2E8, 7, "4,3,744,7", "9", "38.4"},
      {2, 3, 0x2F8, 3, "2,1,760,3", "10", "57.6"}, {3, 4, 0x3E8, 5, "3,2,1000,5", "11", "115.2"},
  };
  for (const auto& c : cases) {
    Harness h;
    ReflashSession& s = h.S();
    std::tie(s.ComPort, s.ComSpeed, s.ComAddr, s.ComIRQ) = std::tuple(c.port, c.speed, c.addr, c.irq);
    s.PacketLength = 12;
    s.TimerIsrActive = True;
    h.form1.InitComPort();
    const std::string p = std::to_string(c.port);
    EXPECT_EQ(h.serial.calls, (Lines{"InitializePort(" + c.initialize + ",9,0,8192,8192,0)", "ser_rs232_getport(" + p + ")",
                                     "SetPortCharacteristics(" + p + "," + c.baudCode + ",0,3,0,0)",
                                     "CdrvSetTimerResolution(" + p + ",1)", "SetTimeout(" + p + ",1)",
                                     "SetPaceTime(" + p + ",0)", "FlushReceiveBuffer(" + p + ")",
                                     "FlushTransmitBuffer(" + p + ")"}));
    EXPECT_EQ(h.posted, (Lines{"S: COM port initialized and opened."}));
    EXPECT_EQ(h.Text3.Text(), "COM" + p + ": at " + c.kbaud + " kbaud");
    EXPECT_EQ(s.ComInitialized, True);
    EXPECT_TRUE(h.Timer1.Enabled());
    EXPECT_EQ(s.PacketLength, 0);  // no packet and no tick left marked running
    EXPECT_EQ(s.TimerIsrActive, False);

    h.serial.calls.clear();
    h.form1.InitComPort();
    EXPECT_EQ(h.Debug(), (Lines{"** ERROR ** COM Port already open."}));
    EXPECT_TRUE(h.serial.calls.empty());
  }
}

TEST(InitComPort, ASettingOutsideItsSetIsRefusedBeforeAnyLibraryCall) {
  const struct {
    std::int32_t port;
    std::int16_t speed, irq, addr;
    std::string message;
  } cases[] = {
      {5, 9, 2, 0x300, "COM Port selection is invalid."},  // only the first failing check
      {1, 5, 2, 0x3F8, "COM Speed selection is invalid."},
      {1, 1, 0, 0x3F8, "COM IRQ selection is invalid."},
      {1, 1, 3, 0, "COM I/O address selection is invalid."},
  };
  for (const auto& c : cases) {
    Harness h;
    std::tie(h.S().ComPort, h.S().ComSpeed, h.S().ComIRQ, h.S().ComAddr) = std::tuple(c.port, c.speed, c.irq, c.addr);
    h.form1.InitComPort();
    EXPECT_EQ(h.posted, (Lines{"D: " + c.message}));
    EXPECT_TRUE(h.serial.calls.empty());
    EXPECT_EQ(h.S().ComInitialized, False);
    EXPECT_FALSE(h.Timer1.Enabled());
  }
}

// Opening fails with the code and the system's reason, and a port already
// held is released; later steps only report their failure.
TEST(InitComPort, EachFailingStepIsReportedInOrder) {
  const struct {
    std::string failing;
    Lines posted;
    std::size_t calls;  // how many were made
    bool opens;
  } cases[] = {
      {"InitializePort", {"D: Error initializing COM port: -4", "D: reason for COM2 code -4"}, 1, false},
      {"ser_rs232_getport", {"D: Error setting COM port parameters: -4", "D: reason for COM2 code -4"}, 2, false},
      {"CdrvSetTimerResolution", {"D: Error setting timer resolution: -4", "S: COM port initialized and opened."}, 8,
       true},
      {"FlushReceiveBuffer",
       {"S: COM port initialized and opened.", "D: ** Error flushing receive buffer: -4"}, 8, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.failing);
    Harness h;
    FakeSerialReasons reasons;
    h.form1.AttachSerialReasons(&reasons);
    h.S().ComPort = 2;
    h.serial.results[c.failing] = -4;
    h.serial.results["UnInitializePort"] = -5;  // its own result must not hide the cause
    h.form1.InitComPort();
    EXPECT_EQ(h.posted, c.posted);
    EXPECT_EQ(h.S().ComInitialized, c.opens ? True : False);
    EXPECT_EQ(h.Timer1.Enabled(), c.opens);
    if (c.opens) continue;
    Lines calls(OpenCalls.begin(), OpenCalls.begin() + static_cast<std::ptrdiff_t>(c.calls));
    if (c.calls > 1) calls.push_back("UnInitializePort");
    EXPECT_EQ(h.serial.CallNames(), calls);
    EXPECT_EQ(h.S().ComStatus, -4);
    EXPECT_EQ(h.Text3.Text(), "");

    h.serial.results.clear();
    h.serial.calls.clear();
    h.form1.InitComPort();
    EXPECT_EQ(h.serial.CallNames(), OpenCalls);
    EXPECT_EQ(h.S().ComInitialized, True);
  }
}

}  // namespace
}  // namespace qrb::test
