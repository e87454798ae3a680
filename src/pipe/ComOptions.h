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

}  // namespace qrb
