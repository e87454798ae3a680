// qrb-board-sim against clients that misbehave; after each, the board lets go
// of every client and the next honest one gets its status reply.
#include <QElapsedTimer>
#include <QTcpSocket>
#include <QTest>
#include <functional>
#include <memory>
#include <sys/socket.h>
#include <vector>

#include "BoardProcess.h"

namespace qrb::test {
namespace {

const QByteArray OpeningPacket("\xF1\xA5", 2);

// The FLASH-mode command and `count` read-back requests for the block at 0x1000.
QByteArray ReadBackRequests(int count) {
  return QByteArray("\xE1\x96", 2) + QByteArray("\x57\x37\x00\x00\x10\x00\x01\x00", 8).repeated(count);
}

std::unique_ptr<QTcpSocket> Connect(quint16 port, bool wait = true) {
  auto socket = std::make_unique<QTcpSocket>();
  socket->connectToHost(QHostAddress::LocalHost, port);
  if (wait) socket->waitForConnected(3000);
  return socket;
}

void Send(QTcpSocket& socket, const QByteArray& bytes) {
  socket.write(bytes);
  while (socket.bytesToWrite() > 0 && socket.waitForBytesWritten(3000)) {
  }
}

// Reads until count bytes came, the link ended or the time is up.
QByteArray Receive(QTcpSocket& socket, qsizetype count, int timeoutMs = 3000) {
  QByteArray bytes;
  QElapsedTimer clock;
  clock.start();
  while (bytes.size() < count && clock.elapsed() < timeoutMs) {
    if (socket.bytesAvailable() == 0) socket.waitForReadyRead(static_cast<int>(timeoutMs - clock.elapsed()));
    bytes += socket.read(count - bytes.size());
    if (socket.state() != QAbstractSocket::ConnectedState && socket.bytesAvailable() == 0) break;
  }
  return bytes;
}

bool IsStatusReply(const QByteArray& reply) {
  return reply.size() == 5 && reply[0] == '\x91' && (reply[1] == '\x12' || reply[1] == '\x2E') &&
         reply[2] == '\x92' && reply[3] == '\x04';
}

// A hang-up with a reset instead of the orderly close.
void Reset(QTcpSocket& socket) {
  const linger hard{1, 0};
  ::setsockopt(static_cast<int>(socket.socketDescriptor()), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
  socket.abort();
}

void Close(QTcpSocket& socket) {
  socket.disconnectFromHost();
  if (socket.state() != QAbstractSocket::UnconnectedState) socket.waitForDisconnected(1000);
}

using Pattern = std::function<void(quint16)>;

// A client that sends `bytes` and hangs up without reading.
Pattern SendAndClose(const QByteArray& bytes, bool reset = false) {
  return [bytes, reset](quint16 p) {
    auto a = Connect(p);
    Send(*a, bytes);
    reset ? Reset(*a) : Close(*a);
  };
}

// Two clients whose connects are under way together; the second hangs up first.
Pattern AtOnce(bool bothSend) {
  return [bothSend](quint16 p) {
    auto a = Connect(p, false), b = Connect(p, false);
    a->waitForConnected(3000);
    b->waitForConnected(3000);
    Send(bothSend ? *b : *a, OpeningPacket);
    Close(*b);
    bothSend ? Send(*a, OpeningPacket) : void(Receive(*a, 5, 1000));
    Close(*a);
  };
}

}  // namespace

class BoardSimChurnTest : public QObject {
  Q_OBJECT

 private:
  QProcess board_;
  QByteArray log_;
  quint16 port_ = 0;

  QByteArray Log() {
    QCoreApplication::processEvents();
    log_ += board_.readAllStandardError();
    return log_;
  }

  bool Idle() {  // the board has let go of every client it took
    const QByteArray log = Log();
    return log.count("client connected") == log.count("client disconnected");
  }

  bool Answers() {
    const auto socket = Connect(port_);
    Send(*socket, OpeningPacket);
    const bool answered = IsStatusReply(Receive(*socket, 5));
    Close(*socket);
    return answered;
  }

 private slots:
  void init() {
    log_.clear();
    QVERIFY((port_ = StartBoard(board_)) > 0);
  }
  void cleanup() { QVERIFY(StopBoard(board_)); }

  // The orders that once wedged the board, and packets cut short.
  void survivesMisbehavingClients() {
    const std::vector<std::pair<const char*, Pattern>> patterns = {
        {"connect and reset", SendAndClose({}, true)},
        {"opening packet, reset before the reply", SendAndClose(OpeningPacket, true)},
        {"two clients, the second resets first",
         [](quint16 p) {
           auto a = Connect(p), b = Connect(p);
           Reset(*b);
           Close(*a);
         }},
        {"two clients at the same moment", AtOnce(false)},
        {"two clients at the same moment, both send", AtOnce(true)},
        {"a served client keeps its board while a second one comes and goes",
         [](quint16 p) {
           auto a = Connect(p);
           Send(*a, OpeningPacket);
           QVERIFY(IsStatusReply(Receive(*a, 5)));
           auto b = Connect(p);
           QVERIFY(Receive(*b, 1, 2000).isEmpty());
           QCOMPARE(b->state(), QAbstractSocket::UnconnectedState);  // refused with a hang-up
           Send(*a, OpeningPacket);
           QVERIFY(IsStatusReply(Receive(*a, 5)));
           Close(*a);
         }},
        {"half a program block, close",  // 256 data bytes promised, ten sent
         SendAndClose(QByteArray("\x57\x3A\x00\x00\x10\x00\x01\x00", 8) + QByteArray(10, '\x55'))},
        {"read-backs requested and closed before they are read", SendAndClose(ReadBackRequests(100))},
    };
    for (int round = 1; round <= 2; ++round) {
      for (const auto& [name, pattern] : patterns) {
        const QByteArray what = QByteArray("round ") + QByteArray::number(round) + ": " + name;
        pattern(port_);
        if (QTest::currentTestFailed()) QFAIL(what.constData());
        QVERIFY2(QTest::qWaitFor([&] { return Idle(); }, 5000), (what + "\n" + Log().right(600)).constData());
        QVERIFY2(Answers(), what.constData());
      }
    }
  }

  // Replies never read: the board drops the client instead of holding half a megabyte for it.
  void dropsAClientThatDoesNotReadItsReplies() {
    auto a = Connect(port_);
    a->setReadBufferSize(1);  // takes (almost) nothing from the system
    Send(*a, ReadBackRequests(2000));
    QTRY_VERIFY_WITH_TIMEOUT(Log().contains("does not read its replies"), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(Idle(), 5000);
    QVERIFY(Answers());
  }
};

}  // namespace qrb::test

QTEST_GUILESS_MAIN(qrb::test::BoardSimChurnTest)
#include "BoardSimChurnTest.moc"
