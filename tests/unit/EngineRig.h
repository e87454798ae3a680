// Whole runs of the engine, tick by tick, against a scripted fake board behind
// either link, and small S19 files written for the test.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "Harness.h"

namespace qrb::test {

using Bytes = std::vector<std::uint8_t>;

inline Bytes Joined(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// ---- S19 text ----

inline std::string HexByte(unsigned v) {
  static constexpr char Digits[] = "0123456789ABCDEF";
  return {Digits[(v >> 4) & 0xF], Digits[v & 0xF]};
}

inline int AddressSize(char type) { return type == '2' || type == '8' ? 3 : type == '3' || type == '7' ? 4 : 2; }

// One record with a correct count and checksum.
inline std::string SRecord(char type, std::uint32_t address, const Bytes& data = {}, const std::string& eol = "\r\n") {
  const int size = AddressSize(type);
  const unsigned count = static_cast<unsigned>(size) + static_cast<unsigned>(data.size()) + 1;
  unsigned sum = count;
  std::string out = std::string("S") + type + HexByte(count);
  for (int i = size - 1; i >= 0; --i) {
    const unsigned b = (address >> (8 * i)) & 0xFF;
    sum += b;
    out += HexByte(b);
  }
  for (const auto b : data) {
    sum += b;
    out += HexByte(b);
  }
  return out + HexByte(~sum & 0xFF) + eol;
}

inline Bytes Pattern(std::size_t n, unsigned seed = 0) {
  Bytes out(n);
  for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<std::uint8_t>((i * 7 + seed + i / 256) & 0xFF);
  return out;
}

// Records of at most `perRecord` bytes from `start`, without an end record.
inline std::string S19Data(std::uint32_t start, const Bytes& bytes, std::size_t perRecord = 16, char type = '1') {
  std::string out;
  for (std::size_t i = 0; i < bytes.size(); i += perRecord) {
    const auto end = std::min(bytes.size(), i + perRecord);
    out += SRecord(type, start + static_cast<std::uint32_t>(i),
                   Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(i), bytes.begin() + static_cast<std::ptrdiff_t>(end)));
  }
  return out;
}

inline std::string S9() { return SRecord('9', 0); }

// Writes a file under the test's temporary directory and returns its path.
inline std::string WriteTempFile(const std::string& content) {
  static int counter = 0;
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string(info != nullptr ? info->name() : "file") + "_" + std::to_string(++counter) + ".s19";
  for (char& c : name)
    if (c == '/') c = '_';
  const std::filesystem::path path = std::filesystem::path(::testing::TempDir()) / name;
  std::ofstream out(path, std::ios::binary);
  out << content;
  return path.string();
}

// ---- the board ----

// Answers the packets it is sent as a QRB interface does. Its output is one
// stream of bytes; faults are scripted by the index of a byte in that stream.
struct FakeBoard {
  bool flashMode = true;   // false: at start-up idle until 0xE1 0x96
  std::uint8_t version = 0x07;
  std::map<std::uint32_t, std::uint8_t> flash;  // erased cells read 0xFF
  std::set<std::uint32_t> stuckCells;           // written inverted

  std::map<std::size_t, std::uint8_t> replace;       // stream byte -> other value
  std::optional<std::size_t> cutAt;                  // bytes from here are never sent
  std::map<std::size_t, Bytes> strayBefore;          // extra bytes, outside the stream
  std::map<std::size_t, int> delayFrom;              // bytes from here come later by n ticks

  int tick = 0;
  std::size_t streamIndex = 0;
  std::vector<std::uint32_t> programmedBlocks;  // addresses of program-block packets
  std::vector<std::uint32_t> readBlocks;        // addresses of read-back requests

  std::uint8_t Read(std::uint32_t a) const {
    auto it = flash.find(a);
    return it == flash.end() ? 0xFF : it->second;
  }
  void Load(std::uint32_t start, const Bytes& bytes) {
    for (std::size_t i = 0; i < bytes.size(); ++i) flash[start + static_cast<std::uint32_t>(i)] = bytes[i];
  }

  void Receive(const Bytes& p) {
    auto address = [&p] {
      return static_cast<std::uint32_t>(p[2]) << 24 | static_cast<std::uint32_t>(p[3]) << 16 |
             static_cast<std::uint32_t>(p[4]) << 8 | p[5];
    };
    if (p == Bytes{0xF1, 0xA5}) {
      Emit({0x91, static_cast<std::uint8_t>(flashMode ? 0x2E : 0x12), 0x92, 0x04, version});
    } else if (p == Bytes{0xE1, 0x96}) {
      flashMode = true;
      Emit({0x91, 0x2E, 0x92, 0x04, version});
    } else if (p.size() == 264 && p[0] == 0x57 && p[1] == 0x3A) {
      const std::uint32_t a = address();
      programmedBlocks.push_back(a);
      for (std::uint32_t i = 0; i < 256; ++i)
        flash[a + i] = static_cast<std::uint8_t>(stuckCells.count(a + i) ? ~p[8 + i] : p[8 + i]);
      Emit({0x61, 0x3A});
    } else if (p.size() == 8 && p[0] == 0x57 && p[1] == 0x37) {
      const std::uint32_t a = address();
      readBlocks.push_back(a);
      Bytes reply{0x61, 0x37};
      for (std::uint32_t i = 0; i < 256; ++i) reply.push_back(Read(a + i));
      Emit(reply);
    } else {
      ADD_FAILURE() << "board got an unknown packet of " << p.size() << " bytes";
    }
  }

  // Bytes whose time has come.
  Bytes Due() {
    Bytes out;
    while (!pending_.empty() && pending_.front().first <= tick) {
      out.push_back(pending_.front().second);
      pending_.pop_front();
    }
    return out;
  }

 private:
  void Emit(const Bytes& bytes) {
    for (const auto b : bytes) {
      const std::size_t i = streamIndex++;
      int delay = 0;
      for (const auto& [from, ticks] : delayFrom)
        if (i >= from) delay += ticks;
      // The board sends in order: nothing overtakes a delayed byte.
      const int due = std::max(tick + delay, pending_.empty() ? 0 : pending_.back().first);
      if (auto s = strayBefore.find(i); s != strayBefore.end())
        for (const auto x : s->second) pending_.emplace_back(due, x);
      if (cutAt && i >= *cutAt) continue;
      auto r = replace.find(i);
      pending_.emplace_back(due, r == replace.end() ? b : r->second);
    }
  }
  std::deque<std::pair<int, std::uint8_t>> pending_;
};

enum class Link { Serial, Ethernet };

inline std::string LinkName(const ::testing::TestParamInfo<Link>& info) {
  return info.param == Link::Serial ? "Serial" : "Ethernet";
}

// A main window with an open link to a fake board.
struct Rig : Harness {
  Link link;
  FakeBoard board;
  std::size_t packetsSeen = 0;

  explicit Rig(Link l = Link::Serial) : link(l) {
    if (link == Link::Serial) {
      S().DataPipe = PipeSerial;
      S().ComInitialized = True;
    } else {
      S().DataPipe = PipeEthernet;
      S().EthernetInitialized = True;
    }
    Timer1.SetEnabled(true);
  }

  const std::vector<Bytes>& Sent() const { return link == Link::Serial ? serial.packets : tcp.sent; }

  void Feed(const Bytes& bytes) {
    if (bytes.empty()) return;
    if (link == Link::Serial) {
      serial.rx.insert(serial.rx.end(), bytes.begin(), bytes.end());
    } else {
      tcp.Arrive(bytes);
    }
  }

  // The board answers what was sent since the last tick, then the timer ticks.
  void Tick() {
    ++board.tick;
    while (packetsSeen < Sent().size()) board.Receive(Sent()[packetsSeen++]);
    Feed(board.Due());
    form1.Timer1_Timer();
  }

  // Ticks until the run has ended; returns the number of ticks.
  int RunToEnd(int limit = 5000) {
    int ticks = 0;
    while (S().ProgramMode != 0 && ticks < limit) {
      Tick();
      ++ticks;
    }
    EXPECT_EQ(S().ProgramMode, 0) << "run still going after " << limit << " ticks";
    return ticks;
  }

  // Ticks until ProgramMode is `mode`; returns the number of ticks, or -1.
  int TicksUntil(std::int16_t mode, int limit = 200) {
    for (int ticks = 1; ticks <= limit; ++ticks) {
      Tick();
      if (S().ProgramMode == mode) return ticks;
      if (S().ProgramMode == 0) return -1;
    }
    return -1;
  }

  void UseImage(const std::string& s19) {
    dialog.answer = WriteTempFile(s19);
    form1.SelectSourceFile_Click();
    ASSERT_EQ(S().SourceFileSelected, 1);
  }

  void ClearLists() {
    List1.Clear();
    List2.Clear();
  }

  void Program() {
    ClearLists();
    form1.ProgramFlash_Click();
  }
  void Verify() {
    ClearLists();
    form1.VerifyFlash_Click();
  }

  std::vector<Bytes> BlockPackets(std::uint8_t command) const {
    std::vector<Bytes> out;
    for (const auto& p : Sent())
      if (p.size() >= 8 && p[0] == 0x57 && p[1] == command) out.push_back(p);
    return out;
  }

  // The 256 data bytes of the i-th program-block packet.
  Bytes ProgrammedData(std::size_t i) const {
    const auto packets = BlockPackets(0x3A);
    return i < packets.size() ? Bytes(packets[i].begin() + 8, packets[i].end()) : Bytes{};
  }
};

// Captions and enabled states of the four buttons the sequencer drives.
struct ButtonState {
  std::string programCaption;
  bool programEnabled;
  std::string verifyCaption;
  bool verifyEnabled;
  bool selectDataPipe;
  bool selectSourceFile;
  bool operator==(const ButtonState&) const = default;
};

inline ButtonState Buttons(const Rig& r) {
  return {r.ProgramFlash.Caption(), r.ProgramFlash.Enabled(), r.VerifyFlash.Caption(), r.VerifyFlash.Enabled(),
          r.SelectDataPipe.Enabled(), r.SelectSourceFile.Enabled()};
}

inline const ButtonState Idle{"Program FLASH", true, "Verify FLASH", true, true, true};
inline const ButtonState ProgramRunning{"Abort", true, "Verify FLASH", false, false, false};
inline const ButtonState VerifyRunning{"Program FLASH", false, "Abort", true, false, false};

}  // namespace qrb::test
