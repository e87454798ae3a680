// The one sequential input file: opened read-only in binary mode and read
// strictly forward, a few characters at a time. Only a regular file is
// opened; anything else (a directory, a FIFO, a device) is refused with the
// reason, without ever waiting on it.
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

  // False when the file cannot be opened; Reason() then says why.
  bool Open(const std::string& path);
  void Close();
  bool IsOpen() const { return file_ != nullptr; }
  // Why the last Open failed, in lower case: "is a directory", "is not a
  // regular file", "no such file or directory", "permission denied" ...
  const std::string& Reason() const { return reason_; }
  // Reads up to count characters; fewer only at the end of the file.
  std::string Read(std::size_t count);
  // True when no character is left (or no file is open).
  bool AtEnd();
  // Back to the first character.
  void Rewind();
  // The line the next character stands on, counting from 1 (CR LF, LF and a
  // lone CR each end a line).
  int Line() const { return lineEnds_ + 1; }

 private:
  void Count(const std::string& chars);

  std::FILE* file_ = nullptr;
  std::string reason_;
  int lineEnds_ = 0;
  bool afterCr_ = false;
};

}  // namespace qrb
