#include "BoardRun.h"

#include <QString>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <utility>

#include "GivenPathDialog.h"
#include "LineOutput.h"
#include "ProgressLine.h"
#include "S19Writer.h"
#include "TickStats.h"
#include "app/HeadlessWindow.h"
#include "app/Text.h"
#include "app/qt/core/QtApplication.h"
#include "app/qt/core/QtTimer.h"
#include "app/qt/core/SystemClock.h"
#include "pipe/qt/QtSerialLibrary.h"
#include "pipe/qt/QtTcpControl.h"

namespace qrb::cli {
namespace {

// Passes every TCP event on to the main window and notes how the connection
// attempt ended.
class LinkWatch : public TcpEvents {
 public:
  explicit LinkWatch(TcpEvents& main, std::function<void()> onFailed) : main_(main), onFailed_(std::move(onFailed)) {}
  void Winsock1Data_Connect() override {
    main_.Winsock1Data_Connect();
    connected = true;
  }
  void Winsock1Data_DataArrival(std::int32_t count) override { main_.Winsock1Data_DataArrival(count); }
  void Winsock1Data_ConnectFailed(const std::string& why) override {
    main_.Winsock1Data_ConnectFailed(why);
    failed = true;
    reason = why;
    if (onFailed_) onFailed_();
  }
  void Winsock1Data_Dropped(const std::string& why) override { main_.Winsock1Data_Dropped(why); }

  bool connected = false;
  bool failed = false;
  std::string reason;

 private:
  TcpEvents& main_;
  std::function<void()> onFailed_;
};

constexpr int RetryMs = 250;
// While waiting, a connection attempt that gets no answer within a second
// is given up and started afresh (a board whose Ethernet has just come up
// answers the new one at once); never longer than the connect time-out.
constexpr int UnansweredMs = 1000;

int AttemptTimeoutMs(const CliOptions& options) {
  return options.WaitMs > 0 ? std::min(options.ConnectTimeoutMs, UnansweredMs) : options.ConnectTimeoutMs;
}

// Notes every compared block and hands every block read to the output file,
// which is put in place once the last block is in.
class BlockLog : public BlockObserver {
 public:
  BlockLog(std::vector<BlockResult>& blocks, S19Writer* output, std::function<void(const std::string&)> complain)
      : blocks_(blocks), output_(output), complain_(std::move(complain)) {}
  void BlockCompared(std::int32_t address, std::int32_t mismatches) override {
    blocks_.push_back({address, mismatches});
  }
  void BlockUnchanged(std::int32_t address) override { blocks_.push_back({address, 0, 0, true}); }
  bool BlockRead(std::int32_t address, const std::uint8_t* bytes, std::int32_t reads) override {
    if (output_ == nullptr || !output_->Block(static_cast<std::uint32_t>(address), bytes)) return false;
    blocks_.push_back({address, -1, reads});
    return true;
  }
  bool ReadComplete() override {
    std::string error;
    if (output_ != nullptr && output_->Commit(error)) return true;
    complain_("cannot write " + (output_ != nullptr ? output_->Path() : std::string()) + ": " + error);
    return false;
  }

 private:
  std::vector<BlockResult>& blocks_;
  S19Writer* output_;
  std::function<void(const std::string&)> complain_;
};

std::function<QString(int)> DeviceFor(const CliBoard& board) {
  if (board.Link != CliLink::Serial) return DefaultComDevice;
  const QString device = SerialDevicePath(QString::fromStdString(board.Device));
  return [device](int) { return device; };
}

}  // namespace

struct BoardRun::Parts {
  Parts(BoardRun& run, const CliOptions& options, const CliBoard& board, S19Writer* readOutput)
      : timer1([this, &run] { Tick(run); }),
        serial(DeviceFor(board), board.Link == CliLink::Serial),
        tcp{std::chrono::milliseconds(AttemptTimeoutMs(options))},
        fileDialog(options.File),
        blockLog(run.record_.blocks, readOutput, [&run](const std::string& message) { run.Say(message); }),
        window(timer1, {serial, tcp, fileDialog, clock, app, &serial, &blockLog},
               [&run](const std::string& line) { run.Post(true, line); },
               [&run](const std::string& line) { run.Post(false, line); }),
        form1(window.form1),
        watch(form1, [&run] { run.TryAgain(); }) {
    form1.TickIntervalMs = options.TickMs;
    form1.SkipUnchanged = options.SkipUnchanged;
    form1.InitVariables();
    tcp.SetEvents(&watch);
  }

  void Tick(BoardRun& run) {
    TickStats* stats = run.output_.tickStats;
    if (stats != nullptr && stats->On()) {
      const auto start = TickStats::Clock::now();
      form1.Timer1_Timer();
      stats->Tick(start, TickStats::Clock::now());
    } else {
      form1.Timer1_Timer();
    }
    if (run.output_.progress) run.output_.progress->Observe(form1.S.ProgramMode, form1.S.BlockAddress);
    if (running && !form1.Running()) {
      running = false;
      if (ended) ended();
    }
  }

  QtTimer timer1;
  QtSerialLibrary serial;
  QtTcpControl tcp;
  GivenPathDialog fileDialog;
  SystemClock clock;
  QtApplication app;
  BlockLog blockLog;
  HeadlessWindow window;
  Form1& form1;
  LinkWatch watch;
  bool running = false;
  bool finished = false;
  std::function<void()> ended;
  // Waiting for the link: lines of the attempt under way are held back.
  bool holding = false;
  std::vector<PostedLine> held;
  std::chrono::steady_clock::time_point waitStarted{}, waitUntil{}, giveUpAt{};
  QTimer retry;
  bool retrying = false;
};

BoardRun::BoardRun(const CliOptions& options, const CliBoard& board, BoardOutput output, S19Writer* readOutput)
    : options_(options), output_(std::move(output)) {
  record_.name = board.Name();
  record_.board = board;
  parts_ = std::make_unique<Parts>(*this, options, board, readOutput);
}

BoardRun::~BoardRun() = default;

void BoardRun::Post(bool status, const std::string& line) {
  if (parts_->holding) {
    parts_->held.push_back({status, line});
    return;
  }
  record_.lines.push_back({status, line});
  if (!status && output_.quiet) return;
  // stdout and stderr may share the terminal: no line is written over the
  // progress line, which comes back only while the run goes on.
  if (output_.progress != nullptr) output_.progress->Hide();
  const std::string text = output_.prefix + line;
  const bool written = output_.lines->Write(status ? output_.statusStream : stderr, status ? "Status list" : "Debug list", text);
  if (output_.progress != nullptr && parts_->form1.Running()) output_.progress->Show();
  if (!written && output_.writeFailed) output_.writeFailed();
}

void BoardRun::Complain(const std::string& message) {
  record_.refusal = message;
  record_.cannotOpen = true;
  Say(message);
}

void BoardRun::Say(const std::string& message) {
  if (output_.progress) output_.progress->Hide();
  std::fprintf(stderr, "qrb-flash-cli: %s%s\n", output_.prefix.c_str(), message.c_str());
  std::fflush(stderr);
}

bool BoardRun::OpenLink() {
  record_.started = std::chrono::system_clock::now();
  parts_->waitStarted = std::chrono::steady_clock::now();
  parts_->waitUntil = parts_->waitStarted + std::chrono::milliseconds(options_.WaitMs);
  // Without waiting the control gives up after the connect time-out itself;
  // the extra second only guards against an event that never comes.
  // While waiting, the last attempt starts as the wait ends and has one
  // more retry interval to be answered.
  parts_->giveUpAt = options_.WaitMs > 0 ? parts_->waitUntil + std::chrono::milliseconds(RetryMs)
                                         : parts_->waitStarted + std::chrono::milliseconds(options_.ConnectTimeoutMs + 1000);
  parts_->holding = options_.WaitMs > 0;
  parts_->retry.setSingleShot(true);
  QObject::connect(&parts_->retry, &QTimer::timeout, [this] {
    parts_->retrying = false;
    Attempt();
  });
  Attempt();
  return record_.board.Link == CliLink::Tcp || parts_->retrying || LinkReady();
}

void BoardRun::Attempt() {
  Form1& form1 = parts_->form1;
  Form2& form2 = parts_->window.form2;
  const CliBoard& board = record_.board;
  parts_->held.clear();  // the lines of an attempt that failed
  parts_->watch.failed = false;
  // Select Data Pipe, the dialog's choices, Initialize.
  form1.SelectDataPipe_Click();
  if (board.Link == CliLink::Tcp) {
    form2.DataPipeSelect_Click(PipeEthernet);
    parts_->window.settings.IPAddress.SetText(board.Host);
    parts_->window.settings.PortNumber.SetText(Dec(board.Port));
    form2.Initialize_Click();
    return;
  }
  form2.DataPipeSelect_Click(PipeSerial);
  form2.ComxBtn_Click(board.Link == CliLink::Com ? board.ComPort : 1);
  form2.ComBaudBtn_Click(options_.ComSpeed);
  form2.Initialize_Click();
  if (!form1.LinkOpen()) TryAgain();
}

bool BoardRun::TryAgain() {
  if (!parts_->holding) return false;
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(parts_->waitUntil - std::chrono::steady_clock::now());
  if (left.count() <= 0) return false;
  parts_->retrying = true;
  parts_->retry.start(static_cast<int>(std::min<std::int64_t>(RetryMs, left.count())));  // the last one as the wait ends
  return true;
}

void BoardRun::StopWaiting() {
  parts_->retry.stop();
  parts_->retrying = false;
  if (!std::exchange(parts_->holding, false)) return;
  for (const PostedLine& line : std::exchange(parts_->held, {})) Post(line.status, line.text);
}

double BoardRun::SecondsWaited() const {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - parts_->waitStarted).count();
}

bool BoardRun::Connecting() const {
  if (std::chrono::steady_clock::now() >= parts_->giveUpAt) return false;
  if (parts_->retrying) return true;
  return record_.board.Link == CliLink::Tcp && !parts_->watch.connected && !parts_->watch.failed;
}

bool BoardRun::LinkReady() {
  const bool waited = parts_->holding;
  StopWaiting();
  char after[64] = "";
  if (waited) std::snprintf(after, sizeof after, " (waited %.1f s)", SecondsWaited());
  const Form1& form1 = parts_->form1;
  if (record_.board.Link == CliLink::Tcp) {
    if (parts_->watch.connected) return true;
    parts_->tcp.Close();  // an attempt still under way when the wait ended
    Complain("no connection to " + record_.name +
             (parts_->watch.failed ? ": " + parts_->watch.reason : std::string(" in time")) + after);
    return false;
  }
  if (form1.LinkOpen()) return true;
  const std::string reason = parts_->serial.FailureReason(record_.board.Link == CliLink::Com ? record_.board.ComPort : 1);
  const std::string device = record_.board.Link == CliLink::Serial
                                 ? SerialDevicePath(QString::fromStdString(record_.board.Device)).toStdString()
                                 : record_.name;
  Complain("cannot open " + device + (reason.empty() ? "" : ": " + reason) + after);
  return false;
}

bool BoardRun::Start(std::function<void()> ended) {
  Form1& form1 = parts_->form1;
  parts_->ended = std::move(ended);
  record_.started = std::chrono::system_clock::now();
  if (options_.Command == CliCommand::Read) {
    form1.ReadFlash(options_.Ranges, options_.SingleRead);
  } else {
    form1.SelectSourceFile_Click();
    if (!form1.SourceFileChosen()) {
      Complain("cannot open " + options_.File + ": " + form1.SourceFile.Reason());
      return false;
    }
    if (options_.Command == CliCommand::Program) form1.ProgramFlash_Click();
    else form1.VerifyFlash_Click();
    // The progress line's total: the blocks the start's pre-flight found.
    if (output_.progress != nullptr) output_.progress->SetTotal(form1.BlocksToSend());
  }
  parts_->running = form1.Running();
  if (!parts_->running) record_.refusal = "the run did not start";
  return parts_->running;
}

bool BoardRun::Running() const { return parts_->running; }

void BoardRun::Abort() {
  Form1& form1 = parts_->form1;
  if (!parts_->running || !form1.Running()) return;
  parts_->running = false;
  form1.AbortRun();
}

void BoardRun::Finish() {
  Form1& form1 = parts_->form1;
  if (std::exchange(parts_->finished, true)) return;
  parts_->running = false;
  StopWaiting();
  form1.CloseDataPipe();
  record_.ended = std::chrono::system_clock::now();
  const Form1::RunResult result = form1.Result();
  record_.startupIdleVersion = result.startupIdleVersion;
  record_.flashModeVersion = result.flashModeVersion;
  record_.totalErrors = result.totalErrors;
  record_.blocksWritten = result.blocksWritten;
  record_.blocksUnchanged = result.blocksUnchanged;
  if (result.outcome == RunOutcome::Succeeded) record_.outcome = BoardOutcome::Succeeded;
  else if (result.outcome != RunOutcome::None) record_.outcome = BoardOutcome::Failed;
  else record_.outcome = BoardOutcome::Refused;
  // A quiet run that did not succeed shows why after all.
  if (output_.quiet && record_.outcome != BoardOutcome::Succeeded)
    for (const PostedLine& line : record_.lines)
      if (!line.status) output_.lines->Write(stderr, "Debug list", output_.prefix + line.text);
}

}  // namespace qrb::cli
