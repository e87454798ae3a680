// The blocks read from a board as an S19 file this program reads back
// cleanly: CR LF line ends, no header, S1, S2 or S3 records as the highest
// address needs and the matching end record. Written to a temporary file and
// put in place only by Commit, so a failed read leaves OUT as it was.
#pragma once

#include <QSaveFile>
#include <QString>
#include <cstdint>

namespace qrb::cli {

class S19Writer {
 public:
  S19Writer(const QString& path, std::uint32_t highestAddress);

  // False with the reason when the file cannot be written.
  bool Open(QString& error);
  // One 256-byte block at `address`; false when the write failed.
  bool Block(std::uint32_t address, const std::uint8_t* bytes);
  // The end record, then the file put in place.
  bool Commit(QString& error);

 private:
  bool Record(char type, std::uint32_t address, const std::uint8_t* data, int count);

  QSaveFile file_;
  int addressBytes_;
};

}  // namespace qrb::cli
