// A file that would stop a run before its last block never starts one: no
// byte sent, buttons as they were, one Status line naming the problem.
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

QRB_SUITE_ON_BOTH_LINKS(PreflightTest);

TEST_P(PreflightTest, RefusesTheStart) {
  const Bytes p = Pattern(256);
  std::string digit = S19Data(0x1000, Slice(p, 0, 32)) + S9();
  digit.replace(digit.find("S1131010") + 8, 2, "ab");
  std::string nul = digit;
  nul.replace(nul.find("ab"), 2, std::string("\0F", 2));
  std::string lower = S19Data(0x1000, Bytes(16, 0xAB)) + S19Data(0x1010, Slice(p, 0, 16)) + S9();
  for (std::size_t i = 8; i < 8 + 32; ++i) lower[i] = static_cast<char>(lower[i] - 'A' + 'a');
  const std::string noData = "No data record before the end of the data.";
  const std::string nibbles[] = {"Nib1 not valid: 61", "Nib0 not valid: 62"};
  Lines firstPairs;  // of the 32 lines the reader would post for the line in lower case
  for (int i = 0; i < 4; ++i) firstPairs.insert(firstPairs.end(), {nibbles[0], nibbles[1]});

  const RefusedCase cases[] = {
      {"CR line ends", SRecord('1', 0x1000, {1}, "\r") + SRecord('9', 0, {}, "\r"), {"Unexpected record found."}, 2, "Unexpected record found."},
      // The reader stops on line 2; the fault is line 1's end.
      {"LF line ends", SRecord('1', 0x1000, {1}, "\n") + SRecord('9', 0, {}, "\n"), {"Unexpected record found."}, 1, "Unexpected record found."},
      {"lower-case digits", digit, {nibbles[0], nibbles[1]}, 2, nibbles[0] + "."},
      // One line of many bad pairs: the Debug list gets a few of them.
      {"a line in lower case", lower, firstPairs, 1, nibbles[0] + "."},
      {"NUL byte", nul, {"Nib1 not valid: 0"}, 2, "Nib1 not valid: 0."},
      {"record count too small", S19Data(0x1000, Slice(p, 0, 16)) + "S1021000ED\r\n" + S9(),
       {"S1 record count $2 is too small for its address and checksum.  Record refused."}, 2,
       "S1 record count $2 is too small for its address and checksum.  Record refused."},
      {"S3 running past 0x7FFFFFFF", S19Data(0x1000, Slice(p, 0, 32), 16, '3') + SRecord('3', 0x7FFFFFF0, Slice(p, 0, 32)),
       {"S3 record address $7FFFFFF0 is outside the data range.  Record refused."}, 3,
       "S3 record address $7FFFFFF0 is outside the data range.  Record refused."},
      {"back into a block already built", S19Data(0x1000, Slice(p, 0, 240)) + S19Data(0x1000, Slice(p, 0, 16)) + S9(),
       {}, 16, "Block  $1000 already built from earlier records.  Record refused."},
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
      EXPECT_EQ(r.form1.LastRefusal().Line, c.line);
      EXPECT_EQ(r.Debug(), c.debug);
      EXPECT_TRUE(r.Sent().empty());
      EXPECT_EQ(r.serial.calls.size(), serialCalls);  // not even a flush
      EXPECT_EQ(r.Buttons(), Idle);
      EXPECT_EQ(r.S().ProgramMode, 0);
      EXPECT_EQ(r.S().Outcome, RunOutcome::None);
      // A clean run after it runs as in a fresh window.
      r.board.Load(0x1000, Pattern(300));
      r.Run(program, S19Data(0x1000, Pattern(300)) + S9());
      EXPECT_EQ(r.S().Outcome, RunOutcome::Succeeded);
    }
  }
}

}  // namespace
}  // namespace qrb::test
