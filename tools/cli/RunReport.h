// The record of a run as JSON, for a production line's database: the tool,
// the command line, the image or the file written, the tick, the times, and
// per board its link, what the handshake read, every block, the totals, the
// outcome and every Status and Debug line in order.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "BoardRecord.h"
#include "CliOptions.h"

namespace qrb::cli {

struct RunSummary {
  std::chrono::system_clock::time_point started{}, ended{};
  int exitStatus = 0;
  std::string refusal;  // why no board was started, if so
  std::string tool = "qrb-flash-cli";  // the program that ran it
};

// Written through OutputFile; false with the reason when it could not be
// written.
bool WriteRunReport(const std::string& path, const CliOptions& options, const std::vector<const BoardRecord*>& boards,
                    const RunSummary& summary, std::string& error);

// "succeeded", "failed" or "refused".
const char* OutcomeName(BoardOutcome outcome);

}  // namespace qrb::cli
