#include "ProgressLine.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

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
  if (!enabled_ || done_) return;
  if (progress_.Observe(programMode, blockAddress)) Show();
}

std::string ProgressLine::Text() const {
  char text[160];
  const double rate = progress_.BytesPerSecond();
  const int left = progress_.SecondsLeft();
  if (left >= 0) {
    std::snprintf(text, sizeof text, "block %d of %d, %.0f bytes/s, %s left", progress_.Started(), progress_.Total(),
                  rate, MinutesSeconds(left).c_str());
  } else {
    std::snprintf(text, sizeof text, "block %d of %d", progress_.Started(), progress_.Total());
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
  if (!enabled_ || done_ || progress_.Started() == 0) return;
  std::fprintf(stderr, "\r\033[K%s", Text().c_str());
  std::fflush(stderr);
  visible_ = true;
}

}  // namespace qrb::cli
