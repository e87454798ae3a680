// The program as the start-up routine assembles it, with the real serial
// library (on device names that do not exist) and the real TCP control; only
// the way out is recorded instead of ending the test.
#pragma once

#include <QtTest>
#include <QtWidgets>

#include "app/qt/MainStartUp.h"
#include "pipe/qt/QtSerialLibrary.h"
#include "pipe/qt/QtTcpControl.h"

namespace qrb::test {

struct RecordingApp : Application {
  int ended = 0;
  void EndProgram() override { ++ended; }
};

struct GuiApp {
  // What the window remembers across starts goes to a folder of the test
  // process's own; every GuiApp starts without it unless told to keep it.
  explicit GuiApp(bool keepSettings = false) {
    static QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    if (!keepSettings) QSettings(QStringLiteral("qrb-flash"), QStringLiteral("qrb-flash")).clear();
    startUp.Main();
    if (!QTest::qWaitForWindowExposed(&Main())) qFatal("the main window was not shown");
  }

  QTemporaryDir devices;  // COMn stands for a missing file in here
  QtSerialLibrary serial{[this](int port) { return devices.filePath(QStringLiteral("COM%1").arg(port)); }};
  QtTcpControl winsock1Data;
  RecordingApp app;
  MainStartUp startUp{MainWindowPorts{serial, winsock1Data, app, &serial}};

  MainWindow& Main() { return startUp.Form1Window(); }
  Form2Dialog& Settings() { return startUp.Form2Window(); }
  Form1& Core() { return Main().Core(); }

  template <typename W = QWidget>
  W* In(QWidget& window, const QString& name) {
    auto* widget = window.findChild<W*>(name);
    if (widget == nullptr) qFatal("no widget %s", qPrintable(name));
    return widget;
  }
  QPushButton* Button(const char* name) { return In<QPushButton>(Main(), name); }
  QListWidget* List(const char* name) { return In<QListWidget>(Main(), name); }
  QRadioButton* Option(const char* name, int index) {
    return In<QRadioButton>(Settings(), QStringLiteral("%1_%2").arg(name).arg(index));
  }
  QLineEdit* SettingsText(const char* name) { return In<QLineEdit>(Settings(), name); }
  QStringList Lines(const char* list) {
    QStringList lines;
    for (int i = 0; i < List(list)->count(); ++i) lines << List(list)->item(i)->text();
    return lines;
  }
  QString LastLine(const char* list) { return Lines(list).value(List(list)->count() - 1); }
  // Each named child of `window` says what it must.
  void ExpectTexts(QWidget& window, std::initializer_list<std::pair<const char*, const char*>> texts) {
    for (const auto& [name, text] : texts) QCOMPARE(In(window, name)->property("text").toString(), QString::fromUtf8(text));
  }

  // An option button on its round indicator, as its caption may end well before the button does.
  void Click(QAbstractButton* b) {
    QTest::mouseClick(b, Qt::LeftButton, {}, qobject_cast<QRadioButton*>(b) ? QPoint(6, b->height() / 2) : b->rect().center());
  }
  static void TypeOver(QLineEdit* box, const QString& text) {
    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(box, text);
  }
  static bool WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
  }

  void ShowSettings() {
    Click(Button("SelectDataPipe"));
    QTRY_COMPARE(QApplication::activeWindow(), &Settings());
  }
  // "Select Source File", the path typed into the file dialog.
  void ChooseFile(const QString& path) {
    AnswerFileDialog(path);
    Click(Button("SelectSourceFile"));
    QCOMPARE(Core().S.SourceFileSelected, std::int16_t{1});
  }

  // Polls for the next modal dialog of type D and hands it to `answer`
  // until that returns true (done with it).
  template <typename D>
  void WhenModal(std::function<bool(D*)> answer) {
    auto* poll = new QTimer(&Main());
    QObject::connect(poll, &QTimer::timeout, poll, [poll, answer] {
      auto* dialog = qobject_cast<D*>(QApplication::activeModalWidget());
      if (dialog == nullptr) return;
      if (QApplication::activeWindow() != dialog) {
        dialog->windowHandle()->requestActivate();  // as a window manager does
      } else if (answer(dialog)) {
        poll->stop();
        poll->deleteLater();
      }
    });
    poll->start(10);
  }

  // Types `path` where a file dialog has the focus and presses Enter.
  static void TypeFileName(QFileDialog* dialog, const QString& path) {
    QWidget* focus = dialog->focusWidget();
    if (focus == nullptr) qFatal("no focus in the file dialog");
    QTest::keyClicks(focus, path);
    QTest::keyClick(focus, Qt::Key_Return);
  }
  void AnswerFileDialog(const QString& path) {
    WhenModal<QFileDialog>([path](QFileDialog* dialog) {
      TypeFileName(dialog, path);
      return true;
    });
  }

  // A menu item by mouse, through the menu bar and its pop-up.
  void ChooseMenu(const char* menuName, const char* itemName) {
    QMenu* menu = In<QMenu>(Main(), menuName);
    QTest::mouseClick(Main().menuBar(), Qt::LeftButton, {}, Main().menuBar()->actionGeometry(menu->menuAction()).center());
    QTRY_VERIFY(menu->isVisible());
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(In<QAction>(Main(), itemName)).center());
    QTRY_VERIFY(!menu->isVisible());
  }
};

}  // namespace qrb::test
