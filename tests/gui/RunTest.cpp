// The buttons during a run started by a real click, over a link to
// 127.0.0.1 opened in the settings dialog, and the start button's "Abort"
// ending it. Whole runs against the simulated board are the end-to-end test's.
#include <QFile>
#include <QTcpServer>
#include <memory>
#include <tuple>

#include "GuiApp.h"

namespace qrb::test {

class RunTest : public QObject {
  Q_OBJECT

  std::unique_ptr<GuiApp> gui;
  QTcpServer board;  // accepts and never answers: the run waits
  QTemporaryDir folder;

 private slots:
  void initTestCase() {
    QVERIFY(board.listen(QHostAddress(QStringLiteral("127.0.0.1"))));
    QFile file(folder.filePath(QStringLiteral("image.s19")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("S10510000102E7\r\nS9030000FC\r\n");
  }

  // Opens the link in the settings dialog and chooses the file.
  void init() {
    gui = std::make_unique<GuiApp>();
    QVERIFY(QTest::qWaitForWindowExposed(&gui->Main()));
    gui->Click(gui->Button("SelectDataPipe"));
    gui->Click(gui->Option("DataPipeSelect", 5));
    const QString port = QString::number(board.serverPort());
    for (const auto& [name, text] : {std::pair{"IPAddress", QStringLiteral("127.0.0.1")}, std::pair{"PortNumber", port}}) {
      gui->SettingsText(name)->selectAll();
      QTest::keyClicks(gui->SettingsText(name), text);
    }
    gui->Click(gui->In<QPushButton>(gui->Settings(), "Initialize"));
    QVERIFY(!gui->Settings().isVisible());
    ReflashSession& s = gui->Core().S;
    QTRY_VERIFY(s.EthernetInitialized != False);
    QCOMPARE(gui->MainText("Text3")->text(), QStringLiteral("Ethernet IP address: 127.0.0.1   Port number: ") + port);
    gui->AnswerFileDialog(folder.filePath(QStringLiteral("image.s19")));
    gui->Click(gui->Button("SelectSourceFile"));
    QCOMPARE(s.SourceFileSelected, 1);
  }
  void cleanup() { gui.reset(); }

  void startButtonBecomesAbortAndTheOthersWait() {
    for (const auto& [started, other, caption] : {std::tuple{"ProgramFlash", "VerifyFlash", "Program FLASH"},
                                                  std::tuple{"VerifyFlash", "ProgramFlash", "Verify FLASH"}}) {
      QPushButton* start = gui->Button(started);
      gui->Click(start);
      QVERIFY(gui->Core().S.ProgramMode != 0);
      QCOMPARE(start->text(), QStringLiteral("Abort"));
      for (const char* name : {started, "AbortProgram", "ClearStatusList", "ClearDebugList"})
        QVERIFY2(gui->Button(name)->isEnabled(), name);
      for (const char* name : {other, "SelectDataPipe", "SelectSourceFile"})
        QVERIFY2(!gui->Button(name)->isEnabled(), name);

      gui->Click(start);
      QCOMPARE(gui->Core().S.ProgramMode, 0);
      QCOMPARE(start->text(), QString::fromLatin1(caption));
      for (const char* name : {"ProgramFlash", "VerifyFlash", "SelectDataPipe", "SelectSourceFile"})
        QVERIFY2(gui->Button(name)->isEnabled(), name);
      QCOMPARE(gui->LastLine("List2"), QStringLiteral("Aborted processing."));
    }
  }
};

}  // namespace qrb::test

QTEST_MAIN(qrb::test::RunTest)
#include "RunTest.moc"
