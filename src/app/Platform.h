// Ports for the few operating-system services the main window uses.
#pragma once

namespace qrb {

// Local wall-clock time; the exit's short delay reads its seconds field.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual int Seconds() = 0;  // 0..59
};

// Ends the program at once (the hidden dialog and an open About box go with it).
class Application {
 public:
  virtual ~Application() = default;
  virtual void EndProgram() = 0;
};

}  // namespace qrb
