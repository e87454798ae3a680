// How far a run has come, for a progress display: blocks started of the
// total, the rate of the blocks done and the time left. Fed after every tick.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace qrb {

class RunProgress {
 public:
  using Clock = std::chrono::steady_clock;

  // A new run of `blocks` blocks.
  void Start(int blocks);
  // After every tick: a new block address during the block states counts one
  // block more. True when the count changed.
  bool Observe(std::int16_t programMode, std::int32_t blockAddress, Clock::time_point now = Clock::now());

  int Total() const { return total_; }
  int Started() const { return started_; }  // the last one may still be in flight
  // Whole per cent of the blocks done (those before the one in flight).
  int Percent() const;
  // Bytes per second of the blocks done, 0 before the second block starts.
  double BytesPerSecond(Clock::time_point now = Clock::now()) const;
  // Seconds left at that rate, rounded; -1 while no rate is known.
  int SecondsLeft(Clock::time_point now = Clock::now()) const;

 private:
  int Done() const { return started_ > 0 ? started_ - 1 : 0; }

  int total_ = 0;
  int started_ = 0;
  bool seenBlock_ = false;
  std::int32_t lastAddress_ = 0;
  Clock::time_point firstBlock_{};
};

// "1:05": minutes and seconds.
std::string MinutesSeconds(int seconds);

}  // namespace qrb
