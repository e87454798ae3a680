// Whole runs by real clicks: the Ethernet link opened in the settings dialog,
// the S19 file chosen in the file dialog, "Program FLASH" and "Verify FLASH"
// against a board that answers on 127.0.0.1.
#include <BoardModel.h>

#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <memory>
#include <vector>

#include "GuiApp.h"

namespace qrb::test {

// The board's protocol model behind a TCP server.
class TcpBoard : public QObject {
 public:
  sim::BoardModel model{sim::BoardMode::StartupIdle, 0x15};
  QTcpServer server;

  TcpBoard() {
    server.listen(QHostAddress(QStringLiteral("127.0.0.1")));
    connect(&server, &QTcpServer::newConnection, this, [this] {
      QTcpSocket* socket = server.nextPendingConnection();
      connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
        const QByteArray received = socket->readAll();
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(received.constData());
        const std::vector<std::uint8_t> reply =
            model.Feed(std::span<const std::uint8_t>(bytes, static_cast<std::size_t>(received.size()))).Bytes();
        socket->write(reinterpret_cast<const char*>(reply.data()), static_cast<qint64>(reply.size()));
      });
    });
  }
};

class RunTest : public QObject {
  Q_OBJECT

  static constexpr int RunBound = 30000;  // ms; a run takes a few seconds

  std::unique_ptr<GuiApp> gui;
  std::unique_ptr<TcpBoard> board;
  QTemporaryDir folder;
  std::vector<std::uint8_t> image;  // 300 bytes from 0x1000
  QString imagePath;

  QStringList Lines(const char* list) {
    QStringList lines;
    for (int i = 0; i < gui->List(list)->count(); ++i) lines << gui->List(list)->item(i)->text();
    return lines;
  }

  // S1 records of 16 data bytes, CR LF line ends, then S9.
  static QByteArray S19(std::uint16_t address, const std::vector<std::uint8_t>& data) {
    QByteArray text;
    for (std::size_t at = 0; at < data.size(); at += 16) {
      const std::size_t n = std::min<std::size_t>(16, data.size() - at);
      const std::uint16_t a = static_cast<std::uint16_t>(address + at);
      std::vector<std::uint8_t> record{static_cast<std::uint8_t>(n + 3), static_cast<std::uint8_t>(a >> 8),
                                       static_cast<std::uint8_t>(a & 0xFF)};
      record.insert(record.end(), data.begin() + static_cast<long>(at), data.begin() + static_cast<long>(at + n));
      unsigned sum = 0;
      text += "S1";
      for (std::uint8_t b : record) {
        sum += b;
        text += QByteArray::number(b, 16).rightJustified(2, '0').toUpper();
      }
      text += QByteArray::number(0xFF - (sum & 0xFF), 16).rightJustified(2, '0').toUpper() + "\r\n";
    }
    return text + "S9030000FC\r\n";
  }

  void ExpectRunning(const char* started, const char* other) {
    QCOMPARE(gui->Button(started)->text(), QStringLiteral("Abort"));
    QVERIFY(gui->Button(started)->isEnabled());
    for (const char* name : {other, "SelectDataPipe", "SelectSourceFile"}) {
      QVERIFY2(!gui->Button(name)->isEnabled(), name);
    }
    for (const char* name : {"AbortProgram", "ClearStatusList", "ClearDebugList"}) {
      QVERIFY2(gui->Button(name)->isEnabled(), name);
    }
  }

  void ExpectIdle() {
    QCOMPARE(gui->Button("ProgramFlash")->text(), QStringLiteral("Program FLASH"));
    QCOMPARE(gui->Button("VerifyFlash")->text(), QStringLiteral("Verify FLASH"));
    for (const char* name : {"ProgramFlash", "VerifyFlash", "SelectDataPipe", "SelectSourceFile"}) {
      QVERIFY2(gui->Button(name)->isEnabled(), name);
    }
  }

  void WaitUntilIdle() {
    QTRY_VERIFY_WITH_TIMEOUT(gui->Core().S.ProgramMode == 0, RunBound);
  }

 private slots:
  void initTestCase() {
    for (int i = 0; i < 300; ++i) image.push_back(static_cast<std::uint8_t>(i * 7 + 3));
    imagePath = folder.filePath(QStringLiteral("image.s19"));
    QFile file(imagePath);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(S19(0x1000, image));
  }

  // Opens the link and chooses the file, both through their dialogs.
  void init() {
    board = std::make_unique<TcpBoard>();
    QVERIFY(board->server.isListening());
    gui = std::make_unique<GuiApp>();
    QVERIFY(QTest::qWaitForWindowExposed(&gui->Main()));

    gui->Click(gui->Button("SelectDataPipe"));
    gui->Click(gui->Option("DataPipeSelect", 5));
    const QString port = QString::number(board->server.serverPort());
    for (const auto& [name, text] : {std::pair{"IPAddress", QStringLiteral("127.0.0.1")}, std::pair{"PortNumber", port}}) {
      gui->SettingsText(name)->selectAll();
      QTest::keyClicks(gui->SettingsText(name), text);
    }
    gui->Click(gui->In<QPushButton>(gui->Settings(), "Initialize"));
    QTRY_VERIFY(gui->Core().S.EthernetInitialized != False);
    QCOMPARE(gui->MainText("Text3")->text(), QStringLiteral("Ethernet IP address: 127.0.0.1   Port number: ") + port);

    gui->AnswerFileDialog(imagePath);
    gui->Click(gui->Button("SelectSourceFile"));
    QCOMPARE(gui->Core().S.SourceFileSelected, 1);
    gui->Click(gui->Button("ClearStatusList"));
    gui->Click(gui->Button("ClearDebugList"));
  }
  void cleanup() {
    gui.reset();
    board.reset();
  }

  void programThenVerify() {
    gui->Click(gui->Button("ProgramFlash"));
    ExpectRunning("ProgramFlash", "VerifyFlash");
    WaitUntilIdle();
    ExpectIdle();
    QCOMPARE(Lines("List1"), (QStringList{
                                 QStringLiteral("QRB interface at startup idle.  Version:  $15"),
                                 QStringLiteral("Flushing Port Buffers.  Short delay.  Please wait."),
                                 QStringLiteral("QRB interface in FLASH mode.  Version:  $15"),
                                 QStringLiteral("Block  $1000     -- Sent."),
                                 QStringLiteral("                           -- Verified."),
                                 QStringLiteral("Block  $1100     -- Sent."),
                                 QStringLiteral("  "),
                                 QStringLiteral("***  Success ***.  QRB interface FLASH Updated."),
                                 QStringLiteral("Exit this program and Re-Boot the QRB interface."),
                             }));
    QCOMPARE(Lines("List2").last(), QStringLiteral("Aborting.  ProgramMode = 0."));
    for (std::uint32_t i = 0; i < 512; ++i) {
      const std::uint8_t expected = i < image.size() ? image[i] : 0xFF;
      QCOMPARE(board->model.ReadByte(0x1000 + i), expected);
    }

    gui->Click(gui->Button("ClearStatusList"));
    gui->Click(gui->Button("VerifyFlash"));
    ExpectRunning("VerifyFlash", "ProgramFlash");
    WaitUntilIdle();
    ExpectIdle();
    QCOMPARE(Lines("List1"), (QStringList{
                                 QStringLiteral("QRB interface in FLASH mode.  Version:  $15"),
                                 QStringLiteral("Block $1000     -- Verified."),
                                 QStringLiteral("Block $1100     -- Verified."),
                                 QStringLiteral("  "),
                                 QStringLiteral("***  Success ***.  QRB interface FLASH Verified."),
                             }));
  }

  void abortButtonStopsARun() {
    gui->Click(gui->Button("VerifyFlash"));
    ExpectRunning("VerifyFlash", "ProgramFlash");
    gui->Click(gui->Button("VerifyFlash"));  // now "Abort"
    QCOMPARE(gui->Core().S.ProgramMode, 0);
    ExpectIdle();
    const QStringList debug = Lines("List2");
    QCOMPARE(debug.mid(debug.size() - 2),
             (QStringList{QStringLiteral("Aborting.  ProgramMode = 0."), QStringLiteral("Aborted processing.")}));
  }
};

}  // namespace qrb::test

QTEST_MAIN(qrb::test::RunTest)
#include "RunTest.moc"
