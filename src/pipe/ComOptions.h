// The values the settings dialog offers for the serial link, in the dialog's
// order; each option's index is also the value of its option button.
#pragma once

#include <array>
#include <cstdint>

namespace qrb {

// One option of a group of four.
struct ComOption {
  std::int16_t index;
  const char* caption;  // the option button's
};

inline constexpr std::array<ComOption, 4> ComPortOptions{{{1, "COM1:"}, {2, "COM2:"}, {3, "COM3:"}, {4, "COM4:"}}};
inline constexpr std::array<ComOption, 4> ComIoOptions{{{0x3F8, "3F8"}, {0x2F8, "2F8"}, {0x3E8, "3E8"}, {0x2E8, "2E8"}}};
inline constexpr std::array<ComOption, 4> ComIrqOptions{{{4, "4"}, {3, "3"}, {5, "5"}, {7, "7"}}};

// A line speed: the dialog's speed code (ComSpeed), the serial library's baud
// code, the speed in baud and how the link and the dialog name it.
struct ComSpeedOption {
  std::int16_t index;
  std::int32_t baudCode;
  std::int32_t baud;
  const char* caption;  // the option button's
  const char* text;     // the link's, after "COMn: at "
};

inline constexpr std::array<ComSpeedOption, 4> ComSpeedOptions{{
    {1, 8, 19200, "19.2 k", "19.2 kbaud"},
    {2, 9, 38400, "38.4 k", "38.4 kbaud"},
    {3, 10, 57600, "57.6 k", "57.6 kbaud"},
    {4, 11, 115200, "115.2 k", "115.2 kbaud"},
}};

// The speed option of a speed code 1..4, or null.
inline constexpr const ComSpeedOption* ComSpeedOf(std::int16_t speedCode) {
  for (const ComSpeedOption& o : ComSpeedOptions)
    if (o.index == speedCode) return &o;
  return nullptr;
}

// The speed option of a serial library baud code, or null.
inline constexpr const ComSpeedOption* ComSpeedOfBaudCode(std::int32_t baudCode) {
  for (const ComSpeedOption& o : ComSpeedOptions)
    if (o.baudCode == baudCode) return &o;
  return nullptr;
}

// The speed in baud of a speed code 1..4, or 0.
inline constexpr std::int32_t ComBaudRate(std::int16_t speedCode) {
  const ComSpeedOption* o = ComSpeedOf(speedCode);
  return o != nullptr ? o->baud : 0;
}

// Whether value is the index of one of the options.
inline constexpr bool IsComOption(const std::array<ComOption, 4>& options, std::int32_t value) {
  for (const ComOption& o : options)
    if (o.index == value) return true;
  return false;
}

}  // namespace qrb
