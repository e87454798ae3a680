#include "BoardSimulator.h"

#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>
#include <cstdio>
#include <span>

#if defined(Q_OS_UNIX)
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace qrb::sim {

BoardSimulator::BoardSimulator(BoardModel& board, int baud, bool verbose, QObject* parent)
    : QObject(parent), board_(board), baud_(baud), verbose_(verbose) {}

BoardSimulator::~BoardSimulator() {
#if defined(Q_OS_UNIX)
  if (!ptyLink_.isEmpty()) QFile::remove(ptyLink_);
  if (ptySlave_ >= 0) ::close(ptySlave_);
  if (ptyMaster_ >= 0) ::close(ptyMaster_);
#endif
}

void BoardSimulator::Log(const QString& line) const {
  std::fprintf(stderr, "qrb-board-sim: %s\n", qPrintable(line));
}

QString BoardSimulator::ListenTcp(quint16 port) {
  server_ = new QTcpServer(this);
  if (!server_->listen(QHostAddress::LocalHost, port))
    return QStringLiteral("cannot listen on 127.0.0.1:%1: %2").arg(port).arg(server_->errorString());
  connect(server_, &QTcpServer::newConnection, this, &BoardSimulator::AcceptClient);
  return {};
}

quint16 BoardSimulator::TcpPort() const { return server_ ? server_->serverPort() : 0; }

void BoardSimulator::AcceptClient() {
  if (client_) return;  // one client at a time: the next one waits in the backlog
  QTcpSocket* socket = server_->nextPendingConnection();
  if (!socket) return;
  client_ = socket;
  server_->pauseAccepting();
  socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
  Log(QStringLiteral("client connected from port %1").arg(socket->peerPort()));
  tcpWriter_ = std::make_unique<ReplyWriter>(
      [socket](const QByteArray& bytes) { return socket->write(bytes); }, baud_);
  // The board hangs up once its last reply is out; whatever the client sends
  // after that is lost.
  connect(tcpWriter_.get(), &ReplyWriter::dropRequested, socket, [this, socket] {
    Log(QStringLiteral("dropping the link"));
    disconnect(socket, &QTcpSocket::readyRead, this, &BoardSimulator::ReadTcp);
    socket->disconnectFromHost();
  });
  connect(socket, &QTcpSocket::readyRead, this, &BoardSimulator::ReadTcp);
  connect(socket, &QTcpSocket::disconnected, this, &BoardSimulator::ClientGone);
  if (socket->bytesAvailable() > 0) ReadTcp();
}

void BoardSimulator::ClientGone() {
  if (!client_) return;
  Log(QStringLiteral("client disconnected"));
  QTcpSocket* socket = client_;
  client_.clear();
  socket->disconnect(this);
  socket->deleteLater();
  if (tcpWriter_) {
    tcpWriter_->Discard();
    tcpWriter_.release()->deleteLater();  // may be emitting right now
  }
  board_.ResetLink();
  server_->resumeAccepting();
  if (server_->hasPendingConnections()) AcceptClient();
}

void BoardSimulator::ReadTcp() {
  if (client_ && tcpWriter_) Take(client_->readAll(), *tcpWriter_, "tcp");
}

void BoardSimulator::Take(const QByteArray& bytes, ReplyWriter& writer, const char* link) {
  if (bytes.isEmpty()) return;
  if (verbose_) Log(QStringLiteral("%1 received %2").arg(QLatin1StringView(link), QString::fromLatin1(bytes.toHex(' '))));
  writer.Received(bytes.size());
  const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.constData());
  const BoardReply reply = board_.Feed(std::span(data, static_cast<std::size_t>(bytes.size())));
  if (reply.Empty() && !reply.DropLink) return;
  if (verbose_) {
    const std::vector<std::uint8_t> all = reply.Bytes();
    Log(QStringLiteral("%1 answers %2 bytes").arg(QLatin1StringView(link)).arg(all.size()));
  }
  writer.Queue(reply);
}

#if defined(Q_OS_UNIX)

QString BoardSimulator::OpenPty(const QString& linkPath) {
  ptyMaster_ = ::posix_openpt(O_RDWR | O_NOCTTY);
  if (ptyMaster_ < 0 || ::grantpt(ptyMaster_) != 0 || ::unlockpt(ptyMaster_) != 0)
    return QStringLiteral("cannot create a pseudo-terminal: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
  const char* name = ::ptsname(ptyMaster_);
  if (!name) return QStringLiteral("cannot name the pseudo-terminal");
  ptyPath_ = QString::fromLocal8Bit(name);

  // Raw bytes both ways, whatever the client does with the line settings.
  termios tio{};
  ::tcgetattr(ptyMaster_, &tio);
  ::cfmakeraw(&tio);
  ::tcsetattr(ptyMaster_, TCSANOW, &tio);
  ::fcntl(ptyMaster_, F_SETFL, ::fcntl(ptyMaster_, F_GETFL) | O_NONBLOCK);
  ptySlave_ = ::open(name, O_RDWR | O_NOCTTY);

  if (!linkPath.isEmpty()) {
    const QFileInfo existing(linkPath);
    if (existing.isSymLink()) QFile::remove(linkPath);
    if (!QFile::link(ptyPath_, linkPath))
      return QStringLiteral("cannot create the link %1").arg(linkPath);
    ptyLink_ = linkPath;
  }

  const int master = ptyMaster_;
  ptyWriter_ = std::make_unique<ReplyWriter>(
      [master](const QByteArray& bytes) -> qint64 {
        const ssize_t n = ::write(master, bytes.constData(), static_cast<size_t>(bytes.size()));
        return n < 0 ? 0 : n;
      },
      baud_);
  // A serial line has no connection to drop: the board goes deaf and mute,
  // as if its cable had been pulled.
  connect(ptyWriter_.get(), &ReplyWriter::dropRequested, this, [this] {
    Log(QStringLiteral("pseudo-terminal unplugged"));
    ptyUnplugged_ = true;
  });
  ptyNotifier_ = new QSocketNotifier(ptyMaster_, QSocketNotifier::Read, this);
  connect(ptyNotifier_, &QSocketNotifier::activated, this, &BoardSimulator::ReadPty);
  return {};
}

void BoardSimulator::ReadPty() {
  char buffer[4096];
  const ssize_t n = ::read(ptyMaster_, buffer, sizeof buffer);
  if (n <= 0 || ptyUnplugged_) return;
  Take(QByteArray(buffer, static_cast<qsizetype>(n)), *ptyWriter_, "pty");
}

#else

QString BoardSimulator::OpenPty(const QString&) {
  return QStringLiteral("pseudo-terminals are not available on this system");
}

void BoardSimulator::ReadPty() {}

#endif

}  // namespace qrb::sim
