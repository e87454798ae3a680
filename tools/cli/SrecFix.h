// The one fix for an S19 file the run would refuse or warn about, made by
// srec_cat (package srecord): any header left out, CR LF line ends, upper
// case, records in address order, each separate region padded with 0xFF to
// whole 256-byte blocks (never filled across a gap), records as wide as the
// addresses need with the matching end record (an S5 record count where the
// file has no start address, the records widened where 65,535 of srec_cat's
// would not hold the data). What has no safe fix is refused with the
// reason.
#pragma once

#include <QTemporaryFile>
#include <cstdint>
#include <memory>
#include <string>

class QProcess;

namespace qrb::cli {

struct ToolRun;

// srecord's programs, one at a time, with their arguments as a list (no
// shell). Stop() kills the one running, and every later run fails at once.
class SrecordRunner {
 public:
  ToolRun Run(const QString& program, const QStringList& arguments);
  void Stop();
  bool Stopped() const { return stopped_; }

 private:
  QProcess* running_ = nullptr;
  bool stopped_ = false;
};

class SrecFix {
 public:
  // Makes the fix of `in` into a temporary file; the command names `out`.
  SrecFix(SrecordRunner& runner, const std::string& in, const std::string& out);

  bool Made() const { return made_; }
  const std::string& Reason() const { return reason_; }  // why there is no safe fix
  // The srec_cat command that makes the fix, every path quoted.
  const std::string& Command() const { return command_; }
  // The fixed file, until this object ends.
  std::string FixedPath() const;
  // Writes the fixed file to `out` as every output is written; false with
  // the reason.
  bool KeepAs(const std::string& out, std::string& reason);

 private:
  // One srec_cat run into the temporary file; false with the reason.
  bool Rewrite(const QStringList& arguments);

  SrecordRunner& runner_;
  bool made_ = false;
  std::string reason_;
  std::string command_;
  std::unique_ptr<QTemporaryFile> fixed_;
};

// A path for a shell: in single quotes.
std::string ShellQuoted(const std::string& text);

// A file name as srecord takes it: a relative name gets a leading "./", so
// that "-", "-o" or "@list" is never read as standard input, an option or a
// response file.
std::string SrecordPath(const std::string& path);

// An address as a shell and srec_cat take it: "0x" and upper-case hexadecimal.
std::string Address0x(std::uint64_t value);

}  // namespace qrb::cli
