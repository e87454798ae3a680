// Starts a program by path, detached from this one.
#pragma once

#include "app/AboutPorts.h"

namespace qrb {

class QtProgramLauncher : public ProgramLauncher {
 public:
  bool FileExists(const std::string& path) override;
  bool StartDetached(const std::string& path) override;
};

}  // namespace qrb
