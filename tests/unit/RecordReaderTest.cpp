// The S19 file selection and the record reader.
#include <gtest/gtest.h>

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

  // The data bytes a block builder takes, by address.
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

// The file ends normally after a record, prematurely inside one.
TEST_F(ReaderTest, EndOfFileAfterARecordIsNormalInsideARecordPremature) {
  const std::string record = SRecord('1', 0x1000, {0x11, 0x22, 0x33});  // "S1061000112233" CS CRLF
  const std::string body = record.substr(0, record.size() - 2);         // without the line end
  const std::string eof = "S19 EOF encountered.", premature = "S19 file ends inside a record.  Premature end of file.";
  const std::tuple<std::string, std::size_t, std::string> cases[] = {
      {body, 3, eof},
      {body + "\n", 3, eof},
      {"", 0, eof},
      {body.substr(0, body.size() - 1), 3, premature},  // inside the checksum
      {body.substr(0, 6), 0, premature},                // inside the address
      {record + "S9", 3, premature},                    // a type alone
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

TEST_F(ReaderTest, AFailedSelectionLeavesNoFileSelected) {
  const std::tuple<bool, std::string, std::string> cases[] = {
      {true, "", "S19 source file selection cancelled."},
      {false, "", "No S19 source file selected."},
      {false, "/nonexistent/x.s19",
       "** ERROR ** Cannot open the S19 source file /nonexistent/x.s19: no such file or directory."},
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
