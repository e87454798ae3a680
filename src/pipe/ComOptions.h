// The values the settings dialog offers for the serial link, in the dialog's
// order; each is also the index of its option button.
#pragma once

#include <array>
#include <cstdint>

namespace qrb {

inline constexpr std::array<std::int16_t, 4> ComPorts{1, 2, 3, 4};
inline constexpr std::array<std::int16_t, 4> ComSpeedCodes{1, 2, 3, 4};
inline constexpr std::array<std::int16_t, 4> ComIoAddresses{0x3F8, 0x2F8, 0x3E8, 0x2E8};
inline constexpr std::array<std::int16_t, 4> ComIrqs{4, 3, 5, 7};
// The line speed of each speed code, in baud.
inline constexpr std::array<std::int32_t, 4> ComBaudRates{19200, 38400, 57600, 115200};

// The speed in baud of a speed code 1..4, or 0.
inline constexpr std::int32_t ComBaudRate(std::int16_t speedCode) {
  return speedCode >= 1 && speedCode <= 4 ? ComBaudRates[static_cast<std::size_t>(speedCode - 1)] : 0;
}

}  // namespace qrb
