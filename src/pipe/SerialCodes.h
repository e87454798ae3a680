// Result codes of the serial library. Every call but GetByte returns Ok on
// success and one of the negative codes below on failure; the caller stores
// the code in ComStatus and shows it in decimal. -1 is left out on purpose:
// it is GetByte's "no byte", never an error.
#pragma once

#include <cstdint>
#include <string_view>

namespace qrb::SerialCode {

inline constexpr std::int32_t Ok = 0;
// The device that stands for the COM port does not exist.
inline constexpr std::int32_t NoSuchDevice = -2;
// The device exists but another program holds it (open or locked).
inline constexpr std::int32_t PortBusy = -3;
// The device exists but this user may not open it.
inline constexpr std::int32_t PermissionDenied = -4;
// The call needs an open port and the port is not initialized.
inline constexpr std::int32_t NotOpen = -5;
// An argument outside what the library supports (port number, baud code,
// line characteristics, byte value, pace time).
inline constexpr std::int32_t BadArgument = -6;
// The operating system refused the line settings.
inline constexpr std::int32_t ConfigurationFailed = -7;
// Reading, writing or discarding data failed at the operating system.
inline constexpr std::int32_t IoError = -8;
// InitializePort on a port that is already initialized.
inline constexpr std::int32_t AlreadyOpen = -9;
// Opening failed for a reason not listed above.
inline constexpr std::int32_t OpenFailed = -10;
// The device went away while open (unplugged, or its other end closed):
// nothing more can be read from it.
inline constexpr std::int32_t DeviceGone = -11;

// A short English description of a code, for diagnostics.
constexpr std::string_view Describe(std::int32_t code) {
  switch (code) {
    case Ok: return "success";
    case NoSuchDevice: return "does not exist";
    case PortBusy: return "is busy: another program has it open";
    case PermissionDenied: return "may not be opened: permission denied";
    case NotOpen: return "is not open";
    case BadArgument: return "was given an unsupported setting";
    case ConfigurationFailed: return "refused the line settings";
    case IoError: return "failed to read or write";
    case AlreadyOpen: return "is already open";
    case OpenFailed: return "could not be opened";
    case DeviceGone: return "is gone";
    default: return "failed";
  }
}

}  // namespace qrb::SerialCode
