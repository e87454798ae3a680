// The blocks read from a board as an S19 file this program reads back
// cleanly: CR LF line ends, no header, S1, S2 or S3 records as the highest
// address needs and the matching end record. Written through OutputFile and
// put in place only by Commit, so a failed read leaves OUT as it was.
#pragma once

#include <cstdint>
#include <string>

#include "app/qt/core/OutputFile.h"

namespace qrb::cli {

class S19Writer {
 public:
  S19Writer(const std::string& path, std::uint32_t highestAddress);

  // False with the reason when the file cannot be written.
  bool Open(std::string& error);
  // One 256-byte block at `address`; false when the write failed.
  bool Block(std::uint32_t address, const std::uint8_t* bytes);
  // The end record, then the file put in place.
  bool Commit(std::string& error);
  const std::string& Path() const { return file_.Path(); }

 private:
  bool Record(char type, std::uint32_t address, const std::uint8_t* data, int count);

  OutputFile file_;
  int addressBytes_;
};

}  // namespace qrb::cli
