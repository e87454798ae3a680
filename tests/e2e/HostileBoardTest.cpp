// qrb-flash-cli against boards that misbehave on purpose, served here on a
// real loopback socket: a flood, a board that hangs up at once, and a silent
// board while the front end gets a stop signal.
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <csignal>

namespace qrb::test {
namespace {

const QByteArray OpeningPacket("\xF1\xA5", 2);
const QByteArray StatusInFlashMode("\x91\x2E\x92\x04\x15", 5);
constexpr qint64 Fifo1Bytes = 1025;

enum class Behaviour {
  Silent,             // takes everything, answers nothing
  HangUp,             // closes the connection as soon as it is made
  FloodZeros,         // 0x00 at 10 MB/s from the first byte on
  StatusThenFlood,    // a good status reply to the opening packet, then the flood
};

// One client at a time; records what it receives.
class HostileBoard : public QObject {
 public:
  explicit HostileBoard(Behaviour behaviour) : behaviour_(behaviour) {
    server_.listen(QHostAddress::LocalHost, 0);
    connect(&server_, &QTcpServer::newConnection, this, [this] { Accept(); });
    flood_.setInterval(2);
    connect(&flood_, &QTimer::timeout, this, [this] { Flood(); });
  }

  quint16 Port() const { return server_.serverPort(); }
  QByteArray received;
  bool clientGone = false;
  qint64 flooded = 0;

 private:
  void Accept() {
    client_ = server_.nextPendingConnection();
    connect(client_, &QTcpSocket::disconnected, this, [this] {
      clientGone = true;
      flood_.stop();
    });
    connect(client_, &QTcpSocket::readyRead, this, [this] { Read(); });
    if (behaviour_ == Behaviour::HangUp) client_->disconnectFromHost();
    if (behaviour_ == Behaviour::FloodZeros) flood_.start();
  }

  void Read() {
    received += client_->readAll();
    if (!received.startsWith(OpeningPacket) || answered_) return;
    answered_ = true;
    if (behaviour_ == Behaviour::StatusThenFlood) {
      client_->write(StatusInFlashMode);
      flood_.start();
    }
  }

  // 20 KB every 2 ms is 10 MB/s, as far as the client takes it.
  void Flood() {
    if (client_ == nullptr || client_->bytesToWrite() > 256 * 1024) return;
    flooded += client_->write(QByteArray(20000, '\0'));
  }

  Behaviour behaviour_;
  QTcpServer server_;
  QTcpSocket* client_ = nullptr;
  QTimer flood_;
  bool answered_ = false;
};

// Runs the event loop (the board lives in it) until the process ends or the
// time is up; also samples the process's resident memory.
struct Finished {
  bool inTime = false;
  qint64 ms = 0;
  qint64 peakRssKiB = 0;
};

qint64 ResidentKiB(qint64 pid) {
  QFile status(QStringLiteral("/proc/%1/status").arg(pid));
  if (!status.open(QIODevice::ReadOnly)) return 0;
  for (const QByteArray& line : status.readAll().split('\n'))
    if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').first().toLongLong();
  return 0;
}

Finished Await(QProcess& process, int timeoutMs) {
  Finished result;
  QElapsedTimer clock;
  clock.start();
  QEventLoop loop;
  QTimer sample, deadline;
  QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
  QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
  QObject::connect(&sample, &QTimer::timeout, &loop, [&] {
    result.peakRssKiB = std::max(result.peakRssKiB, ResidentKiB(process.processId()));
  });
  sample.start(50);
  deadline.start(timeoutMs);
  if (process.state() != QProcess::NotRunning) loop.exec();
  result.ms = clock.elapsed();
  result.inTime = process.state() == QProcess::NotRunning;
  if (!result.inTime) {
    process.kill();
    process.waitForFinished();
  }
  return result;
}

// A value from the tick statistics: "period_ms mean 50 stddev 1 min 49 max 53".
double TickFigure(const QString& path, const QByteArray& name, const QByteArray& field) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return -1;
  for (const QByteArray& line : file.readAll().split('\n')) {
    const QList<QByteArray> words = line.split(' ');
    if (words.isEmpty() || words[0] != name) continue;
    for (qsizetype i = 1; i + 1 < words.size(); ++i)
      if (words[i] == field) return words[i + 1].toDouble();
  }
  return -1;
}

}  // namespace
}  // namespace qrb::test

Q_DECLARE_METATYPE(qrb::test::Behaviour)

namespace qrb::test {

class HostileBoardTest : public QObject {
  Q_OBJECT

 private:
  QStringList ProgramArgs(const HostileBoard& board) const {
    return {QStringLiteral("program"), QStringLiteral(QRB_EXAMPLE_IMAGE), QStringLiteral("--tcp"),
            QStringLiteral("127.0.0.1:%1").arg(board.Port())};
  }

 private slots:
  // Whatever the board sends, the tick keeps its pace and the run ends through
  // its state's own line; the flood leaves two FIFO lines per burst at most.
  void floodEndsTheRunInTimeWithBoundedOutput_data() {
    QTest::addColumn<Behaviour>("behaviour");
    QTest::addColumn<QString>("endLine");
    QTest::newRow("zeros instead of a status") << Behaviour::FloodZeros
                                           << QStringLiteral("FailTimer expired.  Program mode is 21.  E21_A");
    QTest::newRow("zeros after the status")
        << Behaviour::StatusThenFlood << QStringLiteral("Wrong response from QRB interface [61]: $0");
  }
  void floodEndsTheRunInTimeWithBoundedOutput() {
    QFETCH(Behaviour, behaviour);
    QFETCH(QString, endLine);
    HostileBoard board(behaviour);
    QTemporaryDir dir;
    const QString stats = dir.filePath(QStringLiteral("ticks"));
    QProcess cli;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QRB_TICK_STATS"), stats);
    cli.setProcessEnvironment(env);
    cli.start(QStringLiteral(QRB_CLI), ProgramArgs(board));
    const Finished end = Await(cli, 20000);
    const QByteArray out = cli.readAllStandardOutput(), err = cli.readAllStandardError();
    qInfo("flood: %.1f MB sent, run ended after %lld ms, longest tick period %.0f ms, peak RSS %lld KiB, "
          "%lld + %lld bytes of output",
          board.flooded / 1e6, end.ms, TickFigure(stats, "period_ms", "max"), end.peakRssKiB,
          qint64(out.size()), qint64(err.size()));
    QVERIFY2(end.inTime, "the run did not end within 20 s");
    QCOMPARE(cli.exitCode(), 1);
    QVERIFY2(err.contains(endLine.toLatin1() + "\nAborting.  ProgramMode = 0.\n"), err.right(2000).constData());
    QVERIFY(board.flooded > 100 * Fifo1Bytes);  // a flood, not a burst
    // 3 s of time-out, and a second for start-up and a loaded machine.
    QVERIFY2(end.ms < 6000, "the run took too long under the flood");
    QVERIFY2(out.size() + err.size() < 64 * 1024, out.right(500).constData());
    QVERIFY(out.count("Fifo1 is full.\n") <= 1 + out.count("Fifo1 was full: "));
    QVERIFY(end.peakRssKiB < 200 * 1024);
    const double longestPeriod = TickFigure(stats, "period_ms", "max");
    QVERIFY(longestPeriod > 0);
    QVERIFY2(longestPeriod < 1000, "the tick starved under the flood");
  }

  void aBoardThatHangsUpAtOnceIsNamed() {
    HostileBoard board(Behaviour::HangUp);
    QProcess cli;
    cli.start(QStringLiteral(QRB_CLI), ProgramArgs(board));
    QVERIFY(Await(cli, 20000).inTime);
    const QByteArray err = cli.readAllStandardError();
    QCOMPARE(cli.exitCode(), 1);
    QVERIFY2(err.contains("Ethernet connection lost: The remote host closed the connection\n"), err.constData());
    QVERIFY(!cli.readAllStandardOutput().contains("Success"));
  }

  // A stop signal is the Abort button: the run ends through AbortSequence,
  // the link is closed, and the exit status tells which signal it was.
  void aStopSignalAbortsTheRun_data() {
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGINT") << SIGINT;
    QTest::newRow("SIGTERM") << SIGTERM;
    QTest::newRow("SIGHUP") << SIGHUP;
  }
  void aStopSignalAbortsTheRun() {
    QFETCH(int, signal);
    HostileBoard board(Behaviour::Silent);
    QProcess cli;
    cli.start(QStringLiteral(QRB_CLI), ProgramArgs(board));
    QTRY_VERIFY_WITH_TIMEOUT(board.received.startsWith(OpeningPacket), 10000);
    ::kill(static_cast<pid_t>(cli.processId()), signal);
    QVERIFY(Await(cli, 10000).inTime);
    const QByteArray err = cli.readAllStandardError();
    QCOMPARE(cli.exitStatus(), QProcess::NormalExit);
    QCOMPARE(cli.exitCode(), 128 + signal);
    QVERIFY2(err.endsWith("Aborting.  ProgramMode = 0.\nAborted processing.\nEthernet connection closed.\n"),
             err.constData());
    QTRY_VERIFY(board.clientGone);
    QCOMPARE(board.received, OpeningPacket);
  }

  // Two signals pending at once: the second one is not waited for.
  void aSecondSignalEndsAtOnce() {
    HostileBoard board(Behaviour::Silent);
    QProcess cli;
    cli.start(QStringLiteral(QRB_CLI), ProgramArgs(board));
    QTRY_VERIFY_WITH_TIMEOUT(board.received.startsWith(OpeningPacket), 10000);
    const auto pid = static_cast<pid_t>(cli.processId());
    ::kill(pid, SIGSTOP);
    ::kill(pid, SIGINT);
    ::kill(pid, SIGTERM);
    ::kill(pid, SIGCONT);
    QVERIFY(Await(cli, 10000).inTime);
    QCOMPARE(cli.exitStatus(), QProcess::CrashExit);
  }
};

}  // namespace qrb::test

QTEST_GUILESS_MAIN(qrb::test::HostileBoardTest)
#include "HostileBoardTest.moc"
