// The QSerialPort library against a real pseudo-terminal pair: the library
// opens the terminal side, the test plays the board on the controlling side.
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include "pipe/SerialCodes.h"
#include "pipe/qt/QtSerialLibrary.h"

using namespace qrb;
namespace sc = qrb::SerialCode;

namespace {

constexpr int WaitMs = 10000;
constexpr std::int32_t Com = 1;

// The board's end of a pseudo-terminal pair.
class PseudoTerminal {
 public:
  PseudoTerminal() {
    fd_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (fd_ < 0 || ::grantpt(fd_) != 0 || ::unlockpt(fd_) != 0) return;
    ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) | O_NONBLOCK);
    devicePath_ = QString::fromLocal8Bit(::ptsname(fd_));
  }
  ~PseudoTerminal() {
    if (fd_ >= 0) ::close(fd_);
  }

  QString DevicePath() const { return devicePath_; }

  // A few hundred bytes at most: the terminal takes them at once.
  bool Write(const QByteArray& bytes) {
    return ::write(fd_, bytes.constData(), static_cast<size_t>(bytes.size())) == bytes.size();
  }

  // Adds what the library has sent so far to `got`.
  QByteArray& Read(QByteArray& got) {
    char chunk[512];
    for (ssize_t n; (n = ::read(fd_, chunk, sizeof chunk)) > 0;) got.append(chunk, n);
    return got;
  }

  termios LineSettings() const {
    termios t{};
    return ::tcgetattr(fd_, &t) == 0 ? t : termios{};
  }

 private:
  int fd_ = -1;
  QString devicePath_;
};

std::int32_t Initialize(QtSerialLibrary& lib, std::int32_t port = Com) {
  return lib.InitializePort(port, port - 1, 0x3F8, 4, 9, 0, 8192, 8192, 0);
}

}  // namespace

class QtSerialLibraryTest : public QObject {
  Q_OBJECT

  std::unique_ptr<PseudoTerminal> pty_;
  std::unique_ptr<QtSerialLibrary> lib_;

  std::int32_t Open(std::int32_t baudCode = 8) {
    const auto r = Initialize(*lib_);
    return r != sc::Ok ? r : lib_->SetPortCharacteristics(Com, baudCode, 0, 3, 0, 0);
  }

  // Adds everything the library hands out, polled as the main window polls.
  QByteArray& Poll(QByteArray& got) {
    if (lib_->ser_rs232_getpacket(Com, 0, "0") == sc::Ok)
      for (int b = lib_->GetByte(Com); b != -1; b = lib_->GetByte(Com)) got.append(static_cast<char>(b));
    return got;
  }

  // Puts `bytes` and sends them; the board must receive exactly `expected`.
  void SendAndExpect(const QByteArray& bytes, const QByteArray& expected) {
    for (char c : bytes) QCOMPARE(lib_->PutByte(Com, static_cast<std::uint8_t>(c)), sc::Ok);
    QCOMPARE(lib_->ser_rs232_putpacket(Com, 0, "0"), sc::Ok);
    QByteArray got;
    QTRY_COMPARE_WITH_TIMEOUT(pty_->Read(got), expected, WaitMs);
  }

 private slots:
  void init() {
    pty_ = std::make_unique<PseudoTerminal>();
    QVERIFY(!pty_->DevicePath().isEmpty());
    lib_ = std::make_unique<QtSerialLibrary>([this](int) { return pty_->DevicePath(); });
  }
  void cleanup() {
    lib_.reset();
    pty_.reset();
  }

  void everySpeedSetsTheLineAndCarriesEveryByteValueBothWays_data() {
    QTest::addColumn<int>("baudCode");
    QTest::addColumn<int>("speed");
    QTest::newRow("19.2 k") << 8 << int(B19200);
    QTest::newRow("38.4 k") << 9 << int(B38400);
    QTest::newRow("57.6 k") << 10 << int(B57600);
    QTest::newRow("115.2 k") << 11 << int(B115200);
  }
  void everySpeedSetsTheLineAndCarriesEveryByteValueBothWays() {
    QFETCH(int, baudCode);
    QFETCH(int, speed);
    QCOMPARE(Open(baudCode), sc::Ok);
    for (std::int32_t r : {lib_->CdrvSetTimerResolution(Com, 1), lib_->SetTimeout(Com, 1), lib_->SetPaceTime(Com, 0)})
      QCOMPARE(r, sc::Ok);
    const termios line = pty_->LineSettings();
    QCOMPARE(int(cfgetospeed(&line)), speed);
    QCOMPARE(int(cfgetispeed(&line)), speed);
    QCOMPARE(line.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), tcflag_t(CS8));
    QCOMPARE(line.c_iflag & (IXON | IXOFF), tcflag_t(0));
    ComPortRecord record;
    QCOMPARE(lib_->ser_rs232_getport(Com, record), sc::Ok);
    QCOMPARE(record.BaudCode, baudCode);

    QByteArray all;
    for (int b = 0; b < 256; ++b) all.append(static_cast<char>(b));
    QVERIFY(pty_->Write(all));
    QByteArray fromBoard;
    QTRY_COMPARE_WITH_TIMEOUT(Poll(fromBoard), all, WaitMs);
    QCOMPARE(lib_->ser_rs232_getpacket(Com, 0, "0"), sc::Ok);
    QCOMPARE(lib_->GetByte(Com), -1);  // at once when nothing came
    SendAndExpect(all, all);
    SendAndExpect(QByteArray("\xF1\xA5", 2), QByteArray("\xF1\xA5", 2));  // nothing of the first again
  }

  // Each flush discards only what is still waiting in its direction.
  void flushesDiscardWhatIsWaiting() {
    QCOMPARE(Open(), sc::Ok);
    QVERIFY(pty_->Write("abcdef"));
    // Once the first byte is in, the rest of that one write is in as well.
    // (QTRY_* evaluate their expression more than once: it must keep what it took.)
    int first = -1;
    auto firstByte = [&] {
      if (first == -1 && lib_->ser_rs232_getpacket(Com, 0, "0") == sc::Ok) first = lib_->GetByte(Com);
      return first;
    };
    QTRY_COMPARE_WITH_TIMEOUT(firstByte(), int('a'), WaitMs);
    QCOMPARE(lib_->FlushReceiveBuffer(Com), sc::Ok);
    QCOMPARE(lib_->GetByte(Com), -1);
    QVERIFY(pty_->Write("Z"));
    QByteArray got;
    QTRY_COMPARE_WITH_TIMEOUT(Poll(got), QByteArray("Z"), WaitMs);

    for (char c : QByteArray("stale")) QCOMPARE(lib_->PutByte(Com, c), sc::Ok);
    QCOMPARE(lib_->FlushTransmitBuffer(Com), sc::Ok);
    SendAndExpect("fresh", "fresh");
  }

  // Every call but opening fails on a port that is not open; a closed port
  // opens again.
  void callsNeedAnOpenPortAndAClosedPortOpensAgain() {
    ComPortRecord record;
    for (std::int32_t r : {lib_->ser_rs232_getport(Com, record), lib_->SetPortCharacteristics(Com, 8, 0, 3, 0, 0),
                           lib_->CdrvSetTimerResolution(Com, 1), lib_->SetTimeout(Com, 1), lib_->SetPaceTime(Com, 0),
                           lib_->FlushReceiveBuffer(Com), lib_->FlushTransmitBuffer(Com),
                           lib_->ser_rs232_getpacket(Com, 0, "0"), lib_->PutByte(Com, 0xF1),
                           lib_->ser_rs232_putpacket(Com, 0, "0"), lib_->UnInitializePort(Com)})
      QCOMPARE(r, sc::NotOpen);
    QCOMPARE(lib_->GetByte(Com), -1);
    QCOMPARE(Open(), sc::Ok);
    QCOMPARE(Initialize(*lib_), sc::AlreadyOpen);
    QCOMPARE(lib_->UnInitializePort(Com), sc::Ok);
    QCOMPARE(lib_->UnInitializePort(Com), sc::NotOpen);
    QCOMPARE(Open(11), sc::Ok);
    SendAndExpect("again", "again");
  }

  // A missing device gets its own code and a reason naming the port and the
  // device.
  void aMissingDeviceGetsItsCodeAndReason() {
    for (int n = 1; n <= 4; ++n) {
      const QString alias = QStringLiteral("/dev/COM%1").arg(n);
      QCOMPARE(DefaultComDevice(n), QFileInfo::exists(alias) ? alias : QStringLiteral("/dev/ttyS%1").arg(n - 1));
    }
    QTemporaryDir dir;
    const QString missing = dir.filePath(QStringLiteral("ttyMissing"));
    QtSerialLibrary lib([&](int) { return missing; });
    QCOMPARE(Initialize(lib, 3), sc::NoSuchDevice);
    const QString line = QString::fromStdString(lib.DescribeFailure(3, sc::NoSuchDevice));
    QVERIFY2(line.startsWith(QStringLiteral("COM3 device ") + missing + QStringLiteral(" does not exist (")),
             qPrintable(line));

  }
};

QTEST_GUILESS_MAIN(QtSerialLibraryTest)
#include "QtSerialLibraryTest.moc"
