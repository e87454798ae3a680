// Number formatting used in every message.
#pragma once

#include <cstdint>
#include <string>

namespace qrb {

// Upper-case hexadecimal without leading zeros ("2E", "0"); negative values
// are shown as their 32-bit two's complement.
std::string Hex(std::int64_t value);

// Decimal without a leading blank; a minus sign when negative.
std::string Dec(std::int64_t value);

}  // namespace qrb
