// Number formatting used in every message, and the reading of one digit.
#pragma once

#include <cstdint>
#include <string>

namespace qrb {

// Upper-case hexadecimal without leading zeros ("2E", "0"); negative values
// are shown as their 32-bit two's complement.
std::string Hex(std::int64_t value);

// Decimal without a leading blank; a minus sign when negative.
std::string Dec(std::int64_t value);

// The value of an upper-case hexadecimal digit ("0" to "9", "A" to "F"), or -1.
int HexDigit(unsigned char code);

}  // namespace qrb
