#include "CliOptions.h"

#include <QCommandLineParser>
#include <QStringList>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <iterator>
#include <map>
#include <optional>

#include "CliLinkKinds.h"
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
// or one command alone.
enum class OptionScope { Linked, Read, Check, Ports, Program };

// An option with its value's name (none for a switch) and what it does; the
// note follows in the usage of every command only.
struct OptionRow {
  std::string Name;
  std::string Value;
  std::string Text;
  OptionScope Scope;
  std::string Note = {};
  std::string Short = {};

  std::string Left() const { return (Short.empty() ? "" : "-" + Short + ", ") + "--" + Name + (Value.empty() ? "" : " " + Value); }
  bool Matches(const std::string& word) const { return word == "--" + Name || (!Short.empty() && word == "-" + Short); }
};

constexpr std::size_t HelpWidth = 79;
constexpr std::size_t TextColumn = 27;

// text wrapped at blanks into lines of at most width, each line after the
// first indented by indent blanks; a newline in text starts a new line.
std::string Wrap(const std::string& text, std::size_t indent, std::size_t width) {
  std::string out, line;
  std::size_t start = 0;
  const auto flush = [&] {
    if (!out.empty()) out += "\n" + std::string(indent, ' ');
    out += line;
    line.clear();
  };
  while (start <= text.size()) {
    const std::size_t stop = std::min(text.find_first_of(" \n", start), text.size());
    const std::string word = text.substr(start, stop - start);
    if (!word.empty()) {
      if (!line.empty() && line.size() + 1 + word.size() > width) flush();
      line += (line.empty() ? "" : " ") + word;
    }
    if (stop < text.size() && text[stop] == '\n') flush();
    start = stop + 1;
  }
  if (!line.empty()) flush();
  return out;
}

// "  --name VALUE            text ..." wrapped within the help's width.
std::string HelpRow(const std::string& left, const std::string& text) {
  std::string head = "  " + left;
  if (head.size() + 2 > TextColumn) head += "\n" + std::string(TextColumn, ' ');
  else head.resize(TextColumn, ' ');
  return head + Wrap(text, TextColumn, HelpWidth - TextColumn) + "\n";
}

std::vector<OptionRow> OptionRows() {
  const CliOptions defaults;
  const CliBoard board;
  return {
      {"tcp", "HOST[:PORT]", "the board's Ethernet link (port " + std::to_string(board.Port) + " by default)", OptionScope::Linked},
      {"com", "N", "serial port COM1..COM4 as the main window names them", OptionScope::Linked},
      {"serial", "DEVICE",
       "any serial device in the COM port's place (a USB adapter, a pseudo-terminal)",
       OptionScope::Linked,
       "Links may be repeated: several boards at once, each line prefixed by its board's name, and a summary "
       "at the end."},
      {"baud", "RATE", "serial speed, " + std::to_string(ComBaudRate(defaults.ComSpeed)) + " by default", OptionScope::Linked},
      {"connect-timeout", "SECS", "how long to wait for the link, " + std::to_string(defaults.ConnectTimeoutMs / 1000) + " by default",
       OptionScope::Linked},
      {"wait", "SECS",
       "keep trying to open each link for up to SECS (a board still starting, an adapter not yet plugged in)",
       OptionScope::Linked},
      {"tick", "MS",
       "the sequencer's tick, " + TickRange() + " ms (" + std::to_string(timing::DefaultTickMs) +
           " by default, as the main window); time-outs stay " + std::to_string(timing::TimeOutMs / 1000) +
           " s and the flush delay " + std::to_string(timing::TimeOutMs / 3000) + " s",
       OptionScope::Linked},
      {"report", "FILE.json", "a record of the run as JSON, written also when it fails", OptionScope::Linked},
      {"skip-unchanged", "", "program: read each block first and leave out the blocks the board already holds",
       OptionScope::Program},
      {"range", "START-END",
       "read: the addresses to read, both included (0x8000-0xFFFF); every 256-byte block they touch is read "
       "whole",
       OptionScope::Read},
      {"quiet", "", "no progress line and no Debug list (shown after all when the run fails, and kept in the report)",
       OptionScope::Linked, "", "q"},
      {"single-read", "",
       "read: each block once (faster), not until two reads agree",
       OptionScope::Read},
      {"fix", "OUT.s19", "check: write the file rewritten by srec_cat so that a run takes it", OptionScope::Check},
      {"json", "", "ports: the list as JSON, for scripts", OptionScope::Ports},
  };
}

// A command, its synopsis and what it does, for its own --help.
struct CommandRow {
  CliCommand Command;
  const char* Name;
  const char* Synopsis;
  const char* Text;
};

constexpr CommandRow kCommands[] = {
    {CliCommand::Program, "program", "FILE.s19 LINK... [OPTIONS]",
     "Programs FILE.s19 into the FLASH of every board a link option names (links may be repeated), reads each "
     "block back and compares it."},
    {CliCommand::Verify, "verify", "FILE.s19 LINK... [OPTIONS]",
     "Reads back every block of FILE.s19 from the FLASH of every board a link option names (links may be "
     "repeated) and compares it; nothing is written."},
    {CliCommand::Read, "read", "OUT.s19 --range START-END... LINK [OPTIONS]",
     "Reads the 256-byte blocks the --range options touch from the FLASH of the board one link option names "
     "into OUT.s19, written only when every block was read. OUT.s19 as - writes the S-records to stdout, "
     "and the Status list then goes to stderr."},
    {CliCommand::Check, "check", "FILE.s19 [--fix OUT.s19]",
     "Reads FILE.s19 as a run would, without a board: the first error, the warnings, a summary and the fix."},
    {CliCommand::Ports, "ports", "[DEVICE...] [--json]",
     "Lists the serial ports the system offers, and the devices named (a pseudo-terminal, a link to a port): "
     "device, the COM port the main window maps to it, description, maker, serial number and USB vendor:product."},
};

std::optional<CliCommand> CommandNamed(const std::string& name) {
  for (const CommandRow& row : kCommands)
    if (name == row.Name) return row.Command;
  return std::nullopt;
}

bool Listed(const OptionRow& option, CliCommand command) {
  switch (option.Scope) {
    case OptionScope::Linked: return command == CliCommand::Program || command == CliCommand::Verify || command == CliCommand::Read;
    case OptionScope::Read: return command == CliCommand::Read;
    case OptionScope::Check: return command == CliCommand::Check;
    case OptionScope::Ports: return command == CliCommand::Ports;
    case OptionScope::Program: return command == CliCommand::Program;
  }
  return false;
}

// The commands an option belongs to, for a message.
std::string ScopeCommands(OptionScope scope) {
  switch (scope) {
    case OptionScope::Linked: return "program, verify and read";
    case OptionScope::Read: return "read";
    case OptionScope::Check: return "check";
    case OptionScope::Ports: return "ports";
    case OptionScope::Program: return "program";
  }
  return {};
}

// One command's help, in the style of the usage of every command.
std::string CommandHelp(CliCommand command) {
  const CommandRow& row = *std::find_if(std::begin(kCommands), std::end(kCommands),
                                        [command](const CommandRow& r) { return r.Command == command; });
  std::string help = "Usage: qrb-flash-cli " + std::string(row.Name) + " " + row.Synopsis + "\n";
  if (Listed(OptionRows().front(), command)) help += "  LINK: --tcp HOST[:PORT], --com N or --serial DEVICE\n";
  help += "\n" + Wrap(row.Text, 0, HelpWidth) + "\n\nOptions:\n";
  for (const OptionRow& option : OptionRows())
    if (Listed(option, command)) help += HelpRow(option.Left(), option.Text);
  return help + HelpRow("-h, --help", "this help");
}

// The first word that ends the reading of options: --help, --version, an
// unknown option or one whose value is missing. What comes before it is still
// checked in order, so that an earlier bad value is the one reported.
struct StopWord {
  std::size_t at;                      // the number of words read
  std::optional<CliCommand> command;   // Help or Version
  std::string error;                   // or the usage error
};

StopWord FindStopWord(const std::vector<std::string>& args, const std::vector<OptionRow>& rows) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--") break;  // the rest are names, whatever they look like
    if (arg.size() < 2 || arg[0] != '-') continue;
    const std::string name = arg.rfind("--", 0) == 0 ? arg.substr(0, arg.find('=')) : arg;
    const auto row = std::find_if(rows.begin(), rows.end(), [&](const OptionRow& r) { return r.Matches(name); });
    if (name == "--help" || name == "-h") return {i, CliCommand::Help, {}};
    if (name == "--version" || name == "-V") return {i, CliCommand::Version, {}};
    if (row == rows.end()) return {i, std::nullopt, "unknown option " + arg};
    if (row->Value.empty() && name.size() != arg.size()) return {i, std::nullopt, name + " takes no value"};
    if (!row->Value.empty() && name.size() == arg.size() && ++i == args.size())
      return {i - 1, std::nullopt, name + " needs a value"};
  }
  return {args.size(), std::nullopt, {}};
}

std::string Latin1(const QString& text) { return text.toLatin1().toStdString(); }

// What an option's value does to the options; false with the usage error.
using Taker = bool (*)(const std::string& option, const std::string& value, CliOptions& options, std::string& error);

bool TakeTcp(const std::string&, const std::string& value, CliOptions& options, std::string& error) {
  CliBoard board;
  if (!ParseHostPort(value, board, error)) return false;
  board.Link = CliLink::Tcp;
  options.Boards.push_back(board);
  return true;
}

bool TakeCom(const std::string&, const std::string& value, CliOptions& options, std::string& error) {
  const auto n = WholeNumber(value, 1, 4);
  if (!n) return error = "--com takes a port number 1..4 (COM1..COM4), not " + value, false;
  CliBoard board;
  board.ComPort = static_cast<int>(*n);
  board.Link = CliLink::Com;
  options.Boards.push_back(board);
  return true;
}

bool TakeSerial(const std::string&, const std::string& value, CliOptions& options, std::string& error) {
  if (value.empty()) return error = "--serial needs a device path", false;
  CliBoard board;
  board.Device = value;
  board.Link = CliLink::Serial;
  options.Boards.push_back(board);
  return true;
}

bool TakeTick(const std::string&, const std::string& value, CliOptions& options, std::string& error) {
  const auto n = WholeNumber(value, timing::MinTickMs, timing::MaxTickMs);
  if (!n) return error = "--tick takes milliseconds " + TickRange() + ", not " + value, false;
  options.TickMs = static_cast<int>(*n);
  return true;
}

bool TakeBaud(const std::string&, const std::string& value, CliOptions& options, std::string& error) {
  for (const ComSpeedOption& speed : ComSpeedOptions)
    if (value == std::to_string(speed.baud)) return options.ComSpeed = speed.index, true;
  return error = "--baud takes " + BaudList(", ", " or ") + ", not " + value, false;
}

// --connect-timeout and --wait: seconds, kept as milliseconds.
bool TakeSeconds(const std::string& option, const std::string& value, CliOptions& options, std::string& error) {
  double seconds = 0;
  const auto [last, ec] = std::from_chars(value.data(), value.data() + value.size(), seconds);
  if (ec != std::errc{} || last != value.data() + value.size() || !(seconds > 0) || seconds > 3600)
    return error = option + " takes seconds (more than 0, up to 3600), not " + value, false;
  const int ms = static_cast<int>(std::lround(seconds * 1000));
  if (ms < 1) return error = option + " takes at least 0.001 seconds (1 ms), not " + value, false;
  (option == "--wait" ? options.WaitMs : options.ConnectTimeoutMs) = ms;
  return true;
}

// --report and --fix: one file each, never "-" (stdout carries the lines).
bool TakeOutput(const std::string& option, const std::string& value, CliOptions& options, std::string& error) {
  const bool report = option == "--report";
  std::string& path = report ? options.ReportPath : options.FixOut;
  if (value.empty()) return error = option + (report ? " needs a file name" : " needs the file to write"), false;
  if (!path.empty()) return error = option + " given twice", false;
  if (value == "-")
    return error = option + " -: stdout carries " + (report ? "the Status list" : "the check's lines") +
                   "; name a file (./- for a file named -)",
           false;
  path = value;
  return true;
}

bool TakeRange(const std::string&, const std::string& value, CliOptions& options, std::string& error) {
  return ParseRange(value, options, error);
}

// Every option with a value, and every switch, by its row's name.
const std::pair<const char*, Taker> Takers[] = {
    {"tcp", TakeTcp},
    {"com", TakeCom},
    {"serial", TakeSerial},
    {"baud", TakeBaud},
    {"tick", TakeTick},
    {"connect-timeout", TakeSeconds},
    {"wait", TakeSeconds},
    {"report", TakeOutput},
    {"fix", TakeOutput},
    {"range", TakeRange},
};

const std::pair<const char*, bool CliOptions::*> Switches[] = {
    {"quiet", &CliOptions::Quiet},
    {"json", &CliOptions::Json},
    {"single-read", &CliOptions::SingleRead},
    {"skip-unchanged", &CliOptions::SkipUnchanged},
};

// The second of the row named `name`, or null.
template <typename Table>
auto Lookup(const Table& table, const std::string& name) -> decltype(std::begin(table)->second) {
  for (const auto& row : table)
    if (name == row.first) return row.second;
  return nullptr;
}

// The command and its words against the options given; false with the usage
// error.
bool CommandLineFits(const std::vector<std::string>& positional, const std::vector<const OptionRow*>& given,
                     CliOptions& options, std::string& error) {
  if (positional.empty()) return error = "missing command (program, verify, read, check or ports)", false;
  const std::string& command = positional[0];
  const auto named = CommandNamed(command);
  if (!named) return error = "unknown command " + command, false;
  options.Command = *named;
  // A link given to check has its own word below.
  const auto link = [](const OptionRow& row) { return row.Name == "tcp" || row.Name == "com" || row.Name == "serial"; };
  for (const OptionRow* row : given)
    if (!Listed(*row, options.Command) && !(options.Command == CliCommand::Check && link(*row)))
      return error = "--" + row->Name + " belongs to " + ScopeCommands(row->Scope), false;
  if (options.Command == CliCommand::Ports) {
    options.Devices.assign(positional.begin() + 1, positional.end());
    return true;
  }
  const bool read = options.Command == CliCommand::Read;
  if (positional.size() < 2) return error = command + (read ? " needs the S19 file to write" : " needs an S19 file"), false;
  if (positional.size() > 2) return error = "unexpected argument " + positional[2], false;
  options.File = positional[1];

  if (options.Command == CliCommand::Check) {
    if (!options.Boards.empty()) return error = "check takes no link", false;
    if (options.FixOut == options.File) return error = "--fix must write a file other than " + options.File, false;
    return true;
  }
  if (options.Boards.empty())
    return error = command + " needs a link: --tcp HOST[:PORT], --com N or --serial DEVICE", false;
  for (std::size_t i = 0; i < options.Boards.size(); ++i)
    for (std::size_t j = 0; j < i; ++j)
      if (options.Boards[i].Name() == options.Boards[j].Name())
        return error = "the same board twice: " + options.Boards[i].Name(), false;
  if (read) {
    if (options.Boards.size() > 1) return error = "read takes one link", false;
    if (options.Ranges.empty()) return error = "read needs at least one --range START-END", false;
  }
  return true;
}

}  // namespace

std::string CliBoard::Name() const {
  const CliLinkKind* kind = CliLinkKindOf(*this);
  return kind != nullptr ? kind->name(*this) : std::string();
}

bool ParseCliOptions(const std::vector<std::string>& args, CliOptions& options, std::string& error) {
  options = CliOptions{};
  options.Arguments = args;
  const std::vector<OptionRow> rows = OptionRows();
  const StopWord stop = FindStopWord(args, rows);

  // Latin-1 carries every byte of a path through unchanged.
  QStringList words{QStringLiteral("qrb-flash-cli")};
  for (std::size_t i = 0; i < stop.at; ++i) words.append(QString::fromLatin1(args[i]));
  QCommandLineParser parser;
  for (const OptionRow& row : rows) {
    QStringList names{QString::fromLatin1(row.Name)};
    if (!row.Short.empty()) names.prepend(QString::fromLatin1(row.Short));
    parser.addOption(QCommandLineOption(names, {}, QString::fromLatin1(row.Value)));
  }
  if (!parser.parse(words)) return error = parser.errorText().toStdString(), false;  // every option was checked above

  // Each option in the order given, its value checked by its row's taker.
  std::map<QString, qsizetype> seen;
  std::vector<const OptionRow*> given;
  for (const QString& word : parser.optionNames()) {
    const OptionRow& row = *std::find_if(rows.begin(), rows.end(), [&](const OptionRow& r) {
      return word == QLatin1String(r.Name.c_str()) || word == QLatin1String(r.Short.c_str());
    });
    given.push_back(&row);
    const auto flag = Lookup(Switches, row.Name);
    const Taker take = Lookup(Takers, row.Name);
    if (flag == nullptr && take == nullptr) return error = "--" + row.Name + " is not handled", false;
    if (flag != nullptr) {
      options.*flag = true;
      continue;
    }
    const QString name = QString::fromLatin1(row.Name);
    if (!take("--" + row.Name, Latin1(parser.values(name).at(seen[name]++)), options, error)) return false;
  }

  std::vector<std::string> positional;
  for (const QString& word : parser.positionalArguments()) positional.push_back(Latin1(word));
  if (stop.command) {
    options.Command = *stop.command;
    if (!positional.empty()) options.HelpTopic = CommandNamed(positional[0]).value_or(CliCommand::Help);
    return true;
  }
  if (!stop.error.empty()) return error = stop.error, false;
  return CommandLineFits(positional, given, options, error);
}

std::string CliUsage(CliCommand topic) {
  if (topic != CliCommand::Help && topic != CliCommand::Version) return CommandHelp(topic);
  std::string usage = "Usage:\n";
  for (const CommandRow& row : kCommands) usage += "  qrb-flash-cli " + std::string(row.Name) + " " + row.Synopsis + "\n";
  usage += "  qrb-flash-cli -h | --help | -V | --version\n"
           "  qrb-flash-cli COMMAND --help\n"
           "  LINK: --tcp HOST[:PORT], --com N or --serial DEVICE\n"
           "\n" +
           Wrap("Programs or verifies the FLASH of a QRB-260/QRB-530 interface board from a Motorola S19 file, "
                "through the same steps as the main window, reads a board's FLASH back to an S19 file, checks an "
                "S19 file before a run, or lists the serial ports.",
                0, HelpWidth) +
           "\n\nOptions:\n";
  for (const OptionRow& row : OptionRows())
    usage += HelpRow(row.Left(), row.Note.empty() ? row.Text : row.Text + "\n" + row.Note);
  usage += HelpRow("--", "ends the options: what follows is a file or device name");
  usage += HelpRow("-h, --help", "this help, or with a command that command's help");
  usage += HelpRow("-V, --version", "the version");
  return usage + "\n" +
         Wrap("stdout carries the Status list, stderr the Debug list (and a progress line on a terminal that can "
              "draw it). Exit status: 0 when the run ended with its success lines on every board (check: a run "
              "would program the file; check --fix: OUT was written), 1 when it ended any other way (check: a run "
              "would refuse the file; --fix: no safe fix), 2 for a usage error, a file that cannot be opened or "
              "written, or a link that could not be opened in time (on no board).",
              0, HelpWidth) +
         "\n";
}

}  // namespace qrb::cli
