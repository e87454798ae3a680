// Flushing, reading and sending on the links, and how the receive FIFO
// reports a flood.
#include <gtest/gtest.h>

#include "Harness.h"
#include "app/Text.h"
#include "pipe/SerialCodes.h"

namespace qrb::test {
namespace {

// Fifo1Put takes its byte by reference.
void Put(Form1& f, std::uint8_t b) { f.Fifo1Put(b); }

TEST(DataPipe, SerialFlushDoesBothBuffersAndReportsEachFailure) {
  Harness h;
  h.S().ComPort = 3;
  h.serial.results = {{"FlushReceiveBuffer", -8}, {"FlushTransmitBuffer", -5}};
  h.form1.FlushDataPipe();
  EXPECT_EQ(h.serial.calls, (Lines{"FlushReceiveBuffer(3)", "FlushTransmitBuffer(3)"}));
  EXPECT_EQ(h.Debug(), (Lines{"** Error flushing receive buffer: -8", "** Error flushing transmit buffer: -5"}));
  EXPECT_EQ(h.S().ComStatus, -5);
}

// A lasting read failure is reported once with the system's reason.
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

// A full buffer goes as one send on either link, low eight bits of each
// entry; a length outside the buffer is refused.
TEST(DataPipe, APacketGoesWholeOverEitherLinkWithinTheBuffer) {
  Bytes full;
  for (std::int32_t i = 0; i < PacketBufferSize; ++i) full.push_back(static_cast<std::uint8_t>(i));
  for (std::int16_t pipe : {PipeSerial, PipeEthernet}) {
    Harness h;
    h.S().DataPipe = pipe;
    for (std::int32_t length : {PacketBufferSize + 1, -1}) {
      h.S().PacketLength = length;
      h.form1.SendAPacket();
      EXPECT_NE(h.Debug().back().find(Dec(length)), std::string::npos) << h.Debug().back();
    }
    EXPECT_TRUE(h.serial.calls.empty() && h.tcp.sent.empty());
    for (std::int32_t i = 0; i < PacketBufferSize; ++i) h.S().PacketBuffer[i] = i - 256;
    h.S().PacketLength = PacketBufferSize;
    h.form1.SendAPacket();
    EXPECT_EQ(pipe == PipeSerial ? h.serial.packets : h.tcp.sent, std::vector<Bytes>{full});
    EXPECT_EQ(h.Debug().size(), 2u);
  }
}

TEST(DataPipe, SerialPutFailuresAreReportedPerByteAndThePacketIsStillFinished) {
  Harness h;
  h.S().PacketBuffer[0] = 0xF1, h.S().PacketBuffer[1] = 0xA5;
  h.S().PacketLength = 2;
  h.serial.results = {{"PutByte", -8}, {"ser_rs232_putpacket", -5}};
  h.form1.SendAPacket();
  EXPECT_EQ(h.serial.tx, (Bytes{0xF1, 0xA5}));
  EXPECT_EQ(h.Debug(), (Lines{"Error in put byte: -8", "Error in put byte: -8", "Error in put packet: -5"}));
  EXPECT_EQ(h.S().ComStatus, -5);
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
    if (end != 0) continue;
    Put(h.form1, 4);  // the next burst starts afresh
    EXPECT_EQ(h.posted, (Lines{burst[0], burst[1], burst[0]}));
  }
}

}  // namespace
}  // namespace qrb::test
