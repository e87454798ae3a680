// An independent reading of an S19 file for the fuzz targets' oracle: what
// the file says the board's FLASH must hold, 256-byte blocks with 0xFF where
// no data falls, and whether the file reads cleanly. It follows the reader's
// layout (type, count, address, data, checksum pair, two-character line end;
// data ends at S5/S7/S8/S9 or at the end of the file) but shares no code with
// it.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "BoardModel.h"

namespace qrb::test {

struct ReferenceImage {
  // False when anything makes the data unreliable: a character that is not an
  // upper-case hexadecimal digit where a number is read, a file that ends
  // inside a record's data, a record type other than S1/S2/S3/S5/S7/S8/S9, a
  // count too small for the address, or data beyond 0x7FFFFFFF.
  bool Clean = true;
  std::map<std::uint32_t, sim::FlashBlock> Blocks;  // last write wins
};

ReferenceImage ReadReferenceImage(std::string_view file);

// S3 records with CR LF line ends and right checksums for `length` bytes from
// `first`, `perRecord` bytes to a record, the data a pattern of the address.
std::string S3Records(std::uint32_t first, std::size_t length, std::size_t perRecord);
inline constexpr std::string_view S7EndRecord = "S70500000000FA\r\n";

}  // namespace qrb::test
