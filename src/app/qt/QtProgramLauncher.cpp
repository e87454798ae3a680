#include "app/qt/QtProgramLauncher.h"

#include <QFileInfo>
#include <QProcess>

namespace qrb {

bool QtProgramLauncher::FileExists(const std::string& path) {
  return QFileInfo(QString::fromStdString(path)).isFile();
}

bool QtProgramLauncher::StartDetached(const std::string& path) {
  return QProcess::startDetached(QString::fromStdString(path), {});
}

}  // namespace qrb
