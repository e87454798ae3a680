// The About box through "Help" > "About": texts, modeless without owner, one
// box at a time, closing by OK, Enter and Esc, System Info.
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <memory>

#include "GuiApp.h"

namespace qrb::test {

class AboutDialogTest : public QObject {
  Q_OBJECT

  std::unique_ptr<GuiApp> gui;
  QByteArray savedPath;

  static int AboutBoxes() {
    int count = 0;
    for (QWidget* w : QApplication::topLevelWidgets()) count += qobject_cast<AboutDialog*>(w) && !w->isHidden();
    return count;
  }

  AboutDialog* OpenAbout() {
    gui->ChooseHelpAbout();
    AboutDialog* about = gui->Main().About();
    return about != nullptr && QTest::qWaitForWindowExposed(about) ? about : nullptr;
  }

  static QString Text(AboutDialog* about, const char* label) { return about->findChild<QLabel*>(label)->text(); }

  // A system-information program that leaves a mark named after itself.
  static void FakeTool(const QString& path) {
    QFile script(path);
    script.open(QIODevice::WriteOnly);
    script.write(QStringLiteral("#!/bin/sh\n: > '%1.started'\n").arg(path).toUtf8());
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  }

 private slots:
  void initTestCase() { savedPath = qgetenv("PATH"); }
  void init() {
    gui = std::make_unique<GuiApp>();
    QVERIFY(QTest::qWaitForWindowExposed(&gui->Main()));
  }
  void cleanup() {
    gui.reset();
    qputenv("PATH", savedPath);
  }

  void showsItsTextsModelessAndOnlyOnce() {
    AboutDialog* about = OpenAbout();
    QVERIFY(about);
    QCOMPARE(about->windowTitle(), QStringLiteral("About QRB FLASH Download"));
    QCOMPARE(Text(about, "lblTitle"), QStringLiteral("QRB FLASH Download"));
    QCOMPARE(Text(about, "lblVersion"), QStringLiteral("Version 1.9.0"));
    QCOMPARE(Text(about, "lblDescription"),
             QStringLiteral("This application is intended to be used to download operational firmware to the "
                            "QRB-260 or QRB-530 on-board FLASH device."));
    QVERIFY(Text(about, "lblDisclaimer").contains(QStringLiteral("support@example.com")));
    auto* ok = about->findChild<QPushButton*>("cmdOK");
    QCOMPARE(ok->text(), QStringLiteral("OK"));
    QCOMPARE(about->focusWidget(), ok);
    QCOMPARE(about->findChild<QPushButton*>("cmdSysInfo")->text(), QStringLiteral("&System Info..."));
    QCOMPARE(about->minimumSize(), about->maximumSize());

    QVERIFY(about->parentWidget() == nullptr);
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
    gui->ChooseHelpAbout();  // only brings the box forward
    QCOMPARE(gui->Main().About(), about);
    QCOMPARE(AboutBoxes(), 1);
  }

  void okEnterAndEscEachCloseAndUnloadIt() {
    const std::function<void(AboutDialog*)> closers[] = {
        [](AboutDialog* a) { QTest::mouseClick(a->findChild<QPushButton*>("cmdOK"), Qt::LeftButton); },
        [](AboutDialog* a) { QTest::keyClick(a->focusWidget(), Qt::Key_Return); },
        [](AboutDialog* a) { QTest::keyClick(a->focusWidget(), Qt::Key_Escape); },
    };
    for (const auto& close : closers) {
      QPointer<AboutDialog> about = OpenAbout();  // a fresh box each time
      QVERIFY(about);
      close(about);
      QTRY_VERIFY(about.isNull());
      QCOMPARE(AboutBoxes(), 0);
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
      text = box->text();
      title = box->windowTitle();
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
};

}  // namespace qrb::test

QTEST_MAIN(qrb::test::AboutDialogTest)
#include "AboutDialogTest.moc"
