#include "SrecFix.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <algorithm>
#include <array>
#include <filesystem>
#include <system_error>

namespace qrb::cli {
namespace {

constexpr int ToolTimeoutMs = 60000;
constexpr unsigned long long FirstOutsideReader = 0x80000000ULL;  // its addresses are signed 32-bit

struct ToolRun {
  bool Started = false;
  bool Succeeded = false;
  QString Out;
  QString Err;
};

ToolRun RunTool(const QString& program, const QStringList& arguments) {
  ToolRun run;
  QProcess process;
  process.start(program, arguments);
  if (!process.waitForStarted()) return run;
  run.Started = true;
  process.closeWriteChannel();
  if (!process.waitForFinished(ToolTimeoutMs)) {
    process.kill();
    process.waitForFinished();
  }
  run.Succeeded = process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
  run.Out = QString::fromLocal8Bit(process.readAllStandardOutput());
  run.Err = QString::fromLocal8Bit(process.readAllStandardError());
  return run;
}

// srecord's complaints without its warnings and program name, one line each.
std::string Complaints(const QString& err) {
  QStringList kept;
  bool keep = false;
  for (const QString& line : err.split('\n', Qt::SkipEmptyParts)) {
    if (line.startsWith(' ') || line.startsWith('\t')) {
      if (keep) kept.back() += ' ' + line.trimmed();
      continue;
    }
    keep = !line.contains(": warning: ");
    if (keep) kept << line.section(": ", 1);
  }
  return kept.isEmpty() ? std::string("srecord gave up without a reason") : kept.join("; ").toStdString();
}

// Data bytes per record: srec_cat's own width first, then wider ones up to
// what an S3 record holds.
constexpr std::array<int, 4> RecordWidths{32, 64, 128, 250};

// The file's last record is an S6 record count.
bool EndsWithS6(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return false;
  file.seek(std::max<qint64>(0, file.size() - 32));
  const QByteArray tail = file.readAll().trimmed();
  return tail.mid(tail.lastIndexOf('\n') + 1).startsWith("S6");
}

// The highest address srec_info finds, or none.
bool HighestAddress(const QString& info, unsigned long long& highest) {
  const qsizetype data = info.indexOf("Data:");
  if (data < 0) return false;
  static const QRegularExpression range("([0-9A-Fa-f]+) - ([0-9A-Fa-f]+)");
  highest = 0;
  bool found = false;
  for (auto it = range.globalMatch(info.mid(data)); it.hasNext(); found = true)
    highest = std::max(highest, it.next().captured(2).toULongLong(nullptr, 16));
  return found;
}

}  // namespace

std::string Address0x(std::uint64_t value) {
  return "0x" + QString::number(static_cast<qulonglong>(value), 16).toUpper().toStdString();
}

std::string ShellQuoted(const std::string& text) {
  std::string out = "'";
  for (const char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

SrecFix::SrecFix(const std::string& in, const std::string& out, bool toKeep) {
  const QString input = QString::fromStdString(in);
  const ToolRun info = RunTool("srec_info", {input});
  if (!info.Started) {
    reason_ = "srec_info (package srecord) cannot be started";
    return;
  }
  if (!info.Succeeded) {
    reason_ = "srecord cannot read the file: " + Complaints(info.Err);
    return;
  }
  unsigned long long highest = 0;
  if (!HighestAddress(info.Out, highest)) {
    reason_ = "the file holds no data";
    return;
  }
  if (highest >= FirstOutsideReader) {
    reason_ = "data up to " + Address0x(highest) + ", at " + Address0x(FirstOutsideReader) +
              " or above: the reader's addresses end at 0x7FFFFFFF, so the image would have to be relocated, "
              "which only the firmware's build can do";
    return;
  }
  const int addressLength = highest <= 0xFFFF ? 2 : highest <= 0xFFFFFF ? 3 : 4;
  // The end record: the start address's S9, S8 or S7 where the file has one
  // (the width follows the address length), else srec_cat's S5 record count.
  const bool startAddress = info.Out.contains("Execution Start Address");

  const QString directory = toKeep ? QFileInfo(QString::fromStdString(out)).absolutePath() : QDir::tempPath();
  fixed_ = std::make_unique<QTemporaryFile>(directory + "/.qrb-fix-XXXXXX.s19");
  if (!fixed_->open()) {
    reason_ = "cannot write next to " + out + ": " + fixed_->errorString().toStdString();
    return;
  }
  fixed_->close();

  // Beyond 65,535 records srec_cat counts them in an S6 record, which the run
  // does not take: wider records keep the count in an S5 record.
  for (const int width : RecordWidths) {
    if (!Rewrite(in, out, addressLength, startAddress, width)) return;
    if (startAddress || !EndsWithS6(fixed_->fileName())) {
      made_ = true;
      return;
    }
  }
  reason_ = "more than 65,535 records even at " + std::to_string(RecordWidths.back()) +
            " bytes each, so srecord would count them in an S6 record, which the run does not take; "
            "a start address in the firmware's build gives an S7, S8 or S9 end record instead";
}

bool SrecFix::Rewrite(const std::string& in, const std::string& out, int addressLength, bool startAddress,
                      int width) {
  // srec_cat's arguments; the paths are quoted in the command shown.
  const QString input = QString::fromStdString(in);
  const QString padding[] = {"-fill", "0xFF", "-within"};
  QStringList options{"-range-padding", "256", "-disable=header"};
  if (startAddress) options << "-disable=data-count";
  options << "-address-length=" + QString::number(addressLength);
  if (width != RecordWidths.front()) options << "-obs=" + QString::number(width);
  options << "-o";
  QStringList arguments{input};
  command_ = "srec_cat " + ShellQuoted(in);
  for (const QString& a : padding) arguments << a, command_ += ' ' + a.toStdString();
  arguments << input;
  command_ += ' ' + ShellQuoted(in);
  for (const QString& a : options) arguments << a, command_ += ' ' + a.toStdString();
  arguments << fixed_->fileName() << "-crlf";
  command_ += ' ' + ShellQuoted(out) + " -crlf";

  const ToolRun cat = RunTool("srec_cat", arguments);
  if (!cat.Started) {
    reason_ = "srec_cat (package srecord) cannot be started";
    return false;
  }
  if (!cat.Succeeded) {
    const std::string why = Complaints(cat.Err);
    reason_ = why.find("multiple") != std::string::npos
                  ? "records overlap with different data (" + why + "); which of them is right only the firmware's "
                                                                      "build can tell"
                  : "srecord cannot rewrite the file: " + why;
    return false;
  }
  return true;
}

std::string SrecFix::FixedPath() const { return fixed_ ? fixed_->fileName().toStdString() : std::string(); }

bool SrecFix::KeepAs(const std::string& out, std::string& reason) {
  if (!made_) return reason = reason_, false;
  std::error_code ec;
  std::filesystem::rename(FixedPath(), out, ec);
  if (ec) return reason = "cannot write " + out + ": " + ec.message(), false;
  fixed_->setAutoRemove(false);
  fixed_.reset();
  made_ = false;
  return true;
}

}  // namespace qrb::cli
