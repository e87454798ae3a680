// The usual reason why the reader stops on a line of a file, told from the
// file's own characters: what other toolchains write and the reader does not
// take. `check` prints it; a refused start shows it in the window.
#pragma once

#include <string>

namespace qrb {

struct LikelyCause {
  std::string Text;  // empty when none of the known causes is there
  int Line = 0;      // the line that holds the fault (the stop's line or the one before)
};

// Reads `path` only up to `line` (where the reader stopped), a few
// characters of each line.
LikelyCause FindLikelyCause(const std::string& path, int line);

}  // namespace qrb
