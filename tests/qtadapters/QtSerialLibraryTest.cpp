// The QSerialPort library against a real pseudo-terminal pair: the library
// opens the terminal side, the test plays the board on the controlling side.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>
#include <cstdlib>

#include "pipe/SerialCodes.h"
#include "pipe/qt/QtSerialLibrary.h"

using namespace qrb;
namespace sc = qrb::SerialCode;

namespace {

constexpr int WaitMs = 10000;

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
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;

  bool Valid() const { return !devicePath_.isEmpty(); }
  QString DevicePath() const { return devicePath_; }

  bool Write(const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
      pollfd p{fd_, POLLOUT, 0};
      if (::poll(&p, 1, WaitMs) <= 0) return false;
      const auto n = ::write(fd_, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
      if (n < 0) return false;
      done += n;
    }
    return true;
  }

  // What the library has sent so far (nothing while its end is closed).
  QByteArray ReadAvailable() {
    QByteArray bytes;
    char chunk[512];
    for (;;) {
      const auto n = ::read(fd_, chunk, sizeof chunk);
      if (n <= 0) break;
      bytes.append(chunk, n);
    }
    return bytes;
  }

  // The line settings of the terminal side as the kernel holds them.
  termios LineSettings() const {
    termios t{};
    ::tcgetattr(fd_, &t);
    return t;
  }

 private:
  int fd_ = -1;
  QString devicePath_;
};

QByteArray AllByteValues() {
  QByteArray bytes;
  for (int b = 0; b < 256; ++b) bytes.append(static_cast<char>(b));
  return bytes;
}

constexpr std::int32_t Com = 1;
constexpr std::int32_t MissingCom = 3;

}  // namespace

class QtSerialLibraryTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<PseudoTerminal> pty_;
  QString missingDevice_;
  std::unique_ptr<QtSerialLibrary> lib_;

  std::unique_ptr<QtSerialLibrary> MakeLibrary() {
    return std::make_unique<QtSerialLibrary>([this](int port) {
      return port == Com ? pty_->DevicePath() : missingDevice_;
    });
  }

  std::int32_t Open(QtSerialLibrary& lib, std::int32_t baudCode = 8) {
    const auto r = lib.InitializePort(Com, Com - 1, 0x3F8, 4, 9, 0, 8192, 8192, 0);
    if (r != sc::Ok) return r;
    return lib.SetPortCharacteristics(Com, baudCode, 0, 3, 0, 0);
  }

  // Everything the library hands out, polled as the main window polls it.
  QByteArray Poll(QByteArray& got) {
    if (lib_->ser_rs232_getpacket(Com, 0, "0") == sc::Ok)
      for (int b = lib_->GetByte(Com); b != -1; b = lib_->GetByte(Com)) got.append(static_cast<char>(b));
    return got;
  }

  void Send(const QByteArray& bytes) {
    for (char c : bytes) QCOMPARE(lib_->PutByte(Com, static_cast<std::uint8_t>(c)), sc::Ok);
    QCOMPARE(lib_->ser_rs232_putpacket(Com, 0, "0"), sc::Ok);
  }

  QByteArray Received(QByteArray& got) {
    got += pty_->ReadAvailable();
    return got;
  }

 private slots:
  void init() {
    pty_ = std::make_unique<PseudoTerminal>();
    QVERIFY(pty_->Valid());
    missingDevice_ = QDir::temp().filePath(QStringLiteral("qrb-no-such-tty-%1").arg(QCoreApplication::applicationPid()));
    lib_ = MakeLibrary();
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
    QCOMPARE(Open(*lib_, baudCode), sc::Ok);
    QCOMPARE(lib_->CdrvSetTimerResolution(Com, 1), sc::Ok);
    QCOMPARE(lib_->SetTimeout(Com, 1), sc::Ok);
    QCOMPARE(lib_->SetPaceTime(Com, 0), sc::Ok);

    const termios line = pty_->LineSettings();
    QCOMPARE(int(cfgetospeed(&line)), speed);
    QCOMPARE(int(cfgetispeed(&line)), speed);
    QCOMPARE(line.c_cflag & CSIZE, tcflag_t(CS8));
    QCOMPARE(line.c_cflag & (PARENB | CSTOPB | CRTSCTS), tcflag_t(0));
    QCOMPARE(line.c_iflag & (IXON | IXOFF), tcflag_t(0));

    ComPortRecord record;
    QCOMPARE(lib_->ser_rs232_getport(Com, record), sc::Ok);
    QCOMPARE(record.BaudCode, baudCode);
    QCOMPARE(record.Characteristic[1], std::int16_t(3));

    const QByteArray all = AllByteValues();
    QVERIFY(pty_->Write(all));
    QByteArray fromBoard;
    QTRY_COMPARE_WITH_TIMEOUT(Poll(fromBoard), all, WaitMs);

    // Two packets arrive whole and in the order they were put.
    Send(all);
    Send(QByteArray("\xF1\xA5", 2));
    QByteArray toBoard;
    QTRY_COMPARE_WITH_TIMEOUT(Received(toBoard), all + QByteArray("\xF1\xA5", 2), WaitMs);
  }

  void getByteAnswersAtOnceWithMinusOneWhenNothingCame() {
    QCOMPARE(lib_->GetByte(Com), -1);  // not even open
    QCOMPARE(Open(*lib_), sc::Ok);
    for (int i = 0; i < 3; ++i) {
      QCOMPARE(lib_->ser_rs232_getpacket(Com, 0, "0"), sc::Ok);
      QCOMPARE(lib_->GetByte(Com), -1);
    }
    QVERIFY(pty_->Write(QByteArray(1, '\xFF')));
    QByteArray got;
    QTRY_COMPARE_WITH_TIMEOUT(Poll(got), QByteArray(1, '\xFF'), WaitMs);  // 255, not "no byte"
    QCOMPARE(lib_->GetByte(Com), -1);
  }

  void receiveFlushDiscardsWhatWasNotYetRead() {
    QCOMPARE(Open(*lib_), sc::Ok);
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
  }

  void transmitFlushDiscardsWhatWasPutButNotSent() {
    QCOMPARE(Open(*lib_), sc::Ok);
    for (char c : QByteArray("stale")) QCOMPARE(lib_->PutByte(Com, c), sc::Ok);
    QCOMPARE(lib_->FlushTransmitBuffer(Com), sc::Ok);
    Send("fresh");
    QByteArray got;
    QTRY_COMPARE_WITH_TIMEOUT(Received(got), QByteArray("fresh"), WaitMs);
  }

  void aClosedPortCanBeOpenedAgain() {
    QCOMPARE(Open(*lib_), sc::Ok);
    QCOMPARE(lib_->InitializePort(Com, 0, 0x3F8, 4, 9, 0, 8192, 8192, 0), sc::AlreadyOpen);
    QCOMPARE(lib_->UnInitializePort(Com), sc::Ok);
    QCOMPARE(lib_->UnInitializePort(Com), sc::NotOpen);
    QCOMPARE(Open(*lib_, 11), sc::Ok);
    Send("again");
    QByteArray got;
    QTRY_COMPARE_WITH_TIMEOUT(Received(got), QByteArray("again"), WaitMs);
  }

  void callsOnAPortThatIsNotOpenFailWithNotOpen() {
    ComPortRecord record;
    const std::int32_t results[] = {
        lib_->ser_rs232_getport(Com, record),
        lib_->SetPortCharacteristics(Com, 8, 0, 3, 0, 0),
        lib_->CdrvSetTimerResolution(Com, 1),
        lib_->SetTimeout(Com, 1),
        lib_->SetPaceTime(Com, 0),
        lib_->FlushReceiveBuffer(Com),
        lib_->FlushTransmitBuffer(Com),
        lib_->ser_rs232_getpacket(Com, 0, "0"),
        lib_->PutByte(Com, 0xF1),
        lib_->ser_rs232_putpacket(Com, 0, "0"),
        lib_->UnInitializePort(Com),
    };
    for (std::int32_t r : results) QCOMPARE(r, sc::NotOpen);
  }

  void comPortsNameTheirDevices() {
#if defined(Q_OS_WIN)
    QCOMPARE(DefaultComDevice(3), QStringLiteral("COM3"));
#else
    for (int n = 1; n <= 4; ++n) {
      const QString alias = QStringLiteral("/dev/COM%1").arg(n);
      const QString expected = QFileInfo::exists(alias) ? alias : QStringLiteral("/dev/ttyS%1").arg(n - 1);
      QCOMPARE(DefaultComDevice(n), expected);
    }
#endif
  }

  void aMissingDeviceIsNamedWithItsReason() {
    QCOMPARE(lib_->InitializePort(MissingCom, MissingCom - 1, 0x3E8, 5, 9, 0, 8192, 8192, 0), sc::NoSuchDevice);
    const QString line = QString::fromStdString(lib_->DescribeFailure(MissingCom, sc::NoSuchDevice));
    QVERIFY2(line.startsWith(QStringLiteral("COM3 device ") + missingDevice_ + QStringLiteral(" does not exist (")),
             qPrintable(line));
  }

  void aDeviceHeldByAnotherProgramIsBusy() {
    QCOMPARE(Open(*lib_), sc::Ok);
    auto other = MakeLibrary();
    QCOMPARE(other->InitializePort(Com, 0, 0x3F8, 4, 9, 0, 8192, 8192, 0), sc::PortBusy);
    const QString line = QString::fromStdString(other->DescribeFailure(Com, sc::PortBusy));
    QVERIFY2(line.contains(pty_->DevicePath() + QStringLiteral(" is busy")), qPrintable(line));
    // Releasing it lets the other side in.
    QCOMPARE(lib_->UnInitializePort(Com), sc::Ok);
    QCOMPARE(other->InitializePort(Com, 0, 0x3F8, 4, 9, 0, 8192, 8192, 0), sc::Ok);
  }

  void aDeviceThisUserMayNotOpenPointsAtTheDialoutGroup() {
    QTemporaryDir dir;
    const QString device = dir.filePath(QStringLiteral("ttyLocked"));
    QFile file(device);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    QVERIFY(file.setPermissions(QFile::Permissions()));
    if (QFileInfo(device).isReadable()) QSKIP("running with rights that ignore file permissions");
    QtSerialLibrary lib([&device](int) { return device; });
    QCOMPARE(lib.InitializePort(2, 1, 0x2F8, 3, 9, 0, 8192, 8192, 0), sc::PermissionDenied);
    const QString line = QString::fromStdString(lib.DescribeFailure(2, sc::PermissionDenied));
    QVERIFY2(line.startsWith(QStringLiteral("COM2 device ") + device + QStringLiteral(" may not be opened")),
             qPrintable(line));
#if defined(Q_OS_LINUX)
    QVERIFY2(line.contains(QStringLiteral("dialout group")), qPrintable(line));
#endif
  }

};

QTEST_GUILESS_MAIN(QtSerialLibraryTest)
#include "QtSerialLibraryTest.moc"
