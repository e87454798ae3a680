// qrb-flash: the QRB FLASH download tool's window.
#include <QApplication>

#include "app/AboutBox.h"
#include "app/qt/ListMirror.h"
#include "app/qt/MainStartUp.h"
#include "app/qt/core/QtApplication.h"
#include "pipe/qt/QtSerialLibrary.h"
#include "pipe/qt/QtTcpControl.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QString::fromLatin1(qrb::AppInfo::Title));
  QApplication::setApplicationVersion(QString::fromLatin1(qrb::VersionString));

  qrb::QtSerialLibrary serial;
  qrb::QtTcpControl winsock1Data;
  qrb::QtApplication endProgram;
  qrb::MainStartUp startUp({serial, winsock1Data, endProgram, &serial});
  startUp.Main();
  qrb::MirrorListsFromEnvironment(&startUp.Form1Window());
  return QApplication::exec();
}
