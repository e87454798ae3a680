#include "HeadlessRun.h"

#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "BoardRun.h"
#include "CliLinkKinds.h"
#include "LineOutput.h"
#include "ProcessHygiene.h"
#include "ProgressLine.h"
#include "RunReport.h"
#include "S19Writer.h"
#include "TickStats.h"
#include "app/qt/core/OutputFile.h"
#include "image/SequentialFile.h"

namespace qrb::cli {
namespace {

constexpr int ExitFailed = 1;
constexpr int ExitCannotStart = 2;

void Complain(const std::string& message) { std::fprintf(stderr, "qrb-flash-cli: %s\n", message.c_str()); }

// The blocks the ranges touch, for the progress line.
int ReadBlockCount(const std::vector<BlockSpan>& spans) {
  std::uint64_t count = 0;
  for (const BlockSpan& span : spans) count += span.Blocks();
  return static_cast<int>(count);
}

// The closing table of a run on several boards, written as the lists' lines
// are: a line that cannot be written spoils the outcome.
void PrintSummary(const std::vector<std::unique_ptr<BoardRun>>& boards, LineOutput& lines) {
  std::size_t width = 5;
  for (const auto& board : boards) width = std::max(width, board->Record().name.size());
  const int w = static_cast<int>(width);
  char row[512];
  lines.Write(stdout, "summary", "");
  std::snprintf(row, sizeof row, "%-*s  %-9s  %6s  %6s  %8s", w, "board", "outcome", "blocks", "errors", "seconds");
  lines.Write(stdout, "summary", row);
  for (const auto& board : boards) {
    const BoardRecord& r = board->Record();
    std::snprintf(row, sizeof row, "%-*s  %-9s  %6zu  %6d  %8.2f", w, r.name.c_str(), OutcomeName(r.outcome),
                  r.blocks.size(), r.totalErrors, r.Seconds());
    lines.Write(stdout, "summary", row);
  }
}

// What identifies a board's link after names are resolved: a TCP board by
// its addresses and port, a serial one by its device's real path.
struct LinkIdentity {
  std::set<std::string> endpoints;
  bool Overlaps(const LinkIdentity& other) const {
    return std::any_of(endpoints.begin(), endpoints.end(), [&](const auto& e) { return other.endpoints.count(e) > 0; });
  }
};

LinkIdentity IdentityOf(const CliBoard& board) { return {CliLinkKindOf(board)->endpoints(board)}; }

// "the same board twice: A and B" when two links reach one board, else empty.
std::string SameBoardProblem(const std::vector<CliBoard>& boards) {
  if (boards.size() < 2) return {};
  std::vector<LinkIdentity> ids;
  for (const CliBoard& board : boards) ids.push_back(IdentityOf(board));
  for (std::size_t i = 0; i < ids.size(); ++i)
    for (std::size_t j = 0; j < i; ++j)
      if (ids[i].Overlaps(ids[j])) return "the same board twice: " + boards[j].Name() + " and " + boards[i].Name();
  return {};
}

// Why the command's outputs cannot be written, or empty: each must be
// writable, and none may be an input or another output.
std::string OutputsProblem(const CliOptions& options) {
  std::vector<NamedPath> inputs, outputs;
  if (options.Command == CliCommand::Read) outputs.push_back({"", options.File});
  else inputs.push_back({"the image", options.File});
  if (!options.ReportPath.empty()) outputs.push_back({"the report", options.ReportPath});
  for (const NamedPath& out : outputs) {
    if (OutputFile::IsStdout(out.path)) continue;
    if (const std::string problem = OutputPathProblem(out.path); !problem.empty())
      return "cannot write " + (out.what.empty() ? "" : out.what + " ") + out.path + ": " + problem;
  }
  const std::string same = SameFileProblem(inputs, outputs);
  return same.empty() ? same : "cannot write " + same;
}

// One command's run on its boards: the shared event loop, the stop signals,
// the lines and the report.
class HeadlessSession {
 public:
  explicit HeadlessSession(const CliOptions& options)
      : options_(options), stopSignals_([this](int) { StopRuns(); }) {
    summary_.started = std::chrono::system_clock::now();
  }

  int Run() {
    // A run on a production line without its record or its backup is no
    // good: the outputs and the links are checked before the board is asked
    // for anything.
    std::string problem = OutputsProblem(options_);
    if (problem.empty()) problem = SameBoardProblem(options_.Boards);
    if (!problem.empty()) {
      Complain(problem);
      return ExitCannotStart;
    }
    if (read_) {
      output_ = std::make_unique<S19Writer>(options_.File, BlockSpans(options_.Ranges).back().Last | 0xFFu);
      std::string error;
      if (!output_->Open(error)) return Refuse("cannot write " + options_.File + ": " + error);
    } else if (SequentialFile file; !file.Open(options_.File)) {
      // A file that cannot be read stops the run before any link is opened.
      return Refuse("cannot open " + options_.File + ": " + file.Reason());
    }
    MakeBoards();
    RunBoards();
    progress_.Finish();
    if (tickStats_.On())
      tickStats_.Write(options_.Command, static_cast<int>(boards_.front()->Record().blocks.size()));
    for (const auto& board : boards_) board->Finish();

    bool all = true, noneOpened = true;
    for (const auto& board : boards_) {
      all = all && board->Record().outcome == BoardOutcome::Succeeded;
      noneOpened = noneOpened && board->Record().cannotOpen;
    }
    if (several_) PrintSummary(boards_, lines_);
    // 2 when no board's link (or the file) could be opened at all.
    return Finish(all ? 0 : noneOpened ? ExitCannotStart : ExitFailed);
  }

 private:
  // A stop signal or a line that cannot be written presses every run's
  // "Abort" button, from the event loop: never from inside a handler.
  void StopRuns() {
    if (std::exchange(stopping_, true)) return;
    QTimer::singleShot(0, &runLoop_, [this] {
      for (const auto& board : boards_) board->Abort();
      runLoop_.quit();
    });
  }

  // The report is written on every way out once the arguments made sense.
  int Finish(int status) {
    // A line that could not be written spoils any outcome; a stop signal wins.
    if (lines_.Failed()) {
      lines_.ReportFailure();
      status = ExitFailed;
    }
    if (stopSignals_.Received() != 0) status = StopSignals::ExitStatus(stopSignals_.Received());
    summary_.exitStatus = status;
    summary_.ended = std::chrono::system_clock::now();
    if (options_.ReportPath.empty()) return status;
    std::vector<const BoardRecord*> records;
    for (const auto& board : boards_) records.push_back(&board->Record());
    std::string error;
    if (!WriteRunReport(options_.ReportPath, options_, records, summary_, error)) {
      Complain("cannot write the report " + options_.ReportPath + ": " + error);
      if (status == 0) status = ExitFailed;
    }
    return status;
  }

  int Refuse(const std::string& message) {
    Complain(message);
    summary_.refusal = message;
    return Finish(ExitCannotStart);
  }

  void MakeBoards() {
    for (const CliBoard& board : options_.Boards) {
      BoardOutput out;
      out.lines = &lines_;
      // With the S-records on stdout, the Status list goes to stderr.
      if (read_ && OutputFile::IsStdout(options_.File)) out.statusStream = stderr;
      out.writeFailed = [this] { StopRuns(); };
      out.quiet = options_.Quiet;
      if (several_) {
        out.prefix = "[" + board.Name() + "] ";
      } else {
        out.progress = &progress_;
        out.tickStats = &tickStats_;
      }
      boards_.push_back(std::make_unique<BoardRun>(options_, board, out, output_.get()));
    }
  }

  // Every link is opened at once. Each board starts its run as soon as its
  // own link has settled (opened, failed, or its time to wait is over).
  void RunBoards() {
    if (read_) progress_.SetTotal(ReadBlockCount(BlockSpans(options_.Ranges)));
    phase_.assign(boards_.size(), Phase::Opening);
    for (std::size_t i = 0; i < boards_.size(); ++i)
      if (!boards_[i]->OpenLink()) phase_[i] = Phase::Done;
    QTimer settle;
    QObject::connect(&settle, &QTimer::timeout, &runLoop_, [this] { StartSettledBoards(); });
    settle.start(5);
    if (!AllDone()) runLoop_.exec();  // a stop during the start is waiting in its queue
  }

  void StartSettledBoards() {
    for (std::size_t i = 0; i < boards_.size() && !stopping_; ++i) {
      if (phase_[i] != Phase::Opening || boards_[i]->Connecting()) continue;
      phase_[i] = Phase::Done;
      if (!boards_[i]->LinkReady()) continue;
      // A board that is done lets go of its link at once, and its time ends
      // there, whatever the others still do.
      BoardRun* board = boards_[i].get();
      const bool started = board->Start([this, i, board] {
        QTimer::singleShot(0, &runLoop_, [board] { board->Finish(); });
        phase_[i] = Phase::Done;
        --running_;
        if (AllDone()) runLoop_.quit();
      });
      if (started) phase_[i] = Phase::Running, ++running_;
    }
    if (AllDone()) runLoop_.quit();
  }

  bool AllDone() const {
    return running_ == 0 && std::none_of(phase_.begin(), phase_.end(), [](Phase p) { return p == Phase::Opening; });
  }

  enum class Phase { Opening, Running, Done };

  const CliOptions& options_;
  const bool read_ = options_.Command == CliCommand::Read;
  const bool several_ = options_.Boards.size() > 1;
  std::vector<std::unique_ptr<BoardRun>> boards_;
  std::vector<Phase> phase_;
  int running_ = 0;
  bool stopping_ = false;
  QEventLoop runLoop_;
  StopSignals stopSignals_;
  LineOutput lines_;
  RunSummary summary_;
  std::unique_ptr<S19Writer> output_;
  ProgressLine progress_{!several_ && !options_.Quiet && ProgressLine::StderrCanDraw()};
  TickStats tickStats_;
};

}  // namespace

int HeadlessRun(const CliOptions& options) { return HeadlessSession(options).Run(); }

}  // namespace qrb::cli
