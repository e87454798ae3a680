#include "HeadlessRun.h"

#include <QEventLoop>
#include <QString>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <utility>

#include "LineOutput.h"
#include "ProcessHygiene.h"
#include "ProgressLine.h"
#include "GivenPathDialog.h"
#include "TickStats.h"
#include "app/Form1.h"
#include "app/HeadlessControls.h"
#include "app/Text.h"
#include "app/qt/core/QtApplication.h"
#include "app/qt/core/QtTimer.h"
#include "app/qt/core/SystemClock.h"
#include "image/SequentialFile.h"
#include "pipe/Form2.h"
#include "pipe/PlainSettingsDialog.h"
#include "pipe/qt/QtSerialLibrary.h"
#include "pipe/qt/QtTcpControl.h"

namespace qrb::cli {
namespace {

constexpr int ExitFailed = 1;
constexpr int ExitCannotStart = 2;

void Complain(const std::string& message) { std::fprintf(stderr, "qrb-flash-cli: %s\n", message.c_str()); }

// Passes every TCP event on to the main window and notes how the connection
// attempt ended.
class LinkWatch : public TcpEvents {
 public:
  explicit LinkWatch(TcpEvents& main) : main_(main) {}
  void Winsock1Data_Connect() override {
    main_.Winsock1Data_Connect();
    connected = true;
  }
  void Winsock1Data_DataArrival(std::int32_t count) override { main_.Winsock1Data_DataArrival(count); }
  void Winsock1Data_ConnectFailed(const std::string& why) override {
    main_.Winsock1Data_ConnectFailed(why);
    failed = true;
    reason = why;
  }
  void Winsock1Data_Dropped(const std::string& why) override { main_.Winsock1Data_Dropped(why); }

  bool connected = false;
  bool failed = false;
  std::string reason;

 private:
  TcpEvents& main_;
};

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

// A stop signal wins; a line that could not be written spoils any outcome.
int ExitStatus(RunOutcome outcome, const LineOutput& output, const StopSignals& stopSignals) {
  int status = outcome == RunOutcome::Succeeded ? 0 : ExitFailed;
  if (output.Failed()) {
    output.ReportFailure();
    status = ExitFailed;
  }
  if (stopSignals.Received() != 0) status = StopSignals::ExitStatus(stopSignals.Received());
  return status;
}

}  // namespace

int HeadlessRun(const CliOptions& options) {
  // A file that cannot be read stops the run before any link is opened.
  if (SequentialFile file; !file.Open(options.File)) {
    Complain("cannot open " + options.File + ": " + file.Reason());
    return ExitCannotStart;
  }

  Form1* main = nullptr;
  bool running = false;
  bool stopping = false;
  QEventLoop runLoop;
  // A stop signal or a line that cannot be written presses the run's "Abort"
  // button, from the event loop: never from inside a handler.
  const auto stopRun = [&] {
    if (std::exchange(stopping, true)) return;
    QTimer::singleShot(0, &runLoop, [&] {
      if (running && main->S.ProgramMode != 0) {
        if (main->C.ProgramFlash.Caption() == "Abort") main->ProgramFlash_Click();
        else main->VerifyFlash_Click();
      }
      runLoop.quit();
    });
  };
  StopSignals stopSignals([&](int) { stopRun(); });
  LineOutput output;

  ProgressLine progress(ProgressLine::StderrIsTerminal());
  PlainListBox status([&](const std::string& line) {
    if (!output.Write(stdout, "Status list", line)) stopRun();
  });
  PlainListBox debug([&](const std::string& line) {
    progress.Hide();
    if (!output.Write(stderr, "Debug list", line)) stopRun();
    progress.Show();
  });
  PlainTextBox text2, text3;
  PlainButton selectSourceFile("Select Source File"), programFlash("Program FLASH"),
      verifyFlash("Verify FLASH"), selectDataPipe("Select Data Pipe");

  TickStats tickStats;
  QtTimer timer1([&] {
    if (tickStats.On()) {
      const auto start = TickStats::Clock::now();
      main->Timer1_Timer();
      tickStats.Tick(start, TickStats::Clock::now());
    } else {
      main->Timer1_Timer();
    }
    progress.Observe(main->S.ProgramMode, main->S.BlockAddress);
    if (running && main->S.ProgramMode == 0) runLoop.quit();
  });

  const QString device = QString::fromStdString(options.Device);
  // --serial puts its device in the COM port's place.
  QtSerialLibrary serial(options.Link == CliLink::Serial
                             ? std::function<QString(int)>([device](int) { return device; })
                             : std::function<QString(int)>(DefaultComDevice));
  QtTcpControl tcp{std::chrono::milliseconds(options.ConnectTimeoutMs)};
  GivenPathDialog fileDialog(options.File);
  SystemClock clock;
  QtApplication app;

  Form1 form1({status, debug, text2, text3, selectSourceFile, programFlash, verifyFlash, selectDataPipe, timer1},
              {serial, tcp, fileDialog, clock, app, &serial});
  main = &form1;
  PlainSettingsDialog dialogControls;
  Form2 form2(form1, dialogControls.Controls());
  form1.AttachSettingsDialog(&form2);
  form1.InitVariables();
  LinkWatch watch(form1);
  tcp.SetEvents(&watch);

  // Select Data Pipe, the dialog's choices, Initialize.
  form1.SelectDataPipe_Click();
  if (options.Link == CliLink::Tcp) {
    form2.DataPipeSelect_Click(PipeEthernet);
    dialogControls.IPAddress.SetText(options.Host);
    dialogControls.PortNumber.SetText(Dec(options.Port));
    form2.Initialize_Click();
    const std::string where = options.Host + ":" + std::to_string(options.Port);
    // The control gives up after the connect time-out itself; the extra
    // second only guards against an event that never comes.
    WaitFor([&] { return watch.connected || watch.failed || stopping; }, options.ConnectTimeoutMs + 1000);
    if (!watch.connected && !stopping) {
      Complain("no connection to " + where + (watch.failed ? ": " + watch.reason : " in time"));
      form1.CloseDataPipe();
      return ExitCannotStart;
    }
  } else {
    form2.DataPipeSelect_Click(PipeSerial);
    form2.ComxBtn_Click(options.Link == CliLink::Com ? options.ComPort : 1);
    form2.ComBaudBtn_Click(options.ComSpeed);
    form2.Initialize_Click();
    if (form1.S.ComInitialized == False) {
      const std::string reason = serial.FailureReason(options.Link == CliLink::Com ? options.ComPort : 1);
      Complain("cannot open " + (options.Link == CliLink::Serial ? options.Device : "COM" + Dec(options.ComPort)) +
               (reason.empty() ? "" : ": " + reason));
      return ExitCannotStart;
    }
  }

  form1.SelectSourceFile_Click();
  if (form1.S.SourceFileSelected != 1) {
    Complain("cannot open " + options.File + ": " + form1.SourceFile.Reason());
    form1.CloseDataPipe();
    return ExitCannotStart;
  }
  // The total for the progress line: the blocks the run's own reader finds.
  if (ProgressLine::StderrIsTerminal()) progress.SetTotal(form1.Preflight().Blocks);

  if (!stopping) {
    if (options.Command == CliCommand::Program) form1.ProgramFlash_Click();
    else form1.VerifyFlash_Click();
    running = form1.S.ProgramMode != 0;
    if (running) runLoop.exec();  // a stop during the start is waiting in its queue
  }
  progress.Finish();
  if (tickStats.On()) tickStats.Write();
  form1.CloseDataPipe();
  return ExitStatus(form1.S.Outcome, output, stopSignals);
}

}  // namespace qrb::cli
