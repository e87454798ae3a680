// The desktop program against the simulated board by real clicks, from Select Data Pipe to Verify FLASH.
#include <sys/stat.h>

#include <QFile>
#include <QTest>

#include "BoardProcess.h"
#include "GuiApp.h"

namespace qrb::test {

class GuiRunTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { QVERIFY((port_ = StartBoard(board_)) > 0); }
  void cleanup() { QVERIFY(StopBoard(board_)); }

  void programsAndVerifiesTheExample() {
    GuiApp gui;
    Form1& core = gui.Core();

    gui.Click(gui.Button("SelectDataPipe"));
    QTRY_VERIFY(gui.Settings().isVisible());
    gui.Click(gui.Option("DataPipeSelect", 5));
    for (const auto& [name, text] : {std::pair{"IPAddress", QStringLiteral("127.0.0.1")},
                                     std::pair{"PortNumber", QString::number(port_)}}) {
      QLineEdit* box = gui.SettingsText(name);
      box->selectAll();
      QTest::keyClicks(box, text);
    }
    gui.Click(gui.In<QPushButton>(gui.Settings(), "Initialize"));
    QTRY_VERIFY_WITH_TIMEOUT(core.S.EthernetInitialized == True, 10000);
    QCOMPARE(gui.MainText("Text3")->text(),
             QStringLiteral("Ethernet IP address: 127.0.0.1   Port number: %1").arg(port_));

    // A FIFO is refused at once (opening it would wait for a writer).
    QTemporaryDir dir;
    const QString fifo = dir.filePath(QStringLiteral("fifo.s19"));
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    gui.AnswerFileDialog(fifo);
    gui.Click(gui.Button("SelectSourceFile"));
    QTRY_COMPARE(gui.LastLine("List2"),
                 QStringLiteral("** ERROR ** Cannot open the S19 source file %1: is not a regular file.").arg(fifo));
    QCOMPARE(core.S.SourceFileSelected, std::int16_t{0});

    // A file the run could not write whole never starts one.
    QFile example(QStringLiteral(QRB_EXAMPLE_IMAGE));
    QVERIFY(example.open(QIODevice::ReadOnly));
    QFile header(dir.filePath(QStringLiteral("header.s19")));
    QVERIFY(header.open(QIODevice::WriteOnly));
    header.write("S00600004844521B\r\n" + example.readAll());
    header.close();
    gui.AnswerFileDialog(header.fileName());
    gui.Click(gui.Button("SelectSourceFile"));
    QTRY_COMPARE(core.S.SourceFileSelected, std::int16_t{1});
    QListWidget* status = gui.List("List1");
    gui.Click(gui.Button("ProgramFlash"));
    QCOMPARE(gui.LastLine("List1"), QStringLiteral("###  S19 file refused at line 1  ###  Unexpected record found.  "
                                                   "Nothing sent to the QRB interface."));
    QCOMPARE(gui.LastLine("List2"), QStringLiteral("Unexpected record found."));
    QCOMPARE(core.S.ProgramMode, std::int16_t{0});
    for (const char* button : {"ProgramFlash", "VerifyFlash", "SelectSourceFile", "SelectDataPipe"})
      QVERIFY(gui.Button(button)->isEnabled());
    QCOMPARE(gui.Button("ProgramFlash")->text(), QStringLiteral("Program FLASH"));

    gui.AnswerFileDialog(QStringLiteral(QRB_EXAMPLE_IMAGE));
    gui.Click(gui.Button("SelectSourceFile"));
    QTRY_COMPARE(core.S.SourceFileSelected, std::int16_t{1});

    gui.Click(gui.Button("ProgramFlash"));
    QCOMPARE(gui.Button("ProgramFlash")->text(), QStringLiteral("Abort"));
    QTRY_VERIFY_WITH_TIMEOUT(core.S.ProgramMode == 0, 30000);
    QCOMPARE(core.S.Outcome, RunOutcome::Succeeded);
    QVERIFY(!status->findItems(QStringLiteral("***  Success ***.  QRB interface FLASH Updated."),
                               Qt::MatchExactly).isEmpty());
    QCOMPARE(gui.Button("ProgramFlash")->text(), QStringLiteral("Program FLASH"));

    gui.Click(gui.Button("VerifyFlash"));
    QTRY_VERIFY_WITH_TIMEOUT(core.S.ProgramMode == 0, 30000);
    QCOMPARE(core.S.Outcome, RunOutcome::Succeeded);
    QCOMPARE(status->item(status->count() - 1)->text(),
             QStringLiteral("***  Success ***.  QRB interface FLASH Verified."));
  }

 private:
  QProcess board_;
  int port_ = 0;
};

}  // namespace qrb::test

QTEST_MAIN(qrb::test::GuiRunTest)
#include "GuiRunTest.moc"
