// The progress line on a terminal's stderr: blocks done of the total, bytes
// per second and time left. It is erased before every Status and Debug line
// and drawn again after it while the run goes on, so it never mixes with
// them; off when stderr is no terminal that can draw it.
#pragma once

#include <cstdint>
#include <string>

#include "engine/RunProgress.h"

namespace qrb::cli {

class ProgressLine {
 public:
  explicit ProgressLine(bool enabled) : enabled_(enabled) {}

  // stderr is a terminal that can redraw a line (not TERM=dumb or unset).
  static bool StderrCanDraw();

  void SetTotal(int blocks) { progress_.Start(blocks); }
  // Called after every tick: a new block address during the block states
  // counts one block more.
  void Observe(std::int16_t programMode, std::int32_t blockAddress);

  // Erase the line for a Status or Debug line and draw it again afterwards.
  void Hide();
  void Show();
  void Finish() { Hide(); done_ = true; }

 private:
  std::string Text() const;

  bool enabled_;
  bool visible_ = false;
  bool done_ = false;
  RunProgress progress_;
};

}  // namespace qrb::cli
