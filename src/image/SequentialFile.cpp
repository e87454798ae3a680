#include "image/SequentialFile.h"

namespace qrb {

bool SequentialFile::Open(const std::string& path) {
  Close();
  file_ = std::fopen(path.c_str(), "rb");
  return file_ != nullptr;
}

void SequentialFile::Close() {
  if (file_ != nullptr) {
    std::fclose(file_);
    file_ = nullptr;
  }
}

std::string SequentialFile::Read(std::size_t count) {
  std::string out;
  if (file_ == nullptr) return out;
  out.resize(count);
  out.resize(std::fread(out.data(), 1, count, file_));
  return out;
}

bool SequentialFile::AtEnd() {
  if (file_ == nullptr) return true;
  const int c = std::fgetc(file_);
  if (c == EOF) return true;
  std::ungetc(c, file_);
  return false;
}

}  // namespace qrb
