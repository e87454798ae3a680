// qrb-flash-cli check FILE [--fix OUT]: the run's own pre-flight over the
// file, so that its verdict is the run's; errors (the run would be refused)
// and warnings (it would program, but...), a summary, and the one fix.
#pragma once

#include "CliOptions.h"

namespace qrb::cli {

// Needs a QCoreApplication. Returns the process exit status: 0 when a
// program run of the file would start and end with its success lines (with
// --fix: when OUT was written and passes), 1 when not, 2 when the file cannot
// be opened.
int CheckCommand(const CliOptions& options);

}  // namespace qrb::cli
