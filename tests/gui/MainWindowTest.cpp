// The main window, its file dialog and About box by real clicks and keys.
#include "GuiApp.h"

namespace qrb::test {

class MainWindowTest : public QObject {
  Q_OBJECT

  std::unique_ptr<GuiApp> gui;
  QTemporaryDir folder;  // made the current directory, where the file dialog opens

  AboutDialog* OpenAbout() {
    gui->ChooseMenu("menuHelp", "menuHelpAbout");
    AboutDialog* about = gui->Main().About();
    return about != nullptr && QTest::qWaitForWindowExposed(about) ? about : nullptr;
  }

 private slots:
  void init() { gui = std::make_unique<GuiApp>(); }
  void cleanup() { gui.reset(); }

  // Tab goes round the controls, keypad Enter presses the focused one; the client area holds them all.
  void captionsSizeAndKeys() {
    MainWindow& w = gui->Main();
    gui->ExpectTexts(w, {{"SelectSourceFile", "Select Source File"}, {"ProgramFlash", "Program FLASH"},
                         {"AbortProgram", "Exit / Abort"}, {"SelectDataPipe", "Select Data Pipe"},
                         {"VerifyFlash", "Verify FLASH"}, {"ClearStatusList", "Clear Status"},
                         {"ClearDebugList", "Clear Debug"}, {"Label1", "Status"}, {"Label2", "Debug"}});
    QStringList menus;
    for (QAction* menu : w.menuBar()->actions()) {
      menus << menu->text() + ":";
      for (QAction* item : menu->menu()->actions())
        if (!item->isSeparator())
          menus.last() += " " + item->text() + (item->isCheckable() ? "[ ]" : "") + (item->isEnabled() ? "" : "(off)");
    }
    QCOMPARE(menus, (QStringList{"&File: &Read FLASH to File... Save Run &Report...(off) E&xit",
                                 "&Options: &Fast Transfer[ ] Skip &Unchanged Blocks[ ]", "&Help: &About"}));

    // The focus is marked from the start: without the focus the button is drawn otherwise.
    QCOMPARE(w.focusWidget(), gui->Button("SelectSourceFile"));
    const QImage marked = gui->Button("SelectSourceFile")->grab().toImage();
    gui->Button("ProgramFlash")->setFocus();
    QVERIFY(gui->Button("SelectSourceFile")->grab().toImage() != marked);
    gui->Button("SelectSourceFile")->setFocus();
    for (const char* name : {"ProgramFlash", "AbortProgram", "SelectDataPipe", "Text2", "Text3", "List1", "List2",
                             "VerifyFlash", "ClearStatusList", "ClearDebugList", "SelectSourceFile"}) {
      QTest::keyClick(w.focusWidget(), Qt::Key_Tab);
      QCOMPARE(w.focusWidget()->objectName(), QString::fromLatin1(name));
    }
    QTest::keyClick(w.focusWidget(), Qt::Key_Tab);
    QTest::keyClick(w.focusWidget(), Qt::Key_Enter, Qt::KeypadModifier);
    QCOMPARE(gui->LastLine("List2"), QStringLiteral("** ERROR ** Select an S19 source file."));

    w.resize(800, 700);
    QTest::qWait(0);
    QWidget* client = w.centralWidget();
    QCOMPARE(client->size(), QSize(448, 434));
    for (QWidget* child : client->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
      QVERIFY2(client->rect().contains(child->geometry()), qPrintable(child->objectName()));
  }

  // At most 200 lines, the newest in view and unhighlighted; each clear button empties its own list. A long line is
  // not elided: its end is painted there; a new line keeps the reader's sideways place.
  void messageLists() {
    QListWidget* list = gui->List("List2");
    QScrollBar* sideways = list->horizontalScrollBar();
    gui->Core().PostMsg1("status");
    for (int i = 1; i <= 250; ++i) {
      std::string line = "line " + std::to_string(i);
      gui->Core().PostMsg2(line);
    }
    QCOMPARE((std::tuple{list->count(), list->item(0)->text(), list->currentRow()}),
             (std::tuple{200, QStringLiteral("line 51"), 199}));
    QVERIFY(list->selectedItems().isEmpty() && list->viewport()->rect().contains(list->visualItemRect(list->item(199))));
    gui->Click(gui->Button("ClearStatusList"));
    QCOMPARE((std::pair{gui->List("List1")->count(), list->count()}), (std::pair{0, 200}));
    gui->Click(gui->Button("ClearDebugList"));
    QCOMPARE(list->count(), 0);

    const QString line = QStringLiteral("Ethernet connection lost: The remote host closed the connection | ")
                             .repeated(4).left(200);
    for (std::string text : {std::string("short"), line.toStdString(), std::string("after")}) gui->Core().PostMsg2(text);
    QTest::qWait(0);
    QListWidgetItem* item = list->item(1);
    QCOMPARE(item->text(), line);
    const int advance = list->fontMetrics().horizontalAdvance(line);  // wider than the list
    QVERIFY(list->visualItemRect(item).width() >= advance && advance > list->viewport()->width());
    QVERIFY(sideways->isVisible());
    const QRect newest = list->visualItemRect(list->item(2));
    QVERIFY(newest.top() >= 0 && newest.bottom() < list->viewport()->height());  // above the scroll bar

    sideways->setValue(sideways->maximum());
    const QRect end = list->visualItemRect(item);
    const QImage shot = list->viewport()->grab().toImage();
    const int textEnd = end.left() + advance;
    const QColor background = shot.pixelColor(shot.width() - 1, end.center().y());
    bool inked = false;
    for (int x = std::max(0, textEnd - 30); x < std::min(shot.width(), textEnd + 6); ++x)
      for (int y = end.top(); y <= end.bottom(); ++y) inked |= shot.pixelColor(x, y) != background;
    QVERIFY2(inked, "no text painted at the end of the long line");

    // Scrolled sideways, a line wider than the list keeps the place; one that fits is shown whole from the left.
    const int x = sideways->value();
    for (auto [more, kept] : {std::pair{line.toStdString(), x}, std::pair{std::string("more"), 0}}) {
      gui->Core().PostMsg2(more);
      QCOMPARE(sideways->value(), kept);
    }

    // A start button and either Clear button bring both lists back to their left edge.
    for (const char* button : {"ProgramFlash", "VerifyFlash", "ClearDebugList"}) {
      for (QListWidget* l : {gui->List("List1"), gui->List("List2")}) {
        if (l->count() == 0) gui->Core().PostMsg1(line.toStdString());  // List1, the first time
        l->horizontalScrollBar()->setValue(l->horizontalScrollBar()->maximum());
        QVERIFY(l->horizontalScrollBar()->value() > 0);
      }
      gui->Click(gui->Button(button));
      QVERIFY2(gui->List("List1")->horizontalScrollBar()->value() + sideways->value() == 0, button);
    }
  }

  // Each option by its accelerators: Fast Transfer runs Timer1 at 1 ms, Skip Unchanged Blocks makes
  // "Program FLASH" leave out the blocks the board holds; remembered at the next start; off again by mouse.
  void optionsAreRememberedAcrossStarts() {
    const auto effect = [this] {
      const Form1& core = gui->Core();
      return QStringLiteral("tick %1 ms, time-out %2 ticks, skip %3")
          .arg(core.TickIntervalMs).arg(core.S.FailTimerReload).arg(core.SkipUnchanged);
    };
    const std::tuple<const char*, Qt::Key, const char*> options[] = {  // the item, its accelerator, what it does
        {"menuOptionsFastTransfer", Qt::Key_F, "tick 1 ms, time-out 3000 ticks, skip 0"},  // time-outs stay 3 s
        {"menuOptionsSkipUnchanged", Qt::Key_U, "tick 50 ms, time-out 60 ticks, skip 1"}};
    for (const auto& [name, key, on] : options) {
      QTest::keyClick(&gui->Main(), Qt::Key_O, Qt::AltModifier);
      auto* menu = gui->In<QMenu>(gui->Main(), "menuOptions");
      QTRY_VERIFY(menu->isVisible());
      QTest::keyClick(menu, key);
      QTRY_VERIFY(gui->In<QAction>(gui->Main(), name)->isChecked());
      gui.reset();
      gui = std::make_unique<GuiApp>(true);
      QVERIFY(gui->In<QAction>(gui->Main(), name)->isChecked());
      QCOMPARE(effect(), QString::fromLatin1(on));
      gui->ChooseMenu("menuOptions", name);
      QVERIFY(!gui->In<QAction>(gui->Main(), name)->isChecked());
      QCOMPARE(effect(), QStringLiteral("tick 50 ms, time-out 60 ticks, skip 0"));
    }
  }

  // "*.s19", selected in the name box, is only a filter; a typed name replaces it.
  void selectSourceFileThroughTheFileDialog() {
    QVERIFY(GuiApp::WriteFile(folder.filePath(QStringLiteral("B.S19")), "S9030000FC\r\n"));
    QDir::setCurrent(folder.path());
    QStringList seen;  // filters, folder, name box, its selection, and whether Enter on it kept the dialog open
    gui->WhenModal<QFileDialog>([&](QFileDialog* dialog) {
      auto* box = qobject_cast<QLineEdit*>(dialog->focusWidget());
      seen << dialog->nameFilters() << dialog->directory().canonicalPath() << (box ? box->text() : QString());
      seen << (box ? box->selectedText() : QString());
      if (box) QTest::keyClick(box, Qt::Key_Return);
      seen << (box && dialog->isVisible() && box->selectedText() == seen[2] ? "kept open" : "closed");
      // A mistyped name: the dialog says so and stays open.
      gui->WhenModal<QMessageBox>([&](QMessageBox* message) {
        seen << message->text().split(QLatin1Char('\n')).value(1);
        QTest::keyClick(message, Qt::Key_Return);
        return true;
      });
      GuiApp::TypeFileName(dialog, QStringLiteral("C.S19"));
      seen << (dialog->isVisible() ? "kept open" : "closed");
      dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->clear();
      GuiApp::TypeFileName(dialog, QStringLiteral("B.S19"));
      return true;
    });
    gui->Click(gui->Button("SelectSourceFile"));
    QCOMPARE(seen, (QStringList{"S19 Files (*.S19 *.s19)", QDir(folder.path()).canonicalPath(), "*.s19", "*.s19",
                                "kept open", "File not found.", "kept open"}));
    QCOMPARE(QFileInfo(gui->In<QLineEdit>(gui->Main(), "Text2")->text()).canonicalFilePath(),
             QFileInfo(folder.filePath(QStringLiteral("B.S19"))).canonicalFilePath());
  }

  // One modeless box; "System Info" starts the preferred tool, though later on PATH; Enter and Esc close it.
  void aboutBox() {
    QPointer<AboutDialog> about = OpenAbout();
    QVERIFY(about);
    QCOMPARE(about->windowTitle(), QStringLiteral("About QRB FLASH Download"));
    gui->ExpectTexts(*about, {{"lblTitle", "QRB FLASH Download"}, {"lblVersion", "Version 1.9.0"}, {"cmdOK", "OK"},
                              {"cmdSysInfo", "&System Info..."},
                              {"lblDescription", "This application is intended to be used to download operational "
                                                 "firmware to the QRB-260 or QRB-530 on-board FLASH device."}});
    QVERIFY(gui->In<QLabel>(*about, "lblDisclaimer")->text().contains(QStringLiteral("support@example.com")));
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
    gui->ChooseMenu("menuHelp", "menuHelpAbout");  // only brings the box forward
    QCOMPARE(gui->Main().About(), about);
    const QWidgetList all = QApplication::topLevelWidgets();
    QCOMPARE(std::count_if(all.begin(), all.end(), [](QWidget* w) { return qobject_cast<AboutDialog*>(w); }), 1);

    QTest::keyClick(about->focusWidget(), Qt::Key_Return);
    QTRY_VERIFY(about.isNull());
    about = OpenAbout();
    QVERIFY(about);
    QTemporaryDir first, second;
    for (const QString& tool : {first.filePath("kinfocenter"), second.filePath("gnome-system-monitor")}) {
      QVERIFY(GuiApp::WriteFile(tool, ("#!/bin/sh\n: > '" + tool + ".started'\n").toUtf8()));  // marks its start
      QFile::setPermissions(tool, QFile::ReadOwner | QFile::ExeOwner);
    }
    const auto restorePath = qScopeGuard([path = qgetenv("PATH")] { qputenv("PATH", path); });
    qputenv("PATH", (first.path() + QLatin1Char(':') + second.path()).toLocal8Bit());
    gui->Click(gui->In<QPushButton>(*about, "cmdSysInfo"));
    QTRY_VERIFY(QFile::exists(second.filePath("gnome-system-monitor.started")));
    QVERIFY(!QFile::exists(first.filePath("kinfocenter.started")) && about->isVisible());
    QTest::keyClick(about->focusWidget(), Qt::Key_Escape);
    QTRY_VERIFY(about.isNull());
    QVERIFY(gui->Main().isVisible());
  }

  // The close box and the exit button both run the exit sequence, which may refuse.
  void closeBoxAndExitButtonEndTheProgramUnlessRefused() {
    gui->Core().S.TimerIsrActive = True;
    QVERIFY(!gui->Main().close() && gui->Main().isVisible() && gui->app.ended == 0);
    gui->Core().S.TimerIsrActive = False;
    gui->Click(gui->Button("AbortProgram"));
    QVERIFY(gui->app.ended == 1 && !gui->Main().isVisible());
  }
};

}  // namespace qrb::test

QTEST_MAIN(qrb::test::MainWindowTest)
#include "MainWindowTest.moc"
