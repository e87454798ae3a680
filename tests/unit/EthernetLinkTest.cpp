// The Ethernet control's data-arrival events.
#include <gtest/gtest.h>

#include "Harness.h"

namespace qrb::test {
namespace {

Bytes Drain(Form1& f) {
  Bytes bytes;
  for (std::int32_t b = f.Fifo1Get(); b != -1; b = f.Fifo1Get()) bytes.push_back(static_cast<std::uint8_t>(b));
  return bytes;
}

TEST(EthernetLink, ACountMismatchIsReportedAndEveryByteReadIsStillStored) {
  Harness h;
  h.tcp.received = {1, 2, 3};
  h.form1.Winsock1Data_DataArrival(2);
  EXPECT_EQ(h.posted, (Lines{"D: Byte counts are not equal.", "D: IncomingByteCount = 2", "D: UBound = 2  LBound = 0"}));
  EXPECT_EQ(Drain(h.form1), (Bytes{1, 2, 3}));
}

TEST(EthernetLink, AnArrivalWhileTheHandlerIsMarkedRunningReadsNothing) {
  Harness h;
  ReflashSession& s = h.S();
  h.tcp.Arrive({7});
  s.WinsockIsrActive = True;
  h.tcp.calls.clear();
  h.tcp.received = {8, 9};
  const auto in = s.Fifo1In;
  h.form1.Winsock1Data_DataArrival(2);
  EXPECT_TRUE(h.tcp.calls.empty());
  EXPECT_EQ(s.Fifo1In, in);
  EXPECT_EQ(s.WinsockIsrActive, True);

  // The next event, once the mark is clear, takes the bytes left waiting.
  s.WinsockIsrActive = False;
  h.tcp.Arrive({10});
  EXPECT_EQ(Drain(h.form1), (Bytes{7, 8, 9, 10}));
  EXPECT_TRUE(h.posted.empty());
}

}  // namespace
}  // namespace qrb::test
