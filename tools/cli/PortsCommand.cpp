#include "PortsCommand.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSerialPortInfo>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "pipe/ComOptions.h"
#include "pipe/qt/QtSerialLibrary.h"

#if defined(Q_OS_UNIX)
#include <sys/stat.h>
#endif

namespace qrb::cli {
namespace {

struct PortRow {
  QString device, com, description, maker, serialNumber, usbId;
  QString vendor, product;  // four hexadecimal digits each, or empty
};

// The path a device resolves to, for comparing two names of one port.
QString RealPath(const QString& path) {
  const QString real = QFileInfo(path).canonicalFilePath();
  return real.isEmpty() ? path : real;
}

// COMn when the main window's COMn opens this device.
QString ComFor(const QString& device) {
  const QString real = RealPath(device);
  for (int n = 1; n <= static_cast<int>(ComPortOptions.size()); ++n) {
    const QString com = DefaultComDevice(n);
    if (com == device || (QFileInfo::exists(com) && RealPath(com) == real)) return QStringLiteral("COM%1").arg(n);
  }
  return {};
}

PortRow RowOf(const QSerialPortInfo& info, const QString& device) {
  PortRow row;
  row.device = device;
  row.com = ComFor(device);
  row.description = info.description();
  row.maker = info.manufacturer();
  row.serialNumber = info.serialNumber();
  const auto hex = [](quint16 id) { return QStringLiteral("%1").arg(id, 4, 16, QLatin1Char('0')); };
  if (info.hasVendorIdentifier()) row.vendor = hex(info.vendorIdentifier());
  if (info.hasProductIdentifier()) row.product = hex(info.productIdentifier());
  if (!row.vendor.isEmpty() || !row.product.isEmpty()) row.usbId = row.vendor + ':' + row.product;
  return row;
}

bool IsCharacterDevice(const QString& path) {
#if defined(Q_OS_UNIX)
  struct stat info {};
  return ::stat(QFile::encodeName(path).constData(), &info) == 0 && S_ISCHR(info.st_mode);
#else
  return QFileInfo::exists(path);
#endif
}

void PrintTable(const std::vector<PortRow>& rows) {
  const QStringList heads{QStringLiteral("DEVICE"), QStringLiteral("COM"), QStringLiteral("DESCRIPTION"),
                          QStringLiteral("MAKER"), QStringLiteral("SERIAL"), QStringLiteral("USB ID")};
  std::vector<QStringList> lines{heads};
  for (const PortRow& r : rows) {
    QStringList cells{r.device, r.com, r.description, r.maker, r.serialNumber, r.usbId};
    for (QString& cell : cells)
      if (cell.isEmpty()) cell = QStringLiteral("-");
    lines.push_back(cells);
  }
  std::vector<qsizetype> width(heads.size(), 0);
  for (const QStringList& cells : lines)
    for (qsizetype i = 0; i < cells.size(); ++i) width[i] = std::max(width[i], cells[i].size());
  for (const QStringList& cells : lines) {
    QString text;
    for (qsizetype i = 0; i < cells.size(); ++i)
      text += i + 1 == cells.size() ? cells[i] : cells[i].leftJustified(width[i] + 2);
    std::printf("%s\n", qPrintable(text));
  }
}

void PrintJson(const std::vector<PortRow>& rows) {
  QJsonArray ports;
  const auto orNull = [](const QString& text) { return text.isEmpty() ? QJsonValue() : QJsonValue(text); };
  for (const PortRow& r : rows)
    ports.append(QJsonObject{{"device", r.device},
                             {"com", orNull(r.com)},
                             {"description", orNull(r.description)},
                             {"manufacturer", orNull(r.maker)},
                             {"serial_number", orNull(r.serialNumber)},
                             {"vendor_id", orNull(r.vendor)},
                             {"product_id", orNull(r.product)}});
  std::printf("%s", QJsonDocument(ports).toJson(QJsonDocument::Indented).constData());
}

}  // namespace

int PortsCommand(const CliOptions& options) {
  const QList<QSerialPortInfo> system = QSerialPortInfo::availablePorts();
  std::vector<PortRow> rows;
  const auto known = [&](const QString& real) {
    return std::any_of(rows.begin(), rows.end(), [&](const PortRow& r) { return RealPath(r.device) == real; });
  };
  for (const QSerialPortInfo& info : system) rows.push_back(RowOf(info, info.systemLocation()));
  // The main window's COM ports where their devices exist, listed by the
  // system or not.
  for (int n = 1; n <= static_cast<int>(ComPortOptions.size()); ++n)
    if (const QString com = DefaultComDevice(n); IsCharacterDevice(com) && !known(RealPath(com)))
      rows.push_back(RowOf(QSerialPortInfo(), com));
  std::sort(rows.begin(), rows.end(), [](const PortRow& a, const PortRow& b) {
    return a.device.size() != b.device.size() ? a.device.size() < b.device.size() : a.device < b.device;
  });

  // The devices named, by the name given, with what the system knows of the
  // port they lead to.
  for (const std::string& name : options.Devices) {
    const QString device = SerialDevicePath(QString::fromLocal8Bit(name.c_str()));
    if (!QFileInfo::exists(device)) {
      std::fprintf(stderr, "qrb-flash-cli: %s does not exist\n", name.c_str());
      return 2;
    }
    if (!IsCharacterDevice(device)) {
      std::fprintf(stderr, "qrb-flash-cli: %s is not a serial device\n", name.c_str());
      return 2;
    }
    const QString real = RealPath(device);
    const auto listed = std::find_if(system.begin(), system.end(),
                                     [&](const QSerialPortInfo& info) { return RealPath(info.systemLocation()) == real; });
    rows.erase(std::remove_if(rows.begin(), rows.end(), [&](const PortRow& r) { return r.device == device; }), rows.end());
    rows.push_back(RowOf(listed != system.end() ? *listed : QSerialPortInfo(), device));
  }

  if (options.Json) PrintJson(rows);
  else if (rows.empty()) std::printf("No serial ports.\n");
  else PrintTable(rows);
  return 0;
}

}  // namespace qrb::cli
