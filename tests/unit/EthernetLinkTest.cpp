// The Ethernet link: starting the connection and the control's events.
#include <gtest/gtest.h>

#include "Harness.h"

namespace qrb {
namespace {

using test::Harness;
using Lines = std::vector<std::string>;

class EthernetLink : public ::testing::Test {
 protected:
  Harness h;
  Form1& f = h.form1;
  ReflashSession& s = h.S();

  void Establish() {
    s.DataPipe = PipeEthernet;
    f.InitWinSock();
    f.Winsock1Data_Connect();
    h.posted.clear();
    h.tcp.calls.clear();
  }
  std::vector<std::uint8_t> Drain() {
    std::vector<std::uint8_t> bytes;
    for (std::int32_t b = f.Fifo1Get(); b != -1; b = f.Fifo1Get()) bytes.push_back(static_cast<std::uint8_t>(b));
    return bytes;
  }
};

TEST_F(EthernetLink, InitWinSockDropsAnyEarlierSocketThenConnectsAndOnlyReportsPending) {
  s.WinsockIsrActive = True;
  f.InitWinSock();
  EXPECT_EQ(h.tcp.calls,
            (Lines{"Close", "SetLocalPort(0)", "SetRemoteHost(192.168.1.70)", "SetRemotePort(10001)", "Connect"}));
  EXPECT_EQ(h.posted, (Lines{"D: Ethernet connection pending."}));
  EXPECT_EQ(s.EthernetInitialized, False);
  EXPECT_EQ(s.WinsockIsrActive, False);
  EXPECT_FALSE(h.Timer1.Enabled());
}

TEST_F(EthernetLink, TheConnectEventOpensTheLinkAndStartsTheTimer) {
  f.InitWinSock();
  f.Winsock1Data_Connect();
  EXPECT_EQ(h.Debug(), (Lines{"Ethernet connection pending.", "Ethernet connection complete."}));
  EXPECT_EQ(s.EthernetInitialized, True);
  EXPECT_EQ(h.Text3.Text(), "Ethernet IP address: 192.168.1.70   Port number: 10001");
  EXPECT_TRUE(h.Timer1.Enabled());
}

TEST_F(EthernetLink, ArrivingBytesGoToTheFifoInOrder) {
  Establish();
  h.tcp.Arrive({0x03, 0x00, 0xFF});
  h.tcp.Arrive({0x41});
  EXPECT_EQ(Drain(), (std::vector<std::uint8_t>{0x03, 0x00, 0xFF, 0x41}));
  EXPECT_TRUE(h.posted.empty());
  EXPECT_EQ(s.IncomingLBound, 0);
  EXPECT_EQ(s.IncomingUBound, 0);
  EXPECT_EQ(s.WinsockIsrActive, False);
}

TEST_F(EthernetLink, ACountMismatchIsReportedAndEveryByteReadIsStillStored) {
  Establish();
  h.tcp.received = {1, 2, 3};
  f.Winsock1Data_DataArrival(2);
  EXPECT_EQ(h.posted, (Lines{"D: Byte counts are not equal.", "D: IncomingByteCount = 2", "D: UBound = 2  LBound = 0"}));
  EXPECT_EQ(Drain(), (std::vector<std::uint8_t>{1, 2, 3}));

  // An event with nothing left to read.
  h.posted.clear();
  f.Winsock1Data_DataArrival(1);
  EXPECT_EQ(h.posted, (Lines{"D: Byte counts are not equal.", "D: IncomingByteCount = 1", "D: UBound = -1  LBound = 0"}));
}

TEST_F(EthernetLink, AnArrivalWhileTheHandlerIsMarkedRunningReadsNothing) {
  Establish();
  h.tcp.Arrive({7});
  s.WinsockIsrActive = True;
  h.tcp.calls.clear();
  h.tcp.received = {8, 9};
  const auto fifo = s.Fifo1;
  const auto in = s.Fifo1In;
  f.Winsock1Data_DataArrival(2);
  EXPECT_TRUE(h.tcp.calls.empty());
  EXPECT_EQ(h.tcp.received, (std::vector<std::uint8_t>{8, 9}));
  EXPECT_EQ(s.Fifo1, fifo);
  EXPECT_EQ(s.Fifo1In, in);
  EXPECT_EQ(s.WinsockIsrActive, True);
  EXPECT_TRUE(h.posted.empty());

  // The next event, once the mark is clear, takes the bytes left waiting.
  s.WinsockIsrActive = False;
  h.tcp.Arrive({10});
  EXPECT_EQ(Drain(), (std::vector<std::uint8_t>{7, 8, 9, 10}));
}

TEST_F(EthernetLink, A1026ByteArrivalFillsTheFifoAndDropsOneByte) {
  Establish();
  std::vector<std::uint8_t> burst(Fifo1Size + 1);
  for (std::size_t i = 0; i < burst.size(); ++i) burst[i] = static_cast<std::uint8_t>(i % 251);
  h.tcp.Arrive(burst);
  EXPECT_EQ(h.posted, (Lines{"S: Fifo1 is full."}));
  EXPECT_EQ(s.Fifo1Full, True);
  burst.pop_back();
  EXPECT_EQ(Drain(), burst);
}

TEST_F(EthernetLink, AFailedAttemptIsReportedAndTheLinkStaysClosed) {
  f.InitWinSock();
  f.Winsock1Data_ConnectFailed("Connection refused");
  EXPECT_EQ(h.Debug(), (Lines{"Ethernet connection pending.",
                              "Ethernet connection to 192.168.1.70 port 10001 failed: Connection refused"}));
  EXPECT_EQ(s.EthernetInitialized, False);
  EXPECT_FALSE(h.Timer1.Enabled());
}

TEST_F(EthernetLink, ADroppedConnectionIsReportedOnceAndClosesTheLink) {
  Establish();
  f.Winsock1Data_Dropped("The remote host closed the connection");
  EXPECT_EQ(h.posted, (Lines{"D: Ethernet connection lost: The remote host closed the connection"}));
  EXPECT_EQ(s.EthernetInitialized, False);

  // Closing afterwards does not claim to close an open connection.
  f.Winsock1Data_Dropped("again");
  f.CloseDataPipe();
  EXPECT_EQ(h.posted.size(), 1u);
}

TEST_F(EthernetLink, ReconnectingDropsTheEarlierSocketFirst) {
  f.InitWinSock();
  f.Winsock1Data_ConnectFailed("Connection timed out");
  h.tcp.calls.clear();
  s.IPAddress = "10.0.0.9";
  s.PortNumber = 502;
  f.InitWinSock();
  EXPECT_EQ(h.tcp.calls,
            (Lines{"Close", "SetLocalPort(0)", "SetRemoteHost(10.0.0.9)", "SetRemotePort(502)", "Connect"}));
}

}  // namespace
}  // namespace qrb
