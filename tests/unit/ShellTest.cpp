// The timer reload and the two message lists.
#include <gtest/gtest.h>

#include "Harness.h"

namespace qrb::test {
namespace {

// The reload is read back from the timer, so a timer that rounds its
// interval changes it; halves go to the even number.
struct RoundingTimer : PlainTimer {
  int actual;
  int Interval() const override { return actual; }
};

TEST(InitVariables, ReloadFollowsTheIntervalReadBack) {
  const struct {
    int interval, reload;
  } cases[] = {{50, 60}, {40, 75}, {2400, 1}, {2000, 2}, {1200, 2}, {6000, 0}, {7, 429}};
  for (const auto& c : cases) {
    Harness h;
    RoundingTimer timer;
    timer.actual = c.interval;
    Form1 form1(Form1Controls{h.List1, h.List2, h.Text2, h.Text3, h.SelectSourceFile, h.ProgramFlash,
                              h.VerifyFlash, h.SelectDataPipe, timer},
                Form1Services{h.serial, h.tcp, h.dialog, h.clock, h.app});
    form1.InitVariables();
    EXPECT_EQ(form1.S.FailTimerReload, c.reload) << "interval " << c.interval;
  }
}

}  // namespace
}  // namespace qrb::test
