// The S19 record reader: one record header, then one data byte at a time,
// straight from the file, two characters per read.
#include <cstdint>

#include "app/Form1.h"
#include "app/Text.h"

namespace qrb {

namespace {

constexpr std::uint32_t FirstRefusedS3Address = 0x80000000u;

// Ends the data: no further record or byte is taken in this run.
void EndData(Form1& f) {
  f.S.RecordValid = False;
  f.S.RecordFresh = False;
}

// The image can no longer be trusted for this run.
void MarkUnclean(Form1& f) { f.S.ImageReadClean = false; }

void PrematureEnd(Form1& f) {
  MarkUnclean(f);
  f.Debug("S19 file ends inside a record.  Premature end of file.");
  EndData(f);
  f.S.RecordByteCount = 0;
}

void Refuse(Form1& f, std::string line) {
  MarkUnclean(f);
  f.Debug(std::move(line));
  EndData(f);
  f.S.RecordByteCount = 0;
}

// Reads the next two characters into HexPair; false (premature end reported)
// when the file ends before both are there.
bool ReadPair(Form1& f) {
  f.S.HexPair = f.SourceFile.Read(2);
  if (f.S.HexPair.size() == 2) return true;
  PrematureEnd(f);
  return false;
}

bool OnlyLineEnd(const std::string& chars) {
  for (const char c : chars)
    if (c != '\r' && c != '\n') return false;
  return true;
}

}  // namespace

std::uint8_t Form1::HexToByte(const std::string& pair) {
  static constexpr const char* Names[2] = {"Nib1 not valid: ", "Nib0 not valid: "};
  int result = 0;
  for (std::size_t i = 0; i < 2; ++i) {
    const auto code = static_cast<unsigned char>(i < pair.size() ? pair[i] : '\0');
    int nibble = HexDigit(code);
    if (nibble < 0) {
      MarkUnclean(*this);
      Debug(Names[i] + Hex(code));
      nibble = 0;
    }
    result = result * 16 + nibble;
  }
  if (Muted != nullptr) Muted->Pair(static_cast<std::uint8_t>(result));
  return static_cast<std::uint8_t>(result);
}

namespace {

// What a record type does: a data record's address width, or the line an
// end record posts. Any other type is unexpected.
struct RecordKind {
  const char* type;
  int addressBytes;     // 0 for an end record
  const char* endLine;  // its Debug line
};

constexpr RecordKind RecordKinds[] = {
    {"S1", 2, nullptr},
    {"S2", 3, nullptr},
    {"S3", 4, nullptr},
    {"S5", 0, "S5 record detected."},
    {"S7", 0, "S7 record detected."},
    {"S8", 0, "S8 record detected.  Operation terminated."},
    {"S9", 0, "S9 record detected."},
};

const RecordKind* KindOf(const std::string& type) {
  for (const RecordKind& kind : RecordKinds)
    if (type == kind.type) return &kind;
  return nullptr;
}

}  // namespace

void Form1::GetARecord() {
  S.RecordValid = True;
  S.RecordFresh = True;

  S.RecordType = SourceFile.Read(2);
  if (Muted != nullptr) Muted->RecordHeader(S.RecordType);
  if (SourceFile.AtEnd()) {
    // A record type cut short is a truncated file; line-end characters alone
    // are the file's normal end.
    if (!OnlyLineEnd(S.RecordType)) {
      PrematureEnd(*this);
      return;
    }
    Debug("S19 EOF encountered.");
    EndData(*this);
    return;
  }

  if (!ReadPair(*this)) return;
  S.RecordByteCount = HexToByte(S.HexPair);

  const RecordKind* kind = KindOf(S.RecordType);
  if (kind == nullptr || kind->addressBytes == 0) {
    if (kind == nullptr) MarkUnclean(*this);
    Debug(kind != nullptr ? kind->endLine : "Unexpected record found.");
    EndData(*this);
    return;
  }
  const int addressBytes = kind->addressBytes;

  if (S.RecordByteCount < addressBytes + 1) {
    Refuse(*this, S.RecordType + " record count $" + Hex(S.RecordByteCount) +
                      " is too small for its address and checksum.  Record refused.");
    return;
  }

  std::int32_t* const bytes[4] = {&S.AddressByte3, &S.AddressByte2, &S.AddressByte1, &S.AddressByte0};
  std::uint32_t address = 0;
  for (int i = 4 - addressBytes; i < 4; ++i) {
    if (!ReadPair(*this)) return;
    *bytes[i] = HexToByte(S.HexPair);
    address = address * 256 + static_cast<std::uint32_t>(*bytes[i]);
  }
  // The data model ends at 0x7FFFFFFF: a record may neither start nor run past it.
  const auto dataBytes = static_cast<std::uint32_t>(S.RecordByteCount - (addressBytes + 1));
  if (address >= FirstRefusedS3Address || FirstRefusedS3Address - address < dataBytes) {
    Refuse(*this, "S3 record address $" + Hex(address) + " is outside the data range.  Record refused.");
    return;
  }
  S.RecordAddress = static_cast<std::int32_t>(address);
  S.RecordByteCount = static_cast<std::int16_t>(S.RecordByteCount - (addressBytes + 1));
  if (Muted != nullptr) Muted->DataRecord(address, S.RecordByteCount);
}

std::uint8_t Form1::ReadDataByte() {
  if (!ReadPair(*this)) return 0;
  return HexToByte(S.HexPair);
}

void Form1::SkipRecordTrailer() {
  if (!ReadPair(*this)) return;  // checksum pair, never checked by the run
  if (Muted != nullptr) Muted->Checksum(S.HexPair);
  // The line end: whatever is there, up to two characters, even none at the
  // very end of the file.
  S.HexPair = SourceFile.Read(2);
}

}  // namespace qrb
