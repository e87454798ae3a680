#include "engine/RunProgress.h"

#include "engine/ProgramModes.h"

namespace qrb {

void RunProgress::Start(int blocks) {
  *this = RunProgress{};
  total_ = blocks;
}

bool RunProgress::Observe(std::int16_t programMode, std::int32_t blockAddress, Clock::time_point now) {
  if (!IsBlockState(programMode)) return false;
  if (seenBlock_ && blockAddress == lastAddress_) return false;
  if (!seenBlock_) firstBlock_ = now;
  seenBlock_ = true;
  lastAddress_ = blockAddress;
  ++started_;
  return true;
}

int RunProgress::Percent() const {
  if (total_ <= 0) return 0;
  const int done = Done() < total_ ? Done() : total_;
  return static_cast<int>(100LL * done / total_);
}

double RunProgress::BytesPerSecond(Clock::time_point now) const {
  const double seconds = std::chrono::duration<double>(now - firstBlock_).count();
  return seenBlock_ && seconds > 0 ? Done() * 256.0 / seconds : 0;
}

int RunProgress::SecondsLeft(Clock::time_point now) const {
  const double rate = BytesPerSecond(now);
  if (rate <= 0 || total_ <= 0) return -1;
  const int left = total_ - Done();
  return static_cast<int>((left > 0 ? left : 0) * 256.0 / rate + 0.5);
}

std::string MinutesSeconds(int seconds) {
  const int s = seconds % 60;
  return std::to_string(seconds / 60) + (s < 10 ? ":0" : ":") + std::to_string(s);
}

}  // namespace qrb
