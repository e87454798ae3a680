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
  int countMismatches = 0, arrivals = 0;
  std::int32_t largest = 0;

  void Winsock1Data_Connect() override { events << QStringLiteral("connected"); }
  void Winsock1Data_DataArrival(std::int32_t count) override {
    ++arrivals;
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

  // A burst far larger than a slice comes in slices, every byte once and in
  // order, and the event loop's timers run between them; sending reaches the board.
  void aLargeBurstArrivesInSlicesThatLetTimersRun() {
    QTcpSocket* board = Establish();
    QVERIFY(board);
    control_->SendData({0xF1, 0xA5});
    QByteArray onBoard;
    QTRY_COMPARE_WITH_TIMEOUT(onBoard += board->readAll(), QByteArray("\xF1\xA5", 2), WaitMs);
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
    QVERIFY(rec_->arrivals >= burst.size() / QtTcpControl::ReadSliceBytes);
    QVERIFY2(timerRuns >= rec_->arrivals / 2, qPrintable(QString::number(timerRuns) + " timer runs"));
    QCOMPARE(rec_->events, QStringList{QStringLiteral("connected")});
  }

  // A refused connection fails after Connect() returns, with a reason.
  void aRefusedAttemptIsReportedWithItsReason() {
    const quint16 closedPort = server_->serverPort();
    server_->close();
    ConnectTo(*control_, closedPort);
    QVERIFY(rec_->events.isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(rec_->events.size(), qsizetype(1), WaitMs);
    QVERIFY2(rec_->events.last().startsWith(QStringLiteral("failed: ")) &&
                 rec_->events.last().contains(QStringLiteral("refused"), Qt::CaseInsensitive),
             qPrintable(rec_->events.last()));
    ExpectSilentAfterwards();
  }

  // Closing on purpose, also twice, raises no event; a board that closes
  // delivers its last bytes, then one drop with a reason.
  void closingByTheControlOrByTheBoard() {
    control_->Close();  // never connected
    QTcpSocket* board = Establish();
    QVERIFY(board);
    QSignalSpy boardGone(board, &QTcpSocket::disconnected);
    control_->Close();
    control_->Close();
    QTRY_COMPARE_WITH_TIMEOUT(boardGone.size(), 1, WaitMs);
    QCOMPARE(rec_->events, QStringList{QStringLiteral("connected")});

    board = Establish();
    QVERIFY(board);
    board->write("\xFF\x00\x41", 3);
    board->disconnectFromHost();
    QTRY_VERIFY_WITH_TIMEOUT(rec_->events.last().startsWith(QStringLiteral("dropped: ")), WaitMs);
    QCOMPARE(rec_->received, QByteArray("\xFF\x00\x41", 3));
    QCOMPARE(rec_->events.filter(QStringLiteral("dropped")).size(), qsizetype(1));
    QVERIFY(rec_->events.last().size() > 9);  // a reason is given
    ExpectSilentAfterwards();
  }

  // A listener whose accept queue is full leaves the attempt unanswered.
  void anAttemptWithoutAnswerTimesOut() {
    QTcpServer silent;
    silent.setListenBacklogSize(0);
    QVERIFY(silent.listen(QHostAddress::LocalHost, 0));
    silent.pauseAccepting();
    QTcpSocket filler;
    filler.connectToHost(QHostAddress::LocalHost, silent.serverPort());
    QVERIFY(filler.waitForConnected(WaitMs));
    QtTcpControl control(std::chrono::milliseconds(300));
    Recorder rec(control);
    ConnectTo(control, silent.serverPort());
    QTRY_COMPARE_WITH_TIMEOUT(rec.events.size(), qsizetype(1), WaitMs);
    QVERIFY2(rec.events.last().startsWith(QStringLiteral("failed: Connection timed out")), qPrintable(rec.events.last()));
  }
};

QTEST_GUILESS_MAIN(QtTcpControlTest)
#include "QtTcpControlTest.moc"
