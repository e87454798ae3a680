#include "app/qt/core/SystemClock.h"

#include <QTime>

namespace qrb {

int SystemClock::Seconds() { return QTime::currentTime().second(); }

}  // namespace qrb
