// Whole program and verify runs of the core, tick by tick, against the
// board's protocol model in the same process: the main window on plain
// controls and fake ports (as in the unit tests), the PC's packets fed to the
// board, the board's replies handed to the link before each tick.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "BoardModel.h"
#include "Harness.h"

namespace qrb::test {

class InProcessRun {
 public:
  // Chooses the link as the settings dialog does and opens it.
  InProcessRun(Link link, sim::BoardModel& board);

  // "Select Source File" answered with `path`.
  void SelectFile(const std::string& path);

  // Decides, before each tick, which bytes reach the PC; `pending` holds the
  // board's replies not yet delivered (take from its front).
  using Wire = std::function<std::vector<std::uint8_t>(std::vector<std::uint8_t>& pending)>;
  // Every reply reaches the PC before the next tick.
  static std::vector<std::uint8_t> Honest(std::vector<std::uint8_t>& pending);

  // Presses "Program FLASH" or "Verify FLASH" and ticks until ProgramMode is
  // 0 again. Returns the ticks taken, or -1 when the run was still going
  // after maxTicks (or stood still with the timer off).
  int Run(bool program, int maxTicks, const Wire& wire = Honest);

  // The steps of Run, for driving a run tick by tick: the start button (its
  // opening packet reaches the board), then per tick the wire's bytes reach
  // the PC, Timer1 ticks, and the PC's packets reach the board.
  void Start(bool program);
  void DeliverReplies(const Wire& wire = Honest) { Deliver(wire(pending_)); }
  void Tick() { h_.form1.Timer1_Timer(); }
  void ForwardSentPackets();

  bool Succeeded() const;
  // The last run posted the success line of its path.
  bool SuccessLinePosted(bool program) const;
  // "Aborting.  ProgramMode = 0." was posted during the last run.
  bool EndedInAbortSequence() const { return abortPosted_; }

  // Addresses of the blocks the PC sent program-block packets and read-back
  // requests for during the last run.
  const std::set<std::uint32_t>& Programmed() const { return programmed_; }
  const std::set<std::uint32_t>& ReadBack() const { return readBack_; }
  // Blocks the last run found unchanged and did not write (by its Status lines).
  std::set<std::uint32_t> Unchanged() const;
  // Packets of any kind the board received during the last run.
  std::size_t PacketsSent() const { return packets_; }

  Harness& H() { return h_; }
  ReflashSession& S() { return h_.form1.S; }

 private:
  void Deliver(const std::vector<std::uint8_t>& bytes);
  void Take(const std::vector<std::uint8_t>& packet);

  Link link_;
  sim::BoardModel& board_;
  Harness h_;
  std::vector<std::uint8_t> pending_;
  std::set<std::uint32_t> programmed_, readBack_;
  std::size_t packets_ = 0;
  std::vector<std::string> runStatus_;  // Status lines of the last run
  bool abortPosted_ = false;
};

// Every block of `expected` is in `blocks` with the same contents; with
// `exact`, `blocks` holds no other block either.
bool HoldsImage(const std::map<std::uint32_t, sim::FlashBlock>& blocks,
                const std::map<std::uint32_t, sim::FlashBlock>& expected, bool exact);

// A fuzz invariant: on violation, prints what failed and both lists, then aborts.
void Require(bool holds, std::string_view what, InProcessRun& run);

// Runs `run` and requires that it ended through AbortSequence within
// `maxTicks` and that its outcome matches the success line. Returns whether
// it succeeded.
bool RunEnded(InProcessRun& run, bool program, int maxTicks,
              const InProcessRun::Wire& wire = InProcessRun::Honest);

// A file path of this process's own in the temporary directory, removed at exit.
const std::filesystem::path& ScratchFile();
void WriteFile(const std::filesystem::path& path, std::string_view bytes);

}  // namespace qrb::test
