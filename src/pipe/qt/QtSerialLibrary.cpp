#include "pipe/qt/QtSerialLibrary.h"

#include <QFileInfo>
#include <QSerialPort>
#include <array>
#include <optional>

#include "pipe/ComOptions.h"
#include "pipe/SerialCodes.h"
#include "pipe/qt/SerialAccess.h"

#if defined(Q_OS_UNIX)
#include <poll.h>
#endif

namespace qrb {

namespace sc = SerialCode;

namespace {

constexpr std::array<QSerialPort::Parity, 5> Parities{QSerialPort::NoParity, QSerialPort::OddParity,
                                                      QSerialPort::EvenParity, QSerialPort::MarkParity,
                                                      QSerialPort::SpaceParity};
constexpr std::array<QSerialPort::DataBits, 4> DataBitsTable{QSerialPort::Data5, QSerialPort::Data6,
                                                             QSerialPort::Data7, QSerialPort::Data8};
constexpr std::array<QSerialPort::StopBits, 2> StopBitsTable{QSerialPort::OneStop, QSerialPort::TwoStop};
constexpr std::array<QSerialPort::FlowControl, 3> FlowControls{QSerialPort::NoFlowControl,
                                                               QSerialPort::HardwareControl,
                                                               QSerialPort::SoftwareControl};

template <typename T, std::size_t N>
std::optional<T> Lookup(const std::array<T, N>& table, std::int32_t code) {
  if (code < 0 || static_cast<std::size_t>(code) >= N) return std::nullopt;
  return table[static_cast<std::size_t>(code)];
}

// Qt reports a device that exists but cannot be opened as a permission error,
// both when this user lacks the rights and when another program holds it.
std::int32_t OpenFailureCode(QSerialPort::SerialPortError error, const QString& device) {
  switch (error) {
    case QSerialPort::DeviceNotFoundError:
      return sc::NoSuchDevice;
    case QSerialPort::PermissionError: {
#if defined(Q_OS_WIN)
      Q_UNUSED(device);
      return sc::PortBusy;
#else
      const QFileInfo info(device);
      if (!info.exists()) return sc::NoSuchDevice;
      return info.isReadable() && info.isWritable() ? sc::PortBusy : sc::PermissionDenied;
#endif
    }
    case QSerialPort::OpenError:
      return sc::AlreadyOpen;
    default:
      return sc::OpenFailed;
  }
}

// The system's word that the device is gone: a hang-up or an error on its
// descriptor.
bool HungUp(QSerialPort& serial) {
#if defined(Q_OS_UNIX)
  pollfd entry{static_cast<int>(serial.handle()), POLLIN, 0};
  return entry.fd >= 0 && ::poll(&entry, 1, 0) == 1 && (entry.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
#else
  Q_UNUSED(serial);
  return false;
#endif
}

bool IsIoFailure(QSerialPort::SerialPortError error) {
  return error == QSerialPort::ReadError || error == QSerialPort::WriteError ||
         error == QSerialPort::ResourceError;
}

}  // namespace

QString DefaultComDevice(int comPort) {
#if defined(Q_OS_WIN)
  return QStringLiteral("COM%1").arg(comPort);
#else
  const QString alias = QStringLiteral("/dev/COM%1").arg(comPort);
  if (QFileInfo::exists(alias)) return alias;
  return QStringLiteral("/dev/ttyS%1").arg(comPort - 1);
#endif
}

QString SerialDevicePath(const QString& name) {
#if defined(Q_OS_UNIX)
  if (!name.isEmpty() && !name.contains(QLatin1Char('/'))) return QStringLiteral("/dev/") + name;
#endif
  return name;
}

struct QtSerialLibrary::OpenPort {
  QString device;
  QSerialPort serial;
  QByteArray received;  // taken from the device, not yet handed out
  qsizetype nextByte = 0;
  QByteArray packet;  // put, not yet handed to the device
  ComPortRecord characteristics;
  bool gone = false;  // the device went away while open
};

QtSerialLibrary::QtSerialLibrary(std::function<QString(int comPort)> deviceForPort, bool nameByDevice)
    : deviceForPort_(std::move(deviceForPort)), nameByDevice_(nameByDevice) {}

QtSerialLibrary::~QtSerialLibrary() = default;

QtSerialLibrary::OpenPort* QtSerialLibrary::Find(std::int32_t port) {
  const auto it = ports_.find(port);
  return it == ports_.end() ? nullptr : it->second.get();
}

std::int32_t QtSerialLibrary::Fail(std::int32_t port, const QString& device, std::int32_t code,
                                   const QString& osReason) {
  failures_[port] = Failure{device, osReason, code};
  return code;
}

void QtSerialLibrary::Receive(OpenPort& open) {
  open.received.remove(0, open.nextByte);
  open.nextByte = 0;
  // A line that floods waits in the system (the device's buffer and the
  // port's are bounded) instead of piling up here.
  if (open.received.size() < MaxQueuedBytes) open.received.append(open.serial.read(MaxQueuedBytes));
}

std::int32_t QtSerialLibrary::InitializePort(std::int32_t port, std::int32_t, std::int16_t, std::int16_t,
                                             std::int32_t, std::int32_t, std::int32_t, std::int32_t,
                                             std::int32_t) {
  if (port < 1) return sc::BadArgument;
  if (Find(port) != nullptr) return sc::AlreadyOpen;

  const QString device = deviceForPort_(port);
  auto open = std::make_unique<OpenPort>();
  open->device = device;
  open->serial.setPortName(device);
  open->serial.setReadBufferSize(MaxQueuedBytes);
  if (!open->serial.open(QIODevice::ReadWrite)) {
    const auto error = open->serial.error();
    return Fail(port, device, OpenFailureCode(error, device), open->serial.errorString());
  }
  failures_.erase(port);
  ports_.emplace(port, std::move(open));
  return sc::Ok;
}

std::int32_t QtSerialLibrary::ser_rs232_getport(std::int32_t port, ComPortRecord& info) {
  OpenPort* open = Find(port);
  if (open == nullptr) return sc::NotOpen;
  info = open->characteristics;
  return sc::Ok;
}

std::int32_t QtSerialLibrary::SetPortCharacteristics(std::int32_t port, std::int32_t baudCode,
                                                     std::int16_t parity, std::int16_t dataBits,
                                                     std::int16_t stopBits, std::int16_t flowControl) {
  OpenPort* open = Find(port);
  if (open == nullptr) return sc::NotOpen;
  const ComSpeedOption* speed = ComSpeedOfBaudCode(baudCode);
  const auto rate = speed != nullptr ? std::optional<std::int32_t>(speed->baud) : std::nullopt;
  const auto parityValue = Lookup(Parities, parity);
  const auto dataBitsValue = Lookup(DataBitsTable, dataBits);
  const auto stopBitsValue = Lookup(StopBitsTable, stopBits);
  const auto flowValue = Lookup(FlowControls, flowControl);
  if (!rate || !parityValue || !dataBitsValue || !stopBitsValue || !flowValue) return sc::BadArgument;

  QSerialPort& serial = open->serial;
  if (!serial.setBaudRate(*rate) || !serial.setDataBits(*dataBitsValue) || !serial.setParity(*parityValue) ||
      !serial.setStopBits(*stopBitsValue) || !serial.setFlowControl(*flowValue)) {
    const QString reason = serial.errorString();
    serial.clearError();
    return Fail(port, open->device, sc::ConfigurationFailed, reason);
  }
  open->characteristics = ComPortRecord{baudCode, {parity, dataBits, stopBits, flowControl}};
  return sc::Ok;
}

std::int32_t QtSerialLibrary::CdrvSetTimerResolution(std::int32_t port, std::int32_t resolution) {
  if (Find(port) == nullptr) return sc::NotOpen;
  return resolution < 0 ? sc::BadArgument : sc::Ok;
}

std::int32_t QtSerialLibrary::SetTimeout(std::int32_t port, std::int32_t timeout) {
  if (Find(port) == nullptr) return sc::NotOpen;
  return timeout < 0 ? sc::BadArgument : sc::Ok;
}

std::int32_t QtSerialLibrary::SetPaceTime(std::int32_t port, std::int32_t paceTime) {
  if (Find(port) == nullptr) return sc::NotOpen;
  return paceTime != 0 ? sc::BadArgument : sc::Ok;
}

std::int32_t QtSerialLibrary::FlushReceiveBuffer(std::int32_t port) {
  OpenPort* open = Find(port);
  if (open == nullptr) return sc::NotOpen;
  open->received.clear();
  open->nextByte = 0;
  return open->serial.clear(QSerialPort::Input) ? sc::Ok : sc::IoError;
}

std::int32_t QtSerialLibrary::FlushTransmitBuffer(std::int32_t port) {
  OpenPort* open = Find(port);
  if (open == nullptr) return sc::NotOpen;
  open->packet.clear();
  return open->serial.clear(QSerialPort::Output) ? sc::Ok : sc::IoError;
}

std::int32_t QtSerialLibrary::ser_rs232_getpacket(std::int32_t port, std::int32_t, const std::string&) {
  OpenPort* open = Find(port);
  if (open == nullptr) return sc::NotOpen;
  if (open->gone) return sc::DeviceGone;
  Receive(*open);
  const QSerialPort::SerialPortError error = open->serial.error();
  if (!IsIoFailure(error)) return sc::Ok;
  QString reason = open->serial.errorString();
  open->serial.clearError();
  // A device unplugged, or a line whose other end has closed, stays gone
  // until the port is closed.
  const bool hungUp = HungUp(open->serial);
  open->gone = error == QSerialPort::ResourceError || hungUp;
  if (hungUp && (reason.isEmpty() || reason == QLatin1String("Unknown error")))
    reason = QStringLiteral("the line hung up");
  return Fail(port, open->device, open->gone ? sc::DeviceGone : sc::IoError, reason);
}

std::int32_t QtSerialLibrary::GetByte(std::int32_t port) {
  OpenPort* open = Find(port);
  if (open == nullptr) return -1;
  if (open->nextByte == open->received.size()) Receive(*open);
  if (open->nextByte == open->received.size()) return -1;
  return static_cast<std::uint8_t>(open->received[open->nextByte++]);
}

std::int32_t QtSerialLibrary::PutByte(std::int32_t port, std::int32_t byte) {
  OpenPort* open = Find(port);
  if (open == nullptr) return sc::NotOpen;
  if (byte < 0 || byte > 255) return sc::BadArgument;
  open->packet.append(static_cast<char>(byte));
  return sc::Ok;
}

std::int32_t QtSerialLibrary::ser_rs232_putpacket(std::int32_t port, std::int32_t, const std::string&) {
  OpenPort* open = Find(port);
  if (open == nullptr) return sc::NotOpen;
  const QByteArray packet = std::exchange(open->packet, {});
  QSerialPort& serial = open->serial;
  if (!packet.isEmpty() && serial.write(packet) != packet.size()) {
    serial.clearError();
    return sc::IoError;
  }
  serial.flush();  // hands over what the device takes now; the rest follows from the event loop
  if (IsIoFailure(serial.error())) {
    serial.clearError();
    return sc::IoError;
  }
  return sc::Ok;
}

std::int32_t QtSerialLibrary::UnInitializePort(std::int32_t port) {
  const auto it = ports_.find(port);
  if (it == ports_.end()) return sc::NotOpen;
  it->second->serial.close();
  ports_.erase(it);
  return sc::Ok;
}

std::string QtSerialLibrary::FailureReason(std::int32_t port) const {
  const auto it = failures_.find(port);
  return it == failures_.end() ? std::string{} : it->second.osReason.toStdString();
}

std::string QtSerialLibrary::DescribeFailure(std::int32_t port, std::int32_t code) {
  QString device = deviceForPort_(port);
  QString osReason;
  if (const auto it = failures_.find(port); it != failures_.end() && it->second.code == code) {
    device = it->second.device;
    osReason = it->second.osReason;
  }
  const std::string_view described = sc::Describe(code);
  const QString what = QString::fromLatin1(described.data(), static_cast<qsizetype>(described.size()));
  QString line = nameByDevice_ ? QStringLiteral("%1 %2").arg(device, what)
                               : QStringLiteral("COM%1 device %2 %3").arg(port).arg(device, what);
  // The system's reason, unless it only says again what the code says.
  if (!osReason.isEmpty() && !what.contains(osReason, Qt::CaseInsensitive))
    line += QStringLiteral(" (%1)").arg(osReason);
#if defined(Q_OS_LINUX)
  if (code == sc::PermissionDenied)
    if (const QString advice = AccessAdvice(ReadDeviceAccess(device)); !advice.isEmpty()) line += "; " + advice;
#endif
  line += QLatin1Char('.');
  return line.toStdString();
}

}  // namespace qrb
