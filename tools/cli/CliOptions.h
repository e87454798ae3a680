// The command line of qrb-flash-cli.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/BlockObserver.h"
#include "engine/Timing.h"
#include "pipe/LinkDefaults.h"

namespace qrb::cli {

enum class CliCommand { Program, Verify, Read, Check, Ports, Help, Version };
enum class CliLink { None, Tcp, Com, Serial };

// One board and the link to it.
struct CliBoard {
  CliLink Link = CliLink::None;
  std::string Host;             // --tcp
  std::int32_t Port = DefaultPortNumber;  // --tcp
  int ComPort = 1;              // --com, 1..4
  std::string Device;           // --serial

  // host:port, COMn or the device path: how the lines and the summary name it.
  std::string Name() const;
};

struct CliOptions {
  CliCommand Command = CliCommand::Help;
  CliCommand HelpTopic = CliCommand::Help;  // --help after a command: that command's help
  std::string File;             // the S19 image; for read the file written
  std::vector<CliBoard> Boards; // in the order given
  std::int16_t ComSpeed = 1;    // --baud as the dialog's speed code 1..4
  int ConnectTimeoutMs = static_cast<int>(DefaultConnectTimeout.count());  // --connect-timeout
  int TickMs = timing::DefaultTickMs;  // --tick
  std::string ReportPath;       // --report
  std::vector<qrb::AddressRange> Ranges;  // --range (read)
  bool SingleRead = false;      // --single-read (read)
  std::string FixOut;           // check --fix OUT
  bool Quiet = false;           // -q: no progress line, Debug list only on a failure
  bool Json = false;            // ports --json
  std::vector<std::string> Devices;       // ports DEVICE...
  std::vector<std::string> Arguments;     // the command line as given
};

// Parses the arguments after the program name. On a usage error returns
// false with the reason in error.
bool ParseCliOptions(const std::vector<std::string>& args, CliOptions& options, std::string& error);

// The usage of every command, or with a command the help of that command alone.
std::string CliUsage(CliCommand topic = CliCommand::Help);

}  // namespace qrb::cli
