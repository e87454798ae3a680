// The TCP client control of the Ethernet link and the events it raises.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qrb {

class TcpEvents {
 public:
  virtual ~TcpEvents() = default;
  virtual void Winsock1Data_Connect() = 0;
  virtual void Winsock1Data_DataArrival(std::int32_t IncomingByteCount) = 0;
  // A connection attempt that failed, with the operating system's reason.
  virtual void Winsock1Data_ConnectFailed(const std::string& reason) = 0;
  // An established connection that the board (or the network) dropped.
  virtual void Winsock1Data_Dropped(const std::string& reason) = 0;
};

class TcpControl {
 public:
  virtual ~TcpControl() = default;
  virtual void SetEvents(TcpEvents* events) = 0;
  virtual void SetLocalPort(std::int32_t port) = 0;
  virtual void SetRemoteHost(const std::string& host) = 0;
  virtual void SetRemotePort(std::int32_t port) = 0;
  virtual void Connect() = 0;  // asynchronous
  // Bytes received so far; a control may hand them over in bounded slices
  // and raise a further data-arrival event for the rest.
  virtual std::vector<std::uint8_t> GetData() = 0;
  virtual void SendData(const std::vector<std::uint8_t>& bytes) = 0;
  virtual void Close() = 0;
};

}  // namespace qrb
