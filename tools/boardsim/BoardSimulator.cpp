#include "BoardSimulator.h"

#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <algorithm>
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
  while (QTcpSocket* socket = server_->nextPendingConnection()) {
    if (!client_) {
      Serve(socket);
      continue;
    }
    // The client being served may be hanging up at this very moment (a run
    // right after the last one): give it a moment before refusing.
    waiting_.emplace_back(socket);
    QTimer::singleShot(RefuseAfterMs, socket, [this, socket] {
      const auto it = std::find(waiting_.begin(), waiting_.end(), socket);
      if (it == waiting_.end()) return;
      waiting_.erase(it);
      Refuse(socket);
    });
  }
}

void BoardSimulator::ServeWaiting() {
  while (!client_ && !waiting_.empty()) {
    const QPointer<QTcpSocket> next = waiting_.front();
    waiting_.pop_front();
    if (next) Serve(next);
  }
}

void BoardSimulator::Serve(QTcpSocket* socket) {
  client_ = socket;
  socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
  Log(QStringLiteral("client connected from port %1").arg(socket->peerPort()));
  tcpWriter_ = std::make_unique<ReplyWriter>(
      [socket](const QByteArray& bytes) -> qint64 {
        // Replies wait in the writer, where they are counted, not in the socket.
        return socket->bytesToWrite() >= MaxUnsentBytes ? 0 : socket->write(bytes);
      },
      baud_);
  // The board hangs up once its last reply is out; whatever the client sends
  // after that is lost.
  connect(tcpWriter_.get(), &ReplyWriter::dropRequested, socket, [this, socket] {
    Log(QStringLiteral("dropping the link"));
    disconnect(socket, &QTcpSocket::readyRead, this, &BoardSimulator::ReadTcp);
    socket->disconnectFromHost();
  });
  connect(tcpWriter_.get(), &ReplyWriter::overflowed, socket, [this, socket](qint64 queued) {
    Log(QStringLiteral("the client does not read its replies (%1 bytes waiting): dropping the link").arg(queued));
    socket->abort();  // emits disconnected: ClientGone
  });
  connect(socket, &QTcpSocket::readyRead, this, &BoardSimulator::ReadTcp);
  // A hang-up, a reset or any error that ends the connection frees the board.
  connect(socket, &QTcpSocket::disconnected, this, [this, socket] { ClientGone(socket); });
  connect(socket, &QTcpSocket::stateChanged, this, [this, socket](QAbstractSocket::SocketState state) {
    if (state == QAbstractSocket::UnconnectedState) ClientGone(socket);
  });
  connect(socket, &QTcpSocket::errorOccurred, socket, &QTcpSocket::abort);
  // A client that reset the connection before it was taken has no peer left.
  if (socket->state() != QAbstractSocket::ConnectedState || socket->peerPort() == 0) {
    ClientGone(socket);  // gone before it was taken
  } else if (socket->bytesAvailable() > 0) {
    ReadTcp();
  }
}

// The board has one link: a second client is told so by a hang-up at once.
void BoardSimulator::Refuse(QTcpSocket* socket) {
  Log(QStringLiteral("refused a second client from port %1: busy with the client from port %2")
          .arg(socket->peerPort())
          .arg(client_ ? client_->peerPort() : 0));
  connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
  socket->disconnectFromHost();
  if (socket->state() == QAbstractSocket::UnconnectedState) socket->deleteLater();
}

void BoardSimulator::ClientGone(QTcpSocket* gone) {
  if (!client_ || client_ != gone) return;
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
  ServeWaiting();
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
  for (const std::uint32_t address : board_.TakeProgrammed())
    Log(QStringLiteral("%1 wrote block $%2").arg(QLatin1StringView(link), QString::number(address, 16).toUpper()));
  if (reply.Empty() && !reply.DropLink && !reply.Flood) return;
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
  // Nobody reads the line: what a UART would lose, the board forgets.
  connect(ptyWriter_.get(), &ReplyWriter::overflowed, this, [this](qint64 queued) {
    Log(QStringLiteral("pty: nobody reads the replies: %1 bytes discarded").arg(queued));
    ptyWriter_->Discard();
  });
  ptyNotifier_ = new QSocketNotifier(ptyMaster_, QSocketNotifier::Read, this);
  connect(ptyNotifier_, &QSocketNotifier::activated, this, &BoardSimulator::ReadPty);
  return {};
}

void BoardSimulator::ReadPty() {
  char buffer[4096];
  const ssize_t n = ::read(ptyMaster_, buffer, sizeof buffer);
  if (n <= 0 || ptyUnplugged_) return;
  // A packet left unfinished by an earlier client would swallow the next
  // client's first packet: after a pause it is stale.
  if (board_.PendingBytes() > 0 && ptyQuiet_.isValid() && ptyQuiet_.elapsed() >= StalePacketMs) {
    Log(QStringLiteral("pty: discarded %1 bytes of a packet left unfinished %2 ms ago")
            .arg(board_.PendingBytes())
            .arg(ptyQuiet_.elapsed()));
    board_.ResetLink();
  }
  ptyQuiet_.start();
  Take(QByteArray(buffer, static_cast<qsizetype>(n)), *ptyWriter_, "pty");
}

#else

QString BoardSimulator::OpenPty(const QString&) {
  return QStringLiteral("pseudo-terminals are not available on this system");
}

void BoardSimulator::ReadPty() {}

#endif

}  // namespace qrb::sim
