// The main window: captions, size, focus, the message lists, the source file
// through the real file dialog, the About box through "Help" > "About", and
// the way out.
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
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
  QTemporaryDir folder;  // the current directory, where the file dialog opens
  QByteArray savedPath;

  AboutDialog* OpenAbout() {
    gui->ChooseHelpAbout();
    AboutDialog* about = gui->Main().About();
    return about != nullptr && QTest::qWaitForWindowExposed(about) ? about : nullptr;
  }

  // A system-information program that leaves a mark named after itself.
  static void FakeTool(const QString& path) {
    QFile script(path);
    script.open(QIODevice::WriteOnly);
    script.write(QStringLiteral("#!/bin/sh\n: > '%1.started'\n").arg(path).toUtf8());
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  }

 private slots:
  void initTestCase() {
    QFile file(folder.filePath(QStringLiteral("B.S19")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("S9030000FC\r\n");
    QDir::setCurrent(folder.path());
    savedPath = qgetenv("PATH");
  }
  void init() {
    gui = std::make_unique<GuiApp>();
    QVERIFY(QTest::qWaitForWindowExposed(&gui->Main()));
  }
  void cleanup() {
    gui.reset();
    qputenv("PATH", savedPath);
  }

  // The captions, then Tab from the first focus round the controls; the
  // client area is fixed at 448 x 434 and holds every control.
  void captionsSizeAndTabOrder() {
    MainWindow& w = gui->Main();
    QCOMPARE(w.windowTitle(), QStringLiteral("QRB-530 FLASH Download"));
    const std::pair<const char*, const char*> buttons[] = {
        {"SelectSourceFile", "Select Source File"}, {"ProgramFlash", "Program FLASH"},
        {"AbortProgram", "Exit / Abort"},          {"SelectDataPipe", "Select Data Pipe"},
        {"VerifyFlash", "Verify FLASH"},          {"ClearStatusList", "Clear Status"},
        {"ClearDebugList", "Clear Debug"}};
    for (const auto& [name, caption] : buttons) QCOMPARE(gui->Button(name)->text(), QString::fromLatin1(caption));
    QCOMPARE(gui->In<QLabel>(w, "Label1")->text(), QStringLiteral("Status"));
    QCOMPARE(gui->In<QLabel>(w, "Label2")->text(), QStringLiteral("Debug"));
    QVERIFY(!gui->Settings().isVisible());
    QAction* help = w.menuBar()->actions().constFirst();
    QCOMPARE(help->text(), QStringLiteral("Help"));
    QCOMPARE(help->menu()->actions().constFirst()->text(), QStringLiteral("About"));

    QCOMPARE(w.focusWidget(), gui->Button("SelectSourceFile"));
    for (const char* name : {"ProgramFlash", "AbortProgram", "SelectDataPipe", "Text2", "Text3", "List1", "List2",
                             "VerifyFlash", "ClearStatusList", "ClearDebugList", "SelectSourceFile"}) {
      QTest::keyClick(w.focusWidget(), Qt::Key_Tab);
      QCOMPARE(w.focusWidget()->objectName(), QString::fromLatin1(name));
    }

    QCOMPARE(w.minimumSize(), w.maximumSize());
    w.resize(800, 700);
    QTest::qWait(0);
    QWidget* client = w.centralWidget();
    QCOMPARE(client->size(), QSize(448, 434));
    for (QWidget* child : client->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
      QVERIFY2(client->rect().contains(child->geometry()), qPrintable(child->objectName()));
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

  // Enter, like Space, presses the button that has the focus.
  void enterPressesTheFocusedButton() {
    MainWindow& w = gui->Main();
    QTest::keyClick(w.focusWidget(), Qt::Key_Tab);
    QCOMPARE(w.focusWidget(), gui->Button("ProgramFlash"));
    for (const auto& [key, modifier] : {std::pair{Qt::Key_Return, Qt::NoModifier},
                                        std::pair{Qt::Key_Enter, Qt::KeypadModifier},
                                        std::pair{Qt::Key_Space, Qt::NoModifier}}) {
      gui->List("List2")->clear();
      QTest::keyClick(w.focusWidget(), key, modifier);
      QCOMPARE(gui->List("List2")->count(), 1);
      QCOMPARE(gui->LastLine("List2"), QStringLiteral("** ERROR ** Select an S19 source file."));
    }
  }

  // A line wider than the list is shown whole with a sideways scroll bar and
  // its end painted there, not elided; the newest line stays in view and a
  // new line keeps the reader's sideways place.
  void longLinesAreShownWholeAndScrollSideways() {
    QListWidget* list = gui->List("List2");
    const QString line = QStringLiteral("Ethernet connection lost: The remote host closed the connection | ")
                             .repeated(4).left(200);
    for (std::string text : {std::string("short"), line.toStdString(), std::string("after")}) gui->Core().PostMsg2(text);
    QTest::qWait(0);
    QListWidgetItem* item = list->item(1);
    QCOMPARE(item->text(), line);
    const int advance = list->fontMetrics().horizontalAdvance(line);
    QVERIFY(list->visualItemRect(item).width() >= advance);
    QVERIFY(list->visualItemRect(item).width() > list->viewport()->width());
    QVERIFY(list->horizontalScrollBar()->isVisible());
    const QRect newest = list->visualItemRect(list->item(2));
    QVERIFY(newest.top() >= 0 && newest.bottom() < list->viewport()->height());  // above the scroll bar

    list->horizontalScrollBar()->setValue(list->horizontalScrollBar()->maximum());
    const QRect end = list->visualItemRect(item);
    const QImage shot = list->viewport()->grab().toImage();
    const int textEnd = end.left() + advance;
    const QColor background = shot.pixelColor(shot.width() - 1, end.center().y());
    bool inked = false;
    for (int x = std::max(0, textEnd - 30); x < std::min(shot.width(), textEnd + 6); ++x)
      for (int y = end.top(); y <= end.bottom(); ++y) inked |= shot.pixelColor(x, y) != background;
    QVERIFY2(inked, "no text painted at the end of the long line");

    const int x = list->horizontalScrollBar()->value();
    std::string more = "more";
    gui->Core().PostMsg2(more);
    QCOMPARE(list->horizontalScrollBar()->value(), x);
  }

  // Cancelling chooses nothing. The dialog opens in the current directory
  // with "*.s19" selected in its name box, which Enter only applies as a
  // filter; a typed name replaces it and is chosen by Enter.
  void selectSourceFileThroughTheFileDialog() {
    gui->WhenModal<QFileDialog>([](QFileDialog* dialog) {
      QTest::keyClick(dialog, Qt::Key_Escape);
      return true;
    });
    gui->Click(gui->Button("SelectSourceFile"));
    QCOMPARE(gui->Core().S.SourceFileSelected, 0);

    QStringList filters;
    QString directory, nameBox, selected;
    bool patternKeptItOpen = false;
    gui->WhenModal<QFileDialog>([&](QFileDialog* dialog) {
      filters = dialog->nameFilters();
      directory = dialog->directory().absolutePath();
      if (auto* box = qobject_cast<QLineEdit*>(dialog->focusWidget())) {
        nameBox = box->text();
        selected = box->selectedText();
        QTest::keyClick(box, Qt::Key_Return);
        patternKeptItOpen = dialog->isVisible() && box->selectedText() == nameBox;
      }
      GuiApp::TypeFileName(dialog, QStringLiteral("B.S19"));
      return true;
    });
    gui->Click(gui->Button("SelectSourceFile"));
    QCOMPARE(filters, QStringList{QStringLiteral("S19 Files (*.S19 *.s19)")});
    QCOMPARE(nameBox, QStringLiteral("*.s19"));
    QCOMPARE(selected, QStringLiteral("*.s19"));
    QVERIFY(patternKeptItOpen);
    QCOMPARE(QDir(directory).canonicalPath(), QDir(folder.path()).canonicalPath());
    QCOMPARE(QFileInfo(gui->MainText("Text2")->text()).canonicalFilePath(),
             QFileInfo(folder.filePath(QStringLiteral("B.S19"))).canonicalFilePath());
    QCOMPARE(gui->Core().S.SourceFileSelected, 1);
  }

  // Its texts; modeless without owner and one box at a time; Enter (on the
  // default OK) and Esc each close and unload it.
  void aboutBox() {
    QPointer<AboutDialog> about = OpenAbout();
    QVERIFY(about);
    QCOMPARE(about->windowTitle(), QStringLiteral("About QRB FLASH Download"));
    const std::pair<const char*, const char*> texts[] = {
        {"lblTitle", "QRB FLASH Download"}, {"lblVersion", "Version 1.9.0"}, {"cmdOK", "OK"},
        {"cmdSysInfo", "&System Info..."},
        {"lblDescription", "This application is intended to be used to download operational firmware to the "
                           "QRB-260 or QRB-530 on-board FLASH device."}};
    for (const auto& [name, text] : texts) QCOMPARE(about->findChild<QWidget*>(name)->property("text").toString(), QString::fromLatin1(text));
    QVERIFY(about->findChild<QLabel*>("lblDisclaimer")->text().contains(QStringLiteral("support@example.com")));
    QCOMPARE(about->focusWidget()->objectName(), QStringLiteral("cmdOK"));
    QCOMPARE(about->minimumSize(), about->maximumSize());
    QVERIFY(about->parentWidget() == nullptr);
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
    gui->ChooseHelpAbout();  // only brings the box forward
    QCOMPARE(gui->Main().About(), about);
    const QWidgetList all = QApplication::topLevelWidgets();
    QCOMPARE(std::count_if(all.begin(), all.end(), [](QWidget* w) { return qobject_cast<AboutDialog*>(w); }), 1);

    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
      if (about.isNull()) about = OpenAbout();
      QVERIFY(about);
      QTest::keyClick(about->focusWidget(), key);
      QTRY_VERIFY(about.isNull());
      QVERIFY(gui->Main().isVisible());
    }
  }

  // Without a tool a message says so; otherwise the preferred tool starts,
  // though later on PATH. The box stays open either way.
  void systemInfoStartsThePreferredToolOrSaysItIsUnavailable() {
    QTemporaryDir first, second;
    qputenv("PATH", first.path().toLocal8Bit());
    AboutDialog* about = OpenAbout();
    QVERIFY(about);
    QString text, title;
    gui->WhenModal<QMessageBox>([&](QMessageBox* box) {
      std::tie(text, title) = std::pair{box->text(), box->windowTitle()};
      QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
      return true;
    });
    QTest::mouseClick(about->findChild<QPushButton*>("cmdSysInfo"), Qt::LeftButton);
    QCOMPARE(text, QStringLiteral("System Information Is Unavailable At This Time"));
    QCOMPARE(title, QStringLiteral("QRB FLASH Download"));

    FakeTool(first.filePath(QStringLiteral("kinfocenter")));
    FakeTool(second.filePath(QStringLiteral("gnome-system-monitor")));
    qputenv("PATH", (first.path() + QLatin1Char(':') + second.path()).toLocal8Bit());
    QTest::mouseClick(about->findChild<QPushButton*>("cmdSysInfo"), Qt::LeftButton);
    QTRY_VERIFY(QFile::exists(second.filePath(QStringLiteral("gnome-system-monitor.started"))));
    QVERIFY(!QFile::exists(first.filePath(QStringLiteral("kinfocenter.started"))));
    QVERIFY(about->isVisible());
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
