// qrb-flash-cli: program or verify a QRB board's FLASH from an S19 file
// without a window, or check an S19 file before a run.
#include <QCoreApplication>
#include <cstdio>
#include <string>
#include <vector>

#include "CheckCommand.h"
#include "CliOptions.h"
#include "HeadlessRun.h"
#include "Version.h"

using namespace qrb::cli;

int main(int argc, char* argv[]) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  CliOptions options;
  std::string error;
  if (!ParseCliOptions(args, options, error)) {
    std::fprintf(stderr, "qrb-flash-cli: %s\nRun 'qrb-flash-cli --help' for the usage.\n", error.c_str());
    return 2;
  }
  switch (options.Command) {
    case CliCommand::Help:
      std::fputs(CliUsage().c_str(), stdout);
      return 0;
    case CliCommand::Version:
      std::printf("qrb-flash-cli %s\n", qrb::VersionString);
      return 0;
    case CliCommand::Check:
    case CliCommand::Program:
    case CliCommand::Verify:
    case CliCommand::Read:
      break;
  }
  QCoreApplication app(argc, argv);
  return options.Command == CliCommand::Check ? CheckCommand(options) : HeadlessRun(options);
}
