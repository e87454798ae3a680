#include "image/SequentialFile.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace qrb {

namespace {

std::string LowerFirst(std::string text) {
  if (!text.empty() && text[0] >= 'A' && text[0] <= 'Z') text[0] = static_cast<char>(text[0] - 'A' + 'a');
  return text;
}

std::string ErrnoText(int error) { return LowerFirst(std::generic_category().message(error)); }

std::string NotRegular(bool directory) { return directory ? "is a directory" : "is not a regular file"; }

#ifndef _WIN32
// Opened without blocking (a FIFO would wait for a writer) and checked on the
// open descriptor, so nothing can be swapped in between.
std::FILE* OpenRegular(const std::string& path, std::string& reason) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    reason = ErrnoText(errno);
    return nullptr;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    reason = NotRegular(S_ISDIR(st.st_mode));
    ::close(fd);
    return nullptr;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  std::FILE* file = ::fdopen(fd, "rb");
  if (file == nullptr) {
    reason = ErrnoText(errno);
    ::close(fd);
  }
  return file;
}
#else
std::FILE* OpenRegular(const std::string& path, std::string& reason) {
  std::error_code ec;
  const auto status = std::filesystem::status(path, ec);
  if (ec) {
    reason = LowerFirst(ec.message());
    return nullptr;
  }
  if (!std::filesystem::is_regular_file(status)) {
    reason = NotRegular(std::filesystem::is_directory(status));
    return nullptr;
  }
  errno = 0;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) reason = errno != 0 ? ErrnoText(errno) : "cannot be opened";
  return file;
}
#endif

}  // namespace

bool SequentialFile::Open(const std::string& path) {
  Close();
  reason_.clear();
  file_ = OpenRegular(path, reason_);
  return file_ != nullptr;
}

void SequentialFile::Close() {
  if (file_ != nullptr) {
    std::fclose(file_);
    file_ = nullptr;
  }
  lineEnds_ = 0;
  afterCr_ = false;
}

std::string SequentialFile::Read(std::size_t count) {
  std::string out;
  if (file_ == nullptr) return out;
  out.resize(count);
  out.resize(std::fread(out.data(), 1, count, file_));
  Count(out);
  return out;
}

void SequentialFile::Count(const std::string& chars) {
  for (const char c : chars) {
    if (c == '\n') {
      ++lineEnds_;
    } else if (afterCr_) {
      ++lineEnds_;  // the CR before this character ended a line alone
    }
    afterCr_ = c == '\r';
  }
}

bool SequentialFile::AtEnd() {
  if (file_ == nullptr) return true;
  const int c = std::fgetc(file_);
  if (c == EOF) return true;
  std::ungetc(c, file_);
  return false;
}

void SequentialFile::Rewind() {
  if (file_ != nullptr) std::rewind(file_);
  lineEnds_ = 0;
  afterCr_ = false;
}

}  // namespace qrb
