// Opening and closing the serial COM link, and closing the Ethernet link.
#include <gtest/gtest.h>

#include "Harness.h"

namespace qrb {
namespace {

using test::Harness;
using Lines = std::vector<std::string>;

class FakeReasons : public SerialDiagnostics {
 public:
  std::string DescribeFailure(std::int32_t port, std::int32_t code) override {
    return "reason for COM" + std::to_string(port) + " code " + std::to_string(code);
  }
};

const Lines OpenCalls = {"InitializePort", "ser_rs232_getport", "SetPortCharacteristics", "CdrvSetTimerResolution",
                         "SetTimeout",     "SetPaceTime",       "FlushReceiveBuffer",     "FlushTransmitBuffer"};

TEST(InitComPort, DefaultsOpenCom1AtBaudCode8) {
  Harness h;
  h.S().PacketLength = 12;
  h.S().TimerIsrActive = True;
  h.form1.InitComPort();
  EXPECT_EQ(h.serial.calls,
            (Lines{"InitializePort(1,0,1016,4,9,0,8192,8192,0)", "ser_rs232_getport(1)",
                   "SetPortCharacteristics(1,8,0,3,0,0)", "CdrvSetTimerResolution(1,1)", "SetTimeout(1,1)",
                   "SetPaceTime(1,0)", "FlushReceiveBuffer(1)", "FlushTransmitBuffer(1)"}));
  EXPECT_EQ(h.posted, (Lines{"S: COM port initialized and opened."}));
  EXPECT_EQ(h.Text3.Text(), "COM1: at 19.2 kbaud");
  EXPECT_EQ(h.S().ComInitialized, True);
  EXPECT_TRUE(h.Timer1.Enabled());
  EXPECT_EQ(h.S().PacketLength, 0);  // no packet and no tick left marked running
  EXPECT_EQ(h.S().TimerIsrActive, False);
}

TEST(InitComPort, EachSpeedGivesItsBaudCodeAndText) {
  const struct {
    std::int32_t port;
    std::int16_t speed;
    std::string text3;
  } cases[] = {{4, 2, "COM4: at 38.4 kbaud"}, {2, 3, "COM2: at 57.6 kbaud"}, {3, 4, "COM3: at 115.2 kbaud"}};
  for (const auto& c : cases) {
    Harness h;
    h.S().ComPort = c.port;
    h.S().ComSpeed = c.speed;
    h.S().ComAddr = 0x2E8;
    h.S().ComIRQ = 7;
    h.form1.InitComPort();
    const std::string port = std::to_string(c.port);
    EXPECT_EQ(h.serial.calls[0], "InitializePort(" + port + "," + std::to_string(c.port - 1) + ",744,7,9,0,8192,8192,0)");
    EXPECT_EQ(h.serial.calls[2], "SetPortCharacteristics(" + port + "," + std::to_string(c.speed + 7) + ",0,3,0,0)");
    EXPECT_EQ(h.Text3.Text(), c.text3);
  }
}

struct RefusalCase {
  std::int32_t port;
  std::int16_t speed, irq, addr;
  std::string message;
};

TEST(InitComPort, ASettingOutsideItsSetIsRefusedBeforeAnyLibraryCall) {
  const RefusalCase cases[] = {
      {0, 1, 4, 0x3F8, "COM Port selection is invalid."},
      {5, 9, 2, 0x300, "COM Port selection is invalid."},  // only the first failing check
      {1, 0, 4, 0x3F8, "COM Speed selection is invalid."},
      {1, 5, 2, 0x3F8, "COM Speed selection is invalid."},
      {1, 1, 2, 0x3F8, "COM IRQ selection is invalid."},
      {1, 1, 0, 0x300, "COM IRQ selection is invalid."},
      {1, 1, 7, 0x300, "COM I/O address selection is invalid."},
      {1, 1, 3, 0, "COM I/O address selection is invalid."},
  };
  for (const RefusalCase& c : cases) {
    Harness h;
    h.S().ComPort = c.port;
    h.S().ComSpeed = c.speed;
    h.S().ComIRQ = c.irq;
    h.S().ComAddr = c.addr;
    h.form1.InitComPort();
    EXPECT_EQ(h.posted, (Lines{"D: " + c.message}));
    EXPECT_TRUE(h.serial.calls.empty());
    EXPECT_EQ(h.S().ComInitialized, False);
    EXPECT_FALSE(h.Timer1.Enabled());
  }
}

TEST(InitComPort, AnOpenPortIsNotOpenedTwice) {
  Harness h;
  h.form1.InitComPort();
  h.serial.calls.clear();
  h.form1.InitComPort();
  EXPECT_EQ(h.Debug(), (Lines{"** ERROR ** COM Port already open."}));
  EXPECT_TRUE(h.serial.calls.empty());
  EXPECT_EQ(h.S().ComInitialized, True);
}

struct OpenFailureCase {
  std::string failing;
  std::string message;
  Lines calls;  // after the failure line
};

// A failure to open or set up the port: the code, then the system's reason;
// a port the library already holds is released so that it can be opened again.
TEST(InitComPort, AFailureToOpenOrSetUpEndsTheAttemptAndReleasesThePort) {
  const OpenFailureCase cases[] = {
      {"InitializePort", "Error initializing COM port: ", {"InitializePort"}},
      {"ser_rs232_getport", "Error setting COM port parameters: ",
       {"InitializePort", "ser_rs232_getport", "UnInitializePort"}},
      {"SetPortCharacteristics", "Error setting COM port characteristics: ",
       {"InitializePort", "ser_rs232_getport", "SetPortCharacteristics", "UnInitializePort"}},
  };
  for (const OpenFailureCase& c : cases) {
    Harness h;
    FakeReasons reasons;
    h.form1.P.SerialReasons = &reasons;
    h.S().ComPort = 2;
    h.serial.results[c.failing] = -4;
    h.serial.results["UnInitializePort"] = -5;  // its own result must not hide the cause
    h.form1.InitComPort();
    EXPECT_EQ(h.posted, (Lines{"D: " + c.message + "-4", "D: reason for COM2 code -4"})) << c.failing;
    EXPECT_EQ(h.serial.CallNames(), c.calls) << c.failing;
    EXPECT_EQ(h.S().ComStatus, -4);
    EXPECT_EQ(h.S().ComInitialized, False);
    EXPECT_EQ(h.Text3.Text(), "");
    EXPECT_FALSE(h.Timer1.Enabled());
    EXPECT_FALSE(h.serial.open);

    // The next attempt opens the port.
    h.serial.results.clear();
    h.serial.calls.clear();
    h.form1.InitComPort();
    EXPECT_EQ(h.serial.CallNames(), OpenCalls);
    EXPECT_EQ(h.S().ComInitialized, True);
  }
}

struct LateFailureCase {
  std::string failing;
  std::string message;
};

TEST(InitComPort, TimerTimeOutAndPaceFailuresAreReportedAndThePortStillOpens) {
  const LateFailureCase cases[] = {
      {"CdrvSetTimerResolution", "Error setting timer resolution: 3"},
      {"SetTimeout", "Error setting time out: 3"},
      {"SetPaceTime", "Error setting pace time: 3"},
  };
  for (const LateFailureCase& c : cases) {
    Harness h;
    FakeReasons reasons;
    h.form1.P.SerialReasons = &reasons;  // not asked for these
    h.serial.results[c.failing] = 3;
    h.form1.InitComPort();
    EXPECT_EQ(h.posted, (Lines{"D: " + c.message, "S: COM port initialized and opened."}));
    EXPECT_EQ(h.serial.CallNames(), OpenCalls);
    EXPECT_EQ(h.S().ComInitialized, True);
    EXPECT_TRUE(h.Timer1.Enabled());
  }
}

TEST(InitComPort, TheOpenLineComesBeforeAnyFlushErrorAndTheLinkIsOpenByThen) {
  Harness h;
  std::size_t postedAtFlush = 0;
  Flag openAtFlush = False;
  h.serial.onCall = [&](const std::string& call) {
    if (call.rfind("FlushReceiveBuffer", 0) != 0) return;
    postedAtFlush = h.posted.size();
    openAtFlush = h.S().ComInitialized;
  };
  h.serial.results["FlushReceiveBuffer"] = -8;
  h.form1.InitComPort();
  EXPECT_EQ(postedAtFlush, 1u);
  EXPECT_EQ(openAtFlush, True);
  EXPECT_EQ(h.posted, (Lines{"S: COM port initialized and opened.", "D: ** Error flushing receive buffer: -8"}));
  EXPECT_EQ(h.S().ComInitialized, True);
}

// ---- CloseDataPipe ----

TEST(CloseDataPipe, ClosesTheComPortAndCountsItClosedEvenOnError) {
  struct Case {
    std::int32_t port, result;
    std::string line;
  };
  for (const Case& c : {Case{2, 0, "Closed COM port: 2"}, Case{1, -5, "Error: -5 closing COM port: 1"}}) {
    Harness h;
    h.S().ComPort = c.port;
    h.form1.InitComPort();
    h.serial.calls.clear();
    h.posted.clear();
    h.serial.results["UnInitializePort"] = c.result;
    h.form1.CloseDataPipe();
    EXPECT_EQ(h.serial.calls, (Lines{"UnInitializePort(" + std::to_string(c.port) + ")"}));
    EXPECT_EQ(h.posted, (Lines{"D: " + c.line}));
    EXPECT_EQ(h.S().ComInitialized, False);
    EXPECT_EQ(h.S().ComStatus, c.result);
    EXPECT_FALSE(h.Timer1.Enabled());
    h.form1.CloseDataPipe();  // nothing left to close
    EXPECT_EQ(h.posted.size(), 1u);
  }
}

}  // namespace
}  // namespace qrb
