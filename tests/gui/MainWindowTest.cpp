// The main window: captions, start state, placement, focus, the message
// lists and the way out.
#include <QLabel>
#include <QScrollBar>
#include <QSignalSpy>
#include <memory>

#include "GuiApp.h"

namespace qrb::test {

class PaintCounter : public QObject {
 public:
  int paints = 0;
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return false;
  }
};

class MainWindowTest : public QObject {
  Q_OBJECT

  std::unique_ptr<GuiApp> gui;

 private slots:
  void init() {
    gui = std::make_unique<GuiApp>();
    QVERIFY(QTest::qWaitForWindowExposed(&gui->Main()));
  }
  void cleanup() { gui.reset(); }

  void captionsAndStartState() {
    MainWindow& w = gui->Main();
    QCOMPARE(w.windowTitle(), QStringLiteral("QRB-530 FLASH Download"));
    QVERIFY(!w.windowIcon().isNull());
    const struct {
      const char* name;
      const char* caption;
    } buttons[] = {{"SelectSourceFile", "Select Source File"}, {"ProgramFlash", "Program FLASH"},
                   {"AbortProgram", "Exit / Abort"},          {"SelectDataPipe", "Select Data Pipe"},
                   {"VerifyFlash", "Verify FLASH"},          {"ClearStatusList", "Clear Status"},
                   {"ClearDebugList", "Clear Debug"}};
    for (const auto& b : buttons) {
      QCOMPARE(gui->Button(b.name)->text(), QString::fromLatin1(b.caption));
      QVERIFY2(gui->Button(b.name)->isEnabled(), b.name);
    }
    QCOMPARE(gui->In<QLabel>(w, "Label1")->text(), QStringLiteral("Status"));
    QCOMPARE(gui->In<QLabel>(w, "Label2")->text(), QStringLiteral("Debug"));
    QVERIFY(gui->MainText("Text2")->text().isEmpty());
    QVERIFY(gui->MainText("Text3")->text().isEmpty());
    QCOMPARE(gui->List("List1")->count(), 0);
    QCOMPARE(gui->List("List2")->count(), 0);
    QCOMPARE(gui->List("List1")->selectionMode(), QAbstractItemView::SingleSelection);
    QVERIFY(!gui->List("List2")->isSortingEnabled());

    QCOMPARE(gui->Core().S.FailTimerReload, 60);
    QCOMPARE(gui->Core().C.Timer1.Interval(), 50);
    QVERIFY(!gui->Core().C.Timer1.Enabled());
    QVERIFY(!gui->Settings().isVisible());  // loaded hidden

    QMenuBar* bar = w.menuBar();
    QCOMPARE(bar->actions().size(), 1);
    QCOMPARE(bar->actions()[0]->text(), QStringLiteral("Help"));
    QCOMPARE(bar->actions()[0]->menu()->actions()[0]->text(), QStringLiteral("About"));
  }

  void clientAreaIsFixedAt448By434() {
    MainWindow& w = gui->Main();
    QCOMPARE(w.centralWidget()->size(), QSize(448, 434));
    QCOMPARE(w.minimumSize(), w.maximumSize());
    QCOMPARE(w.height(), 434 + w.menuBar()->height());
    w.resize(800, 700);
    QTest::qWait(0);
    QCOMPARE(w.centralWidget()->size(), QSize(448, 434));
  }

  void controlsSitAtTheirPlaces() {
    const struct {
      const char* name;
      QRect pixels;
    } places[] = {
        {"Label1", {16, 0, 417, 16}},          {"List1", {16, 16, 417, 121}},
        {"ClearStatusList", {320, 137, 113, 17}}, {"SelectSourceFile", {8, 160, 113, 25}},
        {"Text2", {128, 162, 297, 21}},        {"SelectDataPipe", {8, 200, 113, 25}},
        {"Text3", {128, 202, 297, 21}},        {"ProgramFlash", {8, 264, 113, 25}},
        {"VerifyFlash", {8, 304, 113, 25}},    {"Label2", {136, 288, 289, 16}},
        {"List2", {136, 304, 289, 95}},        {"ClearDebugList", {312, 399, 113, 17}},
        {"AbortProgram", {8, 401, 113, 25}},
    };
    const QRect client = gui->Main().centralWidget()->rect();
    for (const auto& p : places) {
      auto* widget = gui->In<QWidget>(gui->Main(), p.name);
      QCOMPARE(widget->geometry(), p.pixels);
      QVERIFY2(client.contains(widget->geometry()), p.name);
    }
  }

  void focusStartsOnSelectSourceFileAndFollowsTheTabOrder() {
    MainWindow& w = gui->Main();
    QCOMPARE(w.focusWidget(), gui->Button("SelectSourceFile"));
    const char* order[] = {"ProgramFlash", "AbortProgram", "SelectDataPipe", "Text2",          "Text3", "List1",
                           "List2",        "VerifyFlash",  "ClearStatusList", "ClearDebugList", "SelectSourceFile"};
    for (const char* name : order) {
      QTest::keyClick(w.focusWidget(), Qt::Key_Tab);
      QCOMPARE(w.focusWidget()->objectName(), QString::fromLatin1(name));
    }
  }

  void newestLineIsScrolledIntoViewWithoutHighlight() {
    QListWidget* list2 = gui->List("List2");
    for (int i = 1; i <= 250; ++i) {
      gui->Core().S.DebugLine = "line " + std::to_string(i);
      gui->Core().PostMsg2(gui->Core().S.DebugLine);
    }
    QCOMPARE(list2->count(), 200);
    QCOMPARE(list2->item(0)->text(), QStringLiteral("line 51"));
    QCOMPARE(list2->item(199)->text(), QStringLiteral("line 250"));
    QCOMPARE(list2->currentRow(), 199);
    QVERIFY(list2->selectedItems().isEmpty());
    QCOMPARE(list2->verticalScrollBar()->value(), list2->verticalScrollBar()->maximum());
    QVERIFY(list2->viewport()->rect().contains(list2->visualItemRect(list2->item(199))));
  }

  void postRepaintsBeforeItReturns() {
    PaintCounter counter;
    QListWidget* list1 = gui->List("List1");
    list1->viewport()->installEventFilter(&counter);
    gui->Core().PostMsg1("Program terminated.  Short delay.");
    QVERIFY(counter.paints > 0);  // no event loop ran in between
    list1->viewport()->removeEventFilter(&counter);
  }

  void clearButtonsEmptyOnlyTheirList() {
    gui->Core().PostMsg1("status");
    std::string line = "debug";
    gui->Core().PostMsg2(line);
    gui->Click(gui->Button("ClearStatusList"));
    QCOMPARE(gui->List("List1")->count(), 0);
    QCOMPARE(gui->List("List2")->count(), 1);
    gui->Click(gui->Button("ClearDebugList"));
    QCOMPARE(gui->List("List2")->count(), 0);
  }

  void programFlashWithoutAFileAsksForOne() {
    gui->Click(gui->Button("ProgramFlash"));
    QCOMPARE(gui->List("List2")->item(gui->List("List2")->count() - 1)->text(),
             QStringLiteral("** ERROR ** Select an S19 source file."));
  }

  void exitButtonEndsTheProgram() {
    gui->Click(gui->Button("AbortProgram"));
    QCOMPARE(gui->app.ended, 1);
    QVERIFY(!gui->Main().isVisible());
    QCOMPARE(gui->List("List1")->item(0)->text(), QStringLiteral("Program terminated.  Short delay."));
  }

  void closeBoxRunsTheExitSequenceAndMayBeRefused() {
    MainWindow& w = gui->Main();
    gui->Core().S.TimerIsrActive = True;
    gui->Core().C.Timer1.SetEnabled(true);
    QVERIFY(!w.close());
    QVERIFY(w.isVisible());
    QCOMPARE(gui->app.ended, 0);
    QVERIFY(!gui->Core().C.Timer1.Enabled());
    QCOMPARE(gui->List("List2")->item(0)->text(),
             QStringLiteral("Exit failed. Timer stopped. --> Try again! [TimerIsrActive]"));

    gui->Core().S.TimerIsrActive = False;
    QVERIFY(w.close());
    QCOMPARE(gui->app.ended, 1);
    QVERIFY(!w.isVisible());
  }
};

}  // namespace qrb::test

QTEST_MAIN(qrb::test::MainWindowTest)
#include "MainWindowTest.moc"
