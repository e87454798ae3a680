// The pre-flight of both start buttons: the run's reader and block builder
// over the whole file, muted, before the link is flushed or anything is sent.
#include "engine/Preflight.h"

#include "app/Form1.h"
#include "app/Text.h"
#include "engine/EngineStates.h"
#include "image/LikelyCause.h"

namespace qrb {

namespace {

// Debug lines kept for a refused start: enough for the first problem's line.
constexpr std::size_t MaxReaderLines = 8;

// The value of an upper-case hexadecimal text, or -1.
long HexValue(const std::string& text) {
  long value = 0;
  for (const char c : text) {
    const int d = HexDigit(static_cast<unsigned char>(c));
    if (d < 0) return -1;
    value = value * 16 + d;
  }
  return text.empty() ? -1 : value;
}

// After an end record: the count an S5 states, and the first data record
// after it (never read by a run).
void ReadAfterEnd(SequentialFile& file, PreflightReport& report) {
  if (report.EndRecord == "S5") {
    const long count = HexValue(file.Read(4));
    if (count >= 0) report.S5Count = static_cast<std::int32_t>(count);
  }
  while (file.Line() == report.EndRecordLine && !file.Read(1).empty()) {
  }
  std::string start;  // the first characters of the line being read
  for (std::string c = file.Read(1); !c.empty(); c = file.Read(1)) {
    if (c == "\r" || c == "\n") {
      start.clear();
    } else if (start.size() < 2) {
      start += c;
      if (start.size() == 2 && (start[0] == 'S' || start[0] == 's') && start[1] >= '1' && start[1] <= '3') {
        report.LineAfterEnd = file.Line();
        return;
      }
    }
  }
}

}  // namespace

void PreflightWatch::NoteProblem(const std::string& what) {
  if (!report_.Problem.empty()) return;
  report_.Problem = what;
  report_.ProblemLine = file_.Line();
}

void PreflightWatch::Post(const std::string& line, bool status) {
  if (status || !s_.ImageReadClean) NoteProblem(line);
  const bool kept = report_.Problem.empty() || report_.ProblemLine == file_.Line();
  if (!status && kept && report_.ReaderLines.size() < MaxReaderLines) report_.ReaderLines.push_back(line);
}

void PreflightWatch::Stopped() {
  const bool noData = report_.RecordsByType[1] + report_.RecordsByType[2] + report_.RecordsByType[3] == 0;
  NoteProblem(noData ? "No data record before the end of the data."
                     : "A data record without data bytes where a block must start.");
}

void PreflightWatch::RecordHeader(const std::string& type) {
  sum_ = 0;
  if (type.size() == 2 && type[0] == 'S' && type[1] >= '0' && type[1] <= '9') {
    ++report_.RecordsByType[static_cast<std::size_t>(type[1] - '0')];
    if (type[1] >= '5' && type[1] != '6') {
      report_.EndRecord = type;
      report_.EndRecordLine = file_.Line();
    }
  }
}

void PreflightWatch::DataRecord(std::uint32_t address, std::int32_t count) {
  report_.DataBytes += count;
  const std::uint32_t end = address + static_cast<std::uint32_t>(count);
  if (!report_.Ranges.empty() && report_.Ranges.back().End == address) {
    report_.Ranges.back().End = end;  // the data go on: one range per run of records
  } else {
    report_.Ranges.push_back({address, end});
  }
}

void PreflightWatch::Checksum(const std::string& pair) {
  const long value = HexValue(pair);
  if (value < 0 || value == static_cast<std::uint8_t>(~sum_)) return;
  if (report_.BadChecksums++ == 0) report_.FirstBadChecksumLine = file_.Line();
}

namespace {

std::string Sentence(std::string text) {
  if (!text.empty() && text.back() != '.') text += '.';
  return text;
}

}  // namespace

std::string PreflightRefusal(const PreflightReport& report) {
  return "###  S19 file refused at line " + Dec(report.ProblemLine) + "  ###  " + Sentence(report.Problem) +
         "  Nothing sent to the QRB interface.";
}

void Form1::CountBlock() { Muted->Block(); }

bool EngineStates::ReadThrough(Form1& f) {
  const StateRow& builder = *Find(ProgramFirstBlockState);
  const BlockPath Count{&Form1::CountBlock, builder.next, builder.lastNext};
  ReflashSession& s = f.S;
  s.ProgramMode = ProgramFirstBlockState;
  FirstBlock(f, Count);
  while (s.ProgramMode == Count.fullNext) {
    s.ProgramMode = ProgramNextBlockState;
    if (!NextBlock(f, Count)) return true;  // the data ended with a full block
  }
  return s.ProgramMode == Count.lastNext;
}

PreflightReport Form1::Preflight() {
  PreflightReport report;
  std::vector<bool> runBlocks;  // the last run's, kept aside rather than copied
  runBlocks.swap(S.SentBlocks);
  const ReflashSession saved = S;
  PreflightWatch watch(report, S, SourceFile);
  Muted = &watch;
  SourceFile.Rewind();
  S.ImageReadClean = true;
  EngineStates::ForgetSentBlocks(S);
  S.Outcome = RunOutcome::Running;
  const bool completes = EngineStates::ReadThrough(*this);
  report.Passes = completes && S.ImageReadClean;
  if (report.Passes && !report.EndRecord.empty()) ReadAfterEnd(SourceFile, report);
  Muted = nullptr;
  SourceFile.Rewind();
  S = saved;
  S.SentBlocks.swap(runBlocks);
  return report;
}

bool Form1::PreflightPasses() {
  PreflightReport report = Preflight();
  blocksToSend_ = report.Blocks;
  if (report.Passes) return true;
  for (const std::string& line : report.ReaderLines) {
    Debug(line);
  }
  // The reader may stop a line after the fault (a line end it took for
  // data): the refusal names the line that holds it.
  const LikelyCause cause = FindLikelyCause(S.SourceFilePath, report.ProblemLine);
  if (cause.Line > 0) report.ProblemLine = cause.Line;
  refusal_ = {report.ProblemLine, Sentence(report.Problem), cause.Text};
  Status(PreflightRefusal(report));
  return false;
}

}  // namespace qrb
