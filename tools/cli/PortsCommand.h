// qrb-flash-cli ports [DEVICE...] [--json]: the serial ports the system
// offers, and the devices named, with what the system knows of each.
#pragma once

#include "CliOptions.h"

namespace qrb::cli {

// Needs a QCoreApplication. Returns 0, or 2 when a named device does not
// exist or is no character device.
int PortsCommand(const CliOptions& options);

}  // namespace qrb::cli
