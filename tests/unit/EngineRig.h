// Whole engine runs, tick by tick, against the board's protocol model with
// faults scripted on the wire.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <random>
#include <set>

#include "BoardModel.h"
#include "Harness.h"
#include "S19Text.h"

namespace qrb::test {

inline const std::string InFlashMode = "QRB interface in FLASH mode.  Version:  $7";
inline const std::string Aborting = "Aborting.  ProgramMode = 0.";
inline const std::string BlockVerified = "                           -- Verified.";
inline const std::string Sent1000 = "Block  $1000     -- Sent.", Sent1100 = "Block  $1100     -- Sent.";
inline const std::string Verified1000 = "Block $1000     -- Verified.", Verified1100 = "Block $1100     -- Verified.";
inline const Lines ProgramSuccess{"  ", "***  Success ***.  QRB interface FLASH Updated.",
                                  "Exit this program and Re-Boot the QRB interface."};
inline const Lines VerifySuccess{"  ", "***  Success ***.  QRB interface FLASH Verified."};

inline Lines Concat(std::initializer_list<Lines> parts) {
  Lines out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// A shorter pattern is the start of a longer one.
inline Bytes Pattern(std::size_t n, unsigned offset = 0) {
  Bytes out(n);
  for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<std::uint8_t>((i * 7 + offset + i / 256) & 0xFF);
  return out;
}

// A file in a folder of this process's own, removed when the process ends.
inline std::string WriteTempFile(const std::string& content) {
  struct Dir {
    std::filesystem::path path = std::filesystem::path(::testing::TempDir()) /
                                 ("qrb_unit_" + std::to_string(std::random_device{}()));
    int files = 0;
    Dir() { std::filesystem::create_directories(path); }
    ~Dir() { std::filesystem::remove_all(path); }
  };
  static Dir dir;
  const auto path = dir.path / (std::to_string(dir.files++) + ".s19");
  std::ofstream(path, std::ios::binary) << content;
  return path.string();
}

// The board's replies as one stream of bytes; faults are scripted by index.
struct FakeBoard {
  bool flashMode = true;  // false: at start-up idle until 0xE1 0x96
  std::uint8_t version = 0x07;
  std::set<std::uint32_t> stuckCells;           // written inverted

  std::map<std::size_t, std::uint8_t> replace;  // stream byte -> other value
  std::optional<std::size_t> cutAt;             // bytes from here are never sent
  std::map<std::size_t, Bytes> strayBefore;     // extra bytes, outside the stream
  std::map<std::size_t, int> delayFrom;         // bytes from here come later by n ticks

  int tick = 0;
  std::size_t streamIndex = 0;
  std::vector<std::uint32_t> readBlocks;        // addresses of read-back requests

  std::uint8_t Read(std::uint32_t a) const { return model_.ReadByte(a); }
  void Load(std::uint32_t start, const Bytes& bytes) { model_.Write(start, bytes); }
  const std::map<std::uint32_t, sim::FlashBlock>& Flash() const { return model_.Blocks(); }

  void Receive(const Bytes& p) {
    if (!powered_) PowerUp();
    const bool program = p.size() == 264 && p[0] == 0x57 && p[1] == 0x3A;
    const bool readBack = p.size() == 8 && p[0] == 0x57 && p[1] == 0x37;
    if (!program && !readBack && p != Bytes{0xF1, 0xA5} && p != Bytes{0xE1, 0x96})
      ADD_FAILURE() << "board got an unknown packet of " << p.size() << " bytes";
    Emit(model_.Feed(p).Bytes());
    const std::uint32_t a =
        p.size() < 8 ? 0 : std::uint32_t{p[2]} << 24 | std::uint32_t{p[3]} << 16 | std::uint32_t{p[4]} << 8 | p[5];
    if (readBack) readBlocks.push_back(a);
    if (program)
      for (const auto cell : stuckCells)
        if (cell - a < 256) Load(cell, {static_cast<std::uint8_t>(~p[8 + (cell - a)])});
  }

  Bytes Due() {
    Bytes out;
    for (; !pending_.empty() && pending_.front().first <= tick; pending_.pop_front())
      out.push_back(pending_.front().second);
    return out;
  }

 private:
  // Mode and version take effect at the first packet; loaded FLASH is kept.
  void PowerUp() {
    sim::BoardModel board(flashMode ? sim::BoardMode::Flash : sim::BoardMode::StartupIdle, version);
    for (const auto& [base, block] : model_.Blocks()) board.Write(base, block);
    model_ = std::move(board);
    powered_ = true;
  }

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

  sim::BoardModel model_;
  bool powered_ = false;
  std::deque<std::pair<int, std::uint8_t>> pending_;
};

// A main window with an open link to a fake board.
struct Rig : Harness {
  Link link;
  FakeBoard board;
  std::size_t packetsSeen = 0;

  explicit Rig(Link l = Link::Serial) : link(l) { OpenLink(); }

  void OpenLink() {
    S().DataPipe = link == Link::Serial ? PipeSerial : PipeEthernet;
    (link == Link::Serial ? S().ComInitialized : S().EthernetInitialized) = True;
    Timer1.SetEnabled(true);
  }

  // Starts afresh with Timer1 at `ms` milliseconds.
  void UseTick(int ms) {
    form1.TickIntervalMs = ms;
    form1.InitVariables();
    OpenLink();
  }

  const std::vector<Bytes>& Sent() const { return link == Link::Serial ? serial.packets : tcp.sent; }

  void Tick() {
    ++board.tick;
    while (packetsSeen < Sent().size()) board.Receive(Sent()[packetsSeen++]);
    const Bytes due = board.Due();
    if (link == Link::Serial) {
      serial.rx.insert(serial.rx.end(), due.begin(), due.end());
    } else if (!due.empty()) {
      tcp.Arrive(due);
    }
    form1.Timer1_Timer();
  }

  int RunToEnd(int limit = 5000) {
    int ticks = 0;
    for (; S().ProgramMode != 0 && ticks < limit; ++ticks) Tick();
    EXPECT_EQ(S().ProgramMode, 0) << "run still going after " << limit << " ticks";
    return ticks;
  }

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

  void Start(bool program) {
    List1.Clear();
    List2.Clear();
    program ? form1.ProgramFlash_Click() : form1.VerifyFlash_Click();
  }

  int Run(bool program, const std::string& s19) {
    UseImage(s19);
    Start(program);
    return RunToEnd();
  }

  // Two blocks at 0x1000 that the board already holds.
  void UseTwoBlocks(bool startupIdle) {
    board.Load(0x1000, Pattern(400));
    board.flashMode = !startupIdle;
    UseImage(S19Data(0x1000, Pattern(400)) + S9());
  }

  std::vector<Bytes> BlockPackets(std::uint8_t command) const {
    std::vector<Bytes> out;
    for (const auto& p : Sent())
      if (p.size() >= 8 && p[0] == 0x57 && p[1] == command) out.push_back(p);
    return out;
  }

  std::string Buttons() const {
    auto on = [](const CommandButton& b) { return b.Enabled() ? "+" : "-"; };
    return ProgramFlash.Caption() + on(ProgramFlash) + " " + VerifyFlash.Caption() + on(VerifyFlash) + " " +
           on(SelectDataPipe) + on(SelectSourceFile);
  }
};

inline const std::string Idle = "Program FLASH+ Verify FLASH+ ++";

struct RunCase {
  const char* name;
  bool program;
  std::string s19;
  Lines status, debug;
  bool success = false;
  std::size_t onBoard = 0;              // bytes of Pattern() the board holds at 0x1000
  std::vector<std::uint32_t> bad = {};  // cells written inverted, or that differ on the board
  int ticks = 0;                        // of the whole run, checked when not 0
};

inline void CheckRun(Link link, const RunCase& c, bool skipUnchanged = false) {
  SCOPED_TRACE(c.name);
  Rig r(link);
  r.form1.SkipUnchanged = skipUnchanged;
  r.board.Load(0x1000, Pattern(c.onBoard));
  for (const auto a : c.bad) {
    if (c.program) {
      r.board.stuckCells.insert(a);
    } else {
      r.board.Load(a, {static_cast<std::uint8_t>(r.board.Read(a) ^ 0x01)});
    }
  }
  const int ticks = r.Run(c.program, c.s19);
  EXPECT_EQ(r.Status(), c.status);
  EXPECT_EQ(r.Debug(), c.debug);
  EXPECT_EQ(r.S().Outcome, c.success ? RunOutcome::Succeeded : RunOutcome::Failed);
  if (c.ticks != 0) {
    EXPECT_EQ(ticks, c.ticks);
  }
  // A skipping run reads every block first (two differing in a row start no blind write).
  if (skipUnchanged) {
    EXPECT_EQ(r.board.readBlocks.front(), 0x1000u);
  }
}

inline std::string LinkName(const ::testing::TestParamInfo<Link>& info) {
  return info.param == Link::Serial ? "Serial" : "Ethernet";
}

}  // namespace qrb::test
