#include "LineOutput.h"

#include <cerrno>
#include <cstring>

namespace qrb::cli {

bool LineOutput::Write(std::FILE* stream, const char* what, const std::string& line) {
  if (stream == failedStream_) return false;
  errno = 0;
  const bool written = std::fprintf(stream, "%s\n", line.c_str()) >= 0 && std::fflush(stream) == 0;
  if (written) return true;
  const int error = errno;
  std::clearerr(stream);
  if (failedStream_ != nullptr) return false;  // the first failure is the one reported
  failedStream_ = stream;
  failure_ = std::string("cannot write the ") + what + " to " + (stream == stdout ? "stdout" : "stderr") + ": " +
             (error != 0 ? std::strerror(error) : "write failed");
  return false;
}

void LineOutput::ReportFailure() const {
  if (failedStream_ == nullptr) return;
  std::FILE* working = failedStream_ == stderr ? stdout : stderr;
  std::fprintf(working, "qrb-flash-cli: %s\n", failure_.c_str());
  std::fflush(working);
}

}  // namespace qrb::cli
