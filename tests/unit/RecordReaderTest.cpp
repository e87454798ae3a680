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

  void Open(const std::string& content) {
    h.dialog.answer = WriteTempFile(content);
    f.SelectSourceFile_Click();
    ASSERT_EQ(s.SourceFileSelected, 1);
  }

  // Reads the whole file as a block builder does; the data bytes taken, by
  // address.
  std::map<std::uint32_t, std::uint8_t> Drain() {
    std::map<std::uint32_t, std::uint8_t> data;
    f.GetARecord();
    for (int records = 0; s.RecordValid != False && records < 100; ++records) {
      auto address = static_cast<std::uint32_t>(s.RecordAddress);
      while (s.RecordByteCount > 0) {
        const std::uint8_t b = f.ReadDataByte();
        if (s.RecordValid == False) return data;
        data[address++] = b;
        --s.RecordByteCount;
      }
      f.SkipRecordTrailer();
      if (s.RecordValid != False) f.GetARecord();
    }
    return data;
  }
};

struct HeaderCase {
  std::string record;
  std::string type;
  std::int32_t address;
  std::int16_t count;
};

TEST_F(ReaderTest, DataRecordHeadersGiveAddressAndDataCount) {
  const HeaderCase cases[] = {
      {SRecord('1', 0x0000, Pattern(16)), "S1", 0x0000, 16},
      {SRecord('1', 0xFFF0, Pattern(3)), "S1", 0xFFF0, 3},
      {SRecord('2', 0x012345, Pattern(4)), "S2", 0x012345, 4},
      {SRecord('3', 0x00010000, Pattern(5)), "S3", 0x10000, 5},
      {SRecord('3', 0x7FFFFF00, Pattern(1)), "S3", 0x7FFFFF00, 1},
      {SRecord('1', 0x1000), "S1", 0x1000, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.record);
    Open(c.record);
    f.GetARecord();
    EXPECT_EQ(s.RecordType, c.type);
    EXPECT_EQ(s.RecordAddress, c.address);
    EXPECT_EQ(s.RecordByteCount, c.count);
    EXPECT_EQ(s.RecordValid, True);
    EXPECT_EQ(s.RecordFresh, True);
    EXPECT_TRUE(h.Debug().empty());
  }
  EXPECT_EQ(s.AddressByte3, 0x7F);
  EXPECT_EQ(s.AddressByte0, 0x00);
}

TEST_F(ReaderTest, DataBytesFollowTheHeaderAndTheChecksumIsNeverChecked) {
  std::string bad = SRecord('1', 0x2000, {0x12, 0xAB, 0xFF});
  bad.replace(bad.size() - 4, 2, "00");  // wrong checksum
  Open(bad + SRecord('1', 0x2003, {0x5A}) + S9());
  const auto data = Drain();
  EXPECT_EQ(data, (std::map<std::uint32_t, std::uint8_t>{{0x2000, 0x12}, {0x2001, 0xAB}, {0x2002, 0xFF}, {0x2003, 0x5A}}));
  EXPECT_EQ(h.Debug(), std::vector<std::string>{"S9 record detected."});
  EXPECT_TRUE(s.ImageReadClean);
}

TEST_F(ReaderTest, EndRecordsEndTheDataWithTheirMessage) {
  const std::pair<char, std::string> cases[] = {{'5', "S5 record detected."},
                                                {'7', "S7 record detected."},
                                                {'8', "S8 record detected.  Operation terminated."},
                                                {'9', "S9 record detected."}};
  for (const auto& [type, message] : cases) {
    SCOPED_TRACE(message);
    h.List2.Clear();
    Open(SRecord('1', 0x3000, {1, 2}) + SRecord(type, 0x1234, {}) + SRecord('1', 0x3002, {3}));
    EXPECT_EQ(Drain().size(), 2u);
    EXPECT_EQ(h.Debug(), std::vector<std::string>{message});
    EXPECT_EQ(s.RecordValid, False);
    EXPECT_EQ(s.RecordFresh, False);
    EXPECT_EQ(s.RecordByteCount, AddressSize(type) + 1);  // the raw count
    EXPECT_EQ(s.RecordAddress, 0x3000);                   // kept from the data record
    EXPECT_TRUE(s.ImageReadClean);
  }
}

TEST_F(ReaderTest, AnythingButDataAndEndRecordsIsUnexpectedAndUnclean) {
  const std::string cases[] = {
      SRecord('0', 0, {'h', 'd', 'r'}) + SRecord('1', 0x1000, {1}),  // header first
      "s1041000011F\r\n",                                             // lower case
      SRecord('4', 0x1000, {1}),
      "\r\n" + SRecord('1', 0x1000, {1}),  // blank line first
  };
  for (const auto& content : cases) {
    SCOPED_TRACE(content);
    h.List2.Clear();
    Open(content);
    EXPECT_TRUE(Drain().empty());
    ASSERT_FALSE(h.Debug().empty());
    EXPECT_EQ(h.Debug().back(), "Unexpected record found.");
    EXPECT_FALSE(s.ImageReadClean);
  }
}

TEST_F(ReaderTest, HexToByteReportsEachInvalidNibbleAndTakesItAsZero) {
  struct Case {
    std::string pair;
    int value;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"00", 0x00, {}},
      {"9F", 0x9F, {}},
      {"A5", 0xA5, {}},
      {"ff", 0x00, {"Nib1 not valid: 66", "Nib0 not valid: 66"}},
      {"a1", 0x01, {"Nib1 not valid: 61"}},
      {"4G", 0x40, {"Nib0 not valid: 47"}},
      {"\r\n", 0x00, {"Nib1 not valid: D", "Nib0 not valid: A"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.pair);
    h.List2.Clear();
    s.ImageReadClean = true;
    EXPECT_EQ(f.HexToByte(c.pair), c.value);
    EXPECT_EQ(h.Debug(), c.lines);
    EXPECT_EQ(s.ImageReadClean, c.lines.empty());
  }
}

// Where the file ends decides between the normal end and a premature one.
TEST_F(ReaderTest, EndOfFileAfterARecordIsNormalInsideARecordPremature) {
  const std::string record = SRecord('1', 0x1000, {0x11, 0x22, 0x33});  // "S1061000112233" CS CRLF
  const std::string body = record.substr(0, record.size() - 2);          // without the line end
  const std::string premature = "S19 file ends inside a record.  Premature end of file.";
  struct Case {
    std::string name;
    std::string content;
    std::size_t bytes;
    std::string last;
  };
  const Case cases[] = {
      {"after line end", record, 3, "S19 EOF encountered."},
      {"after checksum", body, 3, "S19 EOF encountered."},
      {"after LF", body + "\n", 3, "S19 EOF encountered."},
      {"after empty line", record + "\r\n", 3, "S19 EOF encountered."},
      {"after lone CR", record + "\r", 3, "S19 EOF encountered."},
      {"empty file", "", 0, "S19 EOF encountered."},
      {"inside checksum", body.substr(0, body.size() - 1), 3, premature},
      {"inside data pair", body.substr(0, 13), 2, premature},
      {"between data pairs", body.substr(0, 12), 2, premature},
      {"inside address", body.substr(0, 6), 0, premature},
      {"inside count", body.substr(0, 3), 0, premature},
      {"after a type", record + "S9", 3, premature},
      {"half a type", record + "S", 3, premature},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    h.List2.Clear();
    Open(c.content);
    const auto data = Drain();
    EXPECT_EQ(data.size(), c.bytes);
    ASSERT_EQ(h.Debug().size(), 1u);
    EXPECT_EQ(h.Debug().back(), c.last);
    EXPECT_EQ(s.RecordValid, False);
    EXPECT_EQ(s.ImageReadClean, c.last != premature);
    // Nothing is read past the end: a further record is only the end again.
    h.List2.Clear();
    f.GetARecord();
    EXPECT_EQ(h.Debug(), std::vector<std::string>{"S19 EOF encountered."});
  }
}

TEST_F(ReaderTest, RecordsOutsideTheDataModelAreRefused) {
  struct Case {
    std::string record;
    std::string line;
  };
  const Case cases[] = {
      {SRecord('3', 0x80000000, {1, 2}), "S3 record address $80000000 is outside the data range.  Record refused."},
      {SRecord('3', 0xFFFFFF00, {1}), "S3 record address $FFFFFF00 is outside the data range.  Record refused."},
      {"S1021000ED\r\n", "S1 record count $2 is too small for its address and checksum.  Record refused."},
      {"S203100000EC\r\n", "S2 record count $3 is too small for its address and checksum.  Record refused."},
      {"S30410000000EB\r\n", "S3 record count $4 is too small for its address and checksum.  Record refused."},
      {"S100\r\n", "S1 record count $0 is too small for its address and checksum.  Record refused."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.record);
    h.List2.Clear();
    Open(SRecord('1', 0x1000, {7}) + c.record + SRecord('1', 0x1001, {8}) + S9());
    const auto data = Drain();
    EXPECT_EQ(data.size(), 1u);
    EXPECT_EQ(h.Debug(), std::vector<std::string>{c.line});
    EXPECT_EQ(s.RecordAddress, 0x1000);
    EXPECT_EQ(s.RecordByteCount, 0);
    EXPECT_FALSE(s.ImageReadClean);
  }
}

TEST_F(ReaderTest, AFailedSelectionLeavesNoFileSelected) {
  struct Case {
    bool cancel;
    std::string answer;
    std::string line;
  };
  const Case cases[] = {
      {true, "", "S19 source file selection cancelled."},
      {false, "", "No S19 source file selected."},
      {false, (std::filesystem::path(::testing::TempDir()) / "no-such-dir" / "x.s19").string(),
       "S19 source file selection cancelled."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line + c.answer);
    Open(S9());  // a file chosen before
    h.List2.Clear();
    h.dialog.cancel = c.cancel;
    h.dialog.answer = c.answer;
    f.SelectSourceFile_Click();
    h.dialog.cancel = false;
    EXPECT_EQ(h.Debug(), std::vector<std::string>{c.line});
    EXPECT_EQ(s.SourceFileSelected, 0);
    EXPECT_EQ(s.SourceFilePath, "");
    EXPECT_EQ(h.Text2.Text(), "");
    EXPECT_FALSE(f.SourceFile.IsOpen());
  }
}

}  // namespace
}  // namespace qrb::test
