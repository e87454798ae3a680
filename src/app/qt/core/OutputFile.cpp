#include "OutputFile.h"

#include <QDir>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>

#if defined(Q_OS_UNIX)
#include <fcntl.h>
#include <unistd.h>
#endif

namespace qrb {
namespace {

namespace fs = std::filesystem;

std::string Reason(const QFileDevice& file) { return file.errorString().toStdString(); }

#if defined(Q_OS_UNIX)
// fsync of an open descriptor, or of the folder that holds `path`.
bool Synced(int fd, std::string& error) {
  if (::fsync(fd) == 0 || errno == EINVAL || errno == ENOTSUP) return true;
  error = std::strerror(errno);
  return false;
}

bool FolderSynced(const std::string& path, std::string& error) {
  const std::string folder = QFileInfo(QString::fromStdString(path)).absolutePath().toStdString();
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return true;  // nothing to sync through
  const bool synced = Synced(fd, error);
  ::close(fd);
  return synced;
}
#endif

// The path with its links resolved as far as it exists.
fs::path Resolved(const std::string& path) {
  std::error_code ec;
  fs::path resolved = fs::weakly_canonical(fs::absolute(path, ec), ec);
  return ec ? fs::absolute(path, ec).lexically_normal() : resolved;
}

bool SameFile(const std::string& a, const std::string& b) {
  std::error_code ea, eb, ec;
  const bool aExists = fs::exists(a, ea), bExists = fs::exists(b, eb);
  if (aExists && bExists) return fs::equivalent(a, b, ec) && !ec;
  return !aExists && !bExists && Resolved(a) == Resolved(b);
}

// Why an existing `path` is no file to write over, or empty.
std::string NotRegularProblem(const std::string& path) {
  if (path.empty()) return "no file name";
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  return fs::exists(status) && !fs::is_regular_file(status) ? "is not a regular file" : std::string();
}

}  // namespace

std::string OutputPathProblem(const std::string& path) {
  if (std::string problem = NotRegularProblem(path); !problem.empty()) return problem;
  // A file can be made beside it: the probe leaves nothing behind.
  QSaveFile probe(QString::fromStdString(path));
  if (!probe.open(QIODevice::WriteOnly)) return Reason(probe);
  probe.cancelWriting();
  return {};
}

std::string SameFileProblem(const std::vector<NamedPath>& inputs, const std::vector<NamedPath>& outputs) {
  const auto named = [](const NamedPath& p) { return p.what.empty() ? p.path : p.what + " " + p.path; };
  for (std::size_t i = 0; i < outputs.size(); ++i) {
    for (const NamedPath& input : inputs)
      if (SameFile(outputs[i].path, input.path)) return named(outputs[i]) + ": the same file as " + named(input);
    for (std::size_t j = 0; j < i; ++j)
      if (SameFile(outputs[i].path, outputs[j].path))
        return named(outputs[i]) + ": the same file as " + named(outputs[j]);
  }
  return {};
}

OutputFile::OutputFile(std::string path) : path_(std::move(path)) {}

OutputFile::~OutputFile() { Cancel(); }

bool OutputFile::Open(std::string& error) {
  failed_ = false;
  kept_.clear();
  if (IsStdout(path_)) return true;
  // The path may have changed since it was checked; the folder tells itself.
  if (std::string problem = NotRegularProblem(path_); !problem.empty()) {
    error = problem;
    return false;
  }
  file_ = std::make_unique<QSaveFile>(QString::fromStdString(path_));
  // Never written in place: a run that fails leaves the path as it was.
  file_->setDirectWriteFallback(false);
  if (file_->open(QIODevice::WriteOnly)) return true;
  error = Reason(*file_);
  file_.reset();
  return false;
}

bool OutputFile::Write(const QByteArray& bytes) {
  if (failed_) return false;
  if (IsStdout(path_)) {
    kept_ += bytes;
    return true;
  }
  failed_ = file_ == nullptr || file_->write(bytes) != bytes.size();
  return !failed_;
}

bool OutputFile::Commit(std::string& error) {
  if (IsStdout(path_)) {
    errno = 0;
    const bool written = !failed_ && std::fwrite(kept_.constData(), 1, static_cast<std::size_t>(kept_.size()), stdout) ==
                                         static_cast<std::size_t>(kept_.size()) &&
                         std::fflush(stdout) == 0;
    if (!written) error = errno != 0 ? std::strerror(errno) : "write failed";
    kept_.clear();
    return written;
  }
  if (file_ == nullptr) {
    error = "the file was not opened";
    return false;
  }
  // A write that fails only when the buffer goes to disk (a full file
  // system) is caught here, before the file can be put in place.
  bool done = !failed_ && file_->flush();
  if (!done) error = Reason(*file_);
#if defined(Q_OS_UNIX)
  done = done && Synced(file_->handle(), error);
#endif
  if (done && !file_->commit()) {
    error = Reason(*file_);
    done = false;
  }
#if defined(Q_OS_UNIX)
  done = done && FolderSynced(path_, error);
#endif
  Cancel();
  return done;
}

void OutputFile::Cancel() {
  if (file_ != nullptr && file_->isOpen()) file_->cancelWriting();
  file_.reset();
}

}  // namespace qrb
