// The S19 file selection and the record reader.
#include <gtest/gtest.h>

#include <filesystem>

#include "EngineRig.h"

namespace qrb::test {
namespace {

struct ReaderTest : ::testing::Test {
  Harness h;
  Form1& f = h.form1;
  ReflashSession& s = h.S();

  // Opens `content` on a cleared Debug list.
  void Open(const std::string& content) {
    h.dialog.answer = WriteTempFile(content);
    f.SelectSourceFile_Click();
    ASSERT_EQ(s.SourceFileSelected, 1);
    h.List2.Clear();
  }

  // Reads the whole file as a block builder does; the data bytes taken, by
  // address.
  std::map<std::uint32_t, std::uint8_t> Drain() {
    std::map<std::uint32_t, std::uint8_t> data;
    f.GetARecord();
    for (int records = 0; s.RecordValid != False && records < 100; ++records) {
      auto address = static_cast<std::uint32_t>(s.RecordAddress);
      for (; s.RecordByteCount > 0; --s.RecordByteCount) {
        const std::uint8_t b = f.ReadDataByte();
        if (s.RecordValid == False) return data;
        data[address++] = b;
      }
      f.SkipRecordTrailer();
      if (s.RecordValid != False) f.GetARecord();
    }
    return data;
  }
};

TEST_F(ReaderTest, DataBytesFollowTheHeaderAndTheChecksumIsNeverChecked) {
  std::string bad = SRecord('1', 0x2000, {0x12, 0xAB, 0xFF});
  bad.replace(bad.size() - 4, 2, "00");  // wrong checksum
  Open(bad + SRecord('1', 0x2003, {0x5A}) + S9());
  EXPECT_EQ(Drain(),
            (std::map<std::uint32_t, std::uint8_t>{{0x2000, 0x12}, {0x2001, 0xAB}, {0x2002, 0xFF}, {0x2003, 0x5A}}));
  EXPECT_EQ(h.Debug(), Lines{"S9 record detected."});
  EXPECT_TRUE(s.ImageReadClean);
}

// End records end the data cleanly; anything else but data is unexpected
// and unclean.
TEST_F(ReaderTest, RecordsThatAreNoData) {
  const std::pair<std::string, std::string> cases[] = {
      {SRecord('5', 0x1234), "S5 record detected."},
      {SRecord('7', 0x1234), "S7 record detected."},
      {SRecord('8', 0x1234), "S8 record detected.  Operation terminated."},
      {SRecord('9', 0x1234), "S9 record detected."},
      {SRecord('0', 0, {'h', 'd', 'r'}), "Unexpected record found."},
      {"s1041000011F\r\n", "Unexpected record found."},
      {SRecord('4', 0x1000, {1}), "Unexpected record found."},
  };
  for (const auto& [record, line] : cases) {
    SCOPED_TRACE(line + " " + record);
    Open(SRecord('1', 0x3000, {1, 2}) + record + SRecord('1', 0x3002, {3}) + S9());
    EXPECT_EQ(Drain().size(), 2u);
    EXPECT_EQ(h.Debug(), Lines{line});
    EXPECT_EQ(s.RecordValid, False);
    EXPECT_EQ(s.RecordAddress, 0x3000);  // kept from the data record
    EXPECT_EQ(s.ImageReadClean, line != "Unexpected record found.");
  }
}

TEST_F(ReaderTest, HexToByteReportsEachInvalidNibbleAndTakesItAsZero) {
  const std::tuple<std::string, int, Lines> cases[] = {
      {"9F", 0x9F, {}},
      {"a1", 0x01, {"Nib1 not valid: 61"}},
      {"4G", 0x40, {"Nib0 not valid: 47"}},
  };
  for (const auto& [pair, value, lines] : cases) {
    SCOPED_TRACE(pair);
    h.List2.Clear();
    s.ImageReadClean = true;
    EXPECT_EQ(f.HexToByte(pair), value);
    EXPECT_EQ(h.Debug(), lines);
    EXPECT_EQ(s.ImageReadClean, lines.empty());
  }
}

// Where the file ends decides between the normal end and a premature one;
// nothing is read past it.
TEST_F(ReaderTest, EndOfFileAfterARecordIsNormalInsideARecordPremature) {
  const std::string record = SRecord('1', 0x1000, {0x11, 0x22, 0x33});  // "S1061000112233" CS CRLF
  const std::string body = record.substr(0, record.size() - 2);         // without the line end
  const std::string eof = "S19 EOF encountered.", premature = "S19 file ends inside a record.  Premature end of file.";
  const std::tuple<std::string, std::size_t, std::string> cases[] = {
      {record, 3, eof},
      {body, 3, eof},
      {body + "\n", 3, eof},
      {record + "\r", 3, eof},
      {"", 0, eof},
      {body.substr(0, body.size() - 1), 3, premature},  // inside the checksum
      {body.substr(0, 13), 2, premature},               // inside a data pair
      {body.substr(0, 6), 0, premature},                // inside the address
      {record + "S9", 3, premature},                    // a type alone
      {record + "S", 3, premature},
  };
  for (const auto& [content, bytes, last] : cases) {
    SCOPED_TRACE(content);
    Open(content);
    EXPECT_EQ(Drain().size(), bytes);
    EXPECT_EQ(h.Debug(), Lines{last});
    EXPECT_EQ(s.ImageReadClean, last == eof);
    h.List2.Clear();
    f.GetARecord();
    EXPECT_EQ(h.Debug(), Lines{eof});
  }
}

TEST_F(ReaderTest, RecordsOutsideTheDataModelAreRefused) {
  const std::pair<std::string, std::string> cases[] = {
      {SRecord('3', 0x80000000, {1, 2}), "S3 record address $80000000 is outside the data range.  Record refused."},
      {SRecord('3', 0x7FFFFFF0, Pattern(32)),
       "S3 record address $7FFFFFF0 is outside the data range.  Record refused."},
      {"S1021000ED\r\n", "S1 record count $2 is too small for its address and checksum.  Record refused."},
      {"S30410000000EB\r\n", "S3 record count $4 is too small for its address and checksum.  Record refused."},
      {"S100\r\n", "S1 record count $0 is too small for its address and checksum.  Record refused."},
  };
  for (const auto& [record, line] : cases) {
    SCOPED_TRACE(record);
    Open(SRecord('1', 0x1000, {7}) + record + SRecord('1', 0x1001, {8}) + S9());
    EXPECT_EQ(Drain().size(), 1u);
    EXPECT_EQ(h.Debug(), Lines{line});
    EXPECT_EQ(s.RecordByteCount, 0);
    EXPECT_FALSE(s.ImageReadClean);
  }
}

TEST_F(ReaderTest, AFailedSelectionLeavesNoFileSelected) {
  const std::tuple<bool, std::string, std::string> cases[] = {
      {true, "", "S19 source file selection cancelled."},
      {false, "", "No S19 source file selected."},
      {false, (std::filesystem::path(::testing::TempDir()) / "no-such-dir" / "x.s19").string(),
       "S19 source file selection cancelled."},
  };
  for (const auto& [cancel, answer, line] : cases) {
    SCOPED_TRACE(line + answer);
    Open(S9());  // a file chosen before
    h.dialog.cancel = cancel;
    h.dialog.answer = answer;
    f.SelectSourceFile_Click();
    h.dialog.cancel = false;
    EXPECT_EQ(h.Debug(), Lines{line});
    EXPECT_EQ(s.SourceFileSelected, 0);
    EXPECT_EQ(s.SourceFilePath, "");
    EXPECT_EQ(h.Text2.Text(), "");
    EXPECT_FALSE(f.SourceFile.IsOpen());
  }
}

}  // namespace
}  // namespace qrb::test
