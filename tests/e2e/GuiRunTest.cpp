// The desktop program against the simulated board by real clicks, from Select Data Pipe to Verify FLASH.
#include <sys/stat.h>

#include <QFile>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMessageBox>
#include <QProgressBar>
#include <QRegularExpression>
#include <QTest>
#include <algorithm>

#include "BoardProcess.h"
#include "GuiApp.h"
#include "ReferenceImage.h"

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
    ExpectNotice(gui, "S19 file refused at line 1: Unexpected record found.  Nothing sent to the QRB interface.\n"
                      "Likely cause: an S0 header record; the data must start on the first line.");
    QCOMPARE(core.S.ProgramMode, std::int16_t{0});
    for (const char* button : {"ProgramFlash", "VerifyFlash", "SelectSourceFile", "SelectDataPipe"})
      QVERIFY(gui.Button(button)->isEnabled());
    QCOMPARE(gui.Button("ProgramFlash")->text(), QStringLiteral("Program FLASH"));

    // LF line ends: the reader stops on line 2, the fault is line 1's end.
    QFile lf(dir.filePath(QStringLiteral("lf.s19")));
    QVERIFY(example.seek(0) && lf.open(QIODevice::WriteOnly));
    lf.write(example.readAll().replace("\r\n", "\n"));
    lf.close();
    gui.AnswerFileDialog(lf.fileName());
    gui.Click(gui.Button("SelectSourceFile"));
    QTRY_COMPARE(core.S.SourceFileSelected, std::int16_t{1});
    gui.Click(gui.Button("VerifyFlash"));
    QCOMPARE(gui.LastLine("List1"), QStringLiteral("###  S19 file refused at line 1  ###  Unexpected record found.  "
                                                   "Nothing sent to the QRB interface."));
    ExpectNotice(gui, "S19 file refused at line 1: Unexpected record found.  Nothing sent to the QRB interface.\n"
                      "Likely cause: line 1 ends in LF alone; every line must end in CR LF.");

    gui.AnswerFileDialog(QStringLiteral(QRB_EXAMPLE_IMAGE));
    gui.Click(gui.Button("SelectSourceFile"));
    QTRY_COMPARE(core.S.SourceFileSelected, std::int16_t{1});
    QVERIFY(!gui.In<QLabel>(gui.Main(), "Notice")->isVisible());

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

    // Skip Unchanged Blocks: the board holds the example, so nothing is written.
    gui.ChooseMenu("menuOptions", "menuOptionsSkipUnchanged");
    gui.Click(gui.Button("ProgramFlash"));
    QTRY_VERIFY_WITH_TIMEOUT(core.S.ProgramMode == 0, 30000);
    QCOMPARE(core.S.Outcome, RunOutcome::Succeeded);
    QStringList tail;
    for (int i = std::max(0, status->count() - 5); i < status->count(); ++i) tail << status->item(i)->text();
    QCOMPARE(tail, (QStringList{"Block  $8800     -- Unchanged.", "0 blocks written, 7 unchanged.", "  ",
                                "***  Success ***.  QRB interface FLASH already holds the file.  Nothing written.",
                                "Exit this program and Re-Boot the QRB interface."}));
    gui.ChooseMenu("menuOptions", "menuOptionsSkipUnchanged");  // off again for the next start
    QVERIFY(!core.SkipUnchanged);
  }

  // Fast Transfer by its accelerators: 64 KiB with progress and time left in the bar and the title, then
  // verified. At the 50 ms pace the close box asks during the run: No leaves it going, Yes aborts and exits.
  void fastTransferProgressAndTheCloseBoxDuringARun() {
    GuiApp gui;
    Form1& core = gui.Core();
    OpenLink(gui);
    QTemporaryDir dir;
    QFile image(dir.filePath(QStringLiteral("64k.s19")));
    QVERIFY(image.open(QIODevice::WriteOnly));
    image.write(QByteArray::fromStdString(S3Records(0x10000, 64 * 1024, 32) + std::string(S7EndRecord)));
    image.close();
    gui.AnswerFileDialog(image.fileName());
    gui.Click(gui.Button("SelectSourceFile"));
    QTRY_COMPARE(core.S.SourceFileSelected, std::int16_t{1});

    gui.Main().activateWindow();
    QTRY_VERIFY(gui.Main().isActiveWindow());
    QTest::keyClick(&gui.Main(), Qt::Key_O, Qt::AltModifier);
    auto* options = gui.In<QMenu>(gui.Main(), "menuOptions");
    QTRY_VERIFY(options->isVisible());
    QTest::keyClick(options, Qt::Key_F);
    QTRY_COMPARE(core.TickIntervalMs, 1);

    auto* progress = gui.In<QProgressBar>(gui.Main(), "Progress");
    QVERIFY(!progress->isVisible());
    QStringList seen;  // the bar's text and the title, as drawn during the run
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
      if (progress->isVisible()) seen << progress->text() + " | " + gui.Main().windowTitle();
    });
    watch.start(20);
    QElapsedTimer clock;
    clock.start();
    gui.Click(gui.Button("ProgramFlash"));
    QVERIFY(progress->isVisible());
    QVERIFY(!options->menuAction()->menu()->actions().constFirst()->isEnabled());  // not while a run goes
    // An event loop of its own: QTest's waits sleep 10 ms between rounds, longer than a tick.
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
      if (core.S.ProgramMode == 0 || clock.elapsed() > 30000) loop.quit();
    });
    poll.start(5);
    loop.exec();
    const qint64 ms = clock.elapsed();
    watch.stop();
    qInfo("64 KiB programmed through the window at Fast Transfer in %.2f s", ms / 1000.0);
    QCOMPARE(core.S.Outcome, RunOutcome::Succeeded);
    QVERIFY(!progress->isVisible());
    QCOMPARE(gui.Main().windowTitle(), MainWindow::Title());
    static const QRegularExpression drawn(QStringLiteral("^block (\\d+) of 256, \\d+:\\d\\d left \\| (\\d+)% - QRB-530 FLASH Download$"));
    const auto late = std::find_if(seen.begin(), seen.end(), [](const QString& t) { return drawn.match(t).hasMatch(); });
    QVERIFY2(late != seen.end(), qPrintable(seen.join(QLatin1Char('\n'))));
    gui.Click(gui.Button("VerifyFlash"));
    QTRY_VERIFY_WITH_TIMEOUT(core.S.ProgramMode == 0, 30000);
    QCOMPARE(core.S.Outcome, RunOutcome::Succeeded);

    // The verify run's record: the report's Status lines end with what the Status list holds.
    const QString reportPath = dir.filePath(QStringLiteral("run.json"));
    gui.AnswerFileDialog(reportPath);
    gui.ChooseMenu("menuFile", "menuFileReport");
    QCOMPARE(gui.LastLine("List2"), QStringLiteral("Run report written to %1.").arg(reportPath));
    QFile reportFile(reportPath);
    QVERIFY(reportFile.open(QIODevice::ReadOnly));
    const QJsonObject report = QJsonDocument::fromJson(reportFile.readAll()).object();
    QCOMPARE(report["tool"].toString(), QStringLiteral("qrb-flash"));
    QCOMPARE(report["command"].toString(), QStringLiteral("verify"));
    QCOMPARE(report["outcome"].toString(), QStringLiteral("succeeded"));
    QCOMPARE(report["tick_ms"].toInt(), 1);
    const QJsonObject board = report["boards"].toArray().at(0).toObject();
    QCOMPARE(board["link"].toObject()["port"].toInt(), port_);
    QCOMPARE(board["totals"].toObject()["blocks"].toInt(), 256);
    QStringList reported, shown;
    for (const QJsonValue line : board["lines"].toArray())
      if (line["list"].toString() == QLatin1String("status")) reported << line["text"].toString();
    QListWidget* status = gui.List("List1");
    for (int i = 0; i < status->count(); ++i) shown << status->item(i)->text();
    QVERIFY(reported.size() >= shown.size());
    QCOMPARE(reported.mid(reported.size() - shown.size()), shown);

    // The backup: the range prefilled from the chosen file, the file as srec_cat reads the image.
    QStringList prefilled;
    gui.WhenModal<QDialog>([&prefilled](QDialog* ask) {
      if (ask->objectName() != QLatin1String("ReadRange")) return false;
      for (const char* box : {"Start", "End"}) prefilled << ask->findChild<QLineEdit*>(box)->text();
      QTest::keyClick(ask->focusWidget(), Qt::Key_Return);
      return true;
    });
    const QString backup = dir.filePath(QStringLiteral("backup.s19"));
    gui.AnswerFileDialog(backup);
    gui.ChooseMenu("menuFile", "menuFileRead");
    QCOMPARE(prefilled, (QStringList{"0x10000", "0x1FFFF"}));
    QVERIFY2(progress->isVisible() && progress->text().contains(QStringLiteral(" of 256")), qPrintable(progress->text()));
    QTRY_VERIFY_WITH_TIMEOUT(core.S.ProgramMode == 0, 60000);
    QCOMPARE(core.S.Outcome, RunOutcome::Succeeded);
    QCOMPARE(gui.LastLine("List1"), QStringLiteral("***  Success ***.  QRB interface FLASH Read."));
    const auto binary = [&dir](const QString& s19) {
      const QString out = s19 + QStringLiteral(".bin");
      QProcess::execute(QStringLiteral("srec_cat"), {s19, QStringLiteral("-offset"), QStringLiteral("-0x10000"),
                                                     QStringLiteral("-o"), out, QStringLiteral("-binary")});
      QFile file(out);
      return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    const QByteArray read = binary(backup);
    QCOMPARE(read.size(), 64 * 1024);
    QVERIFY(read == binary(image.fileName()));

    gui.ChooseMenu("menuOptions", "menuOptionsFastTransfer");
    QCOMPARE(core.TickIntervalMs, 50);
    gui.Click(gui.Button("ProgramFlash"));
    QStringList asked;
    for (const auto answer : {QMessageBox::No, QMessageBox::Yes}) {
      gui.WhenModal<QMessageBox>([&asked, answer](QMessageBox* box) {
        asked << box->text() + (box->defaultButton() == box->button(QMessageBox::No) ? " [No]" : "");
        box->button(answer)->click();
        return true;
      });
      const bool closed = gui.Main().close();
      QCOMPARE(closed, answer == QMessageBox::Yes);
      QCOMPARE(core.S.ProgramMode != 0, answer == QMessageBox::No);
    }
    QCOMPARE(asked, QStringList(2, QStringLiteral("A run is in progress.  Abort it and exit? [No]")));
    QVERIFY(!gui.List("List2")->findItems(QStringLiteral("Aborting.  ProgramMode = 0."), Qt::MatchExactly).isEmpty());
    QCOMPARE(gui.app.ended, 1);
    QCOMPARE(core.S.Outcome, RunOutcome::Failed);
  }

 private:
  static void OpenLink(GuiApp& gui) {
    gui.Click(gui.Button("SelectDataPipe"));
    QTRY_VERIFY(gui.Settings().isVisible());
    gui.Click(gui.Option("DataPipeSelect", 5));
    QTest::keyClick(gui.SettingsText("IPAddress"), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(gui.SettingsText("IPAddress"), QStringLiteral("127.0.0.1"));
    QTest::keyClick(gui.SettingsText("PortNumber"), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(gui.SettingsText("PortNumber"), QString::number(port_));
    QTest::keyClick(gui.SettingsText("PortNumber"), Qt::Key_Return);
    QTRY_VERIFY_WITH_TIMEOUT(gui.Core().S.EthernetInitialized == True, 10000);
  }

  // The refused start's notice beside the lists: the whole text, every line of it inside the label.
  static void ExpectNotice(GuiApp& gui, const char* text) {
    auto* notice = gui.In<QLabel>(gui.Main(), "Notice");
    QVERIFY(notice->isVisible());
    QCOMPARE(notice->text(), QString::fromLatin1(text));
    QVERIFY(notice->heightForWidth(notice->width()) <= notice->height());
    QVERIFY(notice->parentWidget()->rect().contains(notice->geometry()));
  }

  QProcess board_;
  static inline int port_ = 0;
};

}  // namespace qrb::test

QTEST_MAIN(qrb::test::GuiRunTest)
#include "GuiRunTest.moc"
