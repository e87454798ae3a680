// Loading and saving the simulated board's FLASH: a raw binary placed at a
// base address, or Motorola S-records.
#pragma once

#include <cstdint>
#include <string>

#include "BoardModel.h"

namespace qrb::sim {

enum class FlashFormat { Binary, SRecord };

// S-records for .s19/.s28/.s37/.srec/.mot, binary otherwise.
FlashFormat FormatForPath(const std::string& path);

// Each returns an empty string on success, else what went wrong.
std::string LoadFlash(BoardModel& board, const std::string& path, std::uint32_t base);
// A binary covers base up to the end of the highest written block (never-written
// bytes as 0xFF); S-records hold every written block as S3 records.
std::string SaveFlash(const BoardModel& board, const std::string& path, std::uint32_t base);

// The lowest written block's address, or 0 when nothing was written.
std::uint32_t LowestWrittenAddress(const BoardModel& board);

}  // namespace qrb::sim
