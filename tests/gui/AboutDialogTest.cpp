// The About box through "Help" > "About": texts, modeless without owner,
// one box at a time, closing by OK, Enter and Esc, System Info.
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

  int AboutBoxes() const {
    int count = 0;
    for (QWidget* w : QApplication::topLevelWidgets()) count += qobject_cast<AboutDialog*>(w) != nullptr && !w->isHidden();
    return count;
  }

  AboutDialog* OpenAbout() {
    gui->ChooseHelpAbout();
    AboutDialog* about = gui->Main().About();
    if (about == nullptr || !QTest::qWaitForWindowExposed(about)) return nullptr;
    return about;
  }

  // A system-information program that leaves a mark named after itself.
  static void FakeTool(QTemporaryDir& dir, const QString& name) {
    QFile script(dir.filePath(name));
    script.open(QIODevice::WriteOnly);
    script.write(QStringLiteral("#!/bin/sh\necho started > '%1.started'\n").arg(dir.filePath(name)).toUtf8());
    script.close();
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

  void showsTitleVersionAndDescription() {
    AboutDialog* about = OpenAbout();
    QVERIFY(about);
    QCOMPARE(about->windowTitle(), QStringLiteral("About QRB FLASH Download"));
    QCOMPARE(about->findChild<QLabel*>("lblTitle")->text(), QStringLiteral("QRB FLASH Download"));
    QCOMPARE(about->findChild<QLabel*>("lblVersion")->text(), QStringLiteral("Version 1.9.0"));
    QCOMPARE(about->findChild<QLabel*>("lblDescription")->text(),
             QStringLiteral("This application is intended to be used to download operational firmware to the "
                            "QRB-260 or QRB-530 on-board FLASH device."));
    const QString disclaimer = about->findChild<QLabel*>("lblDisclaimer")->text();
    QVERIFY(disclaimer.contains(QStringLiteral("support@example.com")));
    QVERIFY(disclaimer.contains(QStringLiteral("555-")));
    QVERIFY(!about->findChild<QLabel*>("picIcon")->pixmap().isNull());

    auto* ok = about->findChild<QPushButton*>("cmdOK");
    auto* sysInfo = about->findChild<QPushButton*>("cmdSysInfo");
    QCOMPARE(ok->text(), QStringLiteral("OK"));
    QVERIFY(ok->isDefault());
    QCOMPARE(sysInfo->text(), QStringLiteral("&System Info..."));
    QCOMPARE(ok->geometry(), QRect(283, 175, 84, 23));
    QCOMPARE(about->size(), QSize(382, 237));
    QCOMPARE(about->minimumSize(), about->maximumSize());
    QCOMPARE(about->focusWidget(), ok);
  }

  void isModelessWithoutOwner() {
    AboutDialog* about = OpenAbout();
    QVERIFY(about);
    QVERIFY(about->parentWidget() == nullptr);
    QVERIFY(!about->isModal());
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
    // The main window still answers.
    gui->Core().PostMsg1("x");
    gui->Click(gui->Button("ClearStatusList"));
    QCOMPARE(gui->List("List1")->count(), 0);
  }

  void secondAboutOnlyBringsTheBoxForward() {
    AboutDialog* first = OpenAbout();
    QVERIFY(first);
    gui->ChooseHelpAbout();
    QCOMPARE(gui->Main().About(), first);
    QCOMPARE(AboutBoxes(), 1);
  }

  void okEnterAndEscEachCloseAndUnloadIt() {
    const std::function<void(AboutDialog*)> closers[] = {
        [](AboutDialog* a) { QTest::mouseClick(a->findChild<QPushButton*>("cmdOK"), Qt::LeftButton); },
        [](AboutDialog* a) { QTest::keyClick(a->focusWidget(), Qt::Key_Return); },
        [](AboutDialog* a) { QTest::keyClick(a->focusWidget(), Qt::Key_Escape); },
    };
    for (const auto& close : closers) {
      QPointer<AboutDialog> about = OpenAbout();
      QVERIFY(about);
      close(about);
      QTRY_VERIFY(about.isNull());  // unloaded
      QCOMPARE(AboutBoxes(), 0);
      QVERIFY(gui->Main().isVisible());
    }
    // The next About loads a fresh box.
    QVERIFY(OpenAbout());
    QCOMPARE(AboutBoxes(), 1);
  }

  void systemInfoStartsTheFirstToolOnPath() {
    QTemporaryDir first, second;
    FakeTool(first, QStringLiteral("kinfocenter"));
    FakeTool(second, QStringLiteral("gnome-system-monitor"));  // preferred, though later on PATH
    qputenv("PATH", (first.path() + QLatin1Char(':') + second.path()).toLocal8Bit());
    AboutDialog* about = OpenAbout();
    QVERIFY(about);
    QTest::mouseClick(about->findChild<QPushButton*>("cmdSysInfo"), Qt::LeftButton);
    QTRY_VERIFY(QFile::exists(second.filePath(QStringLiteral("gnome-system-monitor.started"))));
    QVERIFY(!QFile::exists(first.filePath(QStringLiteral("kinfocenter.started"))));
    QVERIFY(gui->Main().About());  // the box stays open
  }

  void withoutToolSystemInfoSaysSo() {
    QTemporaryDir empty;
    qputenv("PATH", empty.path().toLocal8Bit());
    AboutDialog* about = OpenAbout();
    QVERIFY(about);

    QString text, title;
    QMessageBox::StandardButtons buttons;
    gui->WhenModal<QMessageBox>([&](QMessageBox* box) {
      text = box->text();
      title = box->windowTitle();
      buttons = box->standardButtons();
      QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
      return true;
    });
    QTest::mouseClick(about->findChild<QPushButton*>("cmdSysInfo"), Qt::LeftButton);
    QCOMPARE(text, QStringLiteral("System Information Is Unavailable At This Time"));
    QCOMPARE(title, QStringLiteral("QRB FLASH Download"));
    QCOMPARE(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QVERIFY(gui->Main().About());
    QVERIFY(about->isVisible());
  }
};

}  // namespace qrb::test

QTEST_MAIN(qrb::test::AboutDialogTest)
#include "AboutDialogTest.moc"
