// One forward pass over an S19 file, record by record, that holds no image in
// memory: it counts the records, bytes and 256-byte blocks a run will send,
// and finds everything in the file that would stop or spoil a run, each with
// how to fix it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qrb::cli {

struct S19Problem {
  int Line = 0;  // 0 for the file as a whole
  std::string What;
  std::string Fix;
};

struct S19Range {
  std::uint32_t First = 0;
  std::uint32_t Last = 0;  // inclusive
};

struct S19Scan {
  bool Opened = false;
  int DataRecords = 0;
  int RecordsByType[10] = {};  // S0..S9
  std::int64_t DataBytes = 0;
  int Blocks = 0;                // blocks a run sends, up to the first thing that stops it
  std::vector<S19Range> Ranges;  // contiguous data, in file order
  std::string EndRecord;         // "S9", "S5", ... or empty
  // Every kind of problem once per line, at most a few lines per kind; the
  // rest of a kind is summed up in one more entry.
  std::vector<S19Problem> Problems;
  int ProblemCount = 0;  // all of them, shown or summed up
};

S19Scan ScanS19File(const std::string& path);

// The check report: one line per problem ("FILE:LINE: what. Fix: how."),
// then the summary.
std::vector<std::string> CheckReport(const std::string& path, const S19Scan& scan);

}  // namespace qrb::cli
