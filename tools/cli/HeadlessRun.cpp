#include "HeadlessRun.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QHostAddress>
#include <QHostInfo>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <set>
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
#include "app/qt/core/OutputFile.h"
#include "image/SequentialFile.h"
#include "pipe/qt/QtSerialLibrary.h"

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

// What identifies a board's link after names are resolved: a TCP board by
// its addresses and port, a serial one by its device's real path.
struct LinkIdentity {
  std::set<std::string> endpoints;
  bool Overlaps(const LinkIdentity& other) const {
    return std::any_of(endpoints.begin(), endpoints.end(), [&](const auto& e) { return other.endpoints.count(e) > 0; });
  }
};

LinkIdentity IdentityOf(const CliBoard& board) {
  LinkIdentity id;
  if (board.Link == CliLink::Tcp) {
    const QHostInfo info = QHostInfo::fromName(QString::fromStdString(board.Host));
    for (const QHostAddress& address : info.addresses())
      id.endpoints.insert(address.toString().toStdString() + "#" + std::to_string(board.Port));
    if (id.endpoints.empty()) id.endpoints.insert(board.Name());
    return id;
  }
  const QString device =
      board.Link == CliLink::Serial ? QString::fromStdString(board.Device) : DefaultComDevice(board.ComPort);
  const QString real = QFileInfo(device).canonicalFilePath();
  id.endpoints.insert((real.isEmpty() ? device : real).toStdString());
  return id;
}

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
      std::string error;
      if (!WriteRunReport(options.ReportPath, options, records, summary, error)) {
        Complain("cannot write the report " + options.ReportPath + ": " + error);
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

  // A run on a production line without its record or its backup is no good:
  // the outputs and the links are checked before the board is asked for
  // anything.
  const bool read = options.Command == CliCommand::Read;
  std::string problem = OutputsProblem(options);
  if (problem.empty()) problem = SameBoardProblem(options.Boards);
  if (!problem.empty()) {
    Complain(problem);
    return ExitCannotStart;
  }

  std::unique_ptr<S19Writer> output;
  if (read) {
    output = std::make_unique<S19Writer>(options.File, BlockSpans(options.Ranges).back().Last | 0xFFu);
    std::string error;
    if (!output->Open(error)) return refuse("cannot write " + options.File + ": " + error);
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
    // With the S-records on stdout, the Status list goes to stderr.
    if (read && OutputFile::IsStdout(options.File)) out.statusStream = stderr;
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
    // A board that is done lets go of its link at once, and its time ends
    // there, whatever the others still do.
    BoardRun* board = boards[i].get();
    if (board->Start([&, board] {
          QTimer::singleShot(0, &runLoop, [board] { board->Finish(); });
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
  if (several) PrintSummary(boards, lines);
  // 2 when no board's link (or the file) could be opened at all.
  const int status = all ? 0 : noneOpened ? ExitCannotStart : ExitFailed;
  return finish(status);
}

}  // namespace qrb::cli
