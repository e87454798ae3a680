// qrb-board-sim against clients that misbehave; after each, the next honest
// client must get its status reply.
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTcpSocket>
#include <QTest>
#include <QThread>
#include <functional>
#include <memory>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace qrb::test {
namespace {

const QByteArray OpeningPacket("\xF1\xA5", 2);
const QByteArray FlashCommand("\xE1\x96", 2);

// The FLASH-mode command and `count` read-back requests for the block at 0x1000.
QByteArray ReadBackRequests(int count) {
  return FlashCommand + QByteArray("\x57\x37\x00\x00\x10\x00\x01\x00", 8).repeated(count);
}

// Half a program block: the header promises 256 data bytes, ten come.
QByteArray HalfProgramBlock() { return QByteArray("\x57\x3A\x00\x00\x10\x00\x01\x00", 8) + QByteArray(10, '\x55'); }

// A client socket, connected unless the board is wedged.
std::unique_ptr<QTcpSocket> Connect(quint16 port) {
  auto socket = std::make_unique<QTcpSocket>();
  socket->connectToHost(QHostAddress::LocalHost, port);
  socket->waitForConnected(3000);
  return socket;
}

// Two clients whose connects are under way together.
void ConnectAtOnce(QTcpSocket& a, QTcpSocket& b, quint16 port) {
  a.connectToHost(QHostAddress::LocalHost, port);
  b.connectToHost(QHostAddress::LocalHost, port);
  a.waitForConnected(3000);
  b.waitForConnected(3000);
}

bool Connected(const QTcpSocket& socket) { return socket.state() == QAbstractSocket::ConnectedState; }

void Send(QTcpSocket& socket, const QByteArray& bytes) {
  socket.write(bytes);
  while (socket.bytesToWrite() > 0 && socket.waitForBytesWritten(3000)) {
  }
}

// Reads until count bytes came or the time is up.
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

qint64 CpuMs(qint64 pid) {
  QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
  if (!stat.open(QIODevice::ReadOnly)) return -1;
  const QByteArray text = stat.readAll();
  const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
  const qint64 ticks = fields.value(11).toLongLong() + fields.value(12).toLongLong();  // utime, stime
  return ticks * 1000 / ::sysconf(_SC_CLK_TCK);
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

  // The board has let go of every client it took.
  bool Idle() {
    const QByteArray log = Log();
    return log.count("client connected") == log.count("client disconnected");
  }

  // An honest client gets the status reply to its opening packet.
  bool Answers() {
    const auto socket = Connect(port_);
    if (!Connected(*socket)) return false;
    Send(*socket, OpeningPacket);
    const bool answered = IsStatusReply(Receive(*socket, 5));
    Close(*socket);
    return answered;
  }

 private slots:
  void init() {
    log_.clear();
    board_.setProgram(QStringLiteral(QRB_BOARD_SIM));
    board_.setArguments({QStringLiteral("--tcp"), QStringLiteral("0")});
    board_.start();
    QVERIFY(board_.waitForStarted());
    QByteArray out;
    while (!out.contains("READY\n") && board_.waitForReadyRead(5000)) out += board_.readAllStandardOutput();
    const QList<QByteArray> lines = out.split('\n');
    for (const QByteArray& line : lines) {
      if (line.startsWith("TCP_PORT=")) port_ = static_cast<quint16>(line.mid(9).toUInt());
    }
    QVERIFY(port_ > 0);
  }

  void cleanup() {
    board_.terminate();
    QVERIFY(board_.waitForFinished(5000));
    QCOMPARE(board_.exitStatus(), QProcess::NormalExit);
    QCOMPARE(board_.exitCode(), 0);
  }

  void survivesMisbehavingClients() {
    // The orders that once wedged or crashed the board, and packets cut short.
    const std::vector<std::pair<const char*, Pattern>> patterns = {
        {"connect and reset", SendAndClose({}, true)},
        {"opening packet, reset before the reply", SendAndClose(OpeningPacket, true)},
        {"two clients, the second resets first",
         [](quint16 p) {
           auto a = Connect(p), b = Connect(p);
           Reset(*b);
           Close(*a);
         }},
        {"two clients at the same moment, the second hangs up first",
         [](quint16 p) {
           QTcpSocket a, b;
           ConnectAtOnce(a, b, p);
           Send(a, OpeningPacket);
           Close(b);
           Receive(a, 5, 1000);
           Close(a);
         }},
        {"two clients at the same moment, both send, the second hangs up first",
         [](quint16 p) {
           QTcpSocket a, b;
           ConnectAtOnce(a, b, p);
           Send(b, OpeningPacket);
           Close(b);
           Send(a, OpeningPacket);
           Close(a);
         }},
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
        {"half a program block, close", SendAndClose(HalfProgramBlock())},
        {"a packet byte by byte",
         [](quint16 p) {
           auto a = Connect(p);
           Send(*a, OpeningPacket.left(1));
           QThread::msleep(50);
           Send(*a, OpeningPacket.mid(1));
           QVERIFY(IsStatusReply(Receive(*a, 5)));
           Close(*a);
         }},
        {"half-closed after a packet",
         [](quint16 p) {
           auto a = Connect(p);
           Send(*a, OpeningPacket);
           ::shutdown(static_cast<int>(a->socketDescriptor()), SHUT_WR);
           Receive(*a, 5, 1000);
           Close(*a);
         }},
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
    QTRY_VERIFY(Log().contains("refused a second client from port"));
  }

  // 2000 read-back requests whose replies are never read: the board drops
  // the client instead of holding half a megabyte for it.
  void dropsAClientThatDoesNotReadItsReplies() {
    auto a = Connect(port_);
    QVERIFY(Connected(*a));
    a->setReadBufferSize(1);  // takes (almost) nothing from the system
    Send(*a, ReadBackRequests(2000));
    QTRY_VERIFY_WITH_TIMEOUT(Log().contains("does not read its replies"), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(Idle(), 5000);
    QVERIFY(Answers());
  }

  // A megabyte of bytes that start no packet is dropped in linear time.
  void resynchronisesOnAMegabyteOfNoise() {
    const QByteArray noise(1 << 20, '\x55');  // starts no packet
    const qint64 cpuBefore = CpuMs(board_.processId());
    auto a = Connect(port_);
    QVERIFY(Connected(*a));
    Send(*a, noise + OpeningPacket);
    QVERIFY(IsStatusReply(Receive(*a, 5, 10000)));
    const qint64 cpu = CpuMs(board_.processId()) - cpuBefore;
    qInfo("1 MiB of noise cost the board %lld ms of CPU", cpu);
    QVERIFY2(cpu < 1000, "noise costs more than linear time");
    Close(*a);
  }
};

}  // namespace qrb::test

QTEST_GUILESS_MAIN(qrb::test::BoardSimChurnTest)
#include "BoardSimChurnTest.moc"
