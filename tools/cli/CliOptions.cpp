#include "CliOptions.h"

#include <charconv>
#include <cmath>
#include <optional>

namespace qrb::cli {
namespace {

// The dialog's baud-rate buttons: speed code 1..4.
constexpr struct {
  const char* baud;
  std::int16_t speed;
} SpeedTable[] = {{"19200", 1}, {"38400", 2}, {"57600", 3}, {"115200", 4}};

std::optional<long> WholeNumber(const std::string& text, long min, long max) {
  long value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc{} || end != text.data() + text.size() || value < min || value > max) return std::nullopt;
  return value;
}

// HOST, HOST:PORT, [IPV6] or [IPV6]:PORT.
bool ParseHostPort(const std::string& text, CliOptions& options, std::string& error) {
  std::string host = text, port;
  if (!text.empty() && text.front() == '[') {
    const auto close = text.find(']');
    if (close == std::string::npos) return error = "--tcp: missing ']' in " + text, false;
    host = text.substr(1, close - 1);
    if (close + 1 < text.size()) {
      if (text[close + 1] != ':') return error = "--tcp: expected ':' after ']' in " + text, false;
      port = text.substr(close + 2);
      if (port.empty()) return error = "--tcp: missing port number in " + text, false;
    }
  } else if (const auto colon = text.rfind(':'); colon != std::string::npos && text.find(':') != colon) {
    // An IPv6 address: without brackets its last group and a port look alike.
    // Guess which: "::1:10001" has a port, "fe80::1" has none.
    const std::string last = text.substr(colon + 1);
    const bool portLike = !last.empty() && text[colon - 1] != ':' && WholeNumber(last, 1, 65535).has_value();
    return error = "--tcp: an IPv6 address goes in brackets: [" + (portLike ? text.substr(0, colon) + "]:" + last : text + "]") +
                   ", not " + text,
           false;
  } else if (colon != std::string::npos) {
    host = text.substr(0, colon);
    port = text.substr(colon + 1);
    if (port.empty()) return error = "--tcp: missing port number in " + text, false;
  }
  if (host.empty()) return error = "--tcp: missing host", false;
  options.Host = host;
  if (!port.empty()) {
    const auto number = WholeNumber(port, 1, 65535);
    if (!number) return error = "--tcp: port must be 1..65535, not " + port, false;
    options.Port = static_cast<std::int32_t>(*number);
  }
  return true;
}

}  // namespace

bool ParseCliOptions(const std::vector<std::string>& args, CliOptions& options, std::string& error) {
  options = CliOptions{};
  std::vector<std::string> positional;
  int links = 0;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    std::string name = arg, value;
    bool inlineValue = false;
    if (arg.rfind("--", 0) == 0) {
      if (const auto eq = arg.find('='); eq != std::string::npos) {
        name = arg.substr(0, eq);
        value = arg.substr(eq + 1);
        inlineValue = true;
      }
    }
    const auto takeValue = [&]() -> bool {
      if (inlineValue) return true;
      if (i + 1 >= args.size()) return error = name + " needs a value", false;
      value = args[++i];
      return true;
    };

    if (name == "--help" || name == "-h") {
      options.Command = CliCommand::Help;
      return true;
    }
    if (name == "--version") {
      options.Command = CliCommand::Version;
      return true;
    }
    if (name == "--tcp") {
      if (!takeValue() || !ParseHostPort(value, options, error)) return false;
      options.Link = CliLink::Tcp;
      ++links;
    } else if (name == "--com") {
      if (!takeValue()) return false;
      const auto n = WholeNumber(value, 1, 4);
      if (!n) return error = "--com takes a port number 1..4 (COM1..COM4), not " + value, false;
      options.ComPort = static_cast<int>(*n);
      options.Link = CliLink::Com;
      ++links;
    } else if (name == "--serial") {
      if (!takeValue()) return false;
      if (value.empty()) return error = "--serial needs a device path", false;
      options.Device = value;
      options.Link = CliLink::Serial;
      ++links;
    } else if (name == "--baud") {
      if (!takeValue()) return false;
      bool known = false;
      for (const auto& s : SpeedTable)
        if (value == s.baud) options.ComSpeed = s.speed, known = true;
      if (!known) return error = "--baud takes 19200, 38400, 57600 or 115200, not " + value, false;
    } else if (name == "--connect-timeout") {
      if (!takeValue()) return false;
      double seconds = 0;
      const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), seconds);
      if (ec != std::errc{} || end != value.data() + value.size() || !(seconds > 0) || seconds > 3600)
        return error = "--connect-timeout takes seconds (more than 0, up to 3600), not " + value, false;
      options.ConnectTimeoutMs = static_cast<int>(std::lround(seconds * 1000));
      if (options.ConnectTimeoutMs < 1)
        return error = "--connect-timeout takes at least 0.001 seconds (1 ms), not " + value, false;
    } else if (name == "--fix") {
      if (!takeValue()) return false;
      if (value.empty()) return error = "--fix needs the file to write", false;
      options.FixOut = value;
    } else if (arg.size() > 1 && arg[0] == '-') {
      return error = "unknown option " + arg, false;
    } else {
      positional.push_back(arg);
    }
  }

  if (positional.empty()) return error = "missing command (program, verify or check)", false;
  const std::string& command = positional[0];
  if (command == "program") options.Command = CliCommand::Program;
  else if (command == "verify") options.Command = CliCommand::Verify;
  else if (command == "check") options.Command = CliCommand::Check;
  else return error = "unknown command " + command, false;
  if (positional.size() < 2) return error = command + " needs an S19 file", false;
  if (positional.size() > 2) return error = "unexpected argument " + positional[2], false;
  options.File = positional[1];

  if (options.Command == CliCommand::Check) {
    if (links > 0) return error = "check takes no link", false;
    if (options.FixOut == options.File) return error = "--fix must write a file other than " + options.File, false;
    return true;
  }
  if (!options.FixOut.empty()) return error = "--fix belongs to check", false;
  if (links == 0) return error = command + " needs a link: --tcp HOST[:PORT], --com N or --serial DEVICE", false;
  if (links > 1) return error = "give only one link", false;
  return true;
}

std::string CliUsage() {
  return "Usage:\n"
         "  qrb-flash-cli {program|verify} FILE.s19 (--tcp HOST[:PORT] | --com N | --serial DEVICE)\n"
         "                [--baud 19200|38400|57600|115200] [--connect-timeout SECONDS]\n"
         "  qrb-flash-cli check FILE.s19 [--fix OUT.s19]\n"
         "  qrb-flash-cli --help | --version\n"
         "\n"
         "Programs or verifies the FLASH of a QRB-260/QRB-530 interface board from a Motorola S19 file,\n"
         "through the same steps as the main window, or checks an S19 file before a run.\n"
         "\n"
         "  --tcp HOST[:PORT]        the board's Ethernet link (port 10001 by default)\n"
         "  --com N                  serial port COM1..COM4 as the main window names them\n"
         "  --serial DEVICE          any serial device in the COM port's place\n"
         "                           (a USB adapter, a pseudo-terminal)\n"
         "  --baud RATE              serial speed, 19200 by default\n"
         "  --connect-timeout SECS   how long to wait for the link, 10 by default\n"
         "  --fix OUT.s19            check: write the file rewritten by srec_cat so that a run takes it\n"
         "\n"
         "stdout carries the Status list, stderr the Debug list (and a progress line on a terminal).\n"
         "Exit status: 0 when the run ended with its success lines (check: a run would program the\n"
         "file; check --fix: OUT was written), 1 when it ended any other way (check: a run would\n"
         "refuse the file; --fix: no safe fix), 2 for a usage error, a file that cannot be opened\n"
         "or a link that could not be opened in time.\n";
}

}  // namespace qrb::cli
