// The desktop program against the simulated board by real clicks, from Select Data Pipe to Verify FLASH.
#include "BoardProcess.h"
#include "GuiApp.h"
#include "ReferenceImage.h"

namespace qrb::test {

class GuiRunTest : public QObject {
  Q_OBJECT

  QProcess board_;
  int port_ = 0;

 private slots:
  void init() { QVERIFY((port_ = StartBoard(board_)) > 0); }
  void cleanup() { QVERIFY(StopBoard(board_)); }

  // A refused file is told beside the lists. A run's own button becomes "Abort" and ends it, the buttons that
  // would disturb it wait; then the example is programmed and verified. At Fast Transfer 64 KiB, the run's report
  // saved, the FLASH read back. At the 50 ms pace the close box asks during a run: No leaves it going, Yes aborts
  // and exits.
  void aRunThroughTheWindow() {
    GuiApp gui;
    Form1& core = gui.Core();
    gui.ShowSettings();
    gui.Click(gui.Option("DataPipeSelect", 5));
    GuiApp::TypeOver(gui.SettingsText("IPAddress"), QStringLiteral("127.0.0.1"));
    GuiApp::TypeOver(gui.SettingsText("PortNumber"), QString::number(port_));
    gui.Click(gui.In<QPushButton>(gui.Settings(), "Initialize"));
    QTRY_VERIFY_WITH_TIMEOUT(core.S.EthernetInitialized == True, 10000);
    QCOMPARE(gui.In<QLineEdit>(gui.Main(), "Text3")->text(),
             QStringLiteral("Ethernet IP address: 127.0.0.1   Port number: %1").arg(port_));

    // A file the run could not write whole never starts one; the notice says why, every line inside the label.
    QTemporaryDir dir;
    QVERIFY(GuiApp::WriteFile(dir.filePath(QStringLiteral("header.s19")), "S00600004844521B\r\nS9030000FC\r\n"));
    gui.ChooseFile(dir.filePath(QStringLiteral("header.s19")));
    gui.Click(gui.Button("ProgramFlash"));
    auto* notice = gui.In<QLabel>(gui.Main(), "Notice");
    QCOMPARE(notice->text(), QStringLiteral("S19 file refused at line 1: Unexpected record found.  Nothing sent to the "
                                            "QRB interface.\nLikely cause: an S0 header record; the data must start "
                                            "on the first line."));
    QVERIFY(notice->isVisible() && notice->heightForWidth(notice->width()) <= notice->height() &&
            notice->parentWidget()->rect().contains(notice->geometry()));

    gui.ChooseFile(QStringLiteral(QRB_EXAMPLE_IMAGE));
    QVERIFY(!notice->isVisible());
    const auto buttons = [&gui] {  // the start buttons' captions, then which buttons take a click
      QString on = gui.Button("ProgramFlash")->text() + " " + gui.Button("VerifyFlash")->text() + " ";
      for (const char* name : {"ProgramFlash", "VerifyFlash", "SelectDataPipe", "SelectSourceFile", "AbortProgram",
                               "ClearStatusList", "ClearDebugList"})
        on += gui.Button(name)->isEnabled() ? QLatin1Char('+') : QLatin1Char('-');
      return on;
    };
    for (const auto& [started, running] : {std::pair{"ProgramFlash", "Abort Verify FLASH +---+++"},
                                           std::pair{"VerifyFlash", "Program FLASH Abort -+--+++"}}) {
      gui.Click(gui.Button(started));
      QCOMPARE(buttons(), QString::fromLatin1(running));
      gui.Click(gui.Button(started));
      QCOMPARE(buttons(), QStringLiteral("Program FLASH Verify FLASH +++++++"));
      QCOMPARE(gui.LastLine("List2"), QStringLiteral("Aborted processing."));
    }

    for (const char* started : {"ProgramFlash", "VerifyFlash"}) {
      gui.Click(gui.Button(started));
      QTRY_VERIFY_WITH_TIMEOUT(!core.Running(), 30000);
      QCOMPARE(core.Result().outcome, RunOutcome::Succeeded);
    }
    QCOMPARE(gui.LastLine("List1"), QStringLiteral("***  Success ***.  QRB interface FLASH Verified."));
    QCOMPARE(buttons(), QStringLiteral("Program FLASH Verify FLASH +++++++"));

    // Fast Transfer: 64 KiB with progress and time left in the bar and the title.
    const QString image = dir.filePath(QStringLiteral("64k.s19"));
    QVERIFY(GuiApp::WriteFile(image, QByteArray::fromStdString(S3Records(0x10000, 64 * 1024, 32) + std::string(S7EndRecord))));
    gui.ChooseFile(image);
    gui.ChooseMenu("menuOptions", "menuOptionsFastTransfer");

    auto* progress = gui.In<QProgressBar>(gui.Main(), "Progress");
    QStringList seen;  // the bar's text and the title, as drawn during the run
    QElapsedTimer clock;
    clock.start();
    gui.Click(gui.Button("ProgramFlash"));
    QVERIFY(!gui.In<QAction>(gui.Main(), "menuOptionsFastTransfer")->isEnabled());  // not while a run goes
    // Events taken as they come: QTest's waits sleep 10 ms between rounds, longer than a tick.
    while (core.Running() && clock.elapsed() < 30000) {
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
      if (progress->isVisible()) seen << progress->text() + " | " + gui.Main().windowTitle();
    }
    qInfo("64 KiB programmed through the window at Fast Transfer in %.2f s", clock.elapsed() / 1000.0);
    QCOMPARE(core.Result().outcome, RunOutcome::Succeeded);
    QVERIFY(!progress->isVisible() && gui.Main().windowTitle() == MainWindow::Title());
    const QRegularExpression drawn(QStringLiteral("^block \\d+ of 256, \\d+:\\d\\d left \\| \\d+% - QRB-530 FLASH Download$"));
    QVERIFY2(!seen.filter(drawn).isEmpty(), qPrintable(seen.join(QLatin1Char('\n'))));

    // The run's record: the report's Status lines end with what the Status list holds.
    const QString reportPath = dir.filePath(QStringLiteral("run.json"));
    gui.AnswerFileDialog(reportPath);
    gui.ChooseMenu("menuFile", "menuFileReport");
    QCOMPARE(gui.LastLine("List2"), QStringLiteral("Run report written to %1.").arg(reportPath));
    QFile reportFile(reportPath);
    QVERIFY(reportFile.open(QIODevice::ReadOnly));
    const QJsonObject report = QJsonDocument::fromJson(reportFile.readAll()).object();
    const QJsonObject board = report["boards"].toArray().at(0).toObject();
    QCOMPARE((QJsonArray{report["tool"], report["command"], report["outcome"], report["tick_ms"], board["link"]["port"],
                         board["totals"]["blocks"]}), (QJsonArray{"qrb-flash", "program", "succeeded", 1, port_, 256}));
    QStringList reported;
    for (const QJsonValue line : board["lines"].toArray())
      if (line["list"].toString() == QLatin1String("status")) reported << line["text"].toString();
    QCOMPARE(reported.mid(reported.size() - gui.Lines("List1").size()), gui.Lines("List1"));

    // The backup: the range prefilled from the chosen file, the progress counting the blocks it touches.
    QStringList prefilled;
    gui.WhenModal<QDialog>([&prefilled](QDialog* ask) {
      if (ask->objectName() != QLatin1String("ReadRange")) return false;
      for (const char* box : {"Start", "End"}) prefilled << ask->findChild<QLineEdit*>(box)->text();
      QTest::keyClick(ask->focusWidget(), Qt::Key_Return);
      return true;
    });
    gui.AnswerFileDialog(dir.filePath(QStringLiteral("backup.s19")));
    gui.ChooseMenu("menuFile", "menuFileRead");
    QCOMPARE(prefilled, (QStringList{"0x10000", "0x1FFFF"}));
    QVERIFY2(progress->isVisible() && progress->text().contains(QStringLiteral(" of 256")), qPrintable(progress->text()));
    QTRY_VERIFY_WITH_TIMEOUT(!core.Running(), 60000);
    QCOMPARE(core.Result().outcome, RunOutcome::Succeeded);
    QCOMPARE(gui.LastLine("List1"), QStringLiteral("***  Success ***.  QRB interface FLASH Read."));

    gui.ChooseMenu("menuOptions", "menuOptionsFastTransfer");  // off: a run long enough to close the window during it
    gui.Click(gui.Button("ProgramFlash"));
    QStringList asked;
    for (const auto answer : {QMessageBox::No, QMessageBox::Yes}) {
      gui.WhenModal<QMessageBox>([&asked, answer](QMessageBox* box) {
        asked << box->text() + (box->defaultButton() == box->button(QMessageBox::No) ? " [No]" : "");
        box->button(answer)->click();
        return true;
      });
      QCOMPARE(gui.Main().close(), answer == QMessageBox::Yes);
      QCOMPARE(core.Running(), answer == QMessageBox::No);
    }
    QCOMPARE(asked, QStringList(2, QStringLiteral("A run is in progress.  Abort it and exit? [No]")));
    QCOMPARE(gui.app.ended, 1);
    QCOMPARE(core.Result().outcome, RunOutcome::Failed);
  }
};

}  // namespace qrb::test

QTEST_MAIN(qrb::test::GuiRunTest)
#include "GuiRunTest.moc"
