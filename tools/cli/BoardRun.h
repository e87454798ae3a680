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

#include "BoardRecord.h"
#include "CliOptions.h"
#include "engine/BlockObserver.h"

namespace qrb::cli {

class LineOutput;
class ProgressLine;
class S19Writer;
class TickStats;

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
  // With --wait a link that cannot be opened yet is tried again every 250 ms
  // until the wait is over, and only the lines of the last attempt are
  // posted.
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
  // One attempt to open the link: Select Data Pipe, the dialog, Initialize.
  void Attempt();
  // The attempt failed: true when another one is coming.
  bool TryAgain();
  // The waiting is over: the last attempt's lines are posted.
  void StopWaiting();
  double SecondsWaited() const;

  const CliOptions& options_;
  BoardOutput output_;
  BoardRecord record_;
  std::unique_ptr<Parts> parts_;
};

}  // namespace qrb::cli
