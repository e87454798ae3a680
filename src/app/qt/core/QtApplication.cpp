#include "app/qt/core/QtApplication.h"

#include <QCoreApplication>

namespace qrb {

void QtApplication::EndProgram() { QCoreApplication::exit(0); }

}  // namespace qrb
