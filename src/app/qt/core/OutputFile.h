// Every file the tools write (a FLASH backup, a run record, a fixed S19
// file) goes through OutputFile: only a regular file or a new path, never the
// same file as an input or another output, written to a temporary file in the
// same folder and renamed over the path only when complete and on disk. A new
// file gets the mode the umask gives; an existing one keeps its mode.
#pragma once

#include <QByteArray>
#include <QSaveFile>
#include <memory>
#include <string>
#include <vector>

namespace qrb {

// Why `path` cannot be written ("is not a regular file", the system's reason
// why no file can be made in its folder), or empty. Symbolic links are
// followed.
std::string OutputPathProblem(const std::string& path);

// A path and what it is ("the image", "the report"; empty: the path alone),
// for the same-file check.
struct NamedPath {
  std::string what;
  std::string path;
};

// The first output that is the same file as an input or as another output
// (by device and inode, or by path where it does not exist yet), as
// "the report X: the same file as the image Y"; empty when none is.
std::string SameFileProblem(const std::vector<NamedPath>& inputs, const std::vector<NamedPath>& outputs);

class OutputFile {
 public:
  // "-" is standard output: the bytes are kept until Commit and written there.
  explicit OutputFile(std::string path);
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  static bool IsStdout(const std::string& path) { return path == "-"; }

  // False with the reason when the file cannot be made.
  bool Open(std::string& error);
  // False once any write failed (the reason comes with Commit).
  bool Write(const QByteArray& bytes);
  // Flushed and synced, then put in place; false with the reason, and the
  // path as it was.
  bool Commit(std::string& error);
  // Drops what was written; the path stays as it was.
  void Cancel();

  const std::string& Path() const { return path_; }

 private:
  std::string path_;
  std::unique_ptr<QSaveFile> file_;
  QByteArray kept_;  // standard output's bytes
  bool failed_ = false;
};

}  // namespace qrb
