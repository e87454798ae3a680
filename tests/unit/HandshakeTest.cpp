// The handshake, and every state's wrong byte, time-out and waiting window.
#include <gtest/gtest.h>

#include "EngineRig.h"

namespace qrb::test {
namespace {

QRB_SUITE_ON_BOTH_LINKS(HandshakeTest);

// A board at start-up idle gets the FLASH-mode command after the flush delay;
// stray bytes before the status are reported and dropped, a tick each.
TEST_P(HandshakeTest, ReachesTheFirstBlock) {
  struct Case {
    bool program, startupIdle, stray;
    int ticks;
    Lines debug;
  };
  const std::string stray[] = {"Wrong response from QRB interface [91]: $0",
                               "Unexpected byte read from QRB interface [91]: $0"};
  const Case cases[] = {
      {true, true, false, 26, {}},  {false, true, false, 30, {}}, {true, false, false, 3, {}},
      {false, false, false, 4, {}}, {true, false, true, 5, {stray[1], stray[1]}},
      {false, false, true, 6, {stray[0], stray[0]}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.program << c.startupIdle << c.stray);
    Rig r(GetParam());
    r.UseImage(S19Data(0x1000, Pattern(256)) + S9());
    r.board.flashMode = !c.startupIdle;
    r.board.version = c.startupIdle ? 0x15 : 0x07;
    if (c.stray) r.board.strayBefore[0] = {0x00, 0x00};
    r.Start(c.program);
    EXPECT_EQ(r.TicksUntil(c.program ? 41 : 71), c.ticks);
    EXPECT_EQ(r.Debug(), c.debug);
    const Lines idle{"QRB interface at startup idle.  Version:  $15",
                     "Flushing Port Buffers.  Short delay.  Please wait.",
                     "QRB interface in FLASH mode.  Version:  $15"};
    EXPECT_EQ(r.Status(), c.startupIdle ? idle : Lines{InFlashMode});
    std::vector<Bytes> sent{{0xF1, 0xA5}};
    if (c.startupIdle) sent.push_back({0xE1, 0x96});
    EXPECT_EQ(r.Sent(), sent);
  }
}

// Stream of two 400-byte blocks: 0..4 status, 5..9 after the FLASH-mode
// command; program 5..8 (61 3A 61 37) 9..264, then 265..268 269..524; verify
// 5 6 7..262, then 263 264 265..520.
struct FaultCase {
  bool program, startupIdle;
  std::size_t index;
  int wrong;  // -1: the state takes any byte
  const char* wrongText;
  int state;  // its time-out code
};

constexpr bool P = true, V = false, Idle = true, Flash = false;

const FaultCase Faults[] = {
    {P, Idle, 1, 0x13, "[12/2E]: $13", 22},  {P, Idle, 2, 0x93, "[92]: $93", 23},
    {P, Idle, 3, 0x05, "[04]: $5", 24},      {P, Idle, 4, -1, "", 25},
    {P, Idle, 5, 0x90, "[91]: $90", 26},     {P, Idle, 6, 0x12, "[2E]: $12", 27},
    {P, Idle, 7, 0xFF, "[92]: $FF", 28},     {P, Idle, 8, 0x40, "[04]: $40", 29},
    {P, Idle, 9, -1, "", 30},                {P, Flash, 2, 0x00, "[92]: $0", 28},
    {P, Flash, 5, 0x62, "[61]: $62", 43},    {P, Flash, 6, 0x3B, "[3A]: $3B", 44},
    {P, Flash, 7, 0x00, "[61]: $0", 45},     {P, Flash, 8, 0x3A, "[37]: $3A", 46},
    {P, Flash, 200, -1, "", 47},             {P, Flash, 265, 0x37, "[61]: $37", 48},
    {P, Flash, 266, 0x61, "[3A]: $61", 49},  {P, Flash, 267, 0xA0, "[61]: $A0", 50},
    {P, Flash, 268, 0x38, "[37]: $38", 51},  {P, Flash, 400, -1, "", 52},
    {V, Idle, 1, 0x2F, "[12/2E]: $2F", 62},  {V, Idle, 2, 0x93, "[92]: $93", 63},
    {V, Idle, 3, 0x05, "[04]: $5", 64},      {V, Idle, 4, -1, "", 65},
    {V, Idle, 5, 0x92, "[91]: $92", 66},     {V, Idle, 6, 0x12, "[2E]: $12", 67},
    {V, Idle, 7, 0x04, "[92]: $4", 68},      {V, Idle, 8, 0x92, "[04]: $92", 69},
    {V, Idle, 9, -1, "", 70},                {V, Flash, 2, 0x91, "[92]: $91", 68},
    {V, Flash, 5, 0x37, "[61]: $37", 73},    {V, Flash, 6, 0x3A, "[37]: $3A", 74},
    {V, Flash, 150, -1, "", 75},             {V, Flash, 263, 0x00, "[61]: $0", 76},
    {V, Flash, 264, 0xFF, "[37]: $FF", 77},  {V, Flash, 520, -1, "", 78},
};

TEST_P(HandshakeTest, EveryStateReportsItsWrongByteAndItsTimeout) {
  for (const auto& c : Faults) {
    const bool lastBlock = (c.state >= 48 && c.state <= 52) || c.state >= 76;
    for (const bool timeout : {false, true}) {
      if (!timeout && c.wrong < 0) continue;
      SCOPED_TRACE(::testing::Message() << "state " << c.state << (timeout ? " time-out" : " wrong byte"));
      Rig r(GetParam());
      r.UseTwoBlocks(c.startupIdle);
      if (timeout) {
        r.board.cutAt = c.index;
      } else {
        r.board.replace[c.index] = static_cast<std::uint8_t>(c.wrong);
      }
      r.Start(c.program);
      r.RunToEnd();
      Lines debug = lastBlock ? Lines{"S9 record detected."} : Lines{};
      debug.push_back(timeout ? "Timeout reading data. E" + std::to_string(c.state)
                              : std::string("Wrong response from QRB interface ") + c.wrongText);
      debug.push_back(Aborting);
      EXPECT_EQ(r.Debug(), debug);
      EXPECT_EQ(r.S().Outcome, RunOutcome::Failed);
    }
  }
}

// A waiting state gives up when the 60 ticks since the start or the last
// packet are used up; a state chained in the same tick does not wait.
TEST_P(HandshakeTest, TimeOutWindows) {
  using Script = void (*)(FakeBoard&);
  struct Case {
    bool program, startupIdle;
    Script script;
    int ticks;
    Lines debug;
  };
  const auto timeout = [](int state) { return Lines{"Timeout reading data. E" + std::to_string(state), Aborting}; };
  const std::string expiry21 = "FailTimer expired.  Program mode is 21.  E21_A";
  const Case cases[] = {
      {P, Flash, [](FakeBoard& b) { b.cutAt = 0; }, 60, Concat({timeout(21), {expiry21, Aborting}})},
      {P, Flash, [](FakeBoard& b) { b.delayFrom[0] = 59; }, 60, {expiry21, Aborting}},
      {P, Flash, [](FakeBoard& b) { b.delayFrom[0] = 59, b.replace[0] = 0x33; }, 60,
       {"Unexpected byte read from QRB interface [91]: $33", expiry21, Aborting}},
      {P, Idle, [](FakeBoard& b) { b.cutAt = 9; }, 25 + 60, timeout(30)},
      {P, Flash, [](FakeBoard& b) { b.delayFrom[1] = 2; }, 2, timeout(22)},
      // Program chains 26 into 27 in one tick; verify takes 67 a tick later.
      {P, Idle, [](FakeBoard& b) { b.delayFrom[6] = 1; }, 26, timeout(27)},
      {V, Idle, [](FakeBoard& b) { b.delayFrom[6] = 1; }, 30 + 2 * 3, {"S9 record detected.", Aborting}},
      {P, Flash, [](FakeBoard& b) { b.cutAt = 100; }, 5 + 60, timeout(47)},
      // A read-back in pieces goes on where it stopped.
      {V, Flash, [](FakeBoard& b) { b.delayFrom[100] = 3, b.delayFrom[200] = 2; }, 4 + 2 * (2 + 5),
       {"S9 record detected.", Aborting}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.debug.front());
    Rig r(GetParam());
    r.UseTwoBlocks(c.startupIdle);
    c.script(r.board);
    r.Start(c.program);
    EXPECT_EQ(r.RunToEnd(), c.ticks);
    EXPECT_EQ(r.Debug(), c.debug);
  }
}

}  // namespace
}  // namespace qrb::test
