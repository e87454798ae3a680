// Explains a serial-library failure in the operating system's terms: which
// device a COM port stands for and why it could not be opened or set up.
#pragma once

#include <cstdint>
#include <string>

namespace qrb {

class SerialDiagnostics {
 public:
  virtual ~SerialDiagnostics() = default;
  // One line naming the device and the reason for the last failure on port.
  virtual std::string DescribeFailure(std::int32_t port, std::int32_t code) = 0;
};

}  // namespace qrb
