// Flush, get one byte and send one packet on both links, and the receive FIFO.
#include <gtest/gtest.h>

#include <algorithm>

#include "Harness.h"
#include "app/Text.h"

namespace qrb {
namespace {

using test::Harness;
using Lines = std::vector<std::string>;

class DataPipe : public ::testing::Test {
 protected:
  Harness h;
  Form1& f = h.form1;
  ReflashSession& s = h.S();

  void SetPacket(const std::vector<std::int32_t>& bytes) {
    for (std::size_t i = 0; i < bytes.size(); ++i) s.PacketBuffer[i] = bytes[i];
    s.PacketLength = static_cast<std::int32_t>(bytes.size());
  }
  void FillPacket(std::int32_t length) {
    for (std::int32_t i = 0; i < PacketBufferSize; ++i) s.PacketBuffer[static_cast<std::size_t>(i)] = i & 255;
    s.PacketLength = length;
  }
  std::vector<std::uint8_t> FirstBytes(std::int32_t n) const {
    std::vector<std::uint8_t> bytes;
    for (std::int32_t i = 0; i < n; ++i) bytes.push_back(static_cast<std::uint8_t>(i & 255));
    return bytes;
  }
  void Put(std::uint8_t b) { f.Fifo1Put(b); }
};

// ---- FlushDataPipe ----

struct FlushCase {
  std::int32_t receive, transmit;
  Lines debug;
  std::int32_t comStatus;
};

TEST_F(DataPipe, SerialFlushDoesBothBuffersAndReportsEachFailure) {
  const FlushCase cases[] = {
      {0, 0, {}, 0},
      {-8, 0, {"** Error flushing receive buffer: -8"}, 0},
      {0, 7, {"** Error flushing transmit buffer: 7"}, 7},
      {-8, -5, {"** Error flushing receive buffer: -8", "** Error flushing transmit buffer: -5"}, -5},
  };
  for (const FlushCase& c : cases) {
    Harness t;
    t.S().ComPort = 3;
    t.serial.results = {{"FlushReceiveBuffer", c.receive}, {"FlushTransmitBuffer", c.transmit}};
    t.form1.FlushDataPipe();
    EXPECT_EQ(t.serial.calls, (Lines{"FlushReceiveBuffer(3)", "FlushTransmitBuffer(3)"}));
    EXPECT_EQ(t.Debug(), c.debug);
    EXPECT_EQ(t.S().ComStatus, c.comStatus);
    EXPECT_TRUE(t.tcp.calls.empty());
  }
}

TEST_F(DataPipe, EthernetFlushEmptiesTheFifoOnlyAndLaterArrivalsStillCount) {
  s.DataPipe = PipeEthernet;
  h.tcp.Arrive({1, 2, 3});
  f.GetAByte();  // moves Fifo1Out off 0
  h.tcp.calls.clear();
  h.tcp.received = {9};  // received by the control, not yet delivered

  f.FlushDataPipe();
  EXPECT_EQ(s.Fifo1Empty, True);
  EXPECT_EQ(s.Fifo1Full, False);
  EXPECT_EQ(s.Fifo1In, 0);
  EXPECT_EQ(s.Fifo1Out, 0);
  for (std::uint8_t b : s.Fifo1) ASSERT_EQ(b, 0);
  EXPECT_TRUE(h.tcp.calls.empty());
  EXPECT_TRUE(h.serial.calls.empty());
  f.GetAByte();
  EXPECT_EQ(s.LastByte, -1);

  f.Winsock1Data_DataArrival(1);
  f.GetAByte();
  EXPECT_EQ(s.LastByte, 9);
  EXPECT_TRUE(h.Debug().empty());
}

TEST_F(DataPipe, AnInvalidDataPipeIsReportedByEachOperation) {
  s.DataPipe = 3;
  s.LastByte = 7;
  SetPacket({0xF1, 0xA5});
  f.FlushDataPipe();
  f.GetAByte();
  f.SendAPacket();
  EXPECT_EQ(h.Debug(), (Lines{"Invalid DataPipe in FlushDataPipe: 3", "Invalid DataPipe in GetAByte: 3",
                              "Invalid DataPipe in SendAPacket: 3"}));
  EXPECT_EQ(s.LastByte, -1);
  EXPECT_TRUE(h.serial.calls.empty());
  EXPECT_TRUE(h.tcp.sent.empty());
}

// ---- GetAByte ----

TEST_F(DataPipe, SerialGetAsksForThePacketThenTakesOneByte) {
  s.ComPort = 2;
  h.serial.rx = {255, 0};
  f.GetAByte();
  EXPECT_EQ(s.LastByte, 255);  // a real byte, not "none"
  f.GetAByte();
  EXPECT_EQ(s.LastByte, 0);
  f.GetAByte();
  EXPECT_EQ(s.LastByte, -1);
  EXPECT_EQ(h.serial.calls, (Lines{"ser_rs232_getpacket(2,0,\"0\")", "GetByte(2)", "ser_rs232_getpacket(2,0,\"0\")",
                                   "GetByte(2)", "ser_rs232_getpacket(2,0,\"0\")", "GetByte(2)"}));
  EXPECT_TRUE(h.Debug().empty());
}

TEST_F(DataPipe, SerialGetPacketFailureLeavesNoByteAndSkipsGetByte) {
  h.serial.rx = {0x42};
  h.serial.results["ser_rs232_getpacket"] = -8;
  s.LastByte = 0x42;
  f.GetAByte();
  EXPECT_EQ(s.LastByte, -1);
  EXPECT_EQ(s.ComStatus, -8);
  EXPECT_EQ(h.serial.CallNames(), (Lines{"ser_rs232_getpacket"}));
  EXPECT_EQ(h.Debug(), (Lines{"Error getting a packet: -8"}));
}

TEST_F(DataPipe, EthernetGetTakesFromTheFifoNotFromTheControl) {
  s.DataPipe = PipeEthernet;
  f.GetAByte();
  EXPECT_EQ(s.LastByte, -1);
  h.tcp.received = {5};  // not yet delivered by a data-arrival event
  f.GetAByte();
  EXPECT_EQ(s.LastByte, -1);
  h.tcp.Arrive({255});
  f.GetAByte();
  EXPECT_EQ(s.LastByte, 5);
  f.GetAByte();
  EXPECT_EQ(s.LastByte, 255);
  EXPECT_TRUE(h.Debug().empty());
  EXPECT_TRUE(h.Status().empty());
}

// ---- SendAPacket ----

TEST_F(DataPipe, AnEmptyPacketSendsNothingOnEitherLink) {
  for (std::int16_t pipe : {PipeSerial, PipeEthernet}) {
    s.DataPipe = pipe;
    s.PacketLength = 0;
    f.SendAPacket();
  }
  EXPECT_TRUE(h.serial.calls.empty());
  EXPECT_TRUE(h.tcp.sent.empty());
  EXPECT_TRUE(h.Debug().empty());
}

TEST_F(DataPipe, AFullPacketGoesWholeOverBothLinks) {
  FillPacket(PacketBufferSize);
  f.SendAPacket();
  ASSERT_EQ(h.serial.packets.size(), 1u);
  EXPECT_EQ(h.serial.packets[0], FirstBytes(PacketBufferSize));
  EXPECT_EQ(h.serial.calls.back(), "ser_rs232_putpacket(1,0,\"0\")");
  EXPECT_EQ(h.serial.calls.size(), static_cast<std::size_t>(PacketBufferSize) + 1);

  s.DataPipe = PipeEthernet;
  f.SendAPacket();
  ASSERT_EQ(h.tcp.sent.size(), 1u);  // one packet, one send
  EXPECT_EQ(h.tcp.sent[0], FirstBytes(PacketBufferSize));
  EXPECT_EQ(s.PacketLength, PacketBufferSize);
}

TEST_F(DataPipe, EthernetSendsTheLowEightBitsOfEachEntry) {
  s.DataPipe = PipeEthernet;
  SetPacket({0x1F1, 0xA5, -1});
  f.SendAPacket();
  EXPECT_EQ(h.tcp.sent, (std::vector<std::vector<std::uint8_t>>{{0xF1, 0xA5, 0xFF}}));
}

TEST_F(DataPipe, SerialPutFailuresAreReportedPerByteAndThePacketIsStillFinished) {
  SetPacket({0xF1, 0xA5, 0x01, 0x02});
  h.serial.putByteResults = {0, -8, 0, -3};
  h.serial.results["ser_rs232_putpacket"] = -5;
  f.SendAPacket();
  EXPECT_EQ(h.serial.CallNames(), (Lines{"PutByte", "PutByte", "PutByte", "PutByte", "ser_rs232_putpacket"}));
  EXPECT_EQ(h.serial.tx, (std::vector<std::uint8_t>{0xF1, 0xA5, 0x01, 0x02}));
  EXPECT_EQ(h.Debug(), (Lines{"Error in put byte: -8", "Error in put byte: -3", "Error in put packet: -5"}));
  EXPECT_EQ(s.ComStatus, -5);
}

TEST_F(DataPipe, APacketLengthBeyondTheBufferIsRefusedWithoutSending) {
  for (std::int16_t pipe : {PipeSerial, PipeEthernet}) {
    for (std::int32_t length : {PacketBufferSize + 1, -1}) {
      Harness t;
      t.S().DataPipe = pipe;
      t.S().PacketLength = length;
      t.form1.SendAPacket();
      EXPECT_TRUE(t.serial.calls.empty());
      EXPECT_TRUE(t.tcp.sent.empty());
      ASSERT_EQ(t.Debug().size(), 1u);
      EXPECT_NE(t.Debug()[0].find(Dec(length)), std::string::npos) << t.Debug()[0];
      EXPECT_EQ(t.S().PacketLength, length);
    }
  }
}

// ---- Fifo1 ----

TEST_F(DataPipe, TheFifoHolds1025BytesAndDropsTheNextWithOneStatusLine) {
  for (int i = 0; i < Fifo1Size; ++i) {
    ASSERT_EQ(s.Fifo1Full, False) << i;
    Put(static_cast<std::uint8_t>(i * 3));
  }
  EXPECT_EQ(s.Fifo1Full, True);
  EXPECT_EQ(s.Fifo1Empty, False);
  EXPECT_EQ(s.Fifo1In, s.Fifo1Out);
  EXPECT_TRUE(h.Status().empty());

  Put(0xEE);
  EXPECT_EQ(h.Status(), (Lines{"Fifo1 is full."}));
  EXPECT_TRUE(h.Debug().empty());

  for (int i = 0; i < Fifo1Size; ++i) ASSERT_EQ(f.Fifo1Get(), (i * 3) & 255) << i;
  EXPECT_EQ(f.Fifo1Get(), -1);
  EXPECT_EQ(s.Fifo1Empty, True);
  EXPECT_EQ(s.Fifo1Full, False);
}

TEST_F(DataPipe, BothIndexesWrapFrom1024ToZeroWithoutLossOrReordering) {
  for (int i = 0; i < 1020; ++i) Put(0);
  for (int i = 0; i < 1020; ++i) f.Fifo1Get();
  ASSERT_EQ(s.Fifo1In, 1020);
  ASSERT_EQ(s.Fifo1Empty, True);

  for (int i = 0; i < 10; ++i) Put(static_cast<std::uint8_t>(100 + i));
  EXPECT_EQ(s.Fifo1In, 5);  // 1020..1024, then 0..4
  EXPECT_EQ(s.Fifo1[1024], 104);
  EXPECT_EQ(s.Fifo1[0], 105);
  for (int i = 0; i < 10; ++i) ASSERT_EQ(f.Fifo1Get(), 100 + i);
  EXPECT_EQ(s.Fifo1Out, 5);
  EXPECT_EQ(s.Fifo1Empty, True);
  EXPECT_EQ(f.Fifo1Get(), -1);
}

TEST_F(DataPipe, TheFlagsNeverClaimBothFullAndEmpty) {
  int stored = 0;
  // An irregular pattern of puts and gets, far past several wraps.
  for (int step = 0; step < 6000; ++step) {
    if ((step * 7919) % 5 < 3) {
      Put(static_cast<std::uint8_t>(step));
      stored = std::min(stored + 1, Fifo1Size);
    } else {
      const std::int32_t got = f.Fifo1Get();
      ASSERT_EQ(got == -1, stored == 0) << step;
      stored = std::max(stored - 1, 0);
    }
    ASSERT_FALSE(s.Fifo1Full != False && s.Fifo1Empty != False) << step;
    ASSERT_EQ(s.Fifo1Full != False, stored == Fifo1Size) << step;
    ASSERT_EQ(s.Fifo1Empty != False, stored == 0) << step;
    ASSERT_EQ((s.Fifo1In - s.Fifo1Out + Fifo1Size) % Fifo1Size, stored % Fifo1Size) << step;
  }
}

}  // namespace
}  // namespace qrb
