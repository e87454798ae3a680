// Whole programming and verification runs against a fake board on both
// links: block building, packets, read-back, reports, faults by state.
#include <gtest/gtest.h>

#include "EngineRig.h"

namespace qrb::test {
namespace {

using Lines = std::vector<std::string>;

const std::string InFlashMode = "QRB interface in FLASH mode.  Version:  $7";
const std::string Aborting = "Aborting.  ProgramMode = 0.";
const std::string BlockVerified = "                           -- Verified.";
const Lines ProgramSuccess{"  ", "***  Success ***.  QRB interface FLASH Updated.",
                           "Exit this program and Re-Boot the QRB interface."};
const Lines VerifySuccess{"  ", "***  Success ***.  QRB interface FLASH Verified."};

Lines Concat(std::initializer_list<Lines> parts) {
  Lines out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

Bytes BlockOf(const Bytes& image, std::size_t offset) {
  Bytes out(256, 0xFF);
  for (std::size_t i = 0; i < 256 && offset + i < image.size(); ++i) out[i] = image[offset + i];
  return out;
}

Bytes Data(const Bytes& packet) { return Bytes(packet.begin() + 8, packet.end()); }

Bytes Header(std::uint8_t command, std::uint32_t a) {
  return {0x57, command, static_cast<std::uint8_t>(a >> 24), static_cast<std::uint8_t>(a >> 16),
          static_cast<std::uint8_t>(a >> 8), static_cast<std::uint8_t>(a), 0x01, 0x00};
}

Bytes Packet(std::uint8_t command, std::uint32_t a, const Bytes& data) { return Joined(Header(command, a), data); }

class BlockRunTest : public ::testing::TestWithParam<Link> {
 protected:
  Rig r{GetParam()};
};

TEST_P(BlockRunTest, ProgramsThreeHundredBytesInTwoBlocks) {
  const Bytes image = Pattern(300, 3);
  r.UseImage(S19Data(0x1000, image) + S9());
  r.Program();
  EXPECT_EQ(r.RunToEnd(), 3 + 2 * 3);
  EXPECT_EQ(r.Status(), Concat({{InFlashMode, "Block  $1000     -- Sent.", BlockVerified, "Block  $1100     -- Sent."},
                                ProgramSuccess}));
  EXPECT_EQ(r.Debug(), (Lines{"S9 record detected.", Aborting}));
  EXPECT_EQ(r.S().Outcome, RunOutcome::Succeeded);

  const auto& sent = r.Sent();
  ASSERT_EQ(sent.size(), 5u);
  EXPECT_EQ(sent[1], Packet(0x3A, 0x1000, BlockOf(image, 0)));
  EXPECT_EQ(sent[2], Header(0x37, 0x1000));
  EXPECT_EQ(Bytes(sent[3].begin(), sent[3].begin() + 8), Header(0x3A, 0x1100));
  EXPECT_EQ(Data(sent[3]), BlockOf(image, 256));  // 44 bytes of image, 212 of 0xFF
  EXPECT_EQ(sent[4], Header(0x37, 0x1100));
  for (std::uint32_t i = 0; i < 300; ++i) ASSERT_EQ(r.board.Read(0x1000 + i), image[i]) << i;
  EXPECT_EQ(Buttons(r), Idle);
}

TEST_P(BlockRunTest, VerifiesThreeHundredBytesInTwoBlocks) {
  const Bytes image = Pattern(300, 5);
  r.board.Load(0x1000, image);
  r.UseImage(S19Data(0x1000, image) + S9());
  r.Verify();
  EXPECT_EQ(r.RunToEnd(), 4 + 2 * 2);
  EXPECT_EQ(r.Status(), Concat({{InFlashMode, "Block $1000     -- Verified.", "Block $1100     -- Verified."},
                                VerifySuccess}));
  EXPECT_EQ(r.Debug(), (Lines{"S9 record detected.", Aborting}));
  EXPECT_EQ(r.Sent(), (std::vector<Bytes>{{0xF1, 0xA5}, Header(0x37, 0x1000), Header(0x37, 0x1100)}));
  EXPECT_TRUE(r.board.programmedBlocks.empty());
  EXPECT_EQ(r.S().Outcome, RunOutcome::Succeeded);
}

TEST_P(BlockRunTest, TicksPerBlockWhenTheBoardAnswersAtOnce) {
  struct Case {
    bool program;
    bool startupIdle;
    std::size_t bytes;
    int ticks;
  };
  // Data that ends exactly with a block takes one more tick, in which the
  // next-block state finds the end record.
  const Case cases[] = {
      {true, false, 1200, 3 + 5 * 3},     {false, false, 1200, 4 + 5 * 2},
      {true, true, 1200, 26 + 5 * 3},     {false, true, 1200, 30 + 5 * 2},
      {true, false, 100, 3 + 3},          {false, false, 100, 4 + 2},
      {true, false, 1280, 3 + 5 * 3 + 1}, {false, false, 1280, 4 + 5 * 2 + 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.bytes) + (c.program ? " program" : " verify") + (c.startupIdle ? " idle" : ""));
    Rig rig(GetParam());
    const Bytes image = Pattern(c.bytes);
    rig.board.flashMode = !c.startupIdle;
    rig.board.Load(0x8000, image);
    rig.UseImage(S19Data(0x8000, image, 32) + S9());
    c.program ? rig.Program() : rig.Verify();
    EXPECT_EQ(rig.RunToEnd(), c.ticks);
    EXPECT_EQ(rig.S().Outcome, RunOutcome::Succeeded);
  }
}

// Blocks follow the data byte for byte, whatever the record lengths.
TEST_P(BlockRunTest, BlocksDoNotDependOnRecordBoundaries) {
  struct Case {
    std::string name;
    std::string s19;
    std::vector<std::pair<std::uint32_t, Bytes>> blocks;
  };
  const Bytes a = Pattern(512, 1);
  const Bytes b = Pattern(272, 2);
  const Bytes front(b.begin(), b.begin() + 240), back(b.begin() + 240, b.end());
  const Bytes c = Pattern(64, 3), d = Pattern(16, 4);
  const Bytes big = Pattern(300, 6);
  const Case cases[] = {
      {"16-byte records", S19Data(0x2000, a, 16) + S9(), {{0x2000, BlockOf(a, 0)}, {0x2100, BlockOf(a, 256)}}},
      {"record across a block", S19Data(0x3000, front, 16) + S19Data(0x30F0, back, 32) + S9(),
       {{0x3000, BlockOf(b, 0)}, {0x3100, BlockOf(b, 256)}}},
      {"hole to a block start", S19Data(0x4000, c) + S19Data(0x5000, d) + S9(),
       {{0x4000, BlockOf(c, 0)}, {0x5000, BlockOf(d, 0)}}},
      {"S2 records", S19Data(0x012300, big, 20, '2') + S9(), {{0x012300, BlockOf(big, 0)}, {0x012400, BlockOf(big, 256)}}},
      {"S3 records", S19Data(0x7FFFFD00, big, 40, '3') + SRecord('7', 0),
       {{0x7FFFFD00, BlockOf(big, 0)}, {0x7FFFFE00, BlockOf(big, 256)}}},
      {"empty record inside", S19Data(0x6000, c) + SRecord('1', 0x6040) + S19Data(0x6040, d) + S9(),
       {{0x6000, BlockOf(Joined(c, d), 0)}}},
  };
  for (const auto& cs : cases) {
    SCOPED_TRACE(cs.name);
    Rig rig(GetParam());
    rig.UseImage(cs.s19);
    rig.Program();
    rig.RunToEnd();
    const auto packets = rig.BlockPackets(0x3A);
    ASSERT_EQ(packets.size(), cs.blocks.size());
    for (std::size_t i = 0; i < packets.size(); ++i) {
      EXPECT_EQ(Bytes(packets[i].begin(), packets[i].begin() + 8), Header(0x3A, cs.blocks[i].first));
      EXPECT_EQ(Data(packets[i]), cs.blocks[i].second) << "block " << i;
    }
    EXPECT_EQ(rig.Status().back(), ProgramSuccess.back());
    EXPECT_EQ(rig.S().Outcome, RunOutcome::Succeeded);
  }
}

TEST_P(BlockRunTest, ABlockStartOffTheBoundaryEndsTheRun) {
  struct Case {
    bool program;
    std::string s19;
    Lines status;
    std::size_t blocks;
  };
  const Case cases[] = {
      {true, S19Data(0x1010, Pattern(32)) + S9(), {InFlashMode, "Starting address not an even block.  Address: 1010"}, 0},
      {false, S19Data(0x1010, Pattern(32)) + S9(), {InFlashMode, "Starting address not an even block.  Address: 1010"}, 0},
      {true, S19Data(0x4000, Pattern(64)) + S19Data(0x4080, Pattern(16)) + S9(),
       {InFlashMode, "Block  $4000     -- Sent.", BlockVerified, "Starting address not an even block.  Address: 4080"}, 1},
      {false, S19Data(0x4000, Pattern(64)) + S19Data(0x4080, Pattern(16)) + S9(),
       {InFlashMode, "Block $4000     -- Verified.", "Starting address not an even block.  Address: 4080"}, 1},
  };
  for (const auto& c : cases) {
    Rig rig(GetParam());
    rig.board.Load(0x4000, Pattern(64));
    rig.UseImage(c.s19);
    c.program ? rig.Program() : rig.Verify();
    rig.RunToEnd();
    EXPECT_EQ(rig.Status(), c.status);
    EXPECT_EQ(rig.Debug(), Lines{Aborting});
    EXPECT_EQ(rig.Sent().size(), 1 + c.blocks * (c.program ? 2 : 1));
    EXPECT_EQ(rig.S().Outcome, RunOutcome::Failed);
  }
}

TEST_P(BlockRunTest, AFirstRecordThatIsNoDataSendsNoBlock) {
  struct Case {
    std::string s19;
    Lines debug;
  };
  const Case cases[] = {
      {SRecord('0', 0, {'x'}) + S19Data(0x1000, Pattern(16)) + S9(), {"Unexpected record found.", Aborting}},
      {S9(), {"S9 record detected.", Aborting}},
      {"", {"S19 EOF encountered.", Aborting}},
  };
  for (const bool program : {true, false}) {
    for (const auto& c : cases) {
      Rig rig(GetParam());
      rig.UseImage(c.s19);
      program ? rig.Program() : rig.Verify();
      rig.RunToEnd();
      EXPECT_EQ(rig.Debug(), c.debug);
      EXPECT_EQ(rig.Status(), Lines{InFlashMode});
      EXPECT_EQ(rig.Sent().size(), 1u);
      EXPECT_EQ(rig.S().Outcome, RunOutcome::Failed);
    }
  }
}

TEST_P(BlockRunTest, ProgramMismatchesAreCountedPerBlockAndInTotal) {
  const Bytes image = Pattern(5 * 256 - 56);
  r.board.stuckCells = {0x1100, 0x1180, 0x11FF};
  r.UseImage(S19Data(0x1000, image) + S9());
  r.Program();
  r.RunToEnd();
  Lines expected{InFlashMode};
  for (int block = 0; block < 5; ++block) {
    expected.push_back("Block  $1" + std::to_string(block) + "00     -- Sent.");
    if (block < 4) expected.push_back(block == 1 ? "Verification errors: 3" : BlockVerified);
  }
  expected.push_back("Verification errors: 3");
  EXPECT_EQ(r.Status(), expected);
  EXPECT_EQ(r.S().TotalErrors, 3);
  EXPECT_EQ(r.S().Outcome, RunOutcome::Failed);
  EXPECT_EQ(r.Debug(), (Lines{"S9 record detected.", Aborting}));
}

TEST_P(BlockRunTest, VerifyMismatchesGiveBlockLinesAndTheFailedVerdict) {
  struct Case {
    std::vector<std::uint32_t> bad;
    Lines status;
  };
  const Case cases[] = {
      {{0x1000, 0x10FF},
       {InFlashMode, "Block $1000     -- Verify errors: 2", "  ", "###  Verify Failed  ###     Total errors: 2"}},
      {{0x1105},
       {InFlashMode, "Block $1000     -- Verified.", "Block $1100     -- Verify errors: 1", "  ",
        "###  Verify Failed  ###     Total errors: 1"}},
      {{0x1000, 0x1001, 0x1100},
       {InFlashMode, "Block $1000     -- Verify errors: 2", "Block $1100     -- Verify errors: 1", "  ",
        "###  Verify Failed  ###     Total errors: 3"}},
      {{0x11C8},  // the fill of the last block is compared as 0xFF
       {InFlashMode, "Block $1000     -- Verified.", "Block $1100     -- Verify errors: 1", "  ",
        "###  Verify Failed  ###     Total errors: 1"}},
  };
  for (const auto& c : cases) {
    Rig rig(GetParam());
    const Bytes image = Pattern(400);
    rig.board.Load(0x1000, image);
    for (const auto a : c.bad) rig.board.flash[a] ^= 0x01;
    rig.UseImage(S19Data(0x1000, image) + S9());
    rig.Verify();
    rig.RunToEnd();
    EXPECT_EQ(rig.Status(), c.status);
    EXPECT_EQ(rig.S().Outcome, RunOutcome::Failed);
  }
}

// A read-back that comes in pieces goes on where it stopped.
TEST_P(BlockRunTest, AReadBackSpreadOverTicksResumesAtItsIndex) {
  const Bytes image = Pattern(200);
  r.board.Load(0x1000, image);
  r.board.delayFrom[100] = 3;
  r.board.delayFrom[200] = 2;
  r.UseImage(S19Data(0x1000, image) + S9());
  r.Verify();
  EXPECT_EQ(r.RunToEnd(), 4 + 2 + 5);
  EXPECT_EQ(r.Status(), Concat({{InFlashMode, "Block $1000     -- Verified."}, VerifySuccess}));
}

// Every block state's wrong byte and time-out, by where in the board's answer
// the fault lies. Program path, two blocks: 5..8 the replies 61 3A 61 37 of
// the first block and 9..264 its bytes, 265..268 and 269..524 the last
// block's. Verify path: 5, 6 and 7..262 the first block, 263, 264 and
// 265..520 the last.
struct FaultCase {
  bool program;
  std::size_t index;
  int value;  // -1: the answer stops here
  std::string line;
  bool lastBlock;
};

const FaultCase BlockFaults[] = {
    {true, 5, 0x62, "Wrong response from QRB interface [61]: $62", false},
    {true, 5, -1, "Timeout reading data. E43", false},
    {true, 6, 0x3B, "Wrong response from QRB interface [3A]: $3B", false},
    {true, 6, -1, "Timeout reading data. E44", false},
    {true, 7, 0x00, "Wrong response from QRB interface [61]: $0", false},
    {true, 7, -1, "Timeout reading data. E45", false},
    {true, 8, 0x3A, "Wrong response from QRB interface [37]: $3A", false},
    {true, 8, -1, "Timeout reading data. E46", false},
    {true, 9, -1, "Timeout reading data. E47", false},
    {true, 264, -1, "Timeout reading data. E47", false},
    {true, 265, 0x37, "Wrong response from QRB interface [61]: $37", true},
    {true, 265, -1, "Timeout reading data. E48", true},
    {true, 266, 0x61, "Wrong response from QRB interface [3A]: $61", true},
    {true, 266, -1, "Timeout reading data. E49", true},
    {true, 267, 0xA0, "Wrong response from QRB interface [61]: $A0", true},
    {true, 267, -1, "Timeout reading data. E50", true},
    {true, 268, 0x38, "Wrong response from QRB interface [37]: $38", true},
    {true, 268, -1, "Timeout reading data. E51", true},
    {true, 400, -1, "Timeout reading data. E52", true},
    {false, 5, 0x37, "Wrong response from QRB interface [61]: $37", false},
    {false, 5, -1, "Timeout reading data. E73", false},
    {false, 6, 0x3A, "Wrong response from QRB interface [37]: $3A", false},
    {false, 6, -1, "Timeout reading data. E74", false},
    {false, 150, -1, "Timeout reading data. E75", false},
    {false, 263, 0x00, "Wrong response from QRB interface [61]: $0", true},
    {false, 263, -1, "Timeout reading data. E76", true},
    {false, 264, 0xFF, "Wrong response from QRB interface [37]: $FF", true},
    {false, 264, -1, "Timeout reading data. E77", true},
    {false, 520, -1, "Timeout reading data. E78", true},
};

TEST_P(BlockRunTest, EveryBlockStateReportsItsWrongByteAndItsTimeout) {
  for (const auto& c : BlockFaults) {
    SCOPED_TRACE(c.line + " at " + std::to_string(c.index));
    Rig rig(GetParam());
    const Bytes image = Pattern(400);
    rig.board.Load(0x1000, image);
    if (c.value < 0) {
      rig.board.cutAt = c.index;
    } else {
      rig.board.replace[c.index] = static_cast<std::uint8_t>(c.value);
    }
    rig.UseImage(S19Data(0x1000, image) + S9());
    c.program ? rig.Program() : rig.Verify();
    rig.RunToEnd();
    Lines debug = c.lastBlock ? Lines{"S9 record detected."} : Lines{};
    debug.push_back(c.line);
    debug.push_back(Aborting);
    EXPECT_EQ(rig.Debug(), debug);
    EXPECT_EQ(rig.S().Outcome, RunOutcome::Failed);
    const auto& status = rig.Status();
    for (const auto& line : status) EXPECT_EQ(line.find("Success"), std::string::npos);
  }
}

// A waiting block state times out when its window of 60 ticks, loaded when
// the packet went out, is used up.
TEST_P(BlockRunTest, BlockStatesTimeOutWhenTheirWindowIsUsedUp) {
  struct Case {
    bool program;
    std::size_t cut;
    int ticks;
  };
  // Program: block sent on tick 4; read-back request on tick 5.
  // Verify: request sent on tick 5.
  for (const auto& c : {Case{true, 5, 4 + 60}, Case{true, 7, 5 + 60}, Case{true, 100, 5 + 60}, Case{false, 5, 5 + 60},
                        Case{false, 100, 5 + 60}}) {
    Rig rig(GetParam());
    const Bytes image = Pattern(400);
    rig.board.Load(0x1000, image);
    rig.board.cutAt = c.cut;
    rig.UseImage(S19Data(0x1000, image) + S9());
    c.program ? rig.Program() : rig.Verify();
    EXPECT_EQ(rig.RunToEnd(), c.ticks) << c.cut;
  }
}

INSTANTIATE_TEST_SUITE_P(Links, BlockRunTest, ::testing::Values(Link::Serial, Link::Ethernet), LinkName);

}  // namespace
}  // namespace qrb::test
