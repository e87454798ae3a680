// The serial library's port record.
#pragma once

#include <cstdint>

namespace qrb {

// The chosen line characteristics.
struct ComPortRecord {
  std::int32_t BaudCode = 0;
  std::int16_t Characteristic[4] = {0, 0, 0, 0};
};

}  // namespace qrb
