// Flush, get one byte and send one packet on both links, and the receive FIFO.
#include <gtest/gtest.h>

#include <algorithm>

#include "Harness.h"
#include "app/Text.h"

namespace qrb::test {
namespace {

// Fifo1Put takes its byte by reference.
void Put(Form1& f, std::uint8_t b) { f.Fifo1Put(b); }

void SetPacket(ReflashSession& s, const std::vector<std::int32_t>& entries) {
  std::copy(entries.begin(), entries.end(), s.PacketBuffer.begin());
  s.PacketLength = static_cast<std::int32_t>(entries.size());
}

TEST(DataPipe, SerialFlushDoesBothBuffersAndReportsEachFailure) {
  const struct {
    std::int32_t receive, transmit;
    Lines debug;
    std::int32_t comStatus;
  } cases[] = {
      {0, 0, {}, 0},
      {-8, 0, {"** Error flushing receive buffer: -8"}, 0},
      {0, 7, {"** Error flushing transmit buffer: 7"}, 7},
      {-8, -5, {"** Error flushing receive buffer: -8", "** Error flushing transmit buffer: -5"}, -5},
  };
  for (const auto& c : cases) {
    Harness h;
    h.S().ComPort = 3;
    h.serial.results = {{"FlushReceiveBuffer", c.receive}, {"FlushTransmitBuffer", c.transmit}};
    h.form1.FlushDataPipe();
    EXPECT_EQ(h.serial.calls, (Lines{"FlushReceiveBuffer(3)", "FlushTransmitBuffer(3)"}));
    EXPECT_EQ(h.Debug(), c.debug);
    EXPECT_EQ(h.S().ComStatus, c.comStatus);
  }
}

// Bytes reach Ethernet reads only through a data-arrival event and the FIFO;
// a flush empties the FIFO alone.
TEST(DataPipe, EthernetReadsTheFifoAndItsFlushEmptiesOnlyThat) {
  Harness h;
  Form1& f = h.form1;
  ReflashSession& s = h.S();
  s.DataPipe = PipeEthernet;
  h.tcp.Arrive({255, 2, 3});
  h.tcp.received = {9};  // received by the control, not yet delivered
  f.GetAByte();
  EXPECT_EQ(s.LastByte, 255);  // a real byte, not "none"
  h.tcp.calls.clear();

  f.FlushDataPipe();
  EXPECT_EQ(s.Fifo1Empty, True);
  EXPECT_EQ(s.Fifo1In, s.Fifo1Out);
  EXPECT_TRUE(h.tcp.calls.empty() && h.serial.calls.empty());
  f.GetAByte();
  EXPECT_EQ(s.LastByte, -1);

  f.Winsock1Data_DataArrival(1);
  f.GetAByte();
  EXPECT_EQ(s.LastByte, 9);
  EXPECT_TRUE(h.posted.empty());
}

TEST(DataPipe, SerialGetAsksForThePacketThenTakesOneByteAndStopsOnFailure) {
  Harness h;
  h.S().ComPort = 2;
  h.serial.rx = {255, 0};
  for (std::int32_t expected : {255, 0, -1}) {
    h.form1.GetAByte();
    EXPECT_EQ(h.S().LastByte, expected);
  }
  EXPECT_EQ(h.serial.calls[0], "ser_rs232_getpacket(2,0,\"0\")");
  EXPECT_EQ(h.serial.calls[1], "GetByte(2)");
  EXPECT_TRUE(h.Debug().empty());

  h.serial.calls.clear();
  h.serial.rx = {0x42};
  h.serial.results["ser_rs232_getpacket"] = -8;
  h.form1.GetAByte();
  EXPECT_EQ(h.S().LastByte, -1);
  EXPECT_EQ(h.S().ComStatus, -8);
  EXPECT_EQ(h.serial.CallNames(), (Lines{"ser_rs232_getpacket"}));
  EXPECT_EQ(h.Debug(), (Lines{"Error getting a packet: -8"}));
}

TEST(DataPipe, AnInvalidDataPipeIsReportedByEachOperation) {
  Harness h;
  h.S().DataPipe = 3;
  h.S().LastByte = 7;
  SetPacket(h.S(), {0xF1, 0xA5});
  h.form1.FlushDataPipe();
  h.form1.GetAByte();
  h.form1.SendAPacket();
  EXPECT_EQ(h.Debug(), (Lines{"Invalid DataPipe in FlushDataPipe: 3", "Invalid DataPipe in GetAByte: 3",
                              "Invalid DataPipe in SendAPacket: 3"}));
  EXPECT_EQ(h.S().LastByte, -1);
  EXPECT_TRUE(h.serial.calls.empty() && h.tcp.sent.empty());
}

// A packet goes whole, as one send, on either link; an empty one sends
// nothing and a length outside the buffer is refused.
TEST(DataPipe, APacketGoesWholeOverEitherLinkWithinTheBuffer) {
  Bytes full;
  std::vector<std::int32_t> entries;
  for (std::int32_t i = 0; i < PacketBufferSize; ++i) {
    entries.push_back(i - 256);  // only the low eight bits are sent
    full.push_back(static_cast<std::uint8_t>(i));
  }
  for (std::int16_t pipe : {PipeSerial, PipeEthernet}) {
    Harness h;
    h.S().DataPipe = pipe;
    const auto& sent = pipe == PipeSerial ? h.serial.packets : h.tcp.sent;
    h.form1.SendAPacket();  // empty
    for (std::int32_t length : {PacketBufferSize + 1, -1}) {
      h.S().PacketLength = length;
      h.form1.SendAPacket();
      ASSERT_FALSE(h.Debug().empty());
      EXPECT_NE(h.Debug().back().find(Dec(length)), std::string::npos) << h.Debug().back();
    }
    EXPECT_EQ(h.Debug().size(), 2u);
    EXPECT_TRUE(h.serial.calls.empty() && h.tcp.sent.empty());

    SetPacket(h.S(), entries);
    h.form1.SendAPacket();
    EXPECT_EQ(sent, std::vector<Bytes>{full});
    EXPECT_EQ(h.Debug().size(), 2u);
  }
}

TEST(DataPipe, SerialPutFailuresAreReportedPerByteAndThePacketIsStillFinished) {
  Harness h;
  SetPacket(h.S(), {0xF1, 0xA5, 0x01});
  h.serial.results = {{"PutByte", -8}, {"ser_rs232_putpacket", -5}};
  h.form1.SendAPacket();
  EXPECT_EQ(h.serial.CallNames(), (Lines{"PutByte", "PutByte", "PutByte", "ser_rs232_putpacket"}));
  EXPECT_EQ(h.serial.tx, (Bytes{0xF1, 0xA5, 0x01}));
  EXPECT_EQ(h.Debug(), (Lines{"Error in put byte: -8", "Error in put byte: -8", "Error in put byte: -8",
                              "Error in put packet: -5"}));
  EXPECT_EQ(h.S().ComStatus, -5);
}

// 1025 bytes fit; indexes wrap from 1024 to 0; the 1026th is dropped with one
// status line; bytes come out in order.
TEST(Fifo1, Holds1025BytesWrapsAt1024AndDropsTheNext) {
  Harness h;
  ReflashSession& s = h.S();
  for (int i = 0; i < Fifo1Size; ++i) {
    ASSERT_EQ(s.Fifo1Full, False) << i;
    Put(h.form1, static_cast<std::uint8_t>(i * 3));
  }
  EXPECT_EQ(s.Fifo1Full, True);
  EXPECT_EQ(s.Fifo1Empty, False);
  EXPECT_EQ(s.Fifo1In, 0);
  EXPECT_EQ(s.Fifo1[1024], (1024 * 3) & 255);
  EXPECT_TRUE(h.posted.empty());

  Put(h.form1, 0xEE);
  EXPECT_EQ(h.posted, (Lines{"S: Fifo1 is full."}));
  for (int i = 0; i < Fifo1Size; ++i) ASSERT_EQ(h.form1.Fifo1Get(), (i * 3) & 255) << i;
  EXPECT_EQ(h.form1.Fifo1Get(), -1);
  EXPECT_EQ(s.Fifo1Out, 0);
  EXPECT_EQ(s.Fifo1Empty, True);
  EXPECT_EQ(s.Fifo1Full, False);
}

// A flood posts "Fifo1 is full." once per burst and sums the burst up when it
// ends: at the next byte stored, at a flush, or when the link is closed.
TEST(Fifo1, ABurstOfDroppedBytesPostsTwoLinesNotOnePerByte) {
  const Lines burst{"S: Fifo1 is full.", "S: Fifo1 was full: 100000 bytes dropped."};
  for (const int end : {0, 1, 2}) {  // the next byte stored, a flush, closing the link
    Harness h;
    h.S().DataPipe = PipeEthernet;
    for (int i = 0; i < Fifo1Size; ++i) Put(h.form1, 1);
    for (int i = 0; i < 100000; ++i) Put(h.form1, 2);
    EXPECT_EQ(h.posted, (Lines{"S: Fifo1 is full."}));
    if (end == 0) {
      EXPECT_EQ(h.form1.Fifo1Get(), 1);
      Put(h.form1, 3);
    }
    if (end == 1) h.form1.FlushDataPipe();
    if (end == 2) h.form1.CloseDataPipe();
    EXPECT_EQ(h.posted, burst) << end;
    EXPECT_EQ(h.S().Fifo1Dropped, 0);
    if (end != 0) continue;
    Put(h.form1, 4);  // the next burst starts afresh
    EXPECT_EQ(h.posted, (Lines{burst[0], burst[1], burst[0]}));
  }
}

}  // namespace
}  // namespace qrb::test
