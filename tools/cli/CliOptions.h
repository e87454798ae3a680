// The command line of qrb-flash-cli.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qrb::cli {

enum class CliCommand { Program, Verify, Check, Help, Version };
enum class CliLink { None, Tcp, Com, Serial };

struct CliOptions {
  CliCommand Command = CliCommand::Help;
  std::string File;
  CliLink Link = CliLink::None;
  std::string Host;             // --tcp
  std::int32_t Port = 10001;    // --tcp
  int ComPort = 1;              // --com, 1..4
  std::string Device;           // --serial
  std::int16_t ComSpeed = 1;    // --baud as the dialog's speed code 1..4
  int ConnectTimeoutMs = 10000; // --connect-timeout
  std::string FixOut;           // check --fix OUT
};

// Parses the arguments after the program name. On a usage error returns
// false with the reason in error.
bool ParseCliOptions(const std::vector<std::string>& args, CliOptions& options, std::string& error);

std::string CliUsage();

}  // namespace qrb::cli
