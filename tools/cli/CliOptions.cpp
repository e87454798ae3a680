#include "CliOptions.h"

#include <QCommandLineParser>
#include <QStringList>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <iterator>
#include <map>
#include <optional>

#include "pipe/ComOptions.h"

namespace qrb::cli {
namespace {

// The speeds --baud takes, "A, B ... or D" (separator ", " and
// the last one after last) or joined by one separator.
std::string BaudList(const std::string& separator, const std::string& last) {
  std::string list;
  for (std::size_t i = 0; i < ComSpeedOptions.size(); ++i) {
    if (i > 0) list += i + 1 == ComSpeedOptions.size() ? last : separator;
    list += std::to_string(ComSpeedOptions[i].baud);
  }
  return list;
}

std::string TickRange() { return std::to_string(timing::MinTickMs) + ".." + std::to_string(timing::MaxTickMs); }

std::optional<long> WholeNumber(const std::string& text, long min, long max) {
  long value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc{} || end != text.data() + text.size() || value < min || value > max) return std::nullopt;
  return value;
}

// HOST, HOST:PORT, [IPV6] or [IPV6]:PORT.
bool ParseHostPort(const std::string& text, CliBoard& options, std::string& error) {
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
    // Guess which: "::1:8080" has a port, "fe80::1" has none.
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

// A 32-bit address: decimal, or hexadecimal after 0x.
std::optional<std::uint32_t> Address(std::string text) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text = text.substr(2);
    base = 16;
  }
  std::uint32_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (text.empty() || ec != std::errc{} || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// START-END, both included, within the addresses an S19 image can program.
bool ParseRange(const std::string& text, CliOptions& options, std::string& error) {
  const auto dash = text.find('-');
  const auto first = dash == std::string::npos ? std::nullopt : Address(text.substr(0, dash));
  const auto last = dash == std::string::npos ? std::nullopt : Address(text.substr(dash + 1));
  if (!first || !last) return error = "--range takes START-END (0x8000-0xFFFF, both included), not " + text, false;
  if (*last < *first) return error = "--range: END is below START in " + text, false;
  if (*last > 0x7FFFFFFF) return error = "--range: addresses end at 0x7FFFFFFF (an S19 image cannot hold more), not " + text, false;
  options.Ranges.push_back({*first, *last});
  return true;
}

// Which commands an option belongs to: every command that talks to a board,
// read alone or check alone.
enum class OptionScope { Linked, Read, Check };

// An option with its value's name and the lines that describe it; the note
// follows them in the usage of every command only.
struct OptionRow {
  std::string Name;
  std::string Value;
  std::string Text;
  OptionScope Scope;
  std::string Note = {};
};

std::vector<OptionRow> OptionRows() {
  const CliOptions defaults;
  const CliBoard board;
  return {
      {"tcp", "HOST[:PORT]", "the board's Ethernet link (port " + std::to_string(board.Port) + " by default)", OptionScope::Linked},
      {"com", "N", "serial port COM1..COM4 as the main window names them", OptionScope::Linked},
      {"serial", "DEVICE",
       "any serial device in the COM port's place\n"
       "(a USB adapter, a pseudo-terminal)",
       OptionScope::Linked,
       "Links may be repeated: several boards at once, each line\n"
       "prefixed by its board's name, and a summary at the end."},
      {"baud", "RATE", "serial speed, " + std::to_string(ComBaudRate(defaults.ComSpeed)) + " by default", OptionScope::Linked},
      {"connect-timeout", "SECS", "how long to wait for the link, " + std::to_string(defaults.ConnectTimeoutMs / 1000) + " by default",
       OptionScope::Linked},
      {"tick", "MS",
       "the sequencer's tick, " + TickRange() + " ms (" + std::to_string(timing::DefaultTickMs) +
           " by default, as the main\n"
           "window); time-outs stay " + std::to_string(timing::TimeOutMs / 1000) + " s and the flush delay " +
           std::to_string(timing::TimeOutMs / 3000) + " s",
       OptionScope::Linked},
      {"report", "FILE.json", "a record of the run as JSON, written also when it fails", OptionScope::Linked},
      {"range", "START-END",
       "read: the addresses to read, both included (0x8000-0xFFFF);\n"
       "every 256-byte block they touch is read whole",
       OptionScope::Read},
      {"single-read", "",
       "read: each block once (faster), not until two reads agree",
       OptionScope::Read},
      {"fix", "OUT.s19", "check: write the file rewritten by srec_cat so that a run takes it", OptionScope::Check},
  };
}

// A command, its file and what it does, for its own --help.
struct CommandRow {
  CliCommand Command;
  const char* Name;
  const char* File;
  const char* Text;
};

constexpr CommandRow kCommands[] = {
    {CliCommand::Program, "program", "FILE.s19",
     "Programs FILE.s19 into the FLASH of every board a link option names (links may be repeated), reads each "
     "block back and compares it."},
    {CliCommand::Verify, "verify", "FILE.s19",
     "Reads back every block of FILE.s19 from the FLASH of every board a link option names (links may be "
     "repeated) and compares it; "
     "nothing is written."},
    {CliCommand::Read, "read", "OUT.s19",
     "Reads the 256-byte blocks the --range options touch from the FLASH of the board one link option names into OUT.s19, written only "
     "when every block was read."},
    {CliCommand::Check, "check", "FILE.s19",
     "Reads FILE.s19 as a run would, without a board: the first error, the warnings, a summary and the fix."},
};

std::optional<CliCommand> CommandNamed(const std::string& name) {
  for (const CommandRow& row : kCommands)
    if (name == row.Name) return row.Command;
  return std::nullopt;
}

// One command's help: its file, its options and what it does.
std::string CommandHelp(CliCommand command) {
  const CommandRow& row = *std::find_if(std::begin(kCommands), std::end(kCommands),
                                        [command](const CommandRow& r) { return r.Command == command; });
  QCommandLineParser parser;
  parser.setApplicationDescription(QString::fromLatin1(row.Text));
  parser.addPositionalArgument(QString::fromLatin1(row.Name), QStringLiteral("The command."));
  parser.addPositionalArgument(QString::fromLatin1(row.File),
                               command == CliCommand::Read ? QStringLiteral("The S19 file to write.")
                                                           : QStringLiteral("The S19 file."));
  for (const OptionRow& option : OptionRows()) {
    const bool listed = option.Scope == OptionScope::Linked ? command != CliCommand::Check
                        : option.Scope == OptionScope::Read ? command == CliCommand::Read
                                                            : command == CliCommand::Check;
    if (listed)
      parser.addOption(QCommandLineOption(QString::fromLatin1(option.Name), QString::fromStdString(option.Text).replace(u'\n', u' '),
                                          QString::fromLatin1(option.Value)));
  }
  parser.addOption(QCommandLineOption({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("This help.")));
  // Without a QCoreApplication yet, the parser has no program name of its own.
  return parser.helpText().replace(QStringLiteral("<executable_name>"), QStringLiteral("qrb-flash-cli")).toStdString();
}

}  // namespace

std::string CliBoard::Name() const {
  switch (Link) {
    case CliLink::Tcp:
      return (Host.find(':') != std::string::npos ? "[" + Host + "]" : Host) + ":" + std::to_string(Port);
    case CliLink::Com:
      return "COM" + std::to_string(ComPort);
    case CliLink::Serial:
      return Device;
    case CliLink::None:
      break;
  }
  return {};
}

bool ParseCliOptions(const std::vector<std::string>& args, CliOptions& options, std::string& error) {
  options = CliOptions{};
  options.Arguments = args;
  const std::vector<OptionRow> rows = OptionRows();

  // Everything up to the first word that ends the reading: --help, --version,
  // an unknown option or one whose value is missing. What comes before it is
  // still checked in order, so that an earlier bad value is the one reported.
  std::size_t end = args.size();
  std::optional<CliCommand> stop;  // Help or Version, or the usage error in stopError
  std::string stopError;
  for (std::size_t i = 0; i < args.size() && end == args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg.size() < 2 || arg[0] != '-') continue;
    const std::string name = arg.rfind("--", 0) == 0 ? arg.substr(0, arg.find('=')) : arg;
    const auto row = std::find_if(rows.begin(), rows.end(), [&](const OptionRow& r) { return name == "--" + r.Name; });
    if (name == "--help" || name == "-h") end = i, stop = CliCommand::Help;
    else if (name == "--version") end = i, stop = CliCommand::Version;
    else if (row == rows.end()) end = i, stopError = "unknown option " + arg;
    else if (!row->Value.empty() && name.size() == arg.size() && ++i == args.size())
      end = i - 1, stopError = name + " needs a value";
  }

  // Latin-1 carries every byte of a path through unchanged.
  QStringList words{QStringLiteral("qrb-flash-cli")};
  for (std::size_t i = 0; i < end; ++i) words.append(QString::fromLatin1(args[i]));
  QCommandLineParser parser;
  for (const OptionRow& row : rows)
    parser.addOption(QCommandLineOption(QString::fromLatin1(row.Name), {}, QString::fromLatin1(row.Value)));
  if (!parser.parse(words)) return error = parser.errorText().toStdString(), false;  // every option was checked above
  const auto raw = [](const QString& text) { return text.toLatin1().toStdString(); };

  std::map<QString, qsizetype> seen;
  for (const QString& name : parser.optionNames()) {
    if (name == QLatin1String("single-read")) {
      options.SingleRead = true;
      continue;
    }
    const std::string value = raw(parser.values(name).at(seen[name]++));
    if (name == QLatin1String("tcp")) {
      CliBoard board;
      if (!ParseHostPort(value, board, error)) return false;
      board.Link = CliLink::Tcp;
      options.Boards.push_back(board);
    } else if (name == QLatin1String("com")) {
      const auto n = WholeNumber(value, 1, 4);
      if (!n) return error = "--com takes a port number 1..4 (COM1..COM4), not " + value, false;
      CliBoard board;
      board.ComPort = static_cast<int>(*n);
      board.Link = CliLink::Com;
      options.Boards.push_back(board);
    } else if (name == QLatin1String("serial")) {
      if (value.empty()) return error = "--serial needs a device path", false;
      CliBoard board;
      board.Device = value;
      board.Link = CliLink::Serial;
      options.Boards.push_back(board);
    } else if (name == QLatin1String("tick")) {
      const auto n = WholeNumber(value, timing::MinTickMs, timing::MaxTickMs);
      if (!n) return error = "--tick takes milliseconds " + TickRange() + ", not " + value, false;
      options.TickMs = static_cast<int>(*n);
    } else if (name == QLatin1String("report")) {
      if (value.empty()) return error = "--report needs a file name", false;
      if (!options.ReportPath.empty()) return error = "--report given twice", false;
      if (value == "-") return error = "--report -: stdout carries the Status list; name a file (./- for a file named -)", false;
      options.ReportPath = value;
    } else if (name == QLatin1String("range")) {
      if (!ParseRange(value, options, error)) return false;
    } else if (name == QLatin1String("baud")) {
      bool known = false;
      for (const ComSpeedOption& speed : ComSpeedOptions)
        if (value == std::to_string(speed.baud)) options.ComSpeed = speed.index, known = true;
      if (!known) return error = "--baud takes " + BaudList(", ", " or ") + ", not " + value, false;
    } else if (name == QLatin1String("connect-timeout")) {
      double seconds = 0;
      const auto [last, ec] = std::from_chars(value.data(), value.data() + value.size(), seconds);
      if (ec != std::errc{} || last != value.data() + value.size() || !(seconds > 0) || seconds > 3600)
        return error = "--connect-timeout takes seconds (more than 0, up to 3600), not " + value, false;
      options.ConnectTimeoutMs = static_cast<int>(std::lround(seconds * 1000));
      if (options.ConnectTimeoutMs < 1)
        return error = "--connect-timeout takes at least 0.001 seconds (1 ms), not " + value, false;
    } else if (name == QLatin1String("fix")) {
      if (value.empty()) return error = "--fix needs the file to write", false;
      if (!options.FixOut.empty()) return error = "--fix given twice", false;
      if (value == "-") return error = "--fix -: stdout carries the check's lines; name a file (./- for a file named -)", false;
      options.FixOut = value;
    }
  }

  std::vector<std::string> positional;
  for (const QString& word : parser.positionalArguments()) positional.push_back(raw(word));
  if (stop) {
    options.Command = *stop;
    if (!positional.empty()) options.HelpTopic = CommandNamed(positional[0]).value_or(CliCommand::Help);
    return true;
  }
  if (!stopError.empty()) return error = stopError, false;

  if (positional.empty()) return error = "missing command (program, verify, read or check)", false;
  const std::string& command = positional[0];
  const auto named = CommandNamed(command);
  if (!named) return error = "unknown command " + command, false;
  options.Command = *named;
  const bool read = options.Command == CliCommand::Read;
  if (positional.size() < 2) return error = command + (read ? " needs the S19 file to write" : " needs an S19 file"), false;
  if (positional.size() > 2) return error = "unexpected argument " + positional[2], false;
  options.File = positional[1];

  if (options.Command == CliCommand::Check) {
    if (!options.Boards.empty()) return error = "check takes no link", false;
    if (!options.ReportPath.empty()) return error = "--report belongs to program, verify and read", false;
    if (!options.Ranges.empty()) return error = "--range belongs to read", false;
    if (options.FixOut == options.File) return error = "--fix must write a file other than " + options.File, false;
    return true;
  }
  if (!options.FixOut.empty()) return error = "--fix belongs to check", false;
  if (options.Boards.empty())
    return error = command + " needs a link: --tcp HOST[:PORT], --com N or --serial DEVICE", false;
  for (std::size_t i = 0; i < options.Boards.size(); ++i)
    for (std::size_t j = 0; j < i; ++j)
      if (options.Boards[i].Name() == options.Boards[j].Name())
        return error = "the same board twice: " + options.Boards[i].Name(), false;
  if (read) {
    if (options.Boards.size() > 1) return error = "read takes one link", false;
    if (options.Ranges.empty()) return error = "read needs at least one --range START-END", false;
  } else if (!options.Ranges.empty()) {
    return error = "--range belongs to read", false;
  } else if (options.SingleRead) {
    return error = "--single-read belongs to read", false;
  }
  return true;
}

std::string CliUsage(CliCommand topic) {
  if (topic != CliCommand::Help && topic != CliCommand::Version) return CommandHelp(topic);
  std::string rows;
  for (const OptionRow& row : OptionRows()) {
    std::string left = "--" + row.Name + (row.Value.empty() ? "" : " " + row.Value);
    left.resize(std::max<std::size_t>(left.size() + 1, 25), ' ');
    std::string text = row.Note.empty() ? row.Text : row.Text + "\n" + row.Note;
    for (auto at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 1))
      text.insert(at + 1, std::string(27, ' '));
    rows += "  " + left + text + "\n";
  }
  return "Usage:\n"
         "  qrb-flash-cli {program|verify} FILE.s19 (--tcp HOST[:PORT] | --com N | --serial DEVICE)...\n"
         "                [--baud " + BaudList("|", "|") + "] [--connect-timeout SECONDS]\n"
         "                [--tick MS] [--report FILE.json]\n"
         "  qrb-flash-cli read OUT.s19 --range START-END [--range START-END]... (one link)\n"
         "                [--baud ...] [--connect-timeout SECONDS] [--tick MS] [--report FILE.json]\n"
         "                [--single-read]   (OUT.s19 -: to stdout, the Status list to stderr)\n"
         "  qrb-flash-cli check FILE.s19 [--fix OUT.s19]\n"
         "  qrb-flash-cli --help | --version\n"
         "\n"
         "Programs or verifies the FLASH of a QRB-260/QRB-530 interface board from a Motorola S19 file,\n"
         "through the same steps as the main window, reads a board's FLASH back to an S19 file, or\n"
         "checks an S19 file before a run.\n"
         "\n" + rows +
         "\n"
         "stdout carries the Status list, stderr the Debug list (and a progress line on a terminal).\n"
         "Exit status: 0 when the run ended with its success lines on every board (check: a run would\n"
         "program the file; check --fix: OUT was written), 1 when it ended any other way (check: a run\n"
         "would refuse the file; --fix: no safe fix), 2 for a usage error, a file that cannot be opened\n"
         "or written, or a link that could not be opened in time (on no board).\n";
}

}  // namespace qrb::cli
