// Process hygiene of the command line: standard descriptors that are always
// open, SIGPIPE ignored, and the stop signals turned into events of the Qt
// event loop.
#pragma once

#include <QObject>
#include <functional>

class QSocketNotifier;

namespace qrb::cli {

// Opens /dev/null on each of the descriptors 0, 1 and 2 that is closed, so
// that nothing opened later (the board's socket, a serial lock file) takes
// its number and receives the lines meant for stdout or stderr. Call it
// before anything else opens a file.
void OpenNullOnClosedStandardFds();

// A write to a closed pipe or socket then fails with EPIPE instead of killing
// the process, on both links alike.
void IgnoreBrokenPipe();

// SIGINT, SIGTERM and SIGHUP: the first one calls onStop with its number from
// the event loop. The same signal again within 200 ms is the same request;
// any later or other one ends the process at once.
class StopSignals : public QObject {
 public:
  explicit StopSignals(std::function<void(int)> onStop, QObject* parent = nullptr);
  ~StopSignals() override;

  int Received() const { return received_; }
  // The shell's status for a process ended by the signal: 128 + its number.
  static int ExitStatus(int signal) { return 128 + signal; }

 private:
  std::function<void(int)> onStop_;
  QSocketNotifier* notifier_ = nullptr;
  int received_ = 0;
};

}  // namespace qrb::cli
