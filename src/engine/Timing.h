// The sequencer's pace, in one place: the tick the main window keeps and the
// range a front end may choose, the times every wait is counted from, and the
// ticks a run takes on a board that answers at once (for estimates).
#pragma once

namespace qrb::timing {

inline constexpr int DefaultTickMs = 50;  // the main window's Timer1
inline constexpr int MinTickMs = 1;       // the fastest pace ("Fast Transfer", --tick 1)
inline constexpr int MaxTickMs = 50;

// Every time-out; the flush delay after asking for FLASH mode is a third of it.
inline constexpr int TimeOutMs = 3000;
// A state that does not wait for its byte gives it this long (one tick at 50 ms).
inline constexpr int NoWaitByteMs = 50;

// Ticks of a run on a board already in FLASH mode that answers at once: the
// handshake, then per block the builder's tick and the replies' ticks.
struct RunTicks {
  int before;
  int perBlock;
  int Of(int blocks) const { return before + perBlock * blocks; }
};
inline constexpr RunTicks ProgramTicks{3, 3};
inline constexpr RunTicks VerifyTicks{4, 2};
// From start-up idle, at the default tick: the flush delay and the second handshake.
inline constexpr int StartupIdleTicks = 24;

}  // namespace qrb::timing
