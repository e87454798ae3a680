// A program or verify run without a window: the main window's core with
// headless controls (the Status list prints to stdout, the Debug list to
// stderr), driven along the GUI's own path: Select Data Pipe, the dialog's
// choices and Initialize, Select Source File, Program or Verify FLASH, ticks
// until the run ends, and the link closed again.
#pragma once

#include "CliOptions.h"

namespace qrb::cli {

// Needs a QCoreApplication. Returns the process exit status (0, 1 or 2).
int HeadlessRun(const CliOptions& options);

}  // namespace qrb::cli
