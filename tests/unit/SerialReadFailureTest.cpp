// A serial read that keeps failing: reported once with the system's reason;
// a device that is gone ends the run at the next tick.
#include <gtest/gtest.h>

#include "EngineRig.h"
#include "pipe/SerialCodes.h"

namespace qrb::test {
namespace {

TEST(SerialReadFailure, ALastingFailureIsReportedOnceAndAgainAfterItCleared) {
  Harness h;
  FakeSerialReasons reasons;
  h.form1.AttachSerialReasons(&reasons);
  h.S().DataPipe = PipeSerial;
  h.serial.results["ser_rs232_getpacket"] = SerialCode::IoError;
  for (int i = 0; i < 5; ++i) h.form1.GetAByte();
  h.serial.results["ser_rs232_getpacket"] = SerialCode::DeviceGone;  // a different failure is news
  for (int i = 0; i < 5; ++i) h.form1.GetAByte();
  h.serial.results.erase("ser_rs232_getpacket");
  h.form1.GetAByte();
  h.serial.results["ser_rs232_getpacket"] = SerialCode::IoError;
  h.form1.GetAByte();
  EXPECT_EQ(h.Debug(), (Lines{"Error getting a packet: -8", "reason for COM1 code -8", "Error getting a packet: -11",
                              "reason for COM1 code -11", "Error getting a packet: -8", "reason for COM1 code -8"}));
  EXPECT_EQ(h.S().LastByte, -1);
}

}  // namespace
}  // namespace qrb::test
