// Reading the FLASH back, and the tick interval.
#include <gtest/gtest.h>

#include <algorithm>

#include "EngineRig.h"
#include "app/Text.h"

namespace qrb::test {
namespace {

const std::string ReadSuccess = "***  Success ***.  QRB interface FLASH Read.";

// Keeps the blocks read.
struct KeptBlocks : BlockObserver {
  std::vector<std::pair<std::int32_t, Bytes>> read;
  std::vector<std::int32_t> reads;
  int refuseFrom = -1;  // the n-th block read (from 0) cannot be stored
  bool completes = true;
  void BlockCompared(std::int32_t, std::int32_t) override {}
  bool BlockRead(std::int32_t address, const std::uint8_t* bytes, std::int32_t count) override {
    if (refuseFrom >= 0 && static_cast<int>(read.size()) >= refuseFrom) return false;
    read.emplace_back(address, Bytes(bytes, bytes + 256));
    reads.push_back(count);
    return true;
  }
  bool ReadComplete() override { return completes; }
};

struct ReadRig : Rig {
  KeptBlocks kept;
  explicit ReadRig(Link l) : Rig(l) { form1.AttachBlockObserver(&kept); }
  int Read(const std::vector<AddressRange>& ranges, bool singleRead = false) {
    List1.Clear();
    List2.Clear();
    form1.ReadFlash(ranges, singleRead);
    return S().ProgramMode == 0 ? 0 : RunToEnd();
  }
};

QRB_SUITE_ON_BOTH_LINKS(FlashReadTest);

// Every block the ranges touch, once, ascending; only read-back requests sent.
TEST_P(FlashReadTest, ReadsEveryBlockTheRangesTouch) {
  struct Case {
    const char* name;
    std::vector<AddressRange> ranges;
    std::vector<std::uint32_t> blocks;
  };
  const Case cases[] = {
      {"across a block boundary", {{0x10FF, 0x1100}}, {0x1000, 0x1100}},
      {"out of order, overlapping, adjacent",
       {{0x3000, 0x30FF}, {0x1000, 0x11FF}, {0x1180, 0x1200}, {0x1300, 0x1300}},
       {0x1000, 0x1100, 0x1200, 0x1300, 0x3000}},
  };
  for (const Case& c : cases) {
    for (const bool single : {false, true}) {
      SCOPED_TRACE(::testing::Message() << c.name << (single ? ", read once" : ", read twice"));
      ReadRig r(GetParam());
      r.board.Load(0x1000, Pattern(0x400));
      r.board.Load(0x3000, Pattern(0x100, 5));
      const int ticks = r.Read(c.ranges, single);
      const int reads = single ? 1 : 2;
      Lines status{InFlashMode};
      std::vector<std::uint32_t> requested;
      for (const auto a : c.blocks) {
        status.push_back("Block $" + Hex(a) + "     -- Read.");
        requested.insert(requested.end(), static_cast<std::size_t>(reads), a);
      }
      status.insert(status.end(), {"  ", ReadSuccess});
      EXPECT_EQ(r.Status(), status);
      EXPECT_EQ(r.Debug(), Lines{Aborting});
      EXPECT_EQ(r.S().Outcome, RunOutcome::Succeeded);
      EXPECT_EQ(ticks, 4 + 2 * reads * static_cast<int>(c.blocks.size()));
      EXPECT_EQ(r.board.readBlocks, requested);
      ASSERT_EQ(r.kept.read.size(), c.blocks.size());
      for (std::size_t i = 0; i < c.blocks.size(); ++i) {
        EXPECT_EQ(r.kept.read[i].first, static_cast<std::int32_t>(c.blocks[i]));
        EXPECT_EQ(r.kept.reads[i], reads);
        Bytes want(256);
        for (std::uint32_t k = 0; k < 256; ++k) want[k] = r.board.Read(c.blocks[i] + k);
        EXPECT_EQ(r.kept.read[i].second, want);
      }
      for (const Bytes& p : r.Sent())
        EXPECT_TRUE(p == Bytes({0xF1, 0xA5}) || (p.size() == 8 && p[0] == 0x57 && p[1] == 0x37));
    }
  }
}

// A read-back that differs from the one before is read again until two
// agree: the bytes kept are the ones two reads gave; no two alike in four
// reads ends the run. Read n of the first block: 0x61 at 5 + 258 (n - 1),
// its data from 7 + 258 (n - 1).
TEST_P(FlashReadTest, ReadsUntilTwoAgree) {
  const auto data = [](int read, int offset) { return static_cast<std::size_t>(7 + 258 * (read - 1) + offset); };
  const std::string again = "Block $1000 read 2 times, no two reads alike; reading it again.";
  const std::string again3 = "Block $1000 read 3 times, no two reads alike; reading it again.";
  struct Case {
    const char* name;
    std::vector<std::size_t> corrupted;  // stream bytes inverted
    Lines debug;
    int reads;  // of the first block; 0: the run fails
  };
  const Case cases[] = {
      {"first read corrupted", {data(1, 10)}, {again, Aborting}, 3},
      {"second read corrupted", {data(2, 255)}, {again, Aborting}, 3},
      {"three reads corrupted, each its own way",
       {data(1, 0), data(2, 1), data(3, 2)},
       {again, again3, "** ERROR ** Block $1000 read 4 times, no two reads alike.", Aborting},
       0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ReadRig r(GetParam());
    r.board.Load(0x1000, Pattern(0x200));
    for (const std::size_t i : c.corrupted) r.board.replace[i] = 0x5A;
    r.Read({{0x1000, 0x11FF}});
    EXPECT_EQ(r.Debug(), c.debug);
    if (c.reads == 0) {
      EXPECT_EQ(r.S().Outcome, RunOutcome::Failed);
      EXPECT_TRUE(r.kept.read.empty());
      EXPECT_EQ(std::count(r.Status().begin(), r.Status().end(), ReadSuccess), 0);
      continue;
    }
    EXPECT_EQ(r.S().Outcome, RunOutcome::Succeeded);
    EXPECT_EQ(r.kept.reads, (std::vector<std::int32_t>{c.reads, 2}));
    for (const auto& [address, bytes] : r.kept.read)
      for (std::uint32_t k = 0; k < 256; ++k)
        ASSERT_EQ(bytes[k], r.board.Read(static_cast<std::uint32_t>(address) + k)) << address << "+" << k;
  }
}

// Own time-out codes, the verify path's wrong-byte texts; nothing kept of a
// block that did not come whole. Stream: 0..4, then 5 6 7..262, 263 264 265..520.
TEST_P(FlashReadTest, FaultsEndTheRun) {
  struct Case {
    const char* name;
    std::size_t index;
    int wrong;  // -1: the stream is cut there
    Lines debug;
    std::size_t kept;
    int refuseFrom = -1;
  };
  const Case cases[] = {
      {"wrong 0x61", 5, 0x62, {"Wrong response from QRB interface [61]: $62", Aborting}, 0},
      {"wrong 0x37", 264, 0x3A, {"Wrong response from QRB interface [37]: $3A", Aborting}, 1},
      {"silent before 0x61", 263, -1, {"Timeout reading data. E112", Aborting}, 1},
      {"silent before 0x37", 6, -1, {"Timeout reading data. E113", Aborting}, 0},
      {"silent inside the block", 300, -1, {"Timeout reading data. E114", Aborting}, 1},
      {"block not stored", 0, 0, {"Block $1100 read, but could not be stored.", Aborting}, 1, 1},
      {"blocks not kept at the end", 0, 0, {"** ERROR ** The blocks read could not be stored.", Aborting}, 2, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ReadRig r(GetParam());
    r.board.Load(0x1000, Pattern(0x200));
    r.kept.refuseFrom = c.refuseFrom;
    r.kept.completes = c.refuseFrom != 2;
    if (c.refuseFrom < 0 && c.wrong < 0) r.board.cutAt = c.index;
    if (c.refuseFrom < 0 && c.wrong >= 0) r.board.replace[c.index] = static_cast<std::uint8_t>(c.wrong);
    r.Read({{0x1000, 0x11FF}}, true);
    EXPECT_EQ(r.Debug(), c.debug);
    EXPECT_EQ(r.kept.read.size(), c.kept);
    EXPECT_EQ(r.S().Outcome, RunOutcome::Failed);
    EXPECT_EQ(std::count(r.Status().begin(), r.Status().end(), ReadSuccess), 0);
  }
}

// A state that does not wait for its byte gives it one 50 ms tick: at 1 ms up
// to 49 ticks. Byte 1 is state 22's, byte 6 state 27's (chained from 26).
// (At 50 ms: HandshakeTest.TimeOutWindows.)
TEST(TickInterval, StatesThatDoNotWaitGiveTheirByteOneTickOf50Ms) {
  const struct {
    bool startupIdle;
    std::size_t index;
    int late;  // ticks
    const char* timeout;
  } cases[] = {{false, 1, 10, nullptr}, {false, 1, 60, "Timeout reading data. E22"}, {true, 6, 30, nullptr}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "byte " << c.index << " " << c.late << " ticks late");
    Rig r(Link::Serial);
    r.UseTick(1);
    r.UseTwoBlocks(c.startupIdle);
    r.board.delayFrom[c.index] = c.late;
    r.Start(true);
    r.RunToEnd(100000);
    EXPECT_EQ(r.Debug(), (Lines{c.timeout ? c.timeout : "S9 record detected.", Aborting}));
    EXPECT_EQ(r.S().Outcome, c.timeout ? RunOutcome::Failed : RunOutcome::Succeeded);
  }
}

}  // namespace
}  // namespace qrb::test
