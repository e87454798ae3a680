// Tick statistics for the benchmarks.
#pragma once

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>

#include "CliOptions.h"
#include "engine/Timing.h"

namespace qrb::cli {

// Tick statistics for the benchmarks, written at the end of a run to the file
// that QRB_TICK_STATS names: the period between ticks and the work of one
// tick, and the process's CPU time so far, in milliseconds; the blocks the
// run got through and, for program and verify, the ticks they take on a board
// in FLASH mode that answers at once. Nothing is measured without the
// variable.
class TickStats {
 public:
  using Clock = std::chrono::steady_clock;
  TickStats() {
    if (const char* path = std::getenv("QRB_TICK_STATS")) path_ = path;
  }
  bool On() const { return !path_.empty(); }
  void Tick(Clock::time_point start, Clock::time_point end) {
    if (last_ != Clock::time_point{}) period_.Add(Ms(start - last_));
    last_ = start;
    work_.Add(Ms(end - start));
  }
  void Write(CliCommand command, int blocks) const {
    std::ofstream out(path_);
    out << "ticks " << work_.n << "\n";
    out << "blocks " << blocks << "\n";
    if (command == CliCommand::Program) out << "ideal_ticks " << timing::ProgramTicks.Of(blocks) << "\n";
    if (command == CliCommand::Verify) out << "ideal_ticks " << timing::VerifyTicks.Of(blocks) << "\n";
    period_.Write(out, "period_ms");
    work_.Write(out, "work_ms");
    out << "cpu_ms " << 1000.0 * static_cast<double>(std::clock()) / CLOCKS_PER_SEC << "\n";
  }

 private:
  static double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }
  struct Sum {
    long n = 0;
    double sum = 0, sumSq = 0, min = 0, max = 0;
    void Add(double v) {
      min = n == 0 ? v : std::min(min, v);
      max = n == 0 ? v : std::max(max, v);
      ++n;
      sum += v;
      sumSq += v * v;
    }
    void Write(std::ofstream& out, const char* name) const {
      const double mean = n > 0 ? sum / static_cast<double>(n) : 0;
      const double variance = n > 0 ? std::max(0.0, sumSq / static_cast<double>(n) - mean * mean) : 0;
      out << name << " mean " << mean << " stddev " << std::sqrt(variance) << " min " << min << " max " << max
          << "\n";
    }
  };
  std::string path_;
  Clock::time_point last_{};
  Sum period_, work_;
};

}  // namespace qrb::cli
