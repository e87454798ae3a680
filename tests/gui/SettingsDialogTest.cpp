// "Select Data Pipe" and the "COM Port Parameters" dialog by real clicks and keys.
#include "GuiApp.h"

namespace qrb::test {

const struct Group {
  const char* name;
  const char* field;
  std::vector<int> indexes;
  std::vector<const char*> captions;
} kGroups[] = {
    {"DataPipeSelect", "pipe", {1, 5}, {"Serial COM Port", "Ethernet"}},
    {"ComxBtn", "port", {1, 2, 3, 4}, {"COM1:", "COM2:", "COM3:", "COM4:"}},
    {"ComBaudBtn", "speed", {1, 2, 3, 4}, {"19.2 k", "38.4 k", "57.6 k", "115.2 k"}},
    {"ComIoBtn", "addr", {0x3F8, 0x2F8, 0x3E8, 0x2E8}, {"3F8", "2F8", "3E8", "2E8"}},
    {"ComIrqBtn", "irq", {4, 3, 5, 7}, {"4", "3", "5", "7"}},
};

// What the user does, then "field=value ..." for what changes; "focus" and "cancelled" hold for one step.
using Step = std::pair<const char*, const char*>;
using Sequence = std::vector<Step>;
using State = std::map<QString, int>;

class SettingsDialogTest : public QObject {
  Q_OBJECT

  std::unique_ptr<GuiApp> gui;

  // Each group shows checked only the option in effect; the enabled states follow the link.
  void ExpectState(const State& e, const QString& focus, const QByteArray& where) {
    const ReflashSession& s = gui->Core().S;
    const int inEffect[] = {s.DataPipe, s.ComPort, s.ComSpeed, s.ComAddr, s.ComIRQ};
    for (int g = 0; g < 5; ++g) {
      QVERIFY2(inEffect[g] == e.at(kGroups[g].field), where + " " + kGroups[g].field + "=" + QByteArray::number(inEffect[g]));
      for (int index : kGroups[g].indexes) {
        QRadioButton* b = gui->Option(kGroups[g].name, index);
        QVERIFY2(b->isChecked() == (index == inEffect[g]), where + " shown checked: " + b->objectName().toLatin1());
        if (g > 0) QVERIFY2(b->isEnabled() == (s.DataPipe == PipeSerial), where + " enabled: " + b->objectName().toLatin1());
      }
    }
    for (const char* box : {"IPAddress", "PortNumber"})
      QVERIFY2(gui->SettingsText(box)->isEnabled() == (s.DataPipe == PipeEthernet), where + " enabled: " + box);
    QVERIFY2(gui->Settings().isVisible() == (e.at("shown") == 1), where + " shown");
    QWidget* now = QApplication::focusWidget();
    QVERIFY2(focus.isEmpty() || (now != nullptr && now->objectName() == focus),
             where + " focus on " + (now ? now->objectName().toLatin1() : QByteArray("nothing")));
    if (e.count("cancelled") == 0) return;
    const auto lines = gui->List("List2")->findItems(QStringLiteral("Comms selection cancelled."), Qt::MatchExactly);
    QVERIFY2(lines.size() == e.at("cancelled") && (lines.isEmpty() || gui->List("List2")->count() == 1),
             where + " last Debug line: " + gui->LastLine("List2").toLatin1());
  }

  // "open" (on an empty Debug list), "close" (the close box), "click NAME" or "key KEYS" (where the focus is).
  void Do(const QString& action) {
    const QString verb = action.section(QLatin1Char(' '), 0, 0), what = action.section(QLatin1Char(' '), 1);
    if (verb == QLatin1String("open")) {
      gui->List("List2")->clear();
      gui->ShowSettings();
    } else if (verb == QLatin1String("close")) {
      gui->Settings().close();
    } else if (verb == QLatin1String("click")) {
      gui->Click(gui->In<QAbstractButton>(gui->Settings(), what));
    } else {
      const QKeyCombination key = QKeySequence::fromString(what)[0];
      QVERIFY2(key.key() != Qt::Key_unknown && QApplication::focusWidget() != nullptr, qPrintable(action));
      QTest::keyClick(QApplication::focusWidget(), key.key(), key.keyboardModifiers());
    }
  }

 private slots:
  void init() { gui = std::make_unique<GuiApp>(); }
  void cleanup() { gui.reset(); }

  void checkedOptionsFollowClicksAndKeys_data() {
    QTest::addColumn<Sequence>("steps");
    QTest::newRow("every group by mouse, independent of the link; tab stops on the checked") << Sequence{
        {"open", "shown=1 focus=DataPipeSelect_1"}, {"click ComxBtn_3", "port=3"}, {"click ComBaudBtn_4", "speed=4"},
        {"click ComIoBtn_744", "addr=0x2E8"}, {"click ComIrqBtn_7", "irq=7"}, {"key Shift+Tab", "focus=ComIoBtn_744"},
        {"key Shift+Tab", "focus=ComBaudBtn_4"}, {"click DataPipeSelect_5", "pipe=5 focus=DataPipeSelect_5"},
        {"click DataPipeSelect_5", "pipe=5"}, {"click DataPipeSelect_1", "pipe=1"}};
    QTest::newRow("Tab stops once in every group; arrows round a group's ends, by position") << Sequence{
        {"open", "shown=1 focus=DataPipeSelect_1"}, {"key Tab", "focus=ComxBtn_1"}, {"key Tab", "focus=ComBaudBtn_1"},
        {"key Tab", "focus=ComIoBtn_1016"}, {"key Tab", "focus=ComIrqBtn_4"}, {"key Tab", "focus=Initialize"},
        {"key Tab", "focus=Cancel1"}, {"key Tab", "focus=DataPipeSelect_1"}, {"key Tab", "focus=ComxBtn_1"},
        {"key Up", "port=4 focus=ComxBtn_4"}, {"key Num+Down", "port=1 focus=ComxBtn_1"}, {"key Right", "port=2"},
        {"key Left", "port=1"}, {"key Tab", ""}, {"key Tab", "focus=ComIoBtn_1016"}, {"key Down", "addr=0x2F8"},
        {"key Tab", "focus=ComIrqBtn_4"}, {"key Up", "irq=7"}, {"key Shift+Tab", "focus=ComIoBtn_760"}};
    QTest::newRow("Ethernet by keyboard: Tab skips the disabled groups") << Sequence{
        {"open", "shown=1"}, {"key Down", "pipe=5 focus=DataPipeSelect_5"}, {"key Tab", "focus=IPAddress"},
        {"key Tab", "focus=PortNumber"}, {"key Tab", "focus=Initialize"}, {"key Tab", "focus=Cancel1"},
        {"key Tab", "focus=DataPipeSelect_5"}, {"key Down", "pipe=1 focus=DataPipeSelect_1"},
        {"key Tab", "focus=ComxBtn_1"}};
    QTest::newRow("Esc, Cancel, the close box and re-opening keep what is in effect") << Sequence{
        {"open", "shown=1"}, {"click ComIoBtn_744", "addr=0x2E8"}, {"key Esc", "shown=0 cancelled=1"},
        {"open", "shown=1"}, {"click DataPipeSelect_5", "pipe=5"}, {"click Cancel1", "shown=0 cancelled=1"},
        {"open", "shown=1"}, {"click DataPipeSelect_1", "pipe=1"}, {"close", "shown=0 cancelled=1"}, {"open", "shown=1"}};
    QTest::newRow("Enter presses Initialize, or Cancel when it has the focus; every showing starts at the first stop")
        << Sequence{{"open", "shown=1"}, {"click ComxBtn_2", "port=2"}, {"key Num+Enter", "shown=0 cancelled=0"},
                    {"open", "shown=1 focus=DataPipeSelect_1"}, {"key Shift+Tab", "focus=Cancel1"},
                    {"key Return", "shown=0 cancelled=1"}, {"open", "shown=1 focus=DataPipeSelect_1"},
                    {"key Return", "shown=0 cancelled=0"}};
  }
  void checkedOptionsFollowClicksAndKeys() {
    QFETCH(Sequence, steps);
    State e{{"pipe", 1}, {"port", 1}, {"speed", 1}, {"addr", 0x3F8}, {"irq", 4}, {"shown", 0}};
    ExpectState(e, {}, "at start");
    for (const auto& [action, changes] : steps) {
      Do(QString::fromLatin1(action));
      e.erase("cancelled");
      QString focus;
      for (const QString& pair : QString::fromLatin1(changes).split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QString key = pair.section(QLatin1Char('='), 0, 0), value = pair.section(QLatin1Char('='), 1);
        if (key == QLatin1String("focus")) focus = value; else e[key] = value.toInt(nullptr, 0);
      }
      ExpectState(e, focus, QByteArray("after ") + action);
      if (QTest::currentTestFailed()) return;
    }
  }

  // Every caption whole and clear of its neighbours; modeless: the main window still answers.
  void selectDataPipeShowsTheDialogInItsStartState() {
    gui->ShowSettings();
    Form2Dialog& d = gui->Settings();
    QCOMPARE(d.minimumSize(), d.maximumSize());
    for (const Group& g : kGroups) {
      for (std::size_t i = 0; i < g.indexes.size(); ++i) {
        QRadioButton* b = gui->Option(g.name, g.indexes[i]);
        QCOMPARE(b->text(), QString::fromLatin1(g.captions[i]));
        const int drawn = b->style()->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, b) +
                          b->style()->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, nullptr, b) +
                          b->fontMetrics().horizontalAdvance(b->text());
        QVERIFY2(drawn <= b->width() && b->x() >= 4 && b->geometry().right() < b->parentWidget()->width() - 4, g.captions[i]);
      }
    }
    gui->ExpectTexts(d, {{"IPAddress", "192.168.1.70"}, {"PortNumber", "10001"}, {"Initialize", "Initialize"},
                         {"Cancel1", "Cancel"}});
    for (const char* name : {"Label1", "Label2"}) {
      auto* label = gui->In<QLabel>(d, name);
      const int needed = label->wordWrap() ? label->heightForWidth(label->width()) : label->sizeHint().height();
      QVERIFY2((label->sizeHint().width() <= label->width() || label->wordWrap()) && needed <= label->height(), name);
      for (const QString& word : label->text().split(QLatin1Char(' ')))
        QVERIFY2(label->fontMetrics().horizontalAdvance(word) <= label->width(), qPrintable(word));
      for (auto* other : d.findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        QVERIFY2(other == label || !label->geometry().intersects(other->geometry()), qPrintable(other->objectName()));
    }
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
    gui->Click(gui->Button("ProgramFlash"));
    QCOMPARE(gui->LastLine("List2"), QStringLiteral("** ERROR ** Select an S19 source file."));
  }

  // A refused address or port is told in the dialog, whole, which stays open with the box at fault selected;
  // the focus mark is drawn from the first showing.
  void refusedBoxesAreToldInTheDialog() {
    gui->ShowSettings();
    Form2Dialog& d = gui->Settings();
    QWidget* first = gui->Option("DataPipeSelect", 1);  // the focus
    const QImage marked = first->grab().toImage();
    gui->In<QPushButton>(d, "Cancel1")->setFocus();
    QVERIFY(first->grab().toImage() != marked);
    gui->Click(gui->Option("DataPipeSelect", 5));
    auto* reason = gui->In<QLabel>(d, "Reason");
    const std::tuple<const char*, const char*, const char*, const char*> cases[] = {  // address, port, box at fault, reason
        {"127.0.0.1", "7x", "PortNumber", "Port number \"7x\" is not a whole number from 1 to 65535."},
        {"127.0.0.1.5", "7", "IPAddress",
         "Address \"127.0.0.1.5\" is neither an IP address in dot notation nor a host name."},
        {"localhost", "1", nullptr, ""},
    };
    for (const auto& [address, port, refused, text] : cases) {
      GuiApp::TypeOver(gui->SettingsText("IPAddress"), QString::fromLatin1(address));
      GuiApp::TypeOver(gui->SettingsText("PortNumber"), QString::fromLatin1(port));
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
      QCOMPARE(reason->text(), QString::fromLatin1(text));
      QCOMPARE(d.isVisible(), refused != nullptr);
      if (refused == nullptr) break;
      QCOMPARE(QApplication::focusWidget()->objectName(), QString::fromLatin1(refused));
      QCOMPARE(gui->SettingsText(refused)->selectedText(), gui->SettingsText(refused)->text());
      QVERIFY(reason->isVisible() && reason->heightForWidth(reason->width()) <= reason->height() &&
              d.rect().contains(reason->geometry()));
    }
    gui->ShowSettings();  // shown again: no old reason
    QCOMPARE(reason->text(), QString());
  }
};

}  // namespace qrb::test

QTEST_MAIN(qrb::test::SettingsDialogTest)
#include "SettingsDialogTest.moc"
