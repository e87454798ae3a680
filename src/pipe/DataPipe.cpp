// The engine's whole view of the link: flush, get one byte, send one packet.
#include "app/Form1.h"
#include "app/Text.h"

namespace qrb {

void Form1::FlushDataPipe() {
  switch (S.DataPipe) {
    case PipeSerial:
      S.ComStatus = P.Serial.FlushReceiveBuffer(S.ComPort);
      if (S.ComStatus != 0) {
        Debug("** Error flushing receive buffer: " + Dec(S.ComStatus));
      }
      S.ComStatus = P.Serial.FlushTransmitBuffer(S.ComPort);
      if (S.ComStatus != 0) {
        Debug("** Error flushing transmit buffer: " + Dec(S.ComStatus));
      }
      break;
    case PipeEthernet:
      EndFifo1Burst();
      ResetFifo1();
      break;
    default:
      Debug("Invalid DataPipe in FlushDataPipe: " + Dec(S.DataPipe));
      break;
  }
}

void Form1::GetAByte() {
  S.LastByte = -1;
  switch (S.DataPipe) {
    case PipeSerial:
      S.ComStatus = P.Serial.ser_rs232_getpacket(S.ComPort, 0, "0");
      if (S.ComStatus != 0) {
        // A failure that lasts (a device that is gone) is reported once, with
        // the system's reason, not on every tick.
        if (S.ComStatus == S.ComReadFailure) return;
        S.ComReadFailure = S.ComStatus;
        Debug("Error getting a packet: " + Dec(S.ComStatus));
        if (P.SerialReasons != nullptr) {
          Debug(P.SerialReasons->DescribeFailure(S.ComPort, S.ComStatus));
        }
        return;
      }
      S.ComReadFailure = 0;
      S.LastByte = P.Serial.GetByte(S.ComPort);
      break;
    case PipeEthernet:
      S.LastByte = Fifo1Get();
      break;
    default:
      Debug("Invalid DataPipe in GetAByte: " + Dec(S.DataPipe));
      break;
  }
}

void Form1::SendAPacket() {
  if (S.PacketLength == 0) return;
  if (S.PacketLength < 0 || S.PacketLength > PacketBufferSize) {
    Debug("Packet not sent: length " + Dec(S.PacketLength) + " is outside 1 to " + Dec(PacketBufferSize) + ".");
    return;
  }
  switch (S.DataPipe) {
    case PipeSerial:
      for (std::int32_t i = 0; i < S.PacketLength; ++i) {
        S.ComStatus = P.Serial.PutByte(S.ComPort, S.PacketBuffer[static_cast<std::size_t>(i)]);
        if (S.ComStatus != 0) {
          Debug("Error in put byte: " + Dec(S.ComStatus));
        }
      }
      S.ComStatus = P.Serial.ser_rs232_putpacket(S.ComPort, 0, "0");
      if (S.ComStatus != 0) {
        Debug("Error in put packet: " + Dec(S.ComStatus));
      }
      break;
    case PipeEthernet: {
      std::vector<std::uint8_t> bytes(static_cast<std::size_t>(S.PacketLength));
      for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(S.PacketBuffer[i] & 255);
      P.Winsock1Data.SendData(bytes);
      break;
    }
    default:
      Debug("Invalid DataPipe in SendAPacket: " + Dec(S.DataPipe));
      break;
  }
}

}  // namespace qrb
