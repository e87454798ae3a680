// What is kept of one board's run: its lines, its blocks and its verdict,
// for the summary and the report.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "CliOptions.h"

namespace qrb::cli {

enum class BoardOutcome { Refused, Failed, Succeeded };

// One line of the two lists, as posted.
struct PostedLine {
  bool status;  // Status list, else Debug list
  std::string text;
};

struct BlockResult {
  std::int32_t address;
  std::int32_t mismatches;  // -1 for a block read back to a file
  std::int32_t reads = 0;   // a block read back to a file: the reads it took
  bool unchanged = false;   // the board held it already: not written
};

// What the report and the summary need of one board's run.
struct BoardRecord {
  std::string name;
  CliBoard board;
  BoardOutcome outcome = BoardOutcome::Refused;
  std::string refusal;      // why the run did not start
  bool cannotOpen = false;  // the link or the file could not be opened
  std::int32_t startupIdleVersion = -1;
  std::int32_t flashModeVersion = -1;
  std::int32_t totalErrors = 0;
  std::int32_t blocksWritten = 0, blocksUnchanged = 0;
  std::vector<BlockResult> blocks;
  std::vector<PostedLine> lines;
  std::chrono::system_clock::time_point started{}, ended{};
  double Seconds() const { return std::chrono::duration<double>(ended - started).count(); }
};

}  // namespace qrb::cli
