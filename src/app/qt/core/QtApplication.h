// Ends the program by leaving the Qt event loop at once.
#pragma once

#include "app/Platform.h"

namespace qrb {

class QtApplication : public Application {
 public:
  // exit(), not quit(): quit() would first close every window again, and
  // closing the main window runs the exit sequence.
  void EndProgram() override;
};

}  // namespace qrb
