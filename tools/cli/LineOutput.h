// The lines of the two lists on stdout and stderr, each written and flushed
// at once; the first line that cannot be written is remembered with the
// system's reason.
#pragma once

#include <cstdio>
#include <string>

namespace qrb::cli {

class LineOutput {
 public:
  // stream is stdout or stderr; what names its content in a message.
  // False when the line could not be written (or an earlier one on the same
  // stream failed).
  bool Write(std::FILE* stream, const char* what, const std::string& line);

  bool Failed() const { return failedStream_ != nullptr; }
  // "cannot write the Status list to stdout: No space left on device"
  std::string Failure() const { return failure_; }
  // Says so on whichever of stdout and stderr still works.
  void ReportFailure() const;

 private:
  std::FILE* failedStream_ = nullptr;
  std::string failure_;
};

}  // namespace qrb::cli
