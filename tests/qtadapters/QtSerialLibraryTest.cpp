// The QSerialPort library on a pseudo-terminal whose controlling side plays the board.
#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include "pipe/SerialCodes.h"
#include "pipe/qt/QtSerialLibrary.h"
#include "pipe/qt/SerialAccess.h"

using namespace qrb;
namespace sc = qrb::SerialCode;

namespace {

constexpr int WaitMs = 10000;
constexpr std::int32_t Com = 1;

std::int32_t Initialize(QtSerialLibrary& lib, std::int32_t port = Com) {
  return lib.InitializePort(port, port - 1, 0x3F8, 4, 9, 0, 8192, 8192, 0);
}

}  // namespace

class QtSerialLibraryTest : public QObject {
  Q_OBJECT

  int board_ = -1;  // the controlling side, non-blocking
  std::unique_ptr<QtSerialLibrary> lib_;

  std::int32_t Open(std::int32_t baudCode = 8) {
    const auto r = Initialize(*lib_);
    return r != sc::Ok ? r : lib_->SetPortCharacteristics(Com, baudCode, 0, 3, 0, 0);
  }
  // A few hundred bytes at most: the terminal takes them at once.
  bool BoardWrites(const QByteArray& bytes) { return ::write(board_, bytes.constData(), bytes.size()) == bytes.size(); }
  QByteArray& BoardReads(QByteArray& got) {
    char chunk[512];
    for (ssize_t n; (n = ::read(board_, chunk, sizeof chunk)) > 0;) got.append(chunk, n);
    return got;
  }
  // Adds everything the library hands out, polled as the main window polls.
  QByteArray& Poll(QByteArray& got) {
    if (lib_->ser_rs232_getpacket(Com, 0, "0") == sc::Ok)
      for (int b = lib_->GetByte(Com); b != -1; b = lib_->GetByte(Com)) got.append(static_cast<char>(b));
    return got;
  }
  void SendAndExpect(const QByteArray& bytes) {
    for (char c : bytes) QCOMPARE(lib_->PutByte(Com, static_cast<std::uint8_t>(c)), sc::Ok);
    QCOMPARE(lib_->ser_rs232_putpacket(Com, 0, "0"), sc::Ok);
    QByteArray got;
    QTRY_COMPARE_WITH_TIMEOUT(BoardReads(got), bytes, WaitMs);
  }

  void SetsTheLineAndCarriesEveryByteValueBothWays(std::int32_t baudCode, speed_t speed) {
    QCOMPARE(Open(baudCode), sc::Ok);
    termios line{};
    QCOMPARE(::tcgetattr(board_, &line), 0);
    QCOMPARE(cfgetospeed(&line), speed);
    QCOMPARE(cfgetispeed(&line), speed);
    QCOMPARE(line.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), tcflag_t(CS8));
    QCOMPARE(line.c_iflag & (IXON | IXOFF), tcflag_t(0));

    QByteArray all;
    for (int b = 0; b < 256; ++b) all.append(static_cast<char>(b));
    QVERIFY(BoardWrites(all));
    QByteArray fromBoard;
    QTRY_COMPARE_WITH_TIMEOUT(Poll(fromBoard), all, WaitMs);
    QCOMPARE(lib_->ser_rs232_getpacket(Com, 0, "0"), sc::Ok);
    QCOMPARE(lib_->GetByte(Com), -1);  // at once when nothing came
    SendAndExpect(all);
    SendAndExpect(QByteArray("\xF1\xA5", 2));  // nothing of the first again
    QCOMPARE(lib_->UnInitializePort(Com), sc::Ok);
  }

 private slots:
  void init() {
    board_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    QVERIFY(board_ >= 0 && ::grantpt(board_) == 0 && ::unlockpt(board_) == 0);
    ::fcntl(board_, F_SETFL, ::fcntl(board_, F_GETFL) | O_NONBLOCK);
    const QString device = QString::fromLocal8Bit(::ptsname(board_));
    lib_ = std::make_unique<QtSerialLibrary>([device](int) { return device; });
  }
  void cleanup() {
    lib_.reset();
    if (board_ >= 0) ::close(board_);
  }

  // 19.2, 38.4, 57.6 and 115.2 kbaud, the port opened afresh for each.
  void everySpeedSetsTheLineAndCarriesEveryByteValueBothWays() {
    for (const auto& [baudCode, speed] :
         {std::pair{8, B19200}, std::pair{9, B38400}, std::pair{10, B57600}, std::pair{11, B115200}})
      if (SetsTheLineAndCarriesEveryByteValueBothWays(baudCode, speed); QTest::currentTestFailed()) return;
  }

  void flushesDiscardWhatIsWaiting() {
    QCOMPARE(Open(), sc::Ok);
    QVERIFY(BoardWrites("abcdef"));
    // Once the first byte is in, so is the rest of that write; QTRY_* may ask again.
    int first = -1;
    auto firstByte = [&] {
      if (first == -1 && lib_->ser_rs232_getpacket(Com, 0, "0") == sc::Ok) first = lib_->GetByte(Com);
      return first;
    };
    QTRY_COMPARE_WITH_TIMEOUT(firstByte(), int('a'), WaitMs);
    QCOMPARE(lib_->FlushReceiveBuffer(Com), sc::Ok);
    QCOMPARE(lib_->GetByte(Com), -1);
    QVERIFY(BoardWrites("Z"));
    QByteArray got;
    QTRY_COMPARE_WITH_TIMEOUT(Poll(got), QByteArray("Z"), WaitMs);

    for (char c : QByteArray("stale")) QCOMPARE(lib_->PutByte(Com, c), sc::Ok);
    QCOMPARE(lib_->FlushTransmitBuffer(Com), sc::Ok);
    SendAndExpect("fresh");
  }

  // A closed port opens again; a missing device gets its own code and a reason naming it.
  void callsNeedAnOpenPortThatExists() {
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
    SendAndExpect("again");

    if (!QFileInfo::exists(QStringLiteral("/dev/COM2"))) QCOMPARE(DefaultComDevice(2), QStringLiteral("/dev/ttyS1"));
    QTemporaryDir dir;
    const QString missing = dir.filePath(QStringLiteral("ttyMissing"));
    QtSerialLibrary lib([&](int) { return missing; });
    QCOMPARE(Initialize(lib, 3), sc::NoSuchDevice);
    const QString line = QString::fromStdString(lib.DescribeFailure(3, sc::NoSuchDevice));
    QVERIFY2(line.startsWith(QStringLiteral("COM3 device %1 does not exist (").arg(missing)), qPrintable(line));
    // A device given by its path is named by its path alone.
    QtSerialLibrary byPath([&](int) { return missing; }, true);
    QCOMPARE(Initialize(byPath, 1), sc::NoSuchDevice);
    QVERIFY2(QString::fromStdString(byPath.DescribeFailure(1, sc::NoSuchDevice)).startsWith(missing + " does not exist"),
             qPrintable(QString::fromStdString(byPath.DescribeFailure(1, sc::NoSuchDevice))));
  }

  // What a user who may not open a device is told: the group to join, a new
  // login, or that only root (or the owner) may open it.
  void accessAdviceNamesTheWayIn() {
    const QString usb = "it belongs to user root and group dialout (crw-rw----)";
    const struct {
      unsigned mode;
      QString owner, group;
      bool listed, inSession;
      QString advice;
    } cases[] = {
        {0660U, "root", "dialout", false, false, usb + ": join the group with 'sudo usermod -aG dialout ann', then log in again"},
        {0660U, "root", "dialout", true, false, usb + ": ann is a member of group dialout, but not yet in this session: log in again"},
        {0660U, "root", "root", false, false, "it belongs to user root and group root (crw-rw----): only root may open it"},
        // The group may write only: as a login's terminal.
        {0620U, "root", "tty", false, false, "it belongs to user root and group tty (crw--w----): only root may open it"},
        {0600U, "bob", "bob", false, false, "it belongs to user bob and group bob (crw-------): only bob and root may open it"},
        {0660U, "root", "dialout", true, true, usb},  // in the group already
    };
    for (const auto& c : cases) {
      const DeviceAccess access{c.owner, c.group, c.mode, c.group == "root", c.owner == "root", "ann", c.listed, c.inSession};
      QCOMPARE(AccessAdvice(access), c.advice);
    }
  }

  // The facts come from the device: the pseudo-terminal is this user's.
  void accessIsReadFromTheDevice() {
    const QString device = QString::fromLocal8Bit(::ptsname(board_));
    QVERIFY(::chmod(::ptsname(board_), 0640) == 0);
    const DeviceAccess access = ReadDeviceAccess(device);
    QCOMPARE(access.mode, 0640U);
    QCOMPARE(access.rootOwner, ::geteuid() == 0);
    QCOMPARE(access.user, access.owner);
    QVERIFY(!access.group.isEmpty());
    QVERIFY(ReadDeviceAccess(device + "-missing").owner.isEmpty());
  }
};

QTEST_GUILESS_MAIN(QtSerialLibraryTest)
#include "QtSerialLibraryTest.moc"
