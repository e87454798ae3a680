// The serial library over QSerialPort: the thirteen calls of the COM link,
// with the result codes of pipe/SerialCodes.h, and the operating system's
// reason for a port that could not be opened or set up.
//
// Reception is polled, never awaited: the Qt event loop moves what the device
// has received into the QSerialPort, ser_rs232_getpacket takes it into the
// library's own receive queue, and GetByte hands it out one byte per call.
#pragma once

#include <QString>
#include <functional>
#include <map>
#include <memory>

#include "pipe/SerialDiagnostics.h"
#include "pipe/SerialLibrary.h"

namespace qrb {

// The device that stands for COMn: "COMn" on Windows; on other systems
// /dev/COMn where such an alias exists (a udev rule can give a USB adapter
// that name), else /dev/ttyS<n-1>.
QString DefaultComDevice(int comPort);

// The device a name given by the user stands for, as QSerialPort opens it: on
// systems with /dev, a name without a folder is one in /dev (ttyUSB0 is
// /dev/ttyUSB0); any other name is a path.
QString SerialDevicePath(const QString& name);

class QtSerialLibrary : public SerialLibrary, public SerialDiagnostics {
 public:
  // The most received bytes held for GetByte, and held by the port besides.
  static constexpr qsizetype MaxQueuedBytes = 64 * 1024;

  // nameByDevice: failures name the device alone, not "COMn device ...", for
  // a device given by its path rather than chosen as a COM port.
  explicit QtSerialLibrary(std::function<QString(int comPort)> deviceForPort = DefaultComDevice,
                           bool nameByDevice = false);
  ~QtSerialLibrary() override;
  QtSerialLibrary(const QtSerialLibrary&) = delete;
  QtSerialLibrary& operator=(const QtSerialLibrary&) = delete;

  // Opens the device; the port index, I/O address, IRQ, mode, buffer sizes
  // and the last argument are accepted and ignored.
  std::int32_t InitializePort(std::int32_t port, std::int32_t portIndex, std::int16_t ioAddress, std::int16_t irq,
                              std::int32_t mode, std::int32_t flags, std::int32_t rxBufferSize,
                              std::int32_t txBufferSize, std::int32_t reserved) override;
  // Fills the record with the line characteristics last set.
  std::int32_t ser_rs232_getport(std::int32_t port, ComPortRecord& info) override;
  // Baud codes as in ComSpeedOptions (8..11). Parity 0 none,
  // 1 odd, 2 even, 3 mark, 4 space; data bits 0..3 = 5..8; stop bits 0 one,
  // 1 two; flow control 0 none, 1 RTS/CTS, 2 XON/XOFF.
  std::int32_t SetPortCharacteristics(std::int32_t port, std::int32_t baudCode, std::int16_t parity,
                                      std::int16_t dataBits, std::int16_t stopBits,
                                      std::int16_t flowControl) override;
  // Reception never waits, so the timer resolution and the time-out are
  // accepted (not negative) and have no effect.
  std::int32_t CdrvSetTimerResolution(std::int32_t port, std::int32_t resolution) override;
  std::int32_t SetTimeout(std::int32_t port, std::int32_t timeout) override;
  // Only 0 (no pause between sent bytes) is supported.
  std::int32_t SetPaceTime(std::int32_t port, std::int32_t paceTime) override;
  std::int32_t FlushReceiveBuffer(std::int32_t port) override;
  std::int32_t FlushTransmitBuffer(std::int32_t port) override;
  // Takes what the device has received so far into the receive queue.
  std::int32_t ser_rs232_getpacket(std::int32_t port, std::int32_t length, const std::string& packet) override;
  // The next byte of the receive queue, or -1 at once when there is none.
  std::int32_t GetByte(std::int32_t port) override;
  // Appends one byte (0..255) to the packet being built.
  std::int32_t PutByte(std::int32_t port, std::int32_t byte) override;
  // Hands the packet built by PutByte to the device without waiting.
  std::int32_t ser_rs232_putpacket(std::int32_t port, std::int32_t length, const std::string& packet) override;
  std::int32_t UnInitializePort(std::int32_t port) override;

  std::string DescribeFailure(std::int32_t port, std::int32_t code) override;
  // The operating system's reason for the last failure on port; empty when
  // it gave none.
  std::string FailureReason(std::int32_t port) const;

 private:
  struct OpenPort;
  struct Failure {
    QString device;
    QString osReason;
    std::int32_t code = 0;
  };

  OpenPort* Find(std::int32_t port);
  std::int32_t Fail(std::int32_t port, const QString& device, std::int32_t code, const QString& osReason);
  static void Receive(OpenPort& open);

  std::function<QString(int)> deviceForPort_;
  bool nameByDevice_ = false;
  std::map<std::int32_t, std::unique_ptr<OpenPort>> ports_;
  std::map<std::int32_t, Failure> failures_;  // last open or set-up failure per port
};

}  // namespace qrb
