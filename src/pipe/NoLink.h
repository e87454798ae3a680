// Link ports with no link behind them, for reading files without a board:
// every serial call finds the port not open and a TCP connection never comes.
#pragma once

#include "pipe/SerialCodes.h"
#include "pipe/SerialLibrary.h"
#include "pipe/TcpControl.h"

namespace qrb {

class NoSerialLibrary : public SerialLibrary {
  using I32 = std::int32_t;
  using I16 = std::int16_t;
  static constexpr I32 No = SerialCode::NotOpen;

 public:
  I32 InitializePort(I32, I32, I16, I16, I32, I32, I32, I32, I32) override { return SerialCode::OpenFailed; }
  I32 ser_rs232_getport(I32, ComPortRecord&) override { return No; }
  I32 SetPortCharacteristics(I32, I32, I16, I16, I16, I16) override { return No; }
  I32 CdrvSetTimerResolution(I32, I32) override { return No; }
  I32 SetTimeout(I32, I32) override { return No; }
  I32 SetPaceTime(I32, I32) override { return No; }
  I32 FlushReceiveBuffer(I32) override { return No; }
  I32 FlushTransmitBuffer(I32) override { return No; }
  I32 ser_rs232_getpacket(I32, I32, const std::string&) override { return No; }
  I32 GetByte(I32) override { return -1; }
  I32 PutByte(I32, I32) override { return No; }
  I32 ser_rs232_putpacket(I32, I32, const std::string&) override { return No; }
  I32 UnInitializePort(I32) override { return No; }
};

class NoTcpControl : public TcpControl {
 public:
  void SetEvents(TcpEvents*) override {}
  void SetLocalPort(std::int32_t) override {}
  void SetRemoteHost(const std::string&) override {}
  void SetRemotePort(std::int32_t) override {}
  void Connect() override {}
  std::vector<std::uint8_t> GetData() override { return {}; }
  void SendData(const std::vector<std::uint8_t>&) override {}
  void Close() override {}
};

}  // namespace qrb
