// "Select Data Pipe" and the "COM Port Parameters" dialog by real clicks,
// and the buttons during a run over a link to 127.0.0.1 opened there. Whole
// runs against the simulated board are the end-to-end test's.
#include <QFile>
#include <QTcpServer>
#include <array>
#include <memory>
#include <tuple>

#include "GuiApp.h"

namespace qrb::test {

namespace {

const struct Group {
  const char* name;
  int indexes[4];
  const char* captions[4];
} kGroups[] = {
    {"ComxBtn", {1, 2, 3, 4}, {"COM1:", "COM2:", "COM3:", "COM4:"}},
    {"ComBaudBtn", {1, 2, 3, 4}, {"19.2 k", "38.4 k", "57.6 k", "115.2 k"}},
    {"ComIoBtn", {0x3F8, 0x2F8, 0x3E8, 0x2E8}, {"3F8", "2F8", "3E8", "2E8"}},
    {"ComIrqBtn", {4, 3, 5, 7}, {"4", "3", "5", "7"}},
};

}  // namespace

class SettingsDialogTest : public QObject {
  Q_OBJECT

  std::unique_ptr<GuiApp> gui;

  void ExpectComButtonsEnabled(bool enabled) {
    for (const Group& g : kGroups)
      for (int index : g.indexes) QCOMPARE(gui->Option(g.name, index)->isEnabled(), enabled);
    QCOMPARE(gui->SettingsText("IPAddress")->isEnabled(), !enabled);
    QCOMPARE(gui->SettingsText("PortNumber")->isEnabled(), !enabled);
  }

  void ShowDialog() {
    gui->Click(gui->Button("SelectDataPipe"));
    QVERIFY(QTest::qWaitForWindowExposed(&gui->Settings()));
  }

 private slots:
  void init() {
    gui = std::make_unique<GuiApp>();
    QVERIFY(QTest::qWaitForWindowExposed(&gui->Main()));
  }
  void cleanup() { gui.reset(); }

  void selectDataPipeShowsTheDialogInItsStartState() {
    ShowDialog();
    Form2Dialog& d = gui->Settings();
    QCOMPARE(d.windowTitle(), QStringLiteral("COM Port Parameters"));
    QCOMPARE(d.minimumSize(), d.maximumSize());
    QCOMPARE(gui->Option("DataPipeSelect", 1)->text(), QStringLiteral("Serial COM Port"));
    QCOMPARE(gui->Option("DataPipeSelect", 5)->text(), QStringLiteral("Ethernet"));
    QVERIFY(gui->Option("DataPipeSelect", 1)->isChecked());
    for (const Group& g : kGroups) {
      for (int i = 0; i < 4; ++i) {
        QRadioButton* b = gui->Option(g.name, g.indexes[i]);
        QCOMPARE(b->text(), QString::fromLatin1(g.captions[i]));
        QCOMPARE(b->isChecked(), i == 0);
        QVERIFY(b->parentWidget()->rect().contains(b->geometry()));  // the caption fits its frame
      }
    }
    ExpectComButtonsEnabled(true);
    QCOMPARE(gui->SettingsText("IPAddress")->text(), QStringLiteral("192.168.1.70"));
    QCOMPARE(gui->SettingsText("PortNumber")->text(), QStringLiteral("10001"));
    QCOMPARE(gui->In<QPushButton>(d, "Initialize")->text(), QStringLiteral("Initialize"));
    QCOMPARE(gui->In<QPushButton>(d, "Cancel1")->text(), QStringLiteral("Cancel"));
  }

  // Option buttons write through at once, one per frame; the main window
  // still answers while the dialog is open.
  void optionButtonsWriteThroughAndSwitchWhichControlsAreEnabled() {
    ShowDialog();
    for (const auto& [name, index] : {std::pair{"ComxBtn", 3}, {"ComBaudBtn", 4}, {"ComIoBtn", 0x2E8}, {"ComIrqBtn", 7}})
      gui->Click(gui->Option(name, index));
    const ReflashSession& s = gui->Core().S;
    QCOMPARE((std::array{int(s.ComPort), int(s.ComSpeed), int(s.ComAddr), int(s.ComIRQ)}),
             (std::array{3, 4, 0x2E8, 7}));
    QVERIFY(!gui->Option("ComIoBtn", 0x3F8)->isChecked());

    gui->Click(gui->Option("DataPipeSelect", 5));
    QCOMPARE(s.DataPipe, 5);
    ExpectComButtonsEnabled(false);
    QVERIFY(gui->Option("ComxBtn", 3)->isChecked());  // the groups are independent
    gui->Click(gui->Option("DataPipeSelect", 1));
    QCOMPARE(s.DataPipe, 1);
    ExpectComButtonsEnabled(true);

    QCOMPARE(QApplication::activeModalWidget(), nullptr);
    gui->Click(gui->Button("ProgramFlash"));
    QCOMPARE(gui->LastLine("List2"), QStringLiteral("** ERROR ** Select an S19 source file."));
  }

  // Cancel, Esc and the close box alike keep the choices and hide the dialog.
  void cancelKeepsTheChoicesAndHides() {
    for (int way = 0; way < 3; ++way) {
      ShowDialog();
      QVERIFY(gui->Option("ComIoBtn", way == 0 ? 0x3F8 : 0x2E8)->isChecked());  // shown again, it keeps them
      gui->Click(gui->Option("ComIoBtn", 0x2E8));
      gui->List("List2")->clear();
      if (way == 0) gui->Click(gui->In<QPushButton>(gui->Settings(), "Cancel1"));
      if (way == 1) QTest::keyClick(&gui->Settings(), Qt::Key_Escape);
      if (way == 2) gui->Settings().close();
      QVERIFY(!gui->Settings().isVisible());
      QCOMPARE(gui->Core().S.ComAddr, 0x2E8);
      QCOMPARE(gui->List("List2")->count(), 1);  // one cancel, one message
      QCOMPARE(gui->LastLine("List2"), QStringLiteral("Comms selection cancelled."));
    }
  }

  // Initialize opens the link; a run started by a real click turns its
  // button into "Abort", which ends it, and the other buttons wait.
  void initializeOpensTheLinkForARunThatItsButtonAborts() {
    QTcpServer board;  // accepts and never answers: the run waits
    QVERIFY(board.listen(QHostAddress(QStringLiteral("127.0.0.1"))));
    QTemporaryDir folder;
    QFile file(folder.filePath(QStringLiteral("image.s19")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("S10510000102E7\r\nS9030000FC\r\n");
    file.close();

    ShowDialog();
    gui->Click(gui->Option("DataPipeSelect", 5));
    const QString port = QString::number(board.serverPort());
    for (const auto& [name, text] : {std::pair{"IPAddress", QStringLiteral("127.0.0.1")}, std::pair{"PortNumber", port}}) {
      gui->SettingsText(name)->selectAll();
      QTest::keyClicks(gui->SettingsText(name), text);
    }
    gui->Click(gui->In<QPushButton>(gui->Settings(), "Initialize"));
    QVERIFY(!gui->Settings().isVisible());
    QTRY_VERIFY(gui->Core().S.EthernetInitialized != False);
    QCOMPARE(gui->MainText("Text3")->text(), QStringLiteral("Ethernet IP address: 127.0.0.1   Port number: ") + port);
    gui->AnswerFileDialog(file.fileName());
    gui->Click(gui->Button("SelectSourceFile"));
    QCOMPARE(gui->Core().S.SourceFileSelected, 1);

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

QTEST_MAIN(qrb::test::SettingsDialogTest)
#include "SettingsDialogTest.moc"
