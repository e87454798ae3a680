#include "ProcessHygiene.h"

#include <QSocketNotifier>
#include <atomic>

#if defined(Q_OS_UNIX)
#include <cerrno>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace qrb::cli {

#if defined(Q_OS_UNIX)

namespace {

constexpr int StopSignalNumbers[] = {SIGINT, SIGTERM, SIGHUP};
int signalPipe[2] = {-1, -1};

// The stop request being served, and when it came.
std::atomic<int> stopSignal{0};
std::atomic<long long> stopSignalNs{0};

// One request may come as the same signal twice in quick succession: GNU
// timeout, for one, signals the process and then its process group.
constexpr long long SameRequestNs = 200'000'000;

long long MonotonicNs() {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);  // async-signal-safe
  return static_cast<long long>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

void OnStopSignal(int signal) {
  const long long now = MonotonicNs();
  int first = 0;
  if (!stopSignal.compare_exchange_strong(first, signal)) {
    if (signal == first && now - stopSignalNs.load() < SameRequestNs) return;
    // A second request ends the process at once, as the signal's default does.
    std::signal(signal, SIG_DFL);
    std::raise(signal);  // delivered when this handler returns
    return;
  }
  stopSignalNs.store(now);
  const int saved = errno;
  const unsigned char byte = static_cast<unsigned char>(signal);
  [[maybe_unused]] const auto n = ::write(signalPipe[1], &byte, 1);
  errno = saved;
}

}  // namespace

void OpenNullOnClosedStandardFds() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // The lowest free number is fd itself, as every lower one is open.
    const int opened = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (opened != fd && opened >= 0) ::close(opened);
  }
}

void IgnoreBrokenPipe() { std::signal(SIGPIPE, SIG_IGN); }

StopSignals::StopSignals(std::function<void(int)> onStop, QObject* parent)
    : QObject(parent), onStop_(std::move(onStop)) {
  stopSignal = 0;
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0) return;
  ::fcntl(signalPipe[1], F_SETFL, O_NONBLOCK);
  notifier_ = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, [this] {
    unsigned char byte = 0;
    if (::read(signalPipe[0], &byte, 1) != 1 || received_ != 0) return;
    received_ = byte;
    if (onStop_) onStop_(received_);
  });
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (const int s : StopSignalNumbers) ::sigaction(s, &action, nullptr);
}

StopSignals::~StopSignals() {
  if (notifier_ == nullptr) return;
  for (const int s : StopSignalNumbers) std::signal(s, SIG_DFL);
  delete notifier_;
  ::close(signalPipe[0]);
  ::close(signalPipe[1]);
  signalPipe[0] = signalPipe[1] = -1;
}

#else

void OpenNullOnClosedStandardFds() {}
void IgnoreBrokenPipe() {}
StopSignals::StopSignals(std::function<void(int)> onStop, QObject* parent)
    : QObject(parent), onStop_(std::move(onStop)) {}
StopSignals::~StopSignals() = default;

#endif

}  // namespace qrb::cli
