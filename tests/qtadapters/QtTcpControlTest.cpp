// The QTcpSocket control against a QTcpServer on 127.0.0.1 playing the board.
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>
#include <algorithm>
#include <memory>

#include "pipe/qt/QtTcpControl.h"

using namespace qrb;

namespace {

constexpr int WaitMs = 10000;

// Records the control's events; reads on every arrival as the main window does.
class Recorder : public TcpEvents {
 public:
  explicit Recorder(TcpControl& control) : control_(control) { control_.SetEvents(this); }
  ~Recorder() override { control_.SetEvents(nullptr); }

  QStringList events;
  QByteArray received;
  int countMismatches = 0;
  std::int32_t largest = 0;

  void Winsock1Data_Connect() override { events << QStringLiteral("connected"); }
  void Winsock1Data_DataArrival(std::int32_t count) override {
    largest = std::max(largest, count);
    const std::vector<std::uint8_t> bytes = control_.GetData();
    countMismatches += static_cast<std::int32_t>(bytes.size()) != count;
    received.append(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
  }
  void Winsock1Data_ConnectFailed(const std::string& why) override { events << "failed: " + QString::fromStdString(why); }
  void Winsock1Data_Dropped(const std::string& why) override { events << "dropped: " + QString::fromStdString(why); }

 private:
  TcpControl& control_;
};

void ConnectTo(TcpControl& control, int port) {
  control.SetLocalPort(0);
  control.SetRemoteHost("127.0.0.1");
  control.SetRemotePort(port);
  control.Connect();
}

}  // namespace

class QtTcpControlTest : public QObject {
  Q_OBJECT

  std::unique_ptr<QTcpServer> server_;
  std::unique_ptr<QtTcpControl> control_;
  std::unique_ptr<Recorder> rec_;

  // Connects and returns the board's side; nothing may be raised from inside Connect().
  QTcpSocket* Establish() {
    const qsizetype before = rec_->events.size();
    ConnectTo(*control_, server_->serverPort());
    if (rec_->events.size() != before) return nullptr;
    if (!QTest::qWaitFor([&] { return rec_->events.size() > before; }, WaitMs) || rec_->events.last() != "connected")
      return nullptr;
    if (!server_->hasPendingConnections() && !server_->waitForNewConnection(WaitMs)) return nullptr;
    return server_->nextPendingConnection();
  }

  // Sending or closing after the link is gone raises nothing.
  void ExpectSilentAfterwards() {
    const qsizetype before = rec_->events.size();
    control_->SendData({0xF1, 0xA5});
    control_->Close();
    QCoreApplication::processEvents();
    QCOMPARE(control_->GetData().size(), size_t(0));
    QCOMPARE(rec_->events.size(), before);
  }

 private slots:
  void init() {
    server_ = std::make_unique<QTcpServer>();
    QVERIFY(server_->listen(QHostAddress::LocalHost, 0));
    control_ = std::make_unique<QtTcpControl>();
    rec_ = std::make_unique<Recorder>(*control_);
  }
  void cleanup() {
    rec_.reset();
    control_.reset();
    server_.reset();
  }

  void aLargeBurstArrivesInSlicesThatLetTimersRun() {
    QTcpSocket* board = Establish();
    QVERIFY(board);
    int timerRuns = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++timerRuns; });
    timer.start(0);
    QByteArray burst(1 << 20, '\0');
    for (qsizetype i = 0; i < burst.size(); ++i) burst[i] = static_cast<char>(i * 13 + i / 4096);
    board->write(burst);
    QTRY_COMPARE_WITH_TIMEOUT(rec_->received.size(), burst.size(), WaitMs);
    QVERIFY(rec_->received == burst);
    QCOMPARE(rec_->countMismatches, 0);
    QVERIFY(rec_->largest <= QtTcpControl::ReadSliceBytes);
    QVERIFY2(timerRuns >= burst.size() / QtTcpControl::ReadSliceBytes / 2, qPrintable(QString::number(timerRuns) + " timer runs"));
    QCOMPARE(rec_->events, QStringList{QStringLiteral("connected")});
  }

  void aBoardThatClosesDeliversItsLastBytes() {
    QTcpSocket* board = Establish();
    QVERIFY(board);
    board->write("\xFF\x00\x41", 3);
    board->disconnectFromHost();
    QTRY_VERIFY_WITH_TIMEOUT(rec_->events.last().startsWith(QStringLiteral("dropped: ")), WaitMs);
    QCOMPARE(rec_->received, QByteArray("\xFF\x00\x41", 3));
    QCOMPARE(rec_->events.filter(QStringLiteral("dropped")).size(), qsizetype(1));
    QVERIFY(rec_->events.last().size() > 9);  // a reason is given
    ExpectSilentAfterwards();
  }

  // An attempt fails after Connect() returns, with its reason; a full accept queue leaves it unanswered.
  void aFailedAttemptIsReportedWithItsReason_data() {
    QTest::addColumn<bool>("listening");
    QTest::addColumn<QString>("reason");
    QTest::newRow("refused") << false << "failed: Connection refused";
    QTest::newRow("unanswered") << true << "failed: Connection timed out";
  }
  void aFailedAttemptIsReportedWithItsReason() {
    QFETCH(bool, listening);
    QFETCH(QString, reason);
    QTcpServer silent;
    silent.setListenBacklogSize(0);
    QVERIFY(silent.listen(QHostAddress::LocalHost, 0));
    silent.pauseAccepting();
    QTcpSocket filler;
    filler.connectToHost(QHostAddress::LocalHost, silent.serverPort());
    QVERIFY(filler.waitForConnected(WaitMs));
    const quint16 port = listening ? silent.serverPort() : server_->serverPort();
    server_->close();
    rec_.reset();
    control_ = std::make_unique<QtTcpControl>(std::chrono::milliseconds(300));
    rec_ = std::make_unique<Recorder>(*control_);
    ConnectTo(*control_, port);
    QVERIFY(rec_->events.isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(rec_->events.size(), qsizetype(1), WaitMs);
    QVERIFY2(rec_->events.last().startsWith(reason, Qt::CaseInsensitive), qPrintable(rec_->events.last()));
    ExpectSilentAfterwards();
  }
};

QTEST_GUILESS_MAIN(QtTcpControlTest)
#include "QtTcpControlTest.moc"
