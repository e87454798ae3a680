// The main window: captions, start state, size, focus, the message lists and
// the way out.
#include <QLabel>
#include <QScrollBar>
#include <memory>

#include "GuiApp.h"

namespace qrb::test {

class PaintCounter : public QObject {
 public:
  int paints = 0;
  bool eventFilter(QObject*, QEvent* event) override {
    paints += event->type() == QEvent::Paint;
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
    for (const char* name : {"Text2", "Text3"}) QVERIFY(gui->MainText(name)->text().isEmpty());
    QVERIFY(!gui->Core().C.Timer1.Enabled());
    QVERIFY(!gui->Settings().isVisible());  // loaded hidden
    QAction* help = w.menuBar()->actions().constFirst();
    QCOMPARE(help->text(), QStringLiteral("Help"));
    QCOMPARE(help->menu()->actions().constFirst()->text(), QStringLiteral("About"));
  }

  void clientAreaIsFixedAt448By434AndHoldsEveryControl() {
    MainWindow& w = gui->Main();
    QWidget* client = w.centralWidget();
    QCOMPARE(client->size(), QSize(448, 434));
    QCOMPARE(w.minimumSize(), w.maximumSize());
    w.resize(800, 700);
    QTest::qWait(0);
    QCOMPARE(client->size(), QSize(448, 434));
    for (QWidget* child : client->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
      QVERIFY2(client->rect().contains(child->geometry()), qPrintable(child->objectName()));
  }

  void focusStartsOnSelectSourceFileAndFollowsTheTabOrder() {
    MainWindow& w = gui->Main();
    QCOMPARE(w.focusWidget(), gui->Button("SelectSourceFile"));
    for (const char* name : {"ProgramFlash", "AbortProgram", "SelectDataPipe", "Text2", "Text3", "List1", "List2",
                             "VerifyFlash", "ClearStatusList", "ClearDebugList", "SelectSourceFile"}) {
      QTest::keyClick(w.focusWidget(), Qt::Key_Tab);
      QCOMPARE(w.focusWidget()->objectName(), QString::fromLatin1(name));
    }
  }

  // At most 200 lines, the newest scrolled into view without highlight and
  // painted before the post returns; each clear button empties its own list.
  void messageLists() {
    QListWidget* list1 = gui->List("List1");
    QListWidget* list2 = gui->List("List2");
    PaintCounter counter;
    list1->viewport()->installEventFilter(&counter);
    gui->Core().PostMsg1("status");
    QVERIFY(counter.paints > 0);  // no event loop ran in between
    list1->viewport()->removeEventFilter(&counter);

    for (int i = 1; i <= 250; ++i) {
      gui->Core().S.DebugLine = "line " + std::to_string(i);
      gui->Core().PostMsg2(gui->Core().S.DebugLine);
    }
    QCOMPARE(list2->count(), 200);
    QCOMPARE(list2->item(0)->text(), QStringLiteral("line 51"));
    QCOMPARE(list2->currentRow(), 199);
    QVERIFY(list2->selectedItems().isEmpty());
    QVERIFY(list2->viewport()->rect().contains(list2->visualItemRect(list2->item(199))));

    gui->Click(gui->Button("ClearStatusList"));
    QCOMPARE(list1->count(), 0);
    QCOMPARE(list2->count(), 200);
    gui->Click(gui->Button("ClearDebugList"));
    QCOMPARE(list2->count(), 0);
  }

  // The exit button and the close box both run the exit sequence, which may
  // refuse.
  void exitButtonAndCloseBoxEndTheProgram() {
    MainWindow& w = gui->Main();
    gui->Core().S.TimerIsrActive = True;
    gui->Core().C.Timer1.SetEnabled(true);
    QVERIFY(!w.close());
    QVERIFY(!gui->Core().C.Timer1.Enabled());
    gui->Click(gui->Button("AbortProgram"));
    QCOMPARE(gui->List("List2")->count(), 2);
    QCOMPARE(gui->LastLine("List2"), QStringLiteral("Exit failed. Timer stopped. --> Try again! [TimerIsrActive]"));
    QVERIFY(w.isVisible());
    QCOMPARE(gui->app.ended, 0);

    gui->Core().S.TimerIsrActive = False;
    QVERIFY(w.close());
    QCOMPARE(gui->app.ended, 1);
    QVERIFY(!w.isVisible());
    QCOMPARE(gui->LastLine("List1"), QStringLiteral("Program terminated.  Short delay."));
  }
};

}  // namespace qrb::test

QTEST_MAIN(qrb::test::MainWindowTest)
#include "MainWindowTest.moc"
