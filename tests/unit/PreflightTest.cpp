// The pre-flight of both start buttons: a file that would stop a run before
// its last block (or spoil its image) never starts one. Not one byte goes to
// the board, the buttons stay as they were, the Debug list gets the reader's
// lines, the Status list one line with the first problem and its line.
#include <gtest/gtest.h>

#include "EngineRig.h"

namespace qrb::test {
namespace {

std::string Refusal(int line, const std::string& problem) {
  return "###  S19 file refused at line " + std::to_string(line) + "  ###  " + problem +
         "  Nothing sent to the QRB interface.";
}

struct RefusedCase {
  const char* name;
  std::string s19;
  Lines debug;
  int line;
  std::string problem;
};

class PreflightTest : public ::testing::TestWithParam<Link> {};

TEST_P(PreflightTest, RefusesTheStart) {
  const Bytes p = Pattern(256);
  const auto lf = [&](const char* eol) {
    return SRecord('1', 0x1000, Slice(p, 0, 16), eol) + SRecord('1', 0x1010, Slice(p, 16, 32), eol) +
           SRecord('9', 0, {}, eol);
  };
  std::string digit = S19Data(0x1000, Slice(p, 0, 32)) + S9();
  digit.replace(digit.find("S1131010") + 8, 2, "ab");
  std::string nul = digit;
  nul.replace(nul.find("ab"), 2, std::string("\0F", 2));
  std::string lower = S19Data(0x1000, Bytes(16, 0xAB)) + S19Data(0x1010, Slice(p, 0, 16)) + S9();
  for (std::size_t i = 8; i < 8 + 32; ++i) lower[i] = static_cast<char>(lower[i] - 'A' + 'a');
  std::string cut = S19Data(0x1000, Slice(p, 0, 40), 20);
  cut.resize(cut.size() - 2 - 2 - 1);  // line end, checksum and half the last data pair
  const std::string premature = "S19 file ends inside a record.  Premature end of file.";
  const std::string noData = "No data record before the end of the data.";
  const std::string nibbles[] = {"Nib1 not valid: 61", "Nib0 not valid: 62"};
  Lines firstPairs;  // of the 32 lines the reader would post for the line in lower case
  for (int i = 0; i < 4; ++i) firstPairs.insert(firstPairs.end(), {nibbles[0], nibbles[1]});

  const RefusedCase cases[] = {
      {"S0 header", SRecord('0', 0, {'h', 'i'}) + S19Data(0x1000, p) + S9(), {"Unexpected record found."}, 1,
       "Unexpected record found."},
      {"LF line ends", lf("\n"), {"Unexpected record found."}, 2, "Unexpected record found."},
      {"CR line ends", lf("\r"), {"Unexpected record found."}, 2, "Unexpected record found."},
      {"lower-case digits", digit, {nibbles[0], nibbles[1]}, 2, nibbles[0] + "."},
      // One line of many bad pairs: the Debug list gets a few of them.
      {"a line in lower case", lower, firstPairs, 1, nibbles[0] + "."},
      {"NUL byte", nul, {"Nib1 not valid: 0"}, 2, "Nib1 not valid: 0."},
      {"cut inside a record", cut, {premature}, 2, premature},
      {"record count too small", S19Data(0x1000, Slice(p, 0, 16)) + "S1021000ED\r\n" + S9(),
       {"S1 record count $2 is too small for its address and checksum.  Record refused."}, 2,
       "S1 record count $2 is too small for its address and checksum.  Record refused."},
      {"S3 at 0x80000000", S19Data(0x1000, Slice(p, 0, 32), 16, '3') + SRecord('3', 0x80000000, {1}) + SRecord('7', 0),
       {"S3 record address $80000000 is outside the data range.  Record refused."}, 3,
       "S3 record address $80000000 is outside the data range.  Record refused."},
      {"first block off the boundary", S19Data(0x1010, Slice(p, 0, 32)) + S9(), {}, 1,
       "Starting address not an even block.  Address: 1010."},
      {"off the boundary after a hole", S19Data(0x1000, Slice(p, 0, 64)) + S19Data(0x1080, Slice(p, 0, 16)) + S9(), {},
       5, "Starting address not an even block.  Address: 1080."},
      {"back into a block already built", S19Data(0x1000, Slice(p, 0, 240)) + S19Data(0x1000, Slice(p, 0, 16)) + S9(),
       {}, 16, "Block  $1000 already built from earlier records.  Record refused."},
      {"empty file", "", {"S19 EOF encountered."}, 1, noData},
      {"end record first", S9() + S19Data(0x1000, p), {"S9 record detected."}, 1, noData},
      {"no data where a block must start", SRecord('1', 0x1000) + S19Data(0x2000, Slice(p, 0, 16)) + S9(), {}, 2,
       "A data record without data bytes where a block must start."},
  };
  for (const RefusedCase& c : cases) {
    for (const bool program : {true, false}) {
      SCOPED_TRACE(std::string(c.name) + (program ? ", program" : ", verify"));
      Rig r(GetParam());
      r.UseImage(c.s19);
      const std::size_t serialCalls = r.serial.calls.size();
      r.Start(program);
      EXPECT_EQ(r.Status(), Lines{Refusal(c.line, c.problem)});
      EXPECT_EQ(r.Debug(), c.debug);
      EXPECT_TRUE(r.Sent().empty());
      EXPECT_EQ(r.serial.calls.size(), serialCalls);  // not even a flush
      EXPECT_EQ(r.Buttons(), Idle);
      EXPECT_EQ(r.S().ProgramMode, 0);
      EXPECT_EQ(r.S().Outcome, RunOutcome::None);
      // Nothing of the pre-flight is left behind: the clean run after it is
      // the run of a fresh window.
      r.board.Load(0x1000, Pattern(300));
      r.Run(program, S19Data(0x1000, Pattern(300)) + S9());
      EXPECT_EQ(r.S().Outcome, RunOutcome::Succeeded);
    }
  }
}

// The pre-flight leaves the run of a clean file exactly as it was: the same
// packets in the same ticks as a window that never had a pre-flight would
// send (the block tables pin the lines; here the state it hands over).
TEST_P(PreflightTest, LeavesTheSessionAsItWas) {
  Rig r(GetParam());
  r.UseImage(S19Data(0x1000, Pattern(600)) + S9());
  r.S().BlockAddress = 0x4242;
  r.S().RecordType = "S7";
  const ReflashSession before = r.S();
  const PreflightReport report = r.form1.Preflight();
  EXPECT_TRUE(report.Passes);
  EXPECT_EQ(report.Blocks, 3);
  EXPECT_EQ(r.S().BlockAddress, before.BlockAddress);
  EXPECT_EQ(r.S().RecordType, before.RecordType);
  EXPECT_EQ(r.S().ProgramMode, 0);
  EXPECT_EQ(r.form1.SourceFile.Read(2), "S1");  // back at the start
  EXPECT_TRUE(r.Status().empty());
  EXPECT_TRUE(r.Debug().empty());
}

// What the reader meets on its way, for the command line's check.
TEST_P(PreflightTest, Report) {
  const Bytes p = Pattern(64);
  // An S9 after the S5 is no data; the records after the empty line are.
  std::string s19 = S19Data(0x1000, p) + S19Data(0x3000, Slice(p, 0, 16)) + SRecord('5', 7) + S9() + "\r\n" +
                    S19Data(0x5000, p);
  s19.replace(s19.find("S1131010") + 40, 2, "00");  // the checksum of line 2
  Rig r(GetParam());
  r.UseImage(s19);
  const PreflightReport report = r.form1.Preflight();
  EXPECT_TRUE(report.Passes);
  EXPECT_EQ(report.Blocks, 2);
  EXPECT_EQ(report.RecordsByType[1], 5);
  EXPECT_EQ(report.RecordsByType[5], 1);
  EXPECT_EQ(report.DataBytes, 80);
  ASSERT_EQ(report.Ranges.size(), 2u);
  EXPECT_EQ(report.Ranges[0].First, 0x1000u);
  EXPECT_EQ(report.Ranges[0].End, 0x1040u);
  EXPECT_EQ(report.Ranges[1].First, 0x3000u);
  EXPECT_EQ(report.Ranges[1].End, 0x3010u);
  EXPECT_EQ(report.BadChecksums, 1);
  EXPECT_EQ(report.FirstBadChecksumLine, 2);
  EXPECT_EQ(report.EndRecord, "S5");
  EXPECT_EQ(report.EndRecordLine, 6);
  EXPECT_EQ(report.S5Count, 7);
  EXPECT_EQ(report.LineAfterEnd, 9);
}

INSTANTIATE_TEST_SUITE_P(Links, PreflightTest, ::testing::Values(Link::Serial, Link::Ethernet), LinkName);

TEST(SourceFileTest, CountsLines) {
  SequentialFile file;
  ASSERT_TRUE(file.Open(WriteTempFile("ab\r\ncd\nef\rgh\r\r\n")));
  EXPECT_EQ(file.Line(), 1);
  const int expected[] = {1, 2, 2, 3, 3, 4, 5, 6};  // after each pair read
  for (const int line : expected) {
    file.Read(2);
    EXPECT_EQ(file.Line(), line);
  }
}

}  // namespace
}  // namespace qrb::test
