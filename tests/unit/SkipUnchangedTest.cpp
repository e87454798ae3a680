// Program runs that skip the blocks the board already holds: their lines,
// their ends on every path, and whole runs against the board model from any
// starting FLASH, compared with a plain run.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "EngineRig.h"

namespace qrb::test {
namespace {

const std::string Unchanged1000 = "Block  $1000     -- Unchanged.", Unchanged1100 = "Block  $1100     -- Unchanged.";
const Lines NothingWritten{"  ", "***  Success ***.  QRB interface FLASH already holds the file.  Nothing written.",
                           "Exit this program and Re-Boot the QRB interface."};

std::string Counts(int written, int unchanged) {
  return std::to_string(written) + " blocks written, " + std::to_string(unchanged) + " unchanged.";
}

struct SkipRig : Rig {
  explicit SkipRig(Link l) : Rig(l) { form1.SkipUnchanged = true; }
};

QRB_SUITE_ON_BOTH_LINKS(SkipUnchangedTest);

// 300 bytes from 0x1000: a full block and one of 44 bytes and 0xFF fill.
TEST_P(SkipUnchangedTest, LinesAndVerdicts) {
  const std::string image = S19Data(0x1000, Pattern(300)) + S9();
  const Lines s9{"S9 record detected.", Aborting};
  const RunCase cases[] = {
      // The fill is compared as 0xFF too. Each unchanged block chains into the
      // next builder: after the first builder's tick, one tick per block (a
      // plain run takes three).
      {"board holds the file", true, image, Concat({{InFlashMode, Unchanged1000, Unchanged1100, Counts(0, 2)}, NothingWritten}),
       s9, true, 300, {}, 3 + 1 + 2},
      // The board's byte after the image's 44 differs from the fill.
      {"second block differs", true, image,
       Concat({{InFlashMode, Unchanged1000, Sent1100, Counts(1, 1)}, ProgramSuccess}), s9, true, 301},
      {"written with mismatches", true, image,
       {InFlashMode, Unchanged1000, Sent1100, Counts(1, 1), "Verification errors: 1"}, s9, false, 256, {0x1101}},
  };
  for (const auto& c : cases) CheckRun(GetParam(), c, /*skipUnchanged=*/true);
}

// Failures after blocks were written or skipped: the failure's own line (with
// the skipping path's state numbers), the counts as they stand, then the
// end through AbortSequence; never a success line.
TEST_P(SkipUnchangedTest, FailuresEndThroughAbortWithTheCounts) {
  const Bytes p = Pattern(300);
  const std::string image = S19Data(0x1000, p) + S9();
  // The handshake's 5 bytes, block $1000's pre-read (258), then block $1100's.
  const struct {
    const char* name;
    std::size_t onBoard;
    std::optional<std::size_t> cutAt;
    std::map<std::size_t, std::uint8_t> replace;
    Lines status;
    std::string failure;
  } cases[] = {
      {"silent in the first pre-read", 300, 5 + 100, {}, {InFlashMode, Counts(0, 0)}, "Timeout reading data. E145"},
      {"silent in the last pre-read", 300, 5 + 258 + 1, {}, {InFlashMode, Unchanged1000, Counts(0, 1)},
       "Timeout reading data. E147"},
      // Empty board: pre-read, write acknowledged with 0x3B.
      {"wrong acknowledgement of a write", 0, {}, {{5 + 258 + 1, 0x3B}}, {InFlashMode, Sent1000, Counts(1, 0)},
       "Wrong response from QRB interface [3A]: $3B"},
      {"silent in the last write's read-back", 0, 5 + 258 + 2 + 258 + 258 + 2 + 10, {},
       {InFlashMode, Sent1000, BlockVerified, Sent1100, Counts(2, 0)}, "Timeout reading data. E158"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SkipRig r(GetParam());
    r.board.Load(0x1000, Slice(p, 0, c.onBoard));
    r.board.cutAt = c.cutAt;
    r.board.replace = c.replace;
    r.Run(true, image);
    EXPECT_EQ(r.Status(), c.status);
    EXPECT_EQ(r.Debug().back(), Aborting);
    EXPECT_NE(std::find(r.Debug().begin(), r.Debug().end(), c.failure), r.Debug().end());
    EXPECT_EQ(r.S().Outcome, RunOutcome::Failed);
  }

  // "Abort" pressed while a block is read first.
  SkipRig r(GetParam());
  r.board.Load(0x1000, p);
  r.UseImage(image);
  r.Start(true);
  ASSERT_GT(r.TicksUntil(143), 0);
  r.form1.ProgramFlash_Click();
  EXPECT_EQ(r.Status(), (Lines{InFlashMode, Counts(0, 0)}));
  EXPECT_EQ(r.Debug(), (Lines{Aborting, "Aborted processing."}));
}

// An image changed everywhere costs few read-backs more than a plain run;
// a single changed block among unchanged ones costs no blind write.
TEST(SkipRule, SamplesStretchesThatDiffer) {
  const auto preReads = [](const std::vector<bool>& differs) {
    SkipRule rule;
    int reads = 0, blindUnchanged = 0;
    for (const bool d : differs) {
      if (!rule.PreReadNext()) {
        rule.WroteBlind();
        blindUnchanged += d ? 0 : 1;
        continue;
      }
      ++reads;
      d ? rule.Differed() : rule.Matched();
    }
    return std::pair{reads, blindUnchanged};
  };
  // 1,024 blocks all changed: 7 reads to reach the longest stretch, then one
  // per 33 blocks.
  EXPECT_LE(preReads(std::vector<bool>(1024, true)).first, 7 + 1024 / (SkipRule::MaxBlind + 1) + 1);
  // Every tenth block changed: each is read and none written blind.
  std::vector<bool> scattered(1024);
  for (std::size_t i = 0; i < scattered.size(); i += 10) scattered[i] = true;
  EXPECT_EQ(preReads(scattered), (std::pair{1024, 0}));
  // A stretch of 100 changed blocks in unchanged ones: blind writes stop at
  // the first sample after it, so at most one stretch's worth is wasted.
  std::vector<bool> stretch(1024);
  std::fill(stretch.begin() + 300, stretch.begin() + 400, true);
  EXPECT_LE(preReads(stretch).second, SkipRule::MaxBlind);
}

// Any starting FLASH and any image: the skipping run leaves the FLASH as a
// plain run does, never writes a block its pre-read matched, and counts every
// block once. With the board falling silent at a random byte, the run ends
// through AbortSequence with counts that match the blocks written.
TEST_P(SkipUnchangedTest, InvariantsOverRandomFlashAndImages) {
  std::mt19937 random(19);
  for (int round = 0; round < 40; ++round) {
    SCOPED_TRACE(round);
    // One to three regions of whole and partial blocks, apart from each other.
    std::string s19;
    std::vector<std::pair<std::uint32_t, Bytes>> regions;
    std::uint32_t at = 0x8000 + 0x100 * (random() % 4);
    const int regionCount = 1 + static_cast<int>(random() % 3);
    for (int i = 0; i < regionCount; ++i) {
      Bytes data(1 + random() % (6 * 256));
      for (auto& b : data) b = static_cast<std::uint8_t>(random() % 4 == 0 ? 0xFF : random());
      regions.emplace_back(at, data);
      s19 += S19Data(at, data, 1 + random() % 32);
      at += (static_cast<std::uint32_t>(data.size()) + 0xFF + 0x100 * (1 + random() % 3)) & ~0xFFu;
    }
    s19 += S9();
    const auto startFlash = [&](FakeBoard& board, std::mt19937 r) {
      for (const auto& [start, data] : regions)
        for (std::uint32_t block = start; block < start + data.size(); block += 256) {
          const auto kind = r() % 4;  // the image's block, one byte off, random, erased
          if (kind == 3) continue;
          Bytes bytes(data.begin() + (block - start), data.begin() + std::min<std::size_t>(block - start + 256, data.size()));
          if (kind == 1) bytes[r() % bytes.size()] ^= 0x10;
          if (kind == 2)
            for (auto& b : bytes) b = static_cast<std::uint8_t>(r());
          board.Load(block, bytes);
        }
    };
    const std::mt19937 flashSeed(random());
    Rig plain(GetParam());
    startFlash(plain.board, flashSeed);
    plain.Run(true, s19);
    ASSERT_EQ(plain.S().Outcome, RunOutcome::Succeeded);

    SkipRig skip(GetParam());
    startFlash(skip.board, flashSeed);
    const auto before = skip.board.Flash();
    skip.Run(true, s19);
    ASSERT_EQ(skip.S().Outcome, RunOutcome::Succeeded);
    EXPECT_TRUE(skip.board.Flash() == plain.board.Flash());
    const auto written = skip.RunBlocks(0x3A), unchanged = skip.Unchanged();
    for (const std::uint32_t address : unchanged) EXPECT_EQ(written.count(address), 0u) << std::hex << address;
    EXPECT_EQ(unchanged.size() + written.size(), plain.BlockPackets(0x3A).size());
    EXPECT_TRUE(skip.Posted(skip.Status(), Counts(static_cast<int>(written.size()), static_cast<int>(unchanged.size()))));
    // A block read first (and read back after its write) was written only
    // because it differed.
    const auto blockAt = [](const std::map<std::uint32_t, sim::FlashBlock>& flash, std::uint32_t address) {
      sim::FlashBlock block;
      block.fill(0xFF);
      const auto it = flash.find(address);
      return it == flash.end() ? block : it->second;
    };
    for (const std::uint32_t address : written)
      if (std::count(skip.board.readBlocks.begin(), skip.board.readBlocks.end(), address) == 2) {
        EXPECT_NE(blockAt(before, address), blockAt(skip.board.Flash(), address)) << std::hex << address;
      }

    // The same run with the board falling silent somewhere.
    SkipRig cut(GetParam());
    startFlash(cut.board, flashSeed);
    cut.board.cutAt = 5 + random() % (skip.board.streamIndex - 5);
    cut.UseImage(s19);
    cut.Start(true);
    cut.RunToEnd();
    EXPECT_EQ(cut.S().Outcome, RunOutcome::Failed);
    EXPECT_EQ(cut.Debug().back(), Aborting);
    EXPECT_TRUE(cut.Debug().end()[-2].starts_with("Timeout reading data. E1"));
    EXPECT_TRUE(cut.Posted(cut.Status(), Counts(static_cast<int>(cut.BlockPackets(0x3A).size()),
                                                static_cast<int>(cut.Unchanged().size()))));
  }
}

}  // namespace
}  // namespace qrb::test
