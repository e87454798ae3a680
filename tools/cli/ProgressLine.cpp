#include "ProgressLine.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/ProgramModes.h"

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

namespace qrb::cli {
bool ProgressLine::StderrCanDraw() {
#if defined(_WIN32)
  return _isatty(_fileno(stderr)) != 0;
#else
  // A terminal that cannot move its cursor back (TERM=dumb, an editor's
  // shell buffer) or whose kind is unknown would show the escape codes.
  const char* term = std::getenv("TERM");
  return ::isatty(STDERR_FILENO) != 0 && term != nullptr && *term != '\0' && std::strcmp(term, "dumb") != 0;
#endif
}

void ProgressLine::Observe(std::int16_t programMode, std::int32_t blockAddress) {
  if (!enabled_ || done_ || !IsBlockState(programMode)) return;
  if (seenBlock_ && blockAddress == lastAddress_) return;
  if (!seenBlock_) firstBlock_ = std::chrono::steady_clock::now();
  seenBlock_ = true;
  lastAddress_ = blockAddress;
  ++started_;
  Show();
}

std::string ProgressLine::Text() const {
  char text[160];
  const int done = started_ > 0 ? started_ - 1 : 0;
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - firstBlock_).count();
  const double rate = seconds > 0 ? done * 256.0 / seconds : 0;
  if (rate > 0 && total_ > 0) {
    const int left = static_cast<int>((total_ - done) * 256.0 / rate + 0.5);
    std::snprintf(text, sizeof text, "block %d of %d, %.0f bytes/s, %d:%02d left", started_, total_, rate,
                  left / 60, left % 60);
  } else {
    std::snprintf(text, sizeof text, "block %d of %d", started_, total_);
  }
  return text;
}

void ProgressLine::Hide() {
  if (!enabled_ || !visible_) return;
  std::fputs("\r\033[K", stderr);
  std::fflush(stderr);
  visible_ = false;
}

void ProgressLine::Show() {
  if (!enabled_ || done_ || started_ == 0) return;
  std::fprintf(stderr, "\r\033[K%s", Text().c_str());
  std::fflush(stderr);
  visible_ = true;
}

}  // namespace qrb::cli
