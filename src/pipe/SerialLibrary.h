// The serial library: thirteen calls, the port number first. Every call but
// GetByte returns 0 on success and a non-zero code on failure (SerialCodes.h).
#pragma once

#include <cstdint>
#include <string>

#include "pipe/ComPortRecord.h"

namespace qrb {

class SerialLibrary {
 public:
  virtual ~SerialLibrary() = default;
  virtual std::int32_t InitializePort(std::int32_t port, std::int32_t portIndex, std::int16_t ioAddress,
                                      std::int16_t irq, std::int32_t mode, std::int32_t flags,
                                      std::int32_t rxBufferSize, std::int32_t txBufferSize,
                                      std::int32_t reserved) = 0;
  virtual std::int32_t ser_rs232_getport(std::int32_t port, ComPortRecord& info) = 0;
  virtual std::int32_t SetPortCharacteristics(std::int32_t port, std::int32_t baudCode, std::int16_t parity,
                                              std::int16_t dataBits, std::int16_t stopBits,
                                              std::int16_t flowControl) = 0;
  virtual std::int32_t CdrvSetTimerResolution(std::int32_t port, std::int32_t resolution) = 0;
  virtual std::int32_t SetTimeout(std::int32_t port, std::int32_t timeout) = 0;
  virtual std::int32_t SetPaceTime(std::int32_t port, std::int32_t paceTime) = 0;
  virtual std::int32_t FlushReceiveBuffer(std::int32_t port) = 0;
  virtual std::int32_t FlushTransmitBuffer(std::int32_t port) = 0;
  virtual std::int32_t ser_rs232_getpacket(std::int32_t port, std::int32_t length, const std::string& packet) = 0;
  virtual std::int32_t GetByte(std::int32_t port) = 0;  // 0..255, or -1 when none
  virtual std::int32_t PutByte(std::int32_t port, std::int32_t byte) = 0;
  virtual std::int32_t ser_rs232_putpacket(std::int32_t port, std::int32_t length, const std::string& packet) = 0;
  virtual std::int32_t UnInitializePort(std::int32_t port) = 0;
};

}  // namespace qrb
