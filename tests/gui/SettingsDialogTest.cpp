// "Select Data Pipe" and the "COM Port Parameters" dialog by real clicks.
#include <QGroupBox>
#include <QLabel>
#include <QTcpServer>
#include <memory>

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

  QString LastDebugLine() {
    QListWidget* list = gui->List("List2");
    return list->count() == 0 ? QString() : list->item(list->count() - 1)->text();
  }

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
    gui->MainText("Text3")->setText("COM1: 19200 baud");
    ShowDialog();
    Form2Dialog& d = gui->Settings();
    QVERIFY(d.isVisible());
    QVERIFY(!d.isModal());
    QCOMPARE(d.windowTitle(), QStringLiteral("COM Port Parameters"));
    QVERIFY(gui->MainText("Text3")->text().isEmpty());
    QCOMPARE(d.minimumSize(), d.maximumSize());

    QVERIFY(gui->Option("DataPipeSelect", 1)->isChecked());
    QCOMPARE(gui->Option("DataPipeSelect", 1)->text(), QStringLiteral("Serial COM Port"));
    QCOMPARE(gui->Option("DataPipeSelect", 5)->text(), QStringLiteral("Ethernet"));
    for (const Group& g : kGroups) {
      for (int i = 0; i < 4; ++i) {
        QRadioButton* b = gui->Option(g.name, g.indexes[i]);
        QCOMPARE(b->text(), QString::fromLatin1(g.captions[i]));
        QCOMPARE(b->isChecked(), i == 0);
      }
    }
    ExpectComButtonsEnabled(true);
    QCOMPARE(gui->SettingsText("IPAddress")->text(), QStringLiteral("192.168.1.70"));
    QCOMPARE(gui->SettingsText("PortNumber")->text(), QStringLiteral("10001"));
    QCOMPARE(gui->In<QPushButton>(d, "Initialize")->text(), QStringLiteral("Initialize"));
    QCOMPARE(gui->In<QPushButton>(d, "Cancel1")->text(), QStringLiteral("Cancel"));
  }

  void controlsSitAtTheirPlaces() {
    Form2Dialog& d = gui->Settings();
    const struct {
      const char* name;
      QRect pixels;
    } places[] = {
        {"DataPipeSelect_1", {32, 16, 177, 17}}, {"Frame1", {24, 40, 81, 129}},  {"Frame2", {120, 40, 73, 129}},
        {"Frame3", {208, 40, 73, 129}},         {"Frame4", {296, 40, 57, 129}},  {"ComxBtn_4", {8, 96, 65, 17}},
        {"ComBaudBtn_2", {8, 48, 57, 17}},      {"ComIoBtn_1000", {8, 72, 49, 17}}, {"ComIrqBtn_7", {8, 96, 33, 17}},
        {"DataPipeSelect_5", {32, 200, 177, 17}}, {"IPAddress", {136, 224, 201, 19}},
        {"PortNumber", {136, 256, 201, 19}},    {"Initialize", {24, 304, 81, 25}}, {"Cancel1", {272, 304, 81, 25}},
    };
    for (const auto& p : places) {
      const QRect actual = gui->In<QWidget>(d, p.name)->geometry();
      QCOMPARE(actual.topLeft(), p.pixels.topLeft());
      QCOMPARE(actual.height(), p.pixels.height());
      if (qobject_cast<QRadioButton*>(gui->In<QWidget>(d, p.name))) {
        QVERIFY(actual.width() >= p.pixels.width());  // a caption may widen it within its frame
      } else {
        QCOMPARE(actual.width(), p.pixels.width());
      }
    }
    for (const Group& g : kGroups) {
      QRadioButton* widest = gui->Option(g.name, g.indexes[3]);
      QVERIFY(widest->parentWidget()->rect().contains(widest->geometry()));
    }
    QCOMPARE(gui->In<QGroupBox>(d, "Frame3")->title(), QStringLiteral("I/O Address"));
    QCOMPARE(gui->Option("ComIrqBtn", 7)->parentWidget()->objectName(), QStringLiteral("Frame4"));
    // Labels end where their text boxes begin.
    QVERIFY(gui->In<QLabel>(d, "Label1")->geometry().right() < 136);
    QCOMPARE(gui->In<QLabel>(d, "Label2")->text(), QStringLiteral("Port Number:"));
  }

  void optionButtonsWriteThroughAtOnce() {
    ShowDialog();
    gui->Click(gui->Option("ComxBtn", 3));
    gui->Click(gui->Option("ComBaudBtn", 4));
    gui->Click(gui->Option("ComIoBtn", 0x2E8));
    gui->Click(gui->Option("ComIrqBtn", 7));
    const ReflashSession& s = gui->Core().S;
    QCOMPARE(s.ComPort, 3);
    QCOMPARE(s.ComSpeed, 4);
    QCOMPARE(s.ComAddr, 0x2E8);
    QCOMPARE(s.ComIRQ, 7);
    QVERIFY(!gui->Option("ComIoBtn", 0x3F8)->isChecked());  // one per frame

    gui->Click(gui->Option("DataPipeSelect", 5));
    QCOMPARE(s.DataPipe, 5);
    ExpectComButtonsEnabled(false);
    QVERIFY(gui->Option("ComxBtn", 3)->isChecked());  // the groups are independent
    gui->Click(gui->Option("DataPipeSelect", 1));
    QCOMPARE(s.DataPipe, 1);
    ExpectComButtonsEnabled(true);
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
      QCOMPARE(gui->List("List2")->count(), 1);
      QCOMPARE(LastDebugLine(), QStringLiteral("Comms selection cancelled."));
    }
  }

  void initializeEthernetTakesTheTextsConnectsAndHides() {
    QTcpServer board;
    QVERIFY(board.listen(QHostAddress(QStringLiteral("127.0.0.1"))));
    ShowDialog();
    gui->Click(gui->Option("DataPipeSelect", 5));
    QLineEdit* ip = gui->SettingsText("IPAddress");
    QLineEdit* port = gui->SettingsText("PortNumber");
    ip->clear();
    QTest::keyClicks(ip, QStringLiteral("127.0.0.1"));
    port->clear();
    QTest::keyClicks(port, QString::number(board.serverPort()));
    gui->Click(gui->In<QPushButton>(gui->Settings(), "Initialize"));

    QVERIFY(!gui->Settings().isVisible());
    QCOMPARE(gui->Core().S.IPAddress, std::string("127.0.0.1"));
    QCOMPARE(gui->Core().S.PortNumber, static_cast<std::int32_t>(board.serverPort()));
    QCOMPARE(LastDebugLine(), QStringLiteral("Ethernet connection pending."));
    QTRY_VERIFY(board.hasPendingConnections() || board.waitForNewConnection(0));
    QTRY_VERIFY(gui->Core().S.EthernetInitialized != False);
    QTRY_VERIFY(!gui->MainText("Text3")->text().isEmpty());
  }

  void mainWindowStaysUsableWhileTheDialogIsOpen() {
    ShowDialog();
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
    gui->Core().PostMsg1("status");
    gui->Click(gui->Button("ClearStatusList"));
    QCOMPARE(gui->List("List1")->count(), 0);
    gui->Click(gui->Button("ProgramFlash"));
    QCOMPARE(LastDebugLine(), QStringLiteral("** ERROR ** Select an S19 source file."));
    QVERIFY(gui->Settings().isVisible());
  }
};

}  // namespace qrb::test

QTEST_MAIN(qrb::test::SettingsDialogTest)
#include "SettingsDialogTest.moc"
