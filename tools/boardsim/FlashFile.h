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

// Each returns an empty string on success, else what went wrong (with the
// system's reason). Only a regular file of at most 64 MiB is loaded.
std::string LoadFlash(BoardModel& board, const std::string& path, std::uint32_t base);
// A binary covers base up to the end of the highest written block (never-written
// bytes as 0xFF); S-records hold every written block as S3 records.
std::string SaveFlash(const BoardModel& board, const std::string& path, std::uint32_t base);

// Whether SaveFlash will be able to write path, checked before the board
// runs: empty when it will, else the reason. Leaves no new file behind.
std::string CheckSavePath(const std::string& path);

// The lowest written block's address, or 0 when nothing was written.
std::uint32_t LowestWrittenAddress(const BoardModel& board);

}  // namespace qrb::sim
