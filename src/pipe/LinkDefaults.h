// The link settings a fresh start offers, used by the program, the command
// line and the settings dialog alike.
#pragma once

#include <chrono>
#include <cstdint>

namespace qrb {

inline constexpr const char* DefaultIPAddress = "192.168.1.70";
inline constexpr std::int32_t DefaultPortNumber = 10001;
// How long opening the Ethernet link may take.
inline constexpr std::chrono::milliseconds DefaultConnectTimeout{10000};

}  // namespace qrb
