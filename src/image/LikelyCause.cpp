#include "image/LikelyCause.h"

#include <algorithm>
#include <cctype>

#include "image/SequentialFile.h"

namespace qrb {

LikelyCause FindLikelyCause(const std::string& path, int line) {
  constexpr std::size_t Kept = 64;
  SequentialFile file;
  if (line < 1 || !file.Open(path)) return {};
  std::string head;        // the first characters of the problem's line
  bool lfAlone = false;    // the line before it ended in LF without CR
  bool emptyBefore = false;  // the line before it held nothing but its end
  bool empty = true;         // the line read so far holds nothing but its end
  bool readAny = false;    // the file holds at least one character
  bool blanksBefore = false;  // the line before it held blanks before its end
  char last = '\0';
  char lastShown = '\0';  // the last character of this line before its end
  while (file.Line() <= line && !file.AtEnd()) {
    const int before = file.Line();
    const std::string c = file.Read(1);
    readAny = readAny || !c.empty();
    if (file.Line() > before) {
      if (before == line) break;
      lfAlone = c == "\n" && last != '\r';
      emptyBefore = empty;
      blanksBefore = lastShown == ' ' || lastShown == '\t';
      empty = true;
      lastShown = '\0';
    } else if (c != "\r" && c != "\n") {
      empty = false;
      lastShown = c[0];
      if (before == line && head.size() < Kept) head += c;
    }
    last = c[0];
  }
  if (line == 1 && head.rfind("\xEF\xBB\xBF", 0) == 0)
    return {"a UTF-8 byte order mark (EF BB BF, as some editors save) before the first record", line};
  if (head.rfind("S0", 0) == 0) return {"an S0 header record; the data must start on the first line", line};
  if (head.rfind(':', 0) == 0) return {"an Intel HEX record; the file must hold Motorola S-records", line};
  const auto isText = [](char c) { return (c >= ' ' && c < 0x7F) || c == '\t'; };
  if (!std::all_of(head.begin(), head.end(), isText))
    return {"characters that are not text (a binary image, or a damaged file)", line};
  if (head.rfind("S6", 0) == 0)
    return {"an S6 record count (srec_cat writes one for more than 65,535 records); the data must end in an S5, "
            "S7, S8 or S9 record",
            line};
  if (lfAlone) return {"line " + std::to_string(line - 1) + " ends in LF alone; every line must end in CR LF", line - 1};
  if (emptyBefore) return {"line " + std::to_string(line - 1) + " is empty", line - 1};
  if (blanksBefore) return {"line " + std::to_string(line - 1) + " ends in blanks; CR LF must follow the checksum", line - 1};
  if (!readAny) return {"the file is empty", line};
  if (head.empty()) return {"an empty line", line};
  // Only S-record characters, some of them lower-case digits.
  const bool recordText = head[0] == 'S' && std::all_of(head.begin() + 1, head.end(), [](char c) {
                            return std::isxdigit(static_cast<unsigned char>(c)) != 0;
                          });
  if (recordText && std::any_of(head.begin(), head.end(), [](char c) { return c >= 'a' && c <= 'f'; }))
    return {"lower-case hexadecimal digits; the digits must be upper case", line};
  return {};
}

}  // namespace qrb
