#include "CliLinkKinds.h"

#include <QFileInfo>
#include <QHostAddress>
#include <QHostInfo>

#include "app/HeadlessWindow.h"
#include "app/ReflashSession.h"
#include "app/Text.h"
#include "pipe/ComOptions.h"
#include "pipe/qt/QtSerialLibrary.h"

namespace qrb::cli {
namespace {

QString Text(const std::string& text) { return QString::fromStdString(text); }

std::string TcpName(const CliBoard& b) {
  return (b.Host.find(':') != std::string::npos ? "[" + b.Host + "]" : b.Host) + ":" + std::to_string(b.Port);
}
std::string ComName(const CliBoard& b) { return "COM" + std::to_string(b.ComPort); }
std::string DeviceName(const CliBoard& b) { return b.Device; }

QString NoDevice(const CliBoard&) { return {}; }
QString ComDevice(const CliBoard& b) { return DefaultComDevice(b.ComPort); }
QString PathDevice(const CliBoard& b) { return SerialDevicePath(Text(b.Device)); }

int ChosenCom(const CliBoard& b) { return b.ComPort; }
int FirstCom(const CliBoard&) { return 1; }

void ChooseAddress(HeadlessWindow& w, const CliBoard& b, const CliOptions&) {
  w.settings.IPAddress.SetText(b.Host);
  w.settings.PortNumber.SetText(Dec(b.Port));
}

// Every address the host name resolves to, with the port.
std::set<std::string> TcpEndpoints(const CliBoard& b) {
  std::set<std::string> endpoints;
  const QHostInfo info = QHostInfo::fromName(Text(b.Host));
  for (const QHostAddress& address : info.addresses())
    endpoints.insert(address.toString().toStdString() + "#" + std::to_string(b.Port));
  if (endpoints.empty()) endpoints.insert(TcpName(b));
  return endpoints;
}

void TcpReport(const CliBoard& b, const CliOptions&, QJsonObject& link) {
  link["kind"] = "tcp";
  link["host"] = Text(b.Host);
  link["port"] = b.Port;
  link["address"] = Text(TcpName(b));
  link["speed"] = QJsonValue::Null;
}

bool WindowTcp(const ReflashSession& s, CliBoard& b) {
  b.Host = s.IPAddress;
  b.Port = s.PortNumber;
  return true;
}
bool WindowCom(const ReflashSession& s, CliBoard& b) {
  b.ComPort = s.ComPort;
  return true;
}

void ChooseCom(HeadlessWindow& w, const CliBoard& b, const CliOptions& options) {
  w.form2.ComxBtn_Click(CliLinkKindOf(b)->comPort(b));
  w.form2.ComBaudBtn_Click(options.ComSpeed);
}

// The device's real path, links followed.
std::set<std::string> DeviceEndpoints(const CliBoard& b) {
  const QString device = CliLinkKindOf(b)->device(b);
  const QString real = QFileInfo(device).canonicalFilePath();
  return {(real.isEmpty() ? device : real).toStdString()};
}

void SerialReport(const CliBoard& b, const CliOptions& options, QJsonObject& link) {
  link["kind"] = "serial";
  link["device"] = Text(b.Name());
  link["speed"] = ComBaudRate(options.ComSpeed);
}

const CliLinkKind Kinds[] = {
    {CliLink::Tcp, PipeEthernet, true, false, TcpName, NoDevice, FirstCom, ChooseAddress, TcpEndpoints, TcpReport,
     WindowTcp},
    {CliLink::Com, PipeSerial, false, false, ComName, ComDevice, ChosenCom, ChooseCom, DeviceEndpoints, SerialReport,
     WindowCom},
    {CliLink::Serial, PipeSerial, false, true, DeviceName, PathDevice, FirstCom, ChooseCom, DeviceEndpoints,
     SerialReport, nullptr},
};

}  // namespace

const CliLinkKind* CliLinkKindOf(const CliBoard& board) {
  for (const CliLinkKind& kind : Kinds)
    if (kind.link == board.Link) return &kind;
  return nullptr;
}

CliBoard WindowBoard(const ReflashSession& session) {
  CliBoard board;
  for (const CliLinkKind& kind : Kinds)
    if (kind.pipe == session.DataPipe && kind.fromWindow != nullptr && kind.fromWindow(session, board)) {
      board.Link = kind.link;
      break;
    }
  return board;
}

}  // namespace qrb::cli
