// The one sequential input file: opened read-only in binary mode and read
// strictly forward, a few characters at a time.
#pragma once

#include <cstdio>
#include <string>

namespace qrb {

class SequentialFile {
 public:
  SequentialFile() = default;
  ~SequentialFile() { Close(); }
  SequentialFile(const SequentialFile&) = delete;
  SequentialFile& operator=(const SequentialFile&) = delete;

  bool Open(const std::string& path);
  void Close();
  bool IsOpen() const { return file_ != nullptr; }
  // Reads up to count characters; fewer only at the end of the file.
  std::string Read(std::size_t count);
  // True when no character is left (or no file is open).
  bool AtEnd();

 private:
  std::FILE* file_ = nullptr;
};

}  // namespace qrb
