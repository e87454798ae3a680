// The Ethernet link: a TCP client connection whose received bytes go to Fifo1.
#include "app/Form1.h"
#include "app/Text.h"

namespace qrb {

void Form1::InitWinSock() {
  // Drop any earlier socket, pending or failed, before connecting again.
  P.Winsock1Data.Close();
  S.EthernetInitialized = False;

  P.Winsock1Data.SetLocalPort(0);
  P.Winsock1Data.SetRemoteHost(S.IPAddress);
  P.Winsock1Data.SetRemotePort(S.PortNumber);
  P.Winsock1Data.Connect();
  S.WinsockIsrActive = False;
  Debug("Ethernet connection pending.");
}

void Form1::Winsock1Data_Connect() {
  Debug("Ethernet connection complete.");
  S.EthernetInitialized = True;
  C.Text3.SetText("Ethernet IP address: " + S.IPAddress + "   Port number: " + Dec(S.PortNumber));
  C.Timer1.SetEnabled(true);
}

void Form1::Winsock1Data_DataArrival(std::int32_t IncomingByteCount) {
  if (S.WinsockIsrActive != False) return;
  S.WinsockIsrActive = True;

  S.IncomingBytes = P.Winsock1Data.GetData();
  S.IncomingLBound = 0;
  S.IncomingUBound = static_cast<std::int32_t>(S.IncomingBytes.size()) - 1;
  if (S.IncomingUBound - S.IncomingLBound + 1 != IncomingByteCount) {
    Debug("Byte counts are not equal.");
    Debug("IncomingByteCount = " + Dec(IncomingByteCount));
    Debug("UBound = " + Dec(S.IncomingUBound) + "  LBound = " + Dec(S.IncomingLBound));
  }
  for (std::uint8_t& b : S.IncomingBytes) Fifo1Put(b);

  S.WinsockIsrActive = False;
}

void Form1::Winsock1Data_ConnectFailed(const std::string& reason) {
  S.EthernetInitialized = False;
  Debug("Ethernet connection to " + S.IPAddress + " port " + Dec(S.PortNumber) + " failed: " + reason);
}

void Form1::Winsock1Data_Dropped(const std::string& reason) {
  if (S.EthernetInitialized == False) return;
  S.EthernetInitialized = False;
  Debug("Ethernet connection lost: " + reason);
}

void Form1::CloseWinsock() {
  P.Winsock1Data.Close();
  Debug("Ethernet connection closed.");
  S.EthernetInitialized = False;
  S.WinsockIsrActive = False;
}

void Form1::FlushWinsock() {
  EndFifo1Burst();
  ResetFifo1();
}

void Form1::GetWinsockByte() { S.LastByte = Fifo1Get(); }

void Form1::SendWinsockPacket() {
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(S.PacketLength));
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(S.PacketBuffer[i] & 255);
  P.Winsock1Data.SendData(bytes);
}

}  // namespace qrb
