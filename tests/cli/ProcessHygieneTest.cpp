// The command line's stop signals; raise() returns after the handler ran.
#include <QTest>
#include <csignal>
#include <utility>
#include <sys/wait.h>
#include <unistd.h>

#include "ProcessHygiene.h"

namespace qrb::test {

class ProcessHygieneTest : public QObject {
  Q_OBJECT

 private slots:
  // GNU timeout signals the process and then its process group: one stop.
  void theSameSignalTwiceAtOnceIsOneStop() {
    QList<int> stops;
    cli::StopSignals stopSignals([&](int signal) { stops << signal; });
    std::raise(SIGTERM);
    std::raise(SIGTERM);  // taken as a second request, it would end this test
    QTRY_COMPARE(stops, QList<int>{SIGTERM});
  }

  // SIGINT at once, or SIGTERM 300 ms later.
  void aLaterOrOtherSignalEndsAtOnce() {
    for (const auto& [second, afterMs] : {std::pair{SIGINT, 0}, std::pair{SIGTERM, 300}}) {
      const pid_t child = ::fork();
      QVERIFY(child >= 0);
      if (child == 0) {
        cli::StopSignals stopSignals([](int) {});
        std::raise(SIGTERM);
        ::usleep(static_cast<useconds_t>(afterMs) * 1000);
        std::raise(second);
        ::_exit(0);
      }
      int status = 0;
      QCOMPARE(::waitpid(child, &status, 0), child);
      QVERIFY2(WIFSIGNALED(status), "the second signal did not end the process");
      QCOMPARE(WTERMSIG(status), second);
    }
  }
};

}  // namespace qrb::test

QTEST_GUILESS_MAIN(qrb::test::ProcessHygieneTest)
#include "ProcessHygieneTest.moc"
