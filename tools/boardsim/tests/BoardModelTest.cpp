#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "BoardModel.h"
#include "FlashFile.h"

namespace qrb::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;

const Bytes Open{0xF1, 0xA5};
const Bytes EnterFlash{0xE1, 0x96};

Bytes ReadBackPacket(std::uint32_t address, std::uint8_t command = 0x37) {
  return {0x57, command, std::uint8_t(address >> 24), std::uint8_t(address >> 16),
          std::uint8_t(address >> 8), std::uint8_t(address), 0x01, 0x00};
}

Bytes ProgramPacket(std::uint32_t address, std::uint8_t first) {
  Bytes p = ReadBackPacket(address, 0x3A);
  for (int i = 0; i < 256; ++i) p.push_back(static_cast<std::uint8_t>(first + i));
  return p;
}

Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

Bytes FeedAll(BoardModel& board, const Bytes& bytes) { return board.Feed(bytes).Bytes(); }

// The same conversation in pieces of any size gives the same answer and FLASH.
TEST(BoardModel, PacketsMayArriveSplitOrJoined) {
  const Bytes conversation =
      Join({Open, EnterFlash, ProgramPacket(0x1000, 3), ReadBackPacket(0x1000), ReadBackPacket(0x1100)});
  BoardModel whole;
  const Bytes expected = FeedAll(whole, conversation);
  ASSERT_EQ(expected.size(), 5u + 5 + 2 + 258 + 258);
  for (std::size_t piece : {1u, 2u, 3u, 7u, 9u, 263u, 265u}) {
    BoardModel board;
    Bytes got;
    for (std::size_t at = 0; at < conversation.size(); at += piece) {
      const std::size_t n = std::min(piece, conversation.size() - at);
      const Bytes answer = FeedAll(board, Bytes(conversation.begin() + at, conversation.begin() + at + n));
      got.insert(got.end(), answer.begin(), answer.end());
    }
    EXPECT_EQ(got, expected) << "pieces of " << piece;
    EXPECT_EQ(board.Blocks(), whole.Blocks());
  }
}

// A wrong byte of a given value; the FLASH is untouched by it. (The other
// faults, by the lines they cause in the front end: e2e failures.sh.)
TEST(BoardModel, AWrongByteOfAGivenValue) {
  BoardFaults faults;
  faults.WrongByteReply = 3, faults.WrongByteValue = 0x62;
  BoardModel board(BoardMode::StartupIdle, 0x15, faults);
  EXPECT_EQ(FeedAll(board, Join({Open, EnterFlash, ProgramPacket(0x1000, 0)})),
            Join({{0x91, 0x12, 0x92, 0x04, 0x15}, {0x91, 0x2E, 0x92, 0x04, 0x15}, {0x62, 0x3A}}));
  EXPECT_EQ(board.ReadByte(0x1001), 1);
}

TEST(BoardModel, SplitReplyComesInTwoHalvesWithTheDelay) {
  BoardFaults faults;
  faults.SplitReply = 1, faults.SplitDelayMs = 150;
  BoardModel board(BoardMode::Flash, 0x15, faults);
  const BoardReply reply = board.Feed(Open);
  ASSERT_EQ(reply.Segments.size(), 2u);
  EXPECT_EQ(reply.Segments[0].Bytes, (Bytes{0x91, 0x2E}));
  EXPECT_EQ(reply.Segments[1].Bytes, (Bytes{0x92, 0x04, 0x15}));
  EXPECT_EQ(reply.Segments[0].DelayMs, 0);
  EXPECT_EQ(reply.Segments[1].DelayMs, 150);
}

std::string TempPath(const char* name) { return ::testing::TempDir() + name; }

TEST(FlashFile, RefusesDamagedSRecords) {
  const std::string path = TempPath("bad.s19");
  for (const char* text : {"S1051000AABB00\r\n", "S10510zzAABB\r\n", "S105100\r\n"}) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    BoardModel board;
    EXPECT_NE(LoadFlash(board, path, 0), "") << text;
  }
  EXPECT_NE(LoadFlash(*std::make_unique<BoardModel>(), TempPath("missing.s19"), 0), "");
}

// Paths that hold no image, and saves that cannot be written, are refused at
// start with the reason; checking a save path creates nothing.
TEST(FlashFile, RefusesPathsThatAreNoImageAndUnwritableSaves) {
  BoardModel board;
  const std::string dir = TempPath("a-directory"), fresh = TempPath("fresh.bin");
  std::filesystem::create_directories(dir);
  std::filesystem::remove(fresh);
  EXPECT_EQ(LoadFlash(board, dir, 0), "cannot load " + dir + ": not a regular file");
  EXPECT_EQ(LoadFlash(board, "/dev/zero", 0), "cannot load /dev/zero: not a regular file");
  EXPECT_EQ(CheckSavePath(dir), "cannot write " + dir + ": Is a directory");
  EXPECT_EQ(CheckSavePath(dir + "/missing/x.bin"), "cannot write " + dir + "/missing/x.bin: No such file or directory");
  EXPECT_EQ(CheckSavePath(fresh), "");
  EXPECT_FALSE(std::filesystem::exists(fresh));
}

// Noise and half packets are dropped up to the next packet, whether they come
// at once or a few at a time; nothing of them is kept.
TEST(BoardModel, ResynchronisesAfterAnyAmountOfNoise) {
  Bytes noise(1 << 20);
  for (std::size_t i = 0; i < noise.size(); ++i) {
    noise[i] = static_cast<std::uint8_t>(i * 131 + 7);
    if (noise[i] == 0xF1 || noise[i] == 0xE1 || noise[i] == 0x57) noise[i] = 0;
  }
  const Bytes halves{0xF1, 0x00, 0xE1, 0x12, 0x57, 0x99, 0x13};
  noise.insert(noise.end() - 4096, halves.begin(), halves.end());
  noise.resize(1 << 20);
  const Bytes status{0x91, 0x12, 0x92, 0x04, 0x15};
  BoardModel atOnce;
  EXPECT_EQ(FeedAll(atOnce, Join({noise, Open})), status);
  EXPECT_EQ(atOnce.PendingBytes(), 0u);
  BoardModel inPieces;
  for (std::size_t i = 0; i < noise.size(); i += 4096)
    EXPECT_TRUE(inPieces.Feed(std::span(noise).subspan(i, 4096)).Empty());
  EXPECT_EQ(inPieces.PendingBytes(), 0u);
  EXPECT_EQ(FeedAll(inPieces, Join({Open, Open})), Join({status, status}));
}

}  // namespace
}  // namespace qrb::sim
