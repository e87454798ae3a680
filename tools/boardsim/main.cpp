// qrb-board-sim: a simulated QRB board on a loopback TCP port and/or a
// pseudo-terminal. Prints "TCP_PORT=n", "PTY=path" and then "READY" on
// stdout; stops cleanly on SIGINT/SIGTERM, saving the FLASH if asked.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QStringList>
#include <cstdio>
#include <optional>

#include "BoardModel.h"
#include "BoardSimulator.h"
#include "FlashFile.h"
#include "Version.h"

#if defined(Q_OS_UNIX)
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>
#endif

using namespace qrb::sim;

namespace {

int Fail(const QString& message) {
  std::fprintf(stderr, "qrb-board-sim: %s\n", qPrintable(message));
  return 2;
}

// Decimal, or hexadecimal with a 0x prefix.
std::optional<qint64> Number(const QString& text, qint64 min, qint64 max) {
  bool ok = false;
  const qint64 value = text.trimmed().toLongLong(&ok, 0);
  if (!ok || value < min || value > max) return std::nullopt;
  return value;
}

// "A[:B[:C]]" split into numbers; nullopt when a part is not a number in range.
std::optional<QList<qint64>> Numbers(const QString& text, int maxParts, qint64 min, qint64 max) {
  const QStringList parts = text.split(QLatin1Char(':'));
  if (parts.size() > maxParts) return std::nullopt;
  QList<qint64> values;
  for (const QString& part : parts) {
    const auto value = Number(part, min, max);
    if (!value) return std::nullopt;
    values.append(*value);
  }
  return values;
}

#if defined(Q_OS_UNIX)
int signalPipe[2] = {-1, -1};
void OnSignal(int) {
  const char byte = 1;
  [[maybe_unused]] const auto n = ::write(signalPipe[1], &byte, 1);
}

// Turns SIGINT and SIGTERM into a quit of the event loop.
void QuitOnSignals(QCoreApplication& app) {
  if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0) return;
  auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
  QObject::connect(notifier, &QSocketNotifier::activated, &app, [&app] { app.quit(); });
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
}
#else
void QuitOnSignals(QCoreApplication&) {}
#endif

// The simulator's options, by the names main and its helpers use.
struct SimOptions {
  const QCommandLineOption showVersion{{QStringLiteral("V"), QStringLiteral("version")}, QStringLiteral("Displays version information.")};
  const QCommandLineOption tcp{QStringLiteral("tcp"), QStringLiteral("Serve one TCP client at a time on 127.0.0.1:<port> (0 = any free port)."), QStringLiteral("port")};
  const QCommandLineOption pty{QStringLiteral("pty"), QStringLiteral("Serve a pseudo-terminal.")};
  const QCommandLineOption link{QStringLiteral("link"), QStringLiteral("Make <path> a symbolic link to the pseudo-terminal."), QStringLiteral("path")};
  const QCommandLineOption mode{QStringLiteral("mode"), QStringLiteral("Start mode: idle (default) or flash."), QStringLiteral("mode"), QStringLiteral("idle")};
  const QCommandLineOption version{QStringLiteral("version-byte"), QStringLiteral("Version byte in the version report (default 0x15)."), QStringLiteral("v"), QStringLiteral("0x15")};
  const QCommandLineOption load{QStringLiteral("load"), QStringLiteral("Load the FLASH from <file> (S-records by extension, else binary at --base)."), QStringLiteral("file")};
  const QCommandLineOption save{QStringLiteral("save"), QStringLiteral("Save the FLASH to <file> on exit (S-records by extension, else binary from --base)."), QStringLiteral("file")};
  const QCommandLineOption base{QStringLiteral("base"), QStringLiteral("Address of a binary file's first byte (saving: default the lowest written block)."), QStringLiteral("address")};
  const QCommandLineOption baud{QStringLiteral("baud"), QStringLiteral("Model the line at <rate> baud, 10 bits per byte: answer a packet once it would have arrived, and pace the sent bytes (0 = unpaced)."), QStringLiteral("rate"), QStringLiteral("0")};
  const QCommandLineOption wrong{QStringLiteral("wrong-byte"), QStringLiteral("Reply <n> carries a wrong byte at <index> (default 0): <value>, or the right byte inverted."), QStringLiteral("n[:index[:value]]")};
  const QCommandLineOption silent{QStringLiteral("silent-from"), QStringLiteral("Send nothing from reply <n> on."), QStringLiteral("n")};
  const QCommandLineOption corrupt{QStringLiteral("corrupt-readback"), QStringLiteral("Read-back <n> returns its first <count> (default 1) bytes inverted."), QStringLiteral("n[:count]")};
  const QCommandLineOption split{QStringLiteral("split-reply"), QStringLiteral("Send reply <n> in two halves, <ms> (default 200) apart."), QStringLiteral("n[:ms]")};
  const QCommandLineOption stray{QStringLiteral("stray-bytes"), QStringLiteral("Send these bytes (hexadecimal, e.g. 0000) before every status reply to the opening packet."), QStringLiteral("hex")};
  const QCommandLineOption drop{QStringLiteral("drop-after"), QStringLiteral("Drop the link right after read-back <n> (a pseudo-terminal goes silent)."), QStringLiteral("n")};
  const QCommandLineOption flood{QStringLiteral("flood-from"), QStringLiteral("In place of reply <n> flood the link with 0x00 at 10 MB/s."), QStringLiteral("n")};
  const QCommandLineOption verbose{QStringLiteral("verbose"), QStringLiteral("Log every packet on stderr.")};
};

// The faults the options ask for; false with the usage error.
bool ReadFaults(const QCommandLineParser& parser, const SimOptions& o, BoardFaults& faults, QString& error) {
  const auto refuse = [&error](const char* text) { return error = QString::fromLatin1(text), false; };
  if (parser.isSet(o.wrong)) {
    const auto v = Numbers(parser.value(o.wrong), 3, 0, 0xFFFF);
    if (!v || v->at(0) < 1 || (v->size() == 3 && v->at(2) > 255)) return refuse("--wrong-byte takes n[:index[:value]]");
    faults.WrongByteReply = static_cast<int>(v->at(0));
    if (v->size() > 1) faults.WrongByteIndex = static_cast<int>(v->at(1));
    if (v->size() > 2) faults.WrongByteValue = static_cast<std::uint8_t>(v->at(2));
  }
  if (parser.isSet(o.silent)) {
    const auto v = Number(parser.value(o.silent), 1, 1'000'000);
    if (!v) return refuse("--silent-from takes a reply number from 1");
    faults.SilentFromReply = static_cast<int>(*v);
  }
  if (parser.isSet(o.corrupt)) {
    const auto v = Numbers(parser.value(o.corrupt), 2, 1, 65535);
    if (!v) return refuse("--corrupt-readback takes n[:count]");
    faults.CorruptReadBack = static_cast<int>(v->at(0));
    if (v->size() > 1) faults.CorruptByteCount = static_cast<int>(v->at(1));
  }
  if (parser.isSet(o.split)) {
    const auto v = Numbers(parser.value(o.split), 2, 0, 60'000);
    if (!v || v->at(0) < 1) return refuse("--split-reply takes n[:ms]");
    faults.SplitReply = static_cast<int>(v->at(0));
    faults.SplitDelayMs = v->size() > 1 ? static_cast<int>(v->at(1)) : 200;
  }
  if (parser.isSet(o.stray)) {
    const QByteArray hex = parser.value(o.stray).toLatin1();
    const QByteArray bytes = QByteArray::fromHex(hex);
    if (hex.size() != bytes.size() * 2) return refuse("--stray-bytes takes hexadecimal pairs");
    faults.StrayBeforeStatus.assign(bytes.begin(), bytes.end());
  }
  if (parser.isSet(o.drop)) {
    const auto v = Number(parser.value(o.drop), 1, 1'000'000);
    if (!v) return refuse("--drop-after takes a read-back number from 1");
    faults.DropAfterReadBacks = static_cast<int>(*v);
  }
  if (parser.isSet(o.flood)) {
    const auto v = Number(parser.value(o.flood), 1, 1'000'000);
    if (!v) return refuse("--flood-from takes a reply number from 1");
    faults.FloodFromReply = static_cast<int>(*v);
  }
  return true;
}

// The FLASH loaded as asked, and the file it is saved to at exit checked now
// (else the FLASH would be lost then); the reason why not, or empty.
std::string LoadAndCheckSave(const QCommandLineParser& parser, const SimOptions& o, BoardModel& board,
                             std::optional<qint64> baseAddress) {
  if (parser.isSet(o.load)) {
    const std::string error = LoadFlash(board, parser.value(o.load).toStdString(),
                                        static_cast<std::uint32_t>(baseAddress.value_or(0)));
    if (!error.empty()) return error;
  }
  return parser.isSet(o.save) ? CheckSavePath(parser.value(o.save).toStdString()) : std::string();
}

// The board's links opened, their names on stdout, then "READY".
QString OpenLinks(const QCommandLineParser& parser, const SimOptions& o, BoardSimulator& simulator) {
  if (parser.isSet(o.tcp)) {
    const auto port = Number(parser.value(o.tcp), 0, 65535);
    if (!port) return QStringLiteral("--tcp takes a port number 0..65535");
    const QString error = simulator.ListenTcp(static_cast<quint16>(*port));
    if (!error.isEmpty()) return error;
    std::printf("TCP_PORT=%u\n", simulator.TcpPort());
  }
  if (parser.isSet(o.pty)) {
    const QString error = simulator.OpenPty(parser.value(o.link));
    if (!error.isEmpty()) return error;
    std::printf("PTY=%s\n", qPrintable(simulator.PtyPath()));
  }
  std::printf("READY\n");
  std::fflush(stdout);
  return {};
}

}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("qrb-board-sim"));
  QCoreApplication::setApplicationVersion(QString::fromLatin1(qrb::VersionString));

  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral(
      "A simulated QRB-260/QRB-530 board for the FLASH download tools.\n"
      "Replies and read-backs are counted from 1 over the board's life."));
  const QCommandLineOption help = parser.addHelpOption();
  const SimOptions o;
  parser.addOption(o.showVersion);
  parser.addOptions({o.tcp, o.pty, o.link, o.mode, o.version, o.load, o.save, o.base, o.baud, o.wrong, o.silent,
                     o.corrupt, o.split, o.stray, o.drop, o.flood, o.verbose});
  if (!parser.parse(QCoreApplication::arguments())) {
    std::fprintf(stderr, "qrb-board-sim: %s\nRun 'qrb-board-sim --help' for the usage.\n", qPrintable(parser.errorText()));
    return 2;
  }
  if (parser.isSet(o.showVersion)) {
    std::printf("qrb-board-sim %s\n", qrb::VersionString);
    return 0;
  }
  if (parser.isSet(help)) parser.showHelp(0);
  if (!parser.positionalArguments().isEmpty())
    return Fail(QStringLiteral("unexpected argument: %1").arg(parser.positionalArguments().first()));
  if (!parser.isSet(o.tcp) && !parser.isSet(o.pty)) return Fail(QStringLiteral("give --tcp PORT and/or --pty"));

  BoardMode startMode = BoardMode::StartupIdle;
  if (parser.value(o.mode) == QLatin1String("flash")) startMode = BoardMode::Flash;
  else if (parser.value(o.mode) != QLatin1String("idle")) return Fail(QStringLiteral("--mode must be idle or flash"));
  const auto versionByte = Number(parser.value(o.version), 0, 255);
  if (!versionByte) return Fail(QStringLiteral("--version-byte must be 0..255"));
  const auto baudRate = Number(parser.value(o.baud), 0, 10'000'000);
  if (!baudRate) return Fail(QStringLiteral("--baud must be a rate in baud"));
  std::optional<qint64> baseAddress;
  if (parser.isSet(o.base) && !(baseAddress = Number(parser.value(o.base), 0, 0xFFFFFFFF)))
    return Fail(QStringLiteral("--base must be a 32-bit address"));

  BoardFaults faults;
  if (QString error; !ReadFaults(parser, o, faults, error)) return Fail(error);

  BoardModel board(startMode, static_cast<std::uint8_t>(*versionByte), faults);
  if (const std::string error = LoadAndCheckSave(parser, o, board, baseAddress); !error.empty())
    return Fail(QString::fromStdString(error));

  BoardSimulator simulator(board, static_cast<int>(*baudRate), parser.isSet(o.verbose));
  if (const QString error = OpenLinks(parser, o, simulator); !error.isEmpty()) return Fail(error);

  QuitOnSignals(app);
  app.exec();

  if (parser.isSet(o.save)) {
    const std::uint32_t from = static_cast<std::uint32_t>(baseAddress.value_or(LowestWrittenAddress(board)));
    const std::string error = SaveFlash(board, parser.value(o.save).toStdString(), from);
    if (!error.empty()) return Fail(QString::fromStdString(error));
    std::fprintf(stderr, "qrb-board-sim: FLASH saved to %s (%zu blocks written, base 0x%X)\n",
                 qPrintable(parser.value(o.save)), board.Blocks().size(), from);
  }
  return 0;
}
