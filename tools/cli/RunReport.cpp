#include "RunReport.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimeZone>

#include "CliLinkKinds.h"
#include "Version.h"
#include "app/qt/core/OutputFile.h"

namespace qrb::cli {
namespace {

QString Iso(std::chrono::system_clock::time_point at) {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(at.time_since_epoch()).count();
  return QDateTime::fromMSecsSinceEpoch(ms, QTimeZone::utc()).toString(Qt::ISODateWithMs);
}

QString Text(const std::string& text) { return QString::fromStdString(text); }

// The file's SHA-256 in hexadecimal, or null when it cannot be read.
QJsonValue Sha256(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return QJsonValue::Null;
  QCryptographicHash hash(QCryptographicHash::Sha256);
  if (!hash.addData(&file)) return QJsonValue::Null;
  return QString::fromLatin1(hash.result().toHex());
}

QJsonValue VersionOrNull(std::int32_t version) { return version < 0 ? QJsonValue(QJsonValue::Null) : version; }

QJsonObject Link(const CliBoard& board, const CliOptions& options) {
  QJsonObject link;
  if (const CliLinkKind* kind = CliLinkKindOf(board)) kind->report(board, options, link);
  return link;
}

QJsonObject Board(const BoardRecord& record, const CliOptions& options) {
  QJsonObject board;
  board["name"] = Text(record.name);
  board["link"] = Link(record.board, options);
  board["outcome"] = OutcomeName(record.outcome);
  if (!record.refusal.empty()) board["refusal"] = Text(record.refusal);
  board["start"] = Iso(record.started);
  board["end"] = Iso(record.ended);
  // What the handshake read: the mode the board was in, and the version
  // report(s).
  QJsonObject handshake;
  handshake["board_state"] = record.startupIdleVersion >= 0   ? QJsonValue("startup idle")
                             : record.flashModeVersion >= 0 ? QJsonValue("flash mode")
                                                            : QJsonValue(QJsonValue::Null);
  handshake["version"] = VersionOrNull(record.startupIdleVersion >= 0 ? record.startupIdleVersion
                                                                      : record.flashModeVersion);
  handshake["flash_mode_version"] = VersionOrNull(record.flashModeVersion);
  board["handshake"] = handshake;

  QJsonArray blocks;
  for (const BlockResult& block : record.blocks) {
    QJsonObject entry;
    entry["address"] = static_cast<qint64>(static_cast<std::uint32_t>(block.address));
    entry["address_hex"] = QStringLiteral("0x%1").arg(static_cast<std::uint32_t>(block.address), 0, 16).toUpper().replace("0X", "0x");
    if (block.mismatches >= 0) entry["mismatches"] = block.mismatches;
    if (block.reads > 0) entry["reads"] = block.reads;
    if (options.SkipUnchanged) {
      entry["written"] = !block.unchanged;
      entry["unchanged"] = block.unchanged;
    }
    blocks.append(entry);
  }
  board["blocks"] = blocks;
  QJsonObject totals;
  totals["blocks"] = static_cast<int>(record.blocks.size());
  totals["mismatches"] = record.totalErrors;
  if (options.SkipUnchanged) {
    totals["written"] = record.blocksWritten;
    totals["unchanged"] = record.blocksUnchanged;
  }
  totals["seconds"] = record.Seconds();
  board["totals"] = totals;

  QJsonArray lines;
  for (const PostedLine& line : record.lines) {
    QJsonObject entry;
    entry["list"] = line.status ? "status" : "debug";
    entry["text"] = Text(line.text);
    lines.append(entry);
  }
  board["lines"] = lines;
  return board;
}

}  // namespace

const char* OutcomeName(BoardOutcome outcome) {
  switch (outcome) {
    case BoardOutcome::Succeeded:
      return "succeeded";
    case BoardOutcome::Failed:
      return "failed";
    case BoardOutcome::Refused:
      break;
  }
  return "refused";
}

bool WriteRunReport(const std::string& path, const CliOptions& options, const std::vector<const BoardRecord*>& boards,
                    const RunSummary& summary, std::string& error) {
  QJsonObject root;
  root["tool"] = Text(summary.tool);
  root["version"] = QString::fromLatin1(VersionString);
  QJsonArray arguments;
  arguments.append(Text(summary.tool));
  for (const std::string& argument : options.Arguments) arguments.append(Text(argument));
  root["command_line"] = arguments;
  const bool read = options.Command == CliCommand::Read;
  root["command"] = read ? "read" : options.Command == CliCommand::Program ? "program" : "verify";
  QJsonObject file;
  const bool toStdout = read && OutputFile::IsStdout(options.File);
  file["path"] = toStdout ? QStringLiteral("-") : QFileInfo(Text(options.File)).absoluteFilePath();
  // For a read, the file written (null when the read failed and it was not,
  // or went to standard output).
  file["sha256"] = read && (summary.exitStatus != 0 || toStdout) ? QJsonValue(QJsonValue::Null) : Sha256(Text(options.File));
  root[read ? "output" : "image"] = file;
  root["tick_ms"] = options.TickMs;
  if (options.SkipUnchanged) root["skip_unchanged"] = true;
  root["start"] = Iso(summary.started);
  root["end"] = Iso(summary.ended);

  bool all = !boards.empty(), any = false;
  for (const BoardRecord* board : boards) {
    all = all && board->outcome == BoardOutcome::Succeeded;
    any = any || board->outcome != BoardOutcome::Refused;
  }
  root["outcome"] = all ? "succeeded" : any ? "failed" : "refused";
  root["exit_status"] = summary.exitStatus;
  if (!summary.refusal.empty()) root["refusal"] = Text(summary.refusal);

  QJsonArray entries;
  int blocks = 0, mismatches = 0, written = 0, unchanged = 0;
  for (const BoardRecord* board : boards) {
    entries.append(Board(*board, options));
    blocks += static_cast<int>(board->blocks.size());
    mismatches += board->totalErrors;
    written += board->blocksWritten;
    unchanged += board->blocksUnchanged;
  }
  root["boards"] = entries;
  QJsonObject totals;
  totals["boards"] = static_cast<int>(boards.size());
  totals["blocks"] = blocks;
  totals["mismatches"] = mismatches;
  if (options.SkipUnchanged) {
    totals["written"] = written;
    totals["unchanged"] = unchanged;
  }
  totals["seconds"] = std::chrono::duration<double>(summary.ended - summary.started).count();
  root["totals"] = totals;

  OutputFile out(path);
  return out.Open(error) && (out.Write(QJsonDocument(root).toJson()), out.Commit(error));
}

}  // namespace qrb::cli
