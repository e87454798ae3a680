// "Select Data Pipe" and the "COM Port Parameters" dialog by real clicks,
// and the buttons during a run over a link to 127.0.0.1 opened there. Whole
// runs against the simulated board are the end-to-end test's.
#include <QFile>
#include <QLabel>
#include <QStyle>
#include <QTcpServer>
#include <array>
#include <memory>
#include <tuple>
#include <vector>

#include "GuiApp.h"

namespace qrb::test {

namespace {

const struct Group {
  const char* name;
  std::vector<int> indexes;
  std::vector<const char*> captions;
} kGroups[] = {
    {"DataPipeSelect", {1, 5}, {"Serial COM Port", "Ethernet"}},
    {"ComxBtn", {1, 2, 3, 4}, {"COM1:", "COM2:", "COM3:", "COM4:"}},
    {"ComBaudBtn", {1, 2, 3, 4}, {"19.2 k", "38.4 k", "57.6 k", "115.2 k"}},
    {"ComIoBtn", {0x3F8, 0x2F8, 0x3E8, 0x2E8}, {"3F8", "2F8", "3E8", "2E8"}},
    {"ComIrqBtn", {4, 3, 5, 7}, {"4", "3", "5", "7"}},
};

// What is in effect, what the dialog shows and where the focus is.
struct Expected {
  int pipe = 1, port = 1, speed = 1, addr = 0x3F8, irq = 4;
  bool shown = false;
  QString focus;  // empty: not checked at this step
  int cancelled = -1;  // 1: the one Debug line since opening is the cancel message; 0: no such line
};

// One step of a sequence: what the user does, then "field=value ..." for what
// changes (addr in hexadecimal).
struct Step {
  const char* action;
  const char* changes;
};

void Apply(Expected& e, const char* changes) {
  e.focus.clear();
  e.cancelled = -1;
  for (const QString& pair : QString::fromLatin1(changes).split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
    const QString key = pair.section(QLatin1Char('='), 0, 0);
    const QString value = pair.section(QLatin1Char('='), 1);
    if (key == QLatin1String("pipe")) e.pipe = value.toInt();
    if (key == QLatin1String("port")) e.port = value.toInt();
    if (key == QLatin1String("speed")) e.speed = value.toInt();
    if (key == QLatin1String("addr")) e.addr = value.toInt(nullptr, 16);
    if (key == QLatin1String("irq")) e.irq = value.toInt();
    if (key == QLatin1String("shown")) e.shown = value == QLatin1String("1");
    if (key == QLatin1String("focus")) e.focus = value;
    if (key == QLatin1String("cancelled")) e.cancelled = value.toInt();
  }
}

using Sequence = std::vector<Step>;

}  // namespace

class SettingsDialogTest : public QObject {
  Q_OBJECT

  std::unique_ptr<GuiApp> gui;

  // The five groups show exactly one checked button each, the one in effect;
  // the enabled states follow the link; the dialog is shown or hidden.
  void ExpectState(const Expected& e, const QByteArray& where) {
    const ReflashSession& s = gui->Core().S;
    const int inEffect[] = {s.DataPipe, s.ComPort, s.ComSpeed, s.ComAddr, s.ComIRQ};
    const int expected[] = {e.pipe, e.port, e.speed, e.addr, e.irq};
    for (int g = 0; g < 5; ++g) {
      QVERIFY2(inEffect[g] == expected[g], where + " " + kGroups[g].name + " in effect " + QByteArray::number(inEffect[g]));
      for (int index : kGroups[g].indexes) {
        QRadioButton* b = gui->Option(kGroups[g].name, index);
        QVERIFY2(b->isChecked() == (index == inEffect[g]), where + " shown checked: " + b->objectName().toLatin1());
        if (g > 0) QVERIFY2(b->isEnabled() == (s.DataPipe == PipeSerial), where + " enabled: " + b->objectName().toLatin1());
      }
    }
    for (const char* box : {"IPAddress", "PortNumber"})
      QVERIFY2(gui->SettingsText(box)->isEnabled() == (s.DataPipe == PipeEthernet), where + " enabled: " + box);
    QVERIFY2(gui->Settings().isVisible() == e.shown, where + " shown");
    if (!e.focus.isEmpty()) {
      QWidget* focus = QApplication::focusWidget();
      QVERIFY2(focus != nullptr && focus->objectName() == e.focus,
               where + " focus on " + (focus ? focus->objectName().toLatin1() : QByteArray("nothing")));
    }
    if (e.cancelled >= 0) {
      const auto lines = gui->List("List2")->findItems(QStringLiteral("Comms selection cancelled."), Qt::MatchExactly);
      QVERIFY2(lines.size() == e.cancelled && (e.cancelled == 0 || gui->List("List2")->count() == 1),
               where + " last Debug line: " + gui->LastLine("List2").toLatin1());
    }
  }

  // "open" clicks "Select Data Pipe" (on an empty Debug list); "close" uses
  // the close box; "click NAME" clicks a control of the dialog; "key NAME"
  // presses a key where the focus is.
  void Do(const QString& action) {
    const QString verb = action.section(QLatin1Char(' '), 0, 0);
    const QString what = action.section(QLatin1Char(' '), 1);
    if (verb == QLatin1String("open")) {
      gui->List("List2")->clear();
      ShowDialog();
      QTRY_COMPARE(QApplication::activeWindow(), &gui->Settings());
    } else if (verb == QLatin1String("close")) {
      gui->Settings().close();
    } else if (verb == QLatin1String("click")) {
      auto* button = gui->Settings().findChild<QAbstractButton*>(what);
      QVERIFY2(button != nullptr, qPrintable(what));
      if (auto* option = qobject_cast<QRadioButton*>(button)) gui->Click(option); else gui->Click(button);
    } else {
      static const std::map<QString, std::pair<Qt::Key, Qt::KeyboardModifiers>> keys{
          {QStringLiteral("Tab"), {Qt::Key_Tab, Qt::NoModifier}},
          {QStringLiteral("Backtab"), {Qt::Key_Tab, Qt::ShiftModifier}},
          {QStringLiteral("Up"), {Qt::Key_Up, Qt::NoModifier}},
          {QStringLiteral("Down"), {Qt::Key_Down, Qt::NoModifier}},
          {QStringLiteral("Left"), {Qt::Key_Left, Qt::NoModifier}},
          {QStringLiteral("Right"), {Qt::Key_Right, Qt::NoModifier}},
          {QStringLiteral("Return"), {Qt::Key_Return, Qt::NoModifier}},
          {QStringLiteral("Enter"), {Qt::Key_Enter, Qt::KeypadModifier}},
          {QStringLiteral("Escape"), {Qt::Key_Escape, Qt::NoModifier}}};
      const auto key = keys.at(what);
      QWidget* focus = QApplication::focusWidget();
      QVERIFY2(focus != nullptr, "no focus for a key");
      QTest::keyClick(focus, key.first, key.second);
    }
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

  // What the dialog shows checked is what is in effect after every click and
  // key, Cancel and re-opening; Tab stops once per group at its checked
  // button, arrows move and select within a group.
  void checkedOptionsFollowClicksAndKeys_data() {
    QTest::addColumn<Sequence>("steps");
    QTest::newRow("Ethernet clicked twice") << Sequence{
        {"open", "shown=1"}, {"click DataPipeSelect_5", "pipe=5"}, {"click DataPipeSelect_5", "pipe=5"}};
    QTest::newRow("every group by mouse, the groups independent of the link") << Sequence{
        {"open", "shown=1 focus=DataPipeSelect_1"},
        {"click ComxBtn_3", "port=3"},
        {"click ComBaudBtn_4", "speed=4"},
        {"click ComIoBtn_744", "addr=2E8"},
        {"click ComIrqBtn_7", "irq=7"},
        {"click DataPipeSelect_5", "pipe=5"},
        {"click DataPipeSelect_1", "pipe=1"},
        {"click DataPipeSelect_5", "pipe=5 focus=DataPipeSelect_5"}};
    QTest::newRow("Tab stops once in every group") << Sequence{
        {"open", "shown=1 focus=DataPipeSelect_1"},
        {"key Tab", "focus=ComxBtn_1"},
        {"key Tab", "focus=ComBaudBtn_1"},
        {"key Tab", "focus=ComIoBtn_1016"},
        {"key Tab", "focus=ComIrqBtn_4"},
        {"key Tab", "focus=Initialize"},
        {"key Tab", "focus=Cancel1"},
        {"key Tab", "focus=DataPipeSelect_1"},
        {"key Backtab", "focus=Cancel1"}};
    QTest::newRow("Down from Serial COM Port reaches only Ethernet") << Sequence{
        {"open", "shown=1"},
        {"key Down", "pipe=5 focus=DataPipeSelect_5"},
        {"key Down", "pipe=1 focus=DataPipeSelect_1"},
        {"key Tab", "focus=ComxBtn_1"}};
    QTest::newRow("arrows move and select within a group, round its ends") << Sequence{
        {"open", "shown=1"},
        {"key Tab", "focus=ComxBtn_1"},
        {"key Down", "port=2 focus=ComxBtn_2"},
        {"key Down", "port=3"},
        {"key Right", "port=4"},
        {"key Down", "port=1 focus=ComxBtn_1"},
        {"key Up", "port=4 focus=ComxBtn_4"},
        {"key Left", "port=3"},
        {"key Tab", "focus=ComBaudBtn_1"},
        {"key Up", "speed=4 focus=ComBaudBtn_4"},
        {"key Tab", "focus=ComIoBtn_1016"},
        {"key Down", "addr=2F8"},
        {"key Tab", "focus=ComIrqBtn_4"},
        {"key Up", "irq=7"},
        {"key Backtab", "focus=ComIoBtn_760"},
        {"key Backtab", "focus=ComBaudBtn_4"},
        {"key Backtab", "focus=ComxBtn_3"}};
    QTest::newRow("a group's tab stop is its checked button") << Sequence{
        {"open", "shown=1"},
        {"click ComIoBtn_744", "addr=2E8 focus=ComIoBtn_744"},
        {"click ComxBtn_3", "port=3 focus=ComxBtn_3"},
        {"key Tab", "focus=ComBaudBtn_1"},
        {"key Tab", "focus=ComIoBtn_744"},
        {"key Backtab", "focus=ComBaudBtn_1"},
        {"key Backtab", "focus=ComxBtn_3"}};
    QTest::newRow("Ethernet by keyboard: Tab skips the disabled groups") << Sequence{
        {"open", "shown=1"},
        {"key Down", "pipe=5"},
        {"key Tab", "focus=IPAddress"},
        {"key Tab", "focus=PortNumber"},
        {"key Tab", "focus=Initialize"},
        {"key Tab", "focus=Cancel1"},
        {"key Tab", "focus=DataPipeSelect_5"},
        {"key Up", "pipe=1 focus=DataPipeSelect_1"},
        {"key Tab", "focus=ComxBtn_1"}};
    QTest::newRow("Esc, Cancel, the close box and re-opening keep what is in effect") << Sequence{
        {"open", "shown=1"},
        {"click ComIoBtn_744", "addr=2E8"},
        {"key Escape", "shown=0 cancelled=1"},
        {"open", "shown=1"},
        {"click DataPipeSelect_5", "pipe=5"},
        {"click Cancel1", "shown=0 cancelled=1"},
        {"open", "shown=1"},
        {"click DataPipeSelect_1", "pipe=1"},
        {"key Tab", "focus=ComxBtn_1"},
        {"key Tab", "focus=ComBaudBtn_1"},
        {"key Tab", "focus=ComIoBtn_744"},
        {"close", "shown=0 cancelled=1"},
        {"open", "shown=1"}};
    QTest::newRow("Enter presses Initialize, or Cancel when it has the focus") << Sequence{
        {"open", "shown=1"},
        {"click ComxBtn_2", "port=2"},
        {"key Return", "shown=0 cancelled=0"},
        {"open", "shown=1 focus=ComxBtn_2"},  // where it was when hidden
        {"key Enter", "shown=0 cancelled=0"},
        {"open", "shown=1"},
        {"key Backtab", "focus=DataPipeSelect_1"},
        {"key Backtab", "focus=Cancel1"},
        {"key Return", "shown=0 cancelled=1"}};
  }
  void checkedOptionsFollowClicksAndKeys() {
    QFETCH(Sequence, steps);
    Expected e;
    ExpectState(e, "at start");
    for (const Step& step : steps) {
      Do(QString::fromLatin1(step.action));
      Apply(e, step.changes);
      ExpectState(e, QByteArray("after ") + step.action);
      if (QTest::currentTestFailed()) return;
    }
  }

  void selectDataPipeShowsTheDialogInItsStartState() {
    ShowDialog();
    Form2Dialog& d = gui->Settings();
    QCOMPARE(d.windowTitle(), QStringLiteral("COM Port Parameters"));
    QCOMPARE(d.minimumSize(), d.maximumSize());
    for (const Group& g : kGroups)
      for (std::size_t i = 0; i < g.indexes.size(); ++i)
        QCOMPARE(gui->Option(g.name, g.indexes[i])->text(), QString::fromLatin1(g.captions[i]));
    QCOMPARE(gui->SettingsText("IPAddress")->text(), QStringLiteral("192.168.1.70"));
    QCOMPARE(gui->SettingsText("PortNumber")->text(), QStringLiteral("10001"));
    QCOMPARE(gui->In<QPushButton>(d, "Initialize")->text(), QStringLiteral("Initialize"));
    QCOMPARE(gui->In<QPushButton>(d, "Cancel1")->text(), QStringLiteral("Cancel"));
  }

  // Every caption is whole: option buttons keep clear of their frame's edge,
  // the labels wrap at blanks within their places rather than being cut or
  // running into the text boxes.
  void captionsFitTheirPlaces() {
    ShowDialog();
    Form2Dialog& d = gui->Settings();
    for (const Group& g : kGroups) {
      for (int index : g.indexes) {
        QRadioButton* b = gui->Option(g.name, index);
        const int drawn = b->style()->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, b) +
                          b->style()->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, nullptr, b) +
                          b->fontMetrics().horizontalAdvance(b->text());
        QVERIFY2(drawn <= b->width(), qPrintable(b->text()));  // not cut
        QVERIFY2(b->x() >= 4 && b->geometry().right() < b->parentWidget()->width() - 4, qPrintable(b->text()));
      }
    }
    for (const auto& [name, place] : {std::pair{"Label1", QRect(24, 222, 106, 0)}, std::pair{"Label2", QRect(64, 254, 62, 0)}}) {
      auto* label = gui->In<QLabel>(d, name);
      QCOMPARE(label->x(), place.x());
      QCOMPARE(label->width(), place.width());
      const int needed = label->wordWrap() ? label->heightForWidth(label->width()) : label->sizeHint().height();
      QVERIFY2(label->sizeHint().width() <= label->width() || label->wordWrap(), name);
      QVERIFY2(needed <= label->height(), name);
      for (const QString& word : label->text().split(QLatin1Char(' ')))
        QVERIFY2(label->fontMetrics().horizontalAdvance(word) <= label->width(), qPrintable(word));
      for (auto* other : d.findChildren<QWidget*>()) {
        if (other == label || other->parentWidget() != &d) continue;
        QVERIFY2(!label->geometry().intersects(other->geometry()),
                 qPrintable(QStringLiteral("%1 over %2").arg(QString::fromLatin1(name), other->objectName())));
      }
    }
  }

  // The main window still answers while the dialog is open.
  void theDialogIsModeless() {
    ShowDialog();
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
    gui->Click(gui->Button("ProgramFlash"));
    QCOMPARE(gui->LastLine("List2"), QStringLiteral("** ERROR ** Select an S19 source file."));
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
