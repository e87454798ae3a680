// qrb-flash-cli: program or verify a QRB board's FLASH from an S19 file
// without a window, or check an S19 file before a run.
#include <QCoreApplication>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "CheckCommand.h"
#include "CliOptions.h"
#include "HeadlessRun.h"
#include "PortsCommand.h"
#include "ProcessHygiene.h"
#include "Version.h"

using namespace qrb::cli;

namespace {

// status, or 1 with the reason on stderr when stdout could not take it all.
int StdoutWritten(int status) {
  errno = 0;
  if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return status;
  std::fprintf(stderr, "qrb-flash-cli: cannot write to stdout: %s\n", errno != 0 ? std::strerror(errno) : "write failed");
  return 1;
}

}  // namespace

int main(int argc, char* argv[]) {
  OpenNullOnClosedStandardFds();
  IgnoreBrokenPipe();
  const std::vector<std::string> args(argv + 1, argv + argc);
  CliOptions options;
  std::string error;
  if (!ParseCliOptions(args, options, error)) {
    std::fprintf(stderr, "qrb-flash-cli: %s\nRun 'qrb-flash-cli --help' for the usage.\n", error.c_str());
    return 2;
  }
  switch (options.Command) {
    case CliCommand::Help:
      std::fputs(CliUsage(options.HelpTopic).c_str(), stdout);
      return StdoutWritten(0);
    case CliCommand::Version:
      std::printf("qrb-flash-cli %s\n", qrb::VersionString);
      return StdoutWritten(0);
    case CliCommand::Check:
    case CliCommand::Ports:
    case CliCommand::Program:
    case CliCommand::Verify:
    case CliCommand::Read:
      break;
  }
  QCoreApplication app(argc, argv);
  if (options.Command == CliCommand::Check) return StdoutWritten(CheckCommand(options));
  if (options.Command == CliCommand::Ports) return StdoutWritten(PortsCommand(options));
  return HeadlessRun(options);
}
