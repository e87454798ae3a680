// One board's run without a window: the main window's core with headless
// controls and its own link adapters and timer, driven along the GUI's own
// path: Select Data Pipe, the dialog's choices and Initialize, Select Source
// File, the start button, ticks until the run ends, and the link closed
// again. Several of them share one event loop and never touch each other.
#pragma once

#include <chrono>
#include <cstdio>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "CliOptions.h"
#include "engine/BlockObserver.h"

namespace qrb::cli {

class LineOutput;
class ProgressLine;
class S19Writer;
class TickStats;

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
  std::vector<BlockResult> blocks;
  std::vector<PostedLine> lines;
  std::chrono::system_clock::time_point started{}, ended{};
  double Seconds() const { return std::chrono::duration<double>(ended - started).count(); }
};

// Where a board's lines go: the Status list to stdout, the Debug list and the
// front end's own messages to stderr, each with the prefix.
struct BoardOutput {
  std::string prefix;                // "[name] " with several boards, else empty
  std::FILE* statusStream = stdout;  // the Status list's stream
  LineOutput* lines = nullptr;       // shared by all boards
  std::function<void()> writeFailed; // a line could not be written
  ProgressLine* progress = nullptr;  // a single board on a terminal
  TickStats* tickStats = nullptr;
  bool quiet = false;                // the Debug list only when the board's run fails
};

class BoardRun {
 public:
  BoardRun(const CliOptions& options, const CliBoard& board, BoardOutput output, S19Writer* readOutput = nullptr);
  ~BoardRun();
  BoardRun(const BoardRun&) = delete;
  BoardRun& operator=(const BoardRun&) = delete;

  // Opens the link; a TCP connection completes later (Connecting()).
  // False with the refusal recorded when the link cannot be opened at once.
  bool OpenLink();
  bool Connecting() const;
  // After the connection attempt has settled: false (refusal recorded) when
  // the link is not open.
  bool LinkReady();
  // Selects the file and presses the start button; false when the run did
  // not start. `ended` is called once the run has ended.
  bool Start(std::function<void()> ended);
  bool Running() const;
  // Presses the run's "Abort" button (a stop signal, a line that could not
  // be written); the run's end is then not reported through `ended`.
  void Abort();
  // Closes the link and completes the record; once.
  void Finish();

  const BoardRecord& Record() const { return record_; }

 private:
  struct Parts;
  void Post(bool status, const std::string& line);
  // Why the run did not start, on stderr and in the record.
  void Complain(const std::string& message);
  // A message of the front end's own on stderr.
  void Say(const std::string& message);

  const CliOptions& options_;
  BoardOutput output_;
  BoardRecord record_;
  std::unique_ptr<Parts> parts_;
};

}  // namespace qrb::cli
