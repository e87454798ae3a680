// The main window: captions, start state, size, focus, the message lists,
// choosing the source file through the real file dialog, and the way out.
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListView>
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
  QTemporaryDir folder;  // the current directory, where the file dialog opens

  // Once the file dialog lists two enabled files, hands it and their sorted
  // names to `answer`.
  void WhenFileDialogLists(std::function<void(QFileDialog*, QStringList)> answer) {
    gui->WhenModal<QFileDialog>([=](QFileDialog* dialog) {
      auto* view = dialog->findChild<QListView*>(QStringLiteral("listView"));
      QStringList names;
      const QModelIndex root = view->rootIndex();
      for (int row = 0; row < view->model()->rowCount(root); ++row) {
        const QModelIndex index = view->model()->index(row, 0, root);
        if (view->model()->flags(index) & Qt::ItemIsEnabled) names << index.data().toString();
      }
      if (names.size() < 2) return false;  // still being read
      names.sort();
      answer(dialog, names);
      return true;
    });
    gui->Click(gui->Button("SelectSourceFile"));
  }

 private slots:
  void initTestCase() {
    for (const char* name : {"a.s19", "B.S19", "c.txt"}) {
      QFile file(folder.filePath(QString::fromLatin1(name)));
      QVERIFY(file.open(QIODevice::WriteOnly));
      file.write("S9030000FC\r\n");
    }
    QDir::setCurrent(folder.path());
  }
  void init() {
    gui = std::make_unique<GuiApp>();
    QVERIFY(QTest::qWaitForWindowExposed(&gui->Main()));
  }
  void cleanup() { gui.reset(); }

  void captionsAndStartState() {
    MainWindow& w = gui->Main();
    QCOMPARE(w.windowTitle(), QStringLiteral("QRB-530 FLASH Download"));
    const std::pair<const char*, const char*> buttons[] = {
        {"SelectSourceFile", "Select Source File"}, {"ProgramFlash", "Program FLASH"},
        {"AbortProgram", "Exit / Abort"},          {"SelectDataPipe", "Select Data Pipe"},
        {"VerifyFlash", "Verify FLASH"},          {"ClearStatusList", "Clear Status"},
        {"ClearDebugList", "Clear Debug"}};
    for (const auto& [name, caption] : buttons) {
      QCOMPARE(gui->Button(name)->text(), QString::fromLatin1(caption));
      QVERIFY2(gui->Button(name)->isEnabled(), name);
    }
    QCOMPARE(gui->In<QLabel>(w, "Label1")->text(), QStringLiteral("Status"));
    QCOMPARE(gui->In<QLabel>(w, "Label2")->text(), QStringLiteral("Debug"));
    QVERIFY(!gui->Settings().isVisible());  // loaded hidden
    QAction* help = w.menuBar()->actions().constFirst();
    QCOMPARE(help->text(), QStringLiteral("Help"));
    QCOMPARE(help->menu()->actions().constFirst()->text(), QStringLiteral("About"));
  }

  void clientAreaIsFixedAt448By434AndHoldsEveryControl() {
    MainWindow& w = gui->Main();
    QWidget* client = w.centralWidget();
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

  // The dialog opens in the current directory and lists S19 files of either
  // case; cancelling chooses nothing, choosing shows the file's path.
  void selectSourceFileThroughTheFileDialog() {
    WhenFileDialogLists([](QFileDialog* dialog, QStringList) { QTest::keyClick(dialog, Qt::Key_Escape); });
    QCOMPARE(gui->Core().S.SourceFileSelected, 0);

    QStringList listed;
    QString directory;
    WhenFileDialogLists([&](QFileDialog* dialog, QStringList names) {
      listed = names;
      directory = dialog->directory().absolutePath();
      GuiApp::TypeFileName(dialog, QStringLiteral("B.S19"));
    });
    QCOMPARE(listed, (QStringList{QStringLiteral("B.S19"), QStringLiteral("a.s19")}));
    QCOMPARE(QDir(directory).canonicalPath(), QDir(folder.path()).canonicalPath());
    QCOMPARE(QFileInfo(gui->MainText("Text2")->text()).canonicalFilePath(),
             QFileInfo(folder.filePath(QStringLiteral("B.S19"))).canonicalFilePath());
    QCOMPARE(gui->Core().S.SourceFileSelected, 1);
  }

  // The close box and the exit button both run the exit sequence, which may
  // refuse.
  void closeBoxAndExitButtonEndTheProgramUnlessRefused() {
    MainWindow& w = gui->Main();
    gui->Core().S.TimerIsrActive = True;
    QVERIFY(!w.close());
    QVERIFY(w.isVisible());
    gui->Core().S.TimerIsrActive = False;
    QCOMPARE(gui->app.ended, 0);
    gui->Click(gui->Button("AbortProgram"));
    QCOMPARE(gui->app.ended, 1);
    QVERIFY(!w.isVisible());
  }
};

}  // namespace qrb::test

QTEST_MAIN(qrb::test::MainWindowTest)
#include "MainWindowTest.moc"
