// A program, verify or read run without a window, on one board or several at
// once (one BoardRun each, one event loop): the links opened together, the
// runs started together, a summary table with several boards, the S19 file
// of a read put in place only when every block was read, and the report.
#pragma once

#include "CliOptions.h"

namespace qrb::cli {

// Needs a QCoreApplication. Returns the process exit status (0, 1 or 2).
int HeadlessRun(const CliOptions& options);

}  // namespace qrb::cli
