#include "S19Scan.h"

#include <cstdio>
#include <map>
#include <memory>
#include <set>

#include "app/Text.h"

namespace qrb::cli {
namespace {

constexpr std::uint32_t Block = 256;
constexpr int ShownPerKind = 3;
constexpr std::uint64_t FirstOutsideModel = 0x80000000;  // addresses are signed 32-bit

enum class LineEnd { CrLf, Lf, Cr, None };

std::string Addr(std::uint64_t a) { return "$" + Hex(static_cast<std::int64_t>(a)); }

// Reads one line and how it ended; false at the end of the file.
bool NextLine(std::FILE* f, std::string& text, LineEnd& end) {
  text.clear();
  int c;
  while ((c = std::fgetc(f)) != EOF) {
    if (c == '\n') {
      end = LineEnd::Lf;
      return true;
    }
    if (c == '\r') {
      const int next = std::fgetc(f);
      if (next == '\n') {
        end = LineEnd::CrLf;
      } else {
        if (next != EOF) std::ungetc(next, f);
        end = LineEnd::Cr;
      }
      return true;
    }
    text += static_cast<char>(c);
  }
  end = LineEnd::None;
  return !text.empty();
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

class Scanner {
 public:
  explicit Scanner(S19Scan& scan) : scan_(scan) {}

  void Line(int number, const std::string& text, LineEnd end);
  void Finish();

 private:
  void Problem(const std::string& kind, int line, std::string what, std::string fix);
  void LineEnding(int line, LineEnd end);
  void DataRecord(int line, std::uint32_t address, std::uint32_t count);

  S19Scan& scan_;
  std::map<std::string, int> seen_;        // problems per kind
  std::map<std::string, int> lastShown_;   // line of the last one shown
  std::vector<std::string> kindsInOrder_;
  int endLine_ = 0;
  bool started_ = false;
  std::uint64_t current_ = 0;  // address of the next byte the data would continue with
  std::uint32_t fill_ = 0;     // bytes in the block being built
  std::set<std::uint32_t> blocks_;  // numbers of the blocks the data have started
};

void Scanner::Problem(const std::string& kind, int line, std::string what, std::string fix) {
  ++scan_.ProblemCount;
  if (seen_[kind]++ == 0) kindsInOrder_.push_back(kind);
  if (seen_[kind] > ShownPerKind) return;
  lastShown_[kind] = line;
  scan_.Problems.push_back({line, std::move(what), std::move(fix)});
}

void Scanner::LineEnding(int line, LineEnd end) {
  if (end == LineEnd::Lf)
    Problem("lf", line, "the line ends in LF alone; the reader takes two characters as a line end, "
            "so the next record comes out wrong (\"Unexpected record found.\") and the data end there",
            "convert the line ends to CR LF (unix2dos, or srec_cat ... -crlf)");
  else if (end == LineEnd::Cr)
    Problem("cr", line, "the line ends in CR alone; the reader takes two characters as a line end, "
            "so the next record comes out wrong and the data end there",
            "convert the line ends to CR LF (srec_cat ... -crlf)");
}

void Scanner::Line(int number, const std::string& text, LineEnd end) {
  const bool afterEnd = endLine_ != 0;
  if (text.empty()) {
    if (!afterEnd)
      Problem("empty", number, "empty line; the reader takes its line end as a record type "
              "(\"Unexpected record found.\") and the data end there", "remove the empty line");
    return;
  }
  if (text.size() < 4 || (text[0] != 'S' && text[0] != 's') || text[1] < '0' || text[1] > '9') {
    if (!afterEnd)
      Problem("junk", number, "not an S-record; the reader reports \"Unexpected record found.\" and the data end there",
              "remove the line");
    return;
  }
  const int type = text[1] - '0';
  const bool isData = type >= 1 && type <= 3;
  if (afterEnd) {
    if (isData)
      Problem("after-end", number, "data record after the end record of line " + std::to_string(endLine_) +
              "; the reader stops at the end record and never reads it", "move the end record to the end of the file");
    return;
  }
  LineEnding(number, end);
  ++scan_.RecordsByType[type];

  // The pairs after the type: count, address, data, checksum.
  const std::string digits = text.substr(2);
  if (digits.size() % 2 != 0) {
    Problem("count", number, "an odd number of digits; the reader goes by pairs and loses its place",
            "regenerate the record (srec_cat in.s19 -o out.s19)");
    return;
  }
  std::vector<std::uint8_t> bytes;
  bool lower = text[0] == 's', invalid = false;
  for (std::size_t i = 0; i < digits.size(); i += 2) {
    const int hi = HexValue(digits[i]), lo = HexValue(digits[i + 1]);
    invalid = invalid || hi < 0 || lo < 0;
    lower = lower || (digits[i] >= 'a' && digits[i] <= 'f') || (digits[i + 1] >= 'a' && digits[i + 1] <= 'f');
    bytes.push_back(static_cast<std::uint8_t>((hi < 0 ? 0 : hi) << 4 | (lo < 0 ? 0 : lo)));
  }
  if (lower)
    Problem("lower", number, "lower-case characters; the reader takes each lower-case digit as 0 (\"Nib1 not valid: \") "
            "or the record type as unexpected, so the data come out wrong",
            "write the file in upper case (srec_cat writes upper case)");
  if (invalid) {
    Problem("invalid", number, "characters that are not hexadecimal digits; the reader takes each as 0",
            "regenerate the file (srec_cat in.s19 -o out.s19 -crlf)");
    return;
  }
  if (bytes[0] + 1u != bytes.size()) {
    Problem("count", number, "the count says " + std::to_string(bytes[0]) + " bytes follow, the line holds " +
            std::to_string(bytes.size() - 1) +
            "; the reader goes by the count and loses its place", "regenerate the record (srec_cat in.s19 -o out.s19)");
    return;
  }
  std::uint8_t sum = 0;
  for (std::size_t i = 0; i + 1 < bytes.size(); ++i) sum = static_cast<std::uint8_t>(sum + bytes[i]);
  const std::uint8_t want = static_cast<std::uint8_t>(~sum);
  if (bytes.back() != want)
    Problem("checksum", number, "bad checksum " + Hex(bytes.back()) + ", should be " + Hex(want) +
            "; the reader does not check it, so a damaged record would be programmed as read",
            "find out why the record is damaged and regenerate the file");

  switch (type) {
    case 0:
      Problem("header", number, "S0 header record; the reader takes it as an unexpected record and the run ends "
              "before any block is sent", "leave the header out (srec_cat ... -disable=header)");
      return;
    case 4:
    case 6:
      Problem("unexpected", number, "S" + std::to_string(type) + " record; the reader reports \"Unexpected record found.\" "
              "and the data end there", "leave the record out");
      return;
    case 5:
    case 7:
    case 8:
    case 9:
      scan_.EndRecord = "S" + std::to_string(type);
      endLine_ = number;
      return;
    default:
      break;
  }
  const std::uint32_t addressBytes = static_cast<std::uint32_t>(type) + 1;
  if (bytes[0] < addressBytes + 1) {
    Problem("short", number, "the count is too small to hold the address; the record lies outside what the reader handles",
            "regenerate the record (srec_cat in.s19 -o out.s19)");
    return;
  }
  std::uint64_t address = 0;
  for (std::uint32_t i = 1; i <= addressBytes; ++i) address = address << 8 | bytes[i];
  const std::uint32_t count = bytes[0] - addressBytes - 1;
  if (address + count > FirstOutsideModel) {
    Problem("range", number, "data at " + Addr(address) + " reach " + Addr(FirstOutsideModel) +
            " or above; the reader's addresses are signed 32-bit and end at $7FFFFFFF",
            "move the image below $80000000 (srec_cat ... -offset)");
    return;
  }
  if (count == 0)
    Problem("empty-record", number, "data record without data bytes; where it starts a block after a hole the run "
            "ends without a message", "leave the record out");
  DataRecord(number, static_cast<std::uint32_t>(address), count);
}

void Scanner::DataRecord(int line, std::uint32_t address, std::uint32_t count) {
  ++scan_.DataRecords;
  scan_.DataBytes += count;
  if (!started_ || address != current_) {
    if (started_ && address % Block == 0 && blocks_.count(address / Block) != 0)
      Problem("backwards", line, "record at " + Addr(address) + " leads back into a block already sent; the run "
              "stops there rather than write that block again padded with 0xFF",
              "sort the records by address (srec_cat in.s19 -o out.s19)");
    if (fill_ > 0) ++scan_.Blocks;
    fill_ = 0;
    if (address % Block != 0) {
      if (!started_)
        Problem("first-block", line, "the first data start at " + Addr(address) + ", not at a multiple of 256; the run "
                "stops with \"Starting address not an even block.\" and nothing is sent",
                "start the image at " + Addr(address & ~(Block - 1)) + " (srec_cat in.s19 -fill 0xFF " +
                Addr(address & ~(Block - 1)) + " " + Addr(address) + " -o out.s19), or link it there");
      else
        Problem("hole-block", line, "after the hole from " + Addr(current_) + " the data go on at " + Addr(address) +
                ", not at a multiple of 256; the run stops there with \"Starting address not an even block.\"",
                "fill the hole with 0xFF (srec_cat in.s19 -fill 0xFF -over in.s19 -o out.s19) or start the data after "
                "it at a multiple of 256");
    }
    started_ = true;
    scan_.Ranges.push_back({address, address});
  }
  if (count == 0) return;
  for (std::uint32_t block = address / Block; block <= (address + count - 1) / Block; ++block) blocks_.insert(block);
  scan_.Ranges.back().Last = address + count - 1;
  fill_ += count;
  scan_.Blocks += static_cast<int>(fill_ / Block);
  fill_ %= Block;
  current_ = std::uint64_t{address} + count;
}

void Scanner::Finish() {
  if (fill_ > 0) ++scan_.Blocks;
  if (scan_.DataRecords == 0)
    Problem("no-data", 0, "no data records (S1, S2 or S3); there is nothing to program", "use the right file");
  if (endLine_ == 0)
    Problem("no-end", 0, "no end record (S9, S8, S7 or S5); a run cannot tell the end of the file from a truncated "
            "file", "end the file with an end record (srec_cat writes S5, and S9 with -execution-start-address)");
  for (const std::string& kind : kindsInOrder_)
    if (seen_[kind] > ShownPerKind)
      scan_.Problems.push_back({0, std::to_string(seen_[kind] - ShownPerKind) + " more line(s) like line " +
                                       std::to_string(lastShown_[kind]), "as above"});
}

}  // namespace

S19Scan ScanS19File(const std::string& path) {
  S19Scan scan;
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
  if (!file) return scan;
  scan.Opened = true;
  Scanner scanner(scan);
  std::string text;
  LineEnd end;
  for (int number = 1; NextLine(file.get(), text, end); ++number) scanner.Line(number, text, end);
  scanner.Finish();
  return scan;
}

std::vector<std::string> CheckReport(const std::string& path, const S19Scan& scan) {
  std::vector<std::string> lines;
  for (const S19Problem& p : scan.Problems)
    lines.push_back(path + (p.Line > 0 ? ":" + std::to_string(p.Line) : std::string{}) + ": " + p.What +
                    ". Fix: " + p.Fix + ".");

  std::string types;
  for (int t = 1; t <= 3; ++t)
    if (scan.RecordsByType[t] > 0)
      types += (types.empty() ? "" : ", ") + ("S" + std::to_string(t)) + ": " + std::to_string(scan.RecordsByType[t]);
  lines.push_back("Records: " + std::to_string(scan.DataRecords) + " data" +
                  (types.empty() ? "" : " (" + types + ")") +
                  (scan.EndRecord.empty() ? ", no end record" : ", end record " + scan.EndRecord));
  lines.push_back("Bytes: " + std::to_string(scan.DataBytes));
  lines.push_back("Blocks: " + std::to_string(scan.Blocks) + " of 256 bytes");
  std::string ranges;
  for (const S19Range& r : scan.Ranges)
    ranges += (ranges.empty() ? "" : ", ") + Addr(r.First) + "-" + Addr(r.Last);
  lines.push_back("Ranges: " + (ranges.empty() ? std::string("none") : ranges));
  lines.push_back(scan.ProblemCount == 0
                      ? std::string("Result: the file will program cleanly.")
                      : "Result: " + std::to_string(scan.ProblemCount) +
                            " problem(s); the file will not program cleanly.");
  return lines;
}

}  // namespace qrb::cli
