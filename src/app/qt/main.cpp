// qrb-flash: the QRB FLASH download tool's window.
#include <QApplication>
#include <cstdio>
#include <cstring>

#include "Version.h"
#include "app/AboutBox.h"
#include "app/qt/ListMirror.h"
#include "app/qt/MainStartUp.h"
#include "app/qt/core/QtApplication.h"
#include "pipe/qt/QtSerialLibrary.h"
#include "pipe/qt/QtTcpControl.h"

namespace {

constexpr const char* Usage =
    "Usage: qrb-flash [QT-OPTION...]\n"
    "\n"
    "The QRB FLASH Download window: programs and verifies the FLASH of QRB-260 and\n"
    "QRB-530 interface boards from S19 files over a serial port or TCP.\n"
    "\n"
    "Options:\n"
    "  -h, --help     this help\n"
    "  -V, --version  the version\n"
    "Qt's own options (-platform NAME, -style NAME, -display DISPLAY ...) are taken\n"
    "as every Qt program takes them. qrb-flash-cli runs the same steps without a\n"
    "window.\n";

int UsageError(const char* word) {
  std::fprintf(stderr, "qrb-flash: %s %s\nRun 'qrb-flash --help' for the usage.\n",
               word[0] == '-' ? "unknown option" : "unexpected argument", word);
  return 2;
}

}  // namespace

int main(int argc, char* argv[]) {
  // Answered before the window system is asked for anything.
  for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(Usage, stdout);
      return std::fflush(stdout) == 0 ? 0 : 1;
    }
    if (std::strcmp(argv[i], "--version") == 0 || std::strcmp(argv[i], "-V") == 0) {
      std::printf("qrb-flash %s\n", qrb::VersionString);
      return std::fflush(stdout) == 0 ? 0 : 1;
    }
  }

  QApplication app(argc, argv);
  // Qt has taken its own options out of the arguments; the window takes no others.
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "--") != 0) return UsageError(argv[i]);
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
