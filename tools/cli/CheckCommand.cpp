#include "CheckCommand.h"

#include <QCoreApplication>
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "GivenPathDialog.h"
#include "ProcessHygiene.h"
#include "SrecFix.h"
#include "app/HeadlessWindow.h"
#include "app/qt/core/OutputFile.h"
#include "app/qt/core/QtApplication.h"
#include "app/qt/core/SystemClock.h"
#include "engine/Timing.h"
#include "image/LikelyCause.h"
#include "image/SequentialFile.h"
#include "pipe/NoLink.h"

namespace qrb::cli {
namespace {

constexpr int ExitRefused = 1;
constexpr int ExitCannotOpen = 2;
constexpr std::size_t ShownRanges = 8;

std::string Seconds(int ticks) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f s", ticks * timing::DefaultTickMs / 1000.0);
  return text;
}

// The data ranges merged as srec_info merges them: sorted, touching or
// overlapping ranges joined.
std::vector<PreflightReport::Range> Merged(std::vector<PreflightReport::Range> ranges) {
  ranges.erase(std::remove_if(ranges.begin(), ranges.end(), [](const auto& r) { return r.End == r.First; }),
               ranges.end());
  std::sort(ranges.begin(), ranges.end(), [](const auto& a, const auto& b) { return a.First < b.First; });
  std::vector<PreflightReport::Range> merged;
  for (const auto& r : ranges) {
    if (!merged.empty() && r.First <= merged.back().End) {
      merged.back().End = std::max(merged.back().End, r.End);
    } else {
      merged.push_back(r);
    }
  }
  return merged;
}

class Report {
 public:
  explicit Report(std::string path) : path_(std::move(path)) {}

  void Error(int line, const std::string& text) { Print(line, "error", text); }
  void Warning(int line, const std::string& text) {
    Print(line, "warning", text);
    ++warnings_;
  }
  int Warnings() const { return warnings_; }

 private:
  void Print(int line, const char* kind, const std::string& text) {
    std::printf("%s:%s %s: %s\n", path_.c_str(), line > 0 ? (std::to_string(line) + ":").c_str() : "", kind,
                text.c_str());
  }
  std::string path_;
  int warnings_ = 0;
};

void PrintProblems(const std::string& path, const PreflightReport& r, Report& out) {
  if (!r.Passes) {
    const bool stop = !r.Problem.empty() && r.Problem.back() == '.';
    out.Error(r.ProblemLine, r.Problem + (stop ? "" : ".") +
                                 "  The run would stop here: its start is refused and nothing is sent.");
    const std::string cause = FindLikelyCause(path, r.ProblemLine).Text;
    if (!cause.empty()) std::printf("  likely cause: %s.\n", cause.c_str());
    for (const std::string& line : r.ReaderLines)
      if (line != r.Problem) std::printf("  the run's Debug list: %s\n", line.c_str());
  }
  if (r.BadChecksums > 0)
    out.Warning(r.FirstBadChecksumLine,
                "bad checksum" +
                    (r.BadChecksums > 1 ? " (" + std::to_string(r.BadChecksums) + " records, this is the first)"
                                        : std::string()) +
                    "; the reader never checks checksums, so a damaged record would be programmed as read.");
  if (r.Passes && r.EndRecord.empty())
    out.Warning(0, "no end record (S9, S8, S7 or S5); a file cut at a line end would look the same.");
  const std::int32_t dataRecords = r.RecordsByType[1] + r.RecordsByType[2] + r.RecordsByType[3];
  if (r.S5Count >= 0 && r.S5Count != dataRecords)
    out.Warning(r.EndRecordLine, "the S5 record counts " + std::to_string(r.S5Count) + " data records, the file has " +
                                     std::to_string(dataRecords) + ".");
  if (r.LineAfterEnd > 0)
    out.Warning(r.LineAfterEnd, "data after the end record of line " + std::to_string(r.EndRecordLine) +
                                    "; the reader never reads it.");
}

void PrintSummary(const PreflightReport& r) {
  std::string types;
  for (std::size_t t = 0; t < r.RecordsByType.size(); ++t)
    if (r.RecordsByType[t] > 0)
      types += (types.empty() ? "" : ", ") + ("S" + std::to_string(t)) + ": " + std::to_string(r.RecordsByType[t]);
  std::printf("Records%s: %s\n", r.Passes ? "" : " (up to the problem)", types.empty() ? "none" : types.c_str());
  std::printf("Data bytes: %lld\n", static_cast<long long>(r.DataBytes));
  const auto ranges = Merged(r.Ranges);
  std::string shown;
  for (std::size_t i = 0; i < ranges.size() && i < ShownRanges; ++i)
    shown += (i == 0 ? "" : ", ") + Address0x(ranges[i].First) + "-" + Address0x(std::uint64_t{ranges[i].End} - 1);
  if (ranges.size() > ShownRanges) shown += " and " + std::to_string(ranges.size() - ShownRanges) + " more";
  std::printf("Ranges: %s\n", shown.empty() ? "none" : shown.c_str());
  if (!r.Passes) {
    std::printf("Blocks: none sent (the start is refused)\n");
    return;
  }
  std::printf("Blocks: %d of 256 bytes\n", r.Blocks);
  std::printf("Time: about %s to program, %s to verify, at the %d ms tick (%s more when the board starts at "
              "start-up idle)\n",
              Seconds(timing::ProgramTicks.Of(r.Blocks)).c_str(), Seconds(timing::VerifyTicks.Of(r.Blocks)).c_str(),
              timing::DefaultTickMs, Seconds(timing::StartupIdleTicks).c_str());
}

// The main window without a link, to read files as a run does.
class Reader {
 public:
  Reader() { window_.form1.InitVariables(); }

  // Selects `path` as "Select Source File" does; false with the reason.
  bool Select(const std::string& path, std::string& reason) {
    dialog_.SetPath(path);
    window_.form1.SelectSourceFile_Click();
    reason = window_.form1.SourceFile.Reason();
    return window_.form1.SourceFileChosen();
  }
  PreflightReport Preflight() { return window_.form1.Preflight(); }

 private:
  PlainTimer timer1_;
  NoSerialLibrary serial_;
  NoTcpControl tcp_;
  GivenPathDialog dialog_{""};
  SystemClock clock_;
  QtApplication app_;
  HeadlessWindow window_{timer1_, {serial_, tcp_, dialog_, clock_, app_}};
};

std::string SuggestedOut(const std::string& in) {
  std::filesystem::path p(in);
  return (p.parent_path() / (p.stem().string() + "-fixed.s19")).string();
}

// Why --fix cannot write its file ("OUT: reason"), or empty.
std::string FixOutProblem(const CliOptions& options) {
  const std::string problem = OutputPathProblem(options.FixOut);
  if (!problem.empty()) return options.FixOut + ": " + problem;
  return SameFileProblem({{"", options.File}}, {{"", options.FixOut}});
}

}  // namespace

int CheckCommand(const CliOptions& options) {
  // A stop signal kills srec_cat; the temporary files go with their owners.
  SrecordRunner srecord;
  StopSignals stopSignals([&](int) { srecord.Stop(); });
  const auto stopped = [&] {
    QCoreApplication::processEvents();
    return stopSignals.Received() != 0;
  };

  Reader reader;
  std::string reason;
  if (!reader.Select(options.File, reason)) {
    std::fprintf(stderr, "qrb-flash-cli: cannot open %s: %s\n", options.File.c_str(), reason.c_str());
    return ExitCannotOpen;
  }
  const bool wanted = !options.FixOut.empty();
  if (const std::string problem = wanted ? FixOutProblem(options) : std::string(); !problem.empty()) {
    std::fprintf(stderr, "qrb-flash-cli: cannot write %s\n", problem.c_str());
    return ExitCannotOpen;
  }
  const PreflightReport report = reader.Preflight();
  if (stopped()) return StopSignals::ExitStatus(stopSignals.Received());
  Report out(options.File);
  PrintProblems(options.File, report, out);
  PrintSummary(report);
  std::printf("Result: %s\n", report.Passes ? "a run would program and verify the file."
                                            : "a run would refuse the file; nothing would be sent.");
  // Without --fix the exit status is the run's verdict, whatever the fix.
  const int verdict = report.Passes ? 0 : ExitRefused;
  if (report.Passes && out.Warnings() == 0 && !wanted) return verdict;

  const std::string target = wanted ? options.FixOut : SuggestedOut(options.File);
  SrecFix fix(srecord, options.File, target);
  if (stopped()) return StopSignals::ExitStatus(stopSignals.Received());
  if (!fix.Made()) {
    std::printf("No safe fix: %s.%s\n", fix.Reason().c_str(), wanted ? "  Nothing written." : "");
    return wanted ? ExitRefused : verdict;
  }
  // The fix must itself pass the run's pre-flight before it is offered.
  std::string fixedReason;
  const bool fixPasses = reader.Select(fix.FixedPath(), fixedReason) && reader.Preflight().Passes;
  if (stopped()) return StopSignals::ExitStatus(stopSignals.Received());
  if (!fixPasses) {
    std::printf("No safe fix: srec_cat's rewrite would still be refused.%s\n", wanted ? "  Nothing written." : "");
    return wanted ? ExitRefused : verdict;
  }
  if (!wanted) {
    std::printf("Fix: %s\n", fix.Command().c_str());
    return verdict;
  }
  if (!fix.KeepAs(options.FixOut, reason)) {
    std::fprintf(stderr, "qrb-flash-cli: cannot write %s: %s\n", options.FixOut.c_str(), reason.c_str());
    std::printf("No fix written: %s.\n", reason.c_str());
    return ExitRefused;
  }
  if (stopped()) return StopSignals::ExitStatus(stopSignals.Received());
  std::printf("Fixed: %s written by %s\n", options.FixOut.c_str(), fix.Command().c_str());
  return 0;
}

}  // namespace qrb::cli
