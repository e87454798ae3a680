// The local wall clock.
#pragma once

#include "app/Platform.h"

namespace qrb {

class SystemClock : public Clock {
 public:
  int Seconds() override;  // 0..59 of the local time
};

}  // namespace qrb
