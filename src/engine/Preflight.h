// The pre-flight: before a run sends anything, the chosen file is read
// through once by the run's own reader and block builder, with nothing posted
// and nothing sent, to learn whether the run would write every block.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace qrb {

struct ReflashSession;
class SequentialFile;

struct PreflightReport {
  // The run would build and send every block and end with its success lines
  // on a board that answers correctly.
  bool Passes = false;
  // The first thing that would stop the run or spoil its image, in the
  // words the run posts, and the file line it stands on.
  std::string Problem;
  int ProblemLine = 0;
  // The reader's Debug lines up to and on the line of the first problem.
  std::vector<std::string> ReaderLines;
  std::int32_t Blocks = 0;  // blocks the run sends, up to where it would stop

  // What the reader met on its way (up to where it stopped).
  std::array<std::int32_t, 10> RecordsByType{};  // S0 to S9 headers read
  std::int64_t DataBytes = 0;
  struct Range {
    std::uint32_t First;
    std::uint32_t End;  // one past the last byte
  };
  std::vector<Range> Ranges;  // of records that follow each other, in file order
  std::string EndRecord;      // "S9", "S5", ...; empty when the file just ended
  int EndRecordLine = 0;
  std::int32_t BadChecksums = 0;
  int FirstBadChecksumLine = 0;
  std::int32_t S5Count = -1;  // the count an S5 end record states
  int LineAfterEnd = 0;       // first data record after the end record
};

// Set on the main window while the pre-flight reads: the run's lines are
// collected instead of posted, and the reader tells what it meets.
class PreflightWatch {
 public:
  PreflightWatch(PreflightReport& report, const ReflashSession& s, const SequentialFile& file)
      : report_(report), s_(s), file_(file) {}

  // A line the run would post on the Status (status) or the Debug list.
  void Post(const std::string& line, bool status);
  // The run would stop here (AbortSequence).
  void Stopped();
  void RecordHeader(const std::string& type);
  void DataRecord(std::uint32_t address, std::int32_t count);
  void Pair(std::uint8_t value) { sum_ = static_cast<std::uint8_t>(sum_ + value); }
  // The checksum pair of a data record, against the pairs read since its header.
  void Checksum(const std::string& pair);
  void Block() { ++report_.Blocks; }

 private:
  void NoteProblem(const std::string& what);

  PreflightReport& report_;
  const ReflashSession& s_;
  const SequentialFile& file_;
  std::uint8_t sum_ = 0;
};

// The Status line of a start refused by the pre-flight.
std::string PreflightRefusal(const PreflightReport& report);

// A start the pre-flight refused, for a front end to show whole: the line
// that holds the fault, the problem as the Status line words it, and the
// likely cause (empty when none is known).
struct StartRefusal {
  int Line = 0;
  std::string Problem;
  std::string Cause;
};

}  // namespace qrb
