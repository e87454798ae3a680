#include "SrecFix.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryFile>
#include <QTimer>
#include <algorithm>
#include <array>

#include "app/qt/core/OutputFile.h"

namespace qrb::cli {
namespace {

constexpr int ToolTimeoutMs = 60000;
constexpr unsigned long long FirstOutsideReader = 0x80000000ULL;  // its addresses are signed 32-bit

}  // namespace

struct ToolRun {
  bool Started = false;
  bool Succeeded = false;
  QString Out;
  QString Err;
};

ToolRun SrecordRunner::Run(const QString& program, const QStringList& arguments) {
  ToolRun run;
  if (stopped_) return run;
  QProcess process;
  QEventLoop loop;
  QTimer deadline;
  deadline.setSingleShot(true);
  QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
  QObject::connect(&process, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
  QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
  process.start(program, arguments);
  if (!process.waitForStarted()) return run;
  run.Started = true;
  process.closeWriteChannel();
  running_ = &process;
  deadline.start(ToolTimeoutMs);
  // Stop() may come from a signal while the loop runs.
  if (process.state() != QProcess::NotRunning) loop.exec();
  running_ = nullptr;
  if (process.state() != QProcess::NotRunning) {
    process.kill();
    process.waitForFinished();
  }
  run.Succeeded = !stopped_ && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
  run.Out = QString::fromLocal8Bit(process.readAllStandardOutput());
  run.Err = QString::fromLocal8Bit(process.readAllStandardError());
  return run;
}

void SrecordRunner::Stop() {
  stopped_ = true;
  if (running_ != nullptr) running_->kill();
}

namespace {

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

// What srec_cat's S3 rewrite of a file holds: its highest data address and
// whether it ends in a start address (S7). False when it holds no data.
bool ScanS3(const QString& path, unsigned long long& highest, bool& startAddress) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return false;
  bool found = false;
  highest = 0;
  startAddress = false;
  while (!file.atEnd()) {
    const QByteArray line = file.readLine(4096);
    if (line.startsWith("S7")) startAddress = true;
    if (!line.startsWith("S3") || line.size() < 12) continue;
    bool ok = false;
    const unsigned count = line.mid(2, 2).toUInt(&ok, 16);
    const unsigned long long address = line.mid(4, 8).toULongLong(&ok, 16);
    if (!ok || count <= 5) continue;  // address and checksum only
    highest = std::max(highest, address + (count - 5) - 1);
    found = true;
  }
  return found;
}

}  // namespace

std::string Address0x(std::uint64_t value) {
  return "0x" + QString::number(static_cast<qulonglong>(value), 16).toUpper().toStdString();
}

std::string SrecordPath(const std::string& path) {
  const bool plain = path.rfind("./", 0) == 0 || path.rfind("../", 0) == 0;
  return path.empty() || plain || QDir::isAbsolutePath(QString::fromStdString(path)) ? path : "./" + path;
}

std::string ShellQuoted(const std::string& text) {
  std::string out = "'";
  for (const char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

SrecFix::SrecFix(SrecordRunner& runner, const std::string& in, const std::string& out) : runner_(runner) {
  fixed_ = std::make_unique<QTemporaryFile>(QDir::tempPath() + "/.qrb-fix-XXXXXX.s19");
  if (!fixed_->open()) {
    reason_ = "cannot make a temporary file: " + fixed_->errorString().toStdString();
    return;
  }
  fixed_->close();
  const QString input = QString::fromStdString(SrecordPath(in));
  const QString output = QString::fromStdString(SrecordPath(fixed_->fileName().toStdString()));

  // srecord's own reading of the file, as S3 records: its highest address
  // and whether it has a start address.
  if (!Rewrite({input, "-disable=header", "-address-length=4", "-o", output})) return;
  unsigned long long highest = 0;
  bool startAddress = false;
  if (!ScanS3(fixed_->fileName(), highest, startAddress)) {
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

  // Beyond 65,535 records srec_cat counts them in an S6 record, which the run
  // does not take: wider records keep the count in an S5 record. The end
  // record: the start address's S9, S8 or S7 where the file has one (the
  // width follows the address length), else srec_cat's S5 record count.
  for (const int width : RecordWidths) {
    QStringList options{"-range-padding", "256", "-disable=header"};
    if (startAddress) options << "-disable=data-count";
    options << "-address-length=" + QString::number(addressLength);
    if (width != RecordWidths.front()) options << "-obs=" + QString::number(width);
    const QStringList padding{"-fill", "0xFF", "-within", input};
    command_ = "srec_cat " + ShellQuoted(SrecordPath(in));
    for (const QString& a : padding) command_ += ' ' + (a == input ? ShellQuoted(a.toStdString()) : a.toStdString());
    for (const QString& a : options) command_ += ' ' + a.toStdString();
    command_ += " -o " + ShellQuoted(SrecordPath(out)) + " -crlf";
    if (!Rewrite(QStringList{input} + padding + options + QStringList{"-o", output, "-crlf"})) return;
    if (startAddress || !EndsWithS6(fixed_->fileName())) {
      made_ = true;
      return;
    }
  }
  reason_ = "more than 65,535 records even at " + std::to_string(RecordWidths.back()) +
            " bytes each, so srecord would count them in an S6 record, which the run does not take; "
            "a start address in the firmware's build gives an S7, S8 or S9 end record instead";
}

bool SrecFix::Rewrite(const QStringList& arguments) {
  const ToolRun cat = runner_.Run("srec_cat", arguments);
  if (runner_.Stopped()) {
    reason_ = "stopped";
    return false;
  }
  if (!cat.Started) {
    reason_ = "srec_cat (package srecord) cannot be started";
    return false;
  }
  if (!cat.Succeeded) {
    const std::string why = Complaints(cat.Err);
    reason_ = why.find("multiple") != std::string::npos
                  ? "records overlap with different data (" + why + "); which of them is right only the firmware's "
                                                                      "build can tell"
                  : "srecord cannot read the file: " + why;
    return false;
  }
  return true;
}

std::string SrecFix::FixedPath() const { return fixed_ ? fixed_->fileName().toStdString() : std::string(); }

bool SrecFix::KeepAs(const std::string& out, std::string& reason) {
  if (!made_) return reason = reason_, false;
  QFile fixed(fixed_->fileName());
  OutputFile file(out);
  if (!fixed.open(QIODevice::ReadOnly)) return reason = fixed.errorString().toStdString(), false;
  if (!file.Open(reason)) return false;
  while (!fixed.atEnd()) {
    const QByteArray chunk = fixed.read(1 << 20);
    if (chunk.isEmpty() || !file.Write(chunk)) break;
  }
  if (fixed.error() != QFile::NoError) return reason = fixed.errorString().toStdString(), false;
  return file.Commit(reason);
}

}  // namespace qrb::cli
