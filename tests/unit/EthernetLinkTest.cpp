// The Ethernet link: starting the connection and the control's events.
#include <gtest/gtest.h>

#include "Harness.h"

namespace qrb::test {
namespace {

Bytes Drain(Form1& f) {
  Bytes bytes;
  for (std::int32_t b = f.Fifo1Get(); b != -1; b = f.Fifo1Get()) bytes.push_back(static_cast<std::uint8_t>(b));
  return bytes;
}

// Each attempt drops any earlier socket first; only the connect event opens
// the link, and a failure or a drop is reported once and leaves it closed.
TEST(EthernetLink, ConnectsFailsReconnectsAndDrops) {
  Harness h;
  ReflashSession& s = h.S();
  s.IPAddress = "10.0.0.9";
  s.PortNumber = 502;
  s.WinsockIsrActive = True;
  const Lines attempt{"Close", "SetLocalPort(0)", "SetRemoteHost(10.0.0.9)", "SetRemotePort(502)", "Connect"};
  h.form1.InitWinSock();
  EXPECT_EQ(h.tcp.calls, attempt);
  EXPECT_EQ(s.WinsockIsrActive, False);
  h.form1.Winsock1Data_ConnectFailed("Connection refused");
  EXPECT_EQ(s.EthernetInitialized, False);
  EXPECT_FALSE(h.Timer1.Enabled());

  h.tcp.calls.clear();
  h.form1.InitWinSock();
  EXPECT_EQ(h.tcp.calls, attempt);
  EXPECT_EQ(s.EthernetInitialized, False);
  h.form1.Winsock1Data_Connect();
  EXPECT_EQ(s.EthernetInitialized, True);
  EXPECT_EQ(h.Text3.Text(), "Ethernet IP address: 10.0.0.9   Port number: 502");
  EXPECT_TRUE(h.Timer1.Enabled());

  h.form1.Winsock1Data_Dropped("The remote host closed the connection");
  h.form1.Winsock1Data_Dropped("again");
  h.form1.CloseDataPipe();  // no open connection left to claim closed
  EXPECT_EQ(s.EthernetInitialized, False);
  EXPECT_EQ(h.posted, (Lines{"D: Ethernet connection pending.",
                             "D: Ethernet connection to 10.0.0.9 port 502 failed: Connection refused",
                             "D: Ethernet connection pending.", "D: Ethernet connection complete.",
                             "D: Ethernet connection lost: The remote host closed the connection"}));
}

TEST(EthernetLink, ACountMismatchIsReportedAndEveryByteReadIsStillStored) {
  Harness h;
  h.tcp.received = {1, 2, 3};
  h.form1.Winsock1Data_DataArrival(2);
  EXPECT_EQ(h.posted, (Lines{"D: Byte counts are not equal.", "D: IncomingByteCount = 2", "D: UBound = 2  LBound = 0"}));
  EXPECT_EQ(Drain(h.form1), (Bytes{1, 2, 3}));

  h.posted.clear();
  h.form1.Winsock1Data_DataArrival(1);  // nothing left to read
  EXPECT_EQ(h.posted, (Lines{"D: Byte counts are not equal.", "D: IncomingByteCount = 1", "D: UBound = -1  LBound = 0"}));
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
