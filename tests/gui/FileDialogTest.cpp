// "Select Source File" through the real file dialog.
#include <QDir>
#include <QFile>
#include <QListView>
#include <memory>

#include "GuiApp.h"

namespace qrb::test {

class FileDialogTest : public QObject {
  Q_OBJECT

  std::unique_ptr<GuiApp> gui;
  QTemporaryDir folder;
  QString savedCurrent;

  // Once the file dialog lists `entries` enabled files, hands it and their
  // sorted names to `answer`.
  void WhenDialogLists(int entries, std::function<void(QFileDialog*, QStringList)> answer) {
    gui->WhenModal<QFileDialog>([=](QFileDialog* dialog) {
      auto* view = dialog->findChild<QListView*>(QStringLiteral("listView"));
      QStringList names;
      const QModelIndex root = view->rootIndex();
      for (int row = 0; row < view->model()->rowCount(root); ++row) {
        const QModelIndex index = view->model()->index(row, 0, root);
        if (view->model()->flags(index) & Qt::ItemIsEnabled) names << index.data().toString();
      }
      if (names.size() < entries) return false;  // still being read
      names.sort();
      answer(dialog, names);
      return true;
    });
  }

 private slots:
  void initTestCase() {
    for (const char* name : {"a.s19", "B.S19", "c.txt"}) {
      QFile file(folder.filePath(QString::fromLatin1(name)));
      QVERIFY(file.open(QIODevice::WriteOnly));
      file.write("S9030000FC\r\n");
    }
    savedCurrent = QDir::currentPath();
    QDir::setCurrent(folder.path());  // the dialog opens in the current directory
  }
  void cleanupTestCase() { QDir::setCurrent(savedCurrent); }
  void init() {
    gui = std::make_unique<GuiApp>();
    QVERIFY(QTest::qWaitForWindowExposed(&gui->Main()));
  }
  void cleanup() { gui.reset(); }

  void nameFiltersOfferBothCases() {
    QCOMPARE(NameFilters("S19 Files (*.S19)"), QStringList{QStringLiteral("S19 Files (*.S19 *.s19)")});
    QCOMPARE(NameFilters("Images|*.s19;*.srec|All|*.*"),
             (QStringList{QStringLiteral("Images (*.s19 *.S19 *.srec *.SREC)"), QStringLiteral("All (*.*)")}));
    QCOMPARE(NameFilters("Anything"), QStringList{QStringLiteral("Anything (*)")});
  }

  // Both cases of S19 files are listed; the chosen one's path is shown.
  void choosingAFileOpensItAndShowsItsPath() {
    QStringList listed;
    QString directory;
    WhenDialogLists(2, [&](QFileDialog* dialog, QStringList names) {
      listed = names;
      directory = dialog->directory().absolutePath();
      GuiApp::TypeFileName(dialog, QStringLiteral("B.S19"));
    });
    gui->Click(gui->Button("SelectSourceFile"));
    QCOMPARE(listed, (QStringList{QStringLiteral("B.S19"), QStringLiteral("a.s19")}));
    QCOMPARE(QDir(directory).canonicalPath(), QDir(folder.path()).canonicalPath());
    QCOMPARE(QDir(gui->MainText("Text2")->text()).canonicalPath(),
             QDir(folder.filePath(QStringLiteral("B.S19"))).canonicalPath());
    QCOMPARE(gui->Core().S.SourceFileSelected, 1);
  }

  void cancelLeavesNoFileChosen() {
    WhenDialogLists(2, [](QFileDialog* dialog, QStringList) { QTest::keyClick(dialog, Qt::Key_Escape); });
    gui->Click(gui->Button("SelectSourceFile"));
    QVERIFY(gui->MainText("Text2")->text().isEmpty());
    QCOMPARE(gui->Core().S.SourceFileSelected, 0);
    QCOMPARE(gui->LastLine("List2"), QStringLiteral("S19 source file selection cancelled."));
  }
};

}  // namespace qrb::test

QTEST_MAIN(qrb::test::FileDialogTest)
#include "FileDialogTest.moc"
