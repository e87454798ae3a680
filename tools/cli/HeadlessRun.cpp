#include "HeadlessRun.h"

#include <QEventLoop>
#include <QSaveFile>
#include <QString>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "BoardRun.h"
#include "LineOutput.h"
#include "ProcessHygiene.h"
#include "ProgressLine.h"
#include "RunReport.h"
#include "S19Writer.h"
#include "TickStats.h"
#include "image/SequentialFile.h"

namespace qrb::cli {
namespace {

constexpr int ExitFailed = 1;
constexpr int ExitCannotStart = 2;

void Complain(const std::string& message) { std::fprintf(stderr, "qrb-flash-cli: %s\n", message.c_str()); }

// Runs the event loop until done() holds or the time is up; false on time-out.
template <typename Done>
bool WaitFor(Done done, int timeoutMs) {
  QEventLoop loop;
  QTimer poll, deadline;
  QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
    if (done()) loop.quit();
  });
  QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
  poll.start(5);
  if (timeoutMs > 0) deadline.start(timeoutMs);
  if (!done()) loop.exec();
  return done();
}

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

}  // namespace

int HeadlessRun(const CliOptions& options) {
  std::vector<std::unique_ptr<BoardRun>> boards;
  bool stopping = false;
  QEventLoop runLoop;
  // A stop signal or a line that cannot be written presses every run's
  // "Abort" button, from the event loop: never from inside a handler.
  const auto stopRuns = [&] {
    if (std::exchange(stopping, true)) return;
    QTimer::singleShot(0, &runLoop, [&] {
      for (const auto& board : boards) board->Abort();
      runLoop.quit();
    });
  };
  StopSignals stopSignals([&](int) { stopRuns(); });
  LineOutput lines;

  RunSummary summary;
  summary.started = std::chrono::system_clock::now();

  // The report is written on every way out once the arguments made sense.
  const auto finish = [&](int status) {
    // A line that could not be written spoils any outcome; a stop signal wins.
    if (lines.Failed()) {
      lines.ReportFailure();
      status = ExitFailed;
    }
    if (stopSignals.Received() != 0) status = StopSignals::ExitStatus(stopSignals.Received());
    summary.exitStatus = status;
    summary.ended = std::chrono::system_clock::now();
    if (!options.ReportPath.empty()) {
      std::vector<const BoardRecord*> records;
      for (const auto& board : boards) records.push_back(&board->Record());
      QString error;
      if (!WriteRunReport(QString::fromStdString(options.ReportPath), options, records, summary, error)) {
        Complain("cannot write the report " + options.ReportPath + ": " + error.toStdString());
        if (status == 0) status = ExitFailed;
      }
    }
    return status;
  };
  const auto refuse = [&](const std::string& message) {
    Complain(message);
    summary.refusal = message;
    return finish(ExitCannotStart);
  };

  if (!options.ReportPath.empty()) {
    // A run on a production line without its record is no good: the report
    // must be writable before the board is asked for anything.
    QSaveFile probe(QString::fromStdString(options.ReportPath));
    if (!probe.open(QIODevice::WriteOnly)) {
      Complain("cannot write the report " + options.ReportPath + ": " + probe.errorString().toStdString());
      return ExitCannotStart;
    }
    probe.cancelWriting();
  }

  const bool read = options.Command == CliCommand::Read;
  std::unique_ptr<S19Writer> output;
  if (read) {
    // The output must be writable before the board is asked for anything.
    output = std::make_unique<S19Writer>(QString::fromStdString(options.File), BlockSpans(options.Ranges).back().Last | 0xFFu);
    QString error;
    if (!output->Open(error)) return refuse("cannot write " + options.File + ": " + error.toStdString());
  } else if (SequentialFile file; !file.Open(options.File)) {
    // A file that cannot be read stops the run before any link is opened.
    return refuse("cannot open " + options.File + ": " + file.Reason());
  }

  const bool several = options.Boards.size() > 1;
  ProgressLine progress(!several && !options.Quiet && ProgressLine::StderrCanDraw());
  TickStats tickStats;
  for (const CliBoard& board : options.Boards) {
    BoardOutput out;
    out.lines = &lines;
    out.writeFailed = stopRuns;
    out.quiet = options.Quiet;
    if (several) {
      out.prefix = "[" + board.Name() + "] ";
    } else {
      out.progress = &progress;
      out.tickStats = &tickStats;
    }
    boards.push_back(std::make_unique<BoardRun>(options, board, out, output.get()));
  }

  // Every link is opened at once; the TCP connections settle together. The
  // control gives up after the connect time-out itself; the extra second only
  // guards against an event that never comes.
  std::vector<bool> open(boards.size());
  for (std::size_t i = 0; i < boards.size(); ++i) open[i] = boards[i]->OpenLink();
  WaitFor(
      [&] {
        return stopping ||
               std::none_of(boards.begin(), boards.end(), [](const auto& b) { return b->Connecting(); });
      },
      options.ConnectTimeoutMs + 1000);
  for (std::size_t i = 0; i < boards.size(); ++i)
    if (open[i] && !stopping) open[i] = boards[i]->LinkReady();

  if (read) progress.SetTotal(ReadBlockCount(BlockSpans(options.Ranges)));

  int running = 0;
  for (std::size_t i = 0; i < boards.size() && !stopping; ++i) {
    if (!open[i]) continue;
    if (boards[i]->Start([&] {
          if (--running == 0) runLoop.quit();
        }))
      ++running;
  }
  if (running > 0) runLoop.exec();  // a stop during the start is waiting in its queue
  progress.Finish();
  if (tickStats.On()) tickStats.Write();
  for (const auto& board : boards) board->Finish();

  bool all = true, noneOpened = true;
  for (const auto& board : boards) {
    all = all && board->Record().outcome == BoardOutcome::Succeeded;
    noneOpened = noneOpened && board->Record().cannotOpen;
  }
  if (read && all) {
    QString error;
    if (!output->Commit(error)) {
      Complain("cannot write " + options.File + ": " + error.toStdString());
      all = false;
    }
  }
  if (several) PrintSummary(boards, lines);
  // 2 when no board's link (or the file) could be opened at all.
  const int status = all ? 0 : noneOpened ? ExitCannotStart : ExitFailed;
  return finish(status);
}

}  // namespace qrb::cli
