// Whole runs of the core, tick by tick, against the board's protocol model:
// the headless main window with fakes at its ports and an open link, the
// PC's packets fed to the board, the board's replies handed to the link
// before each tick. Faults are scripted on the board's byte stream, or a
// wire decides each tick which replies reach the PC (the fuzz targets).
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <string_view>

#include "BoardModel.h"
#include "Harness.h"
#include "S19Text.h"

namespace qrb::test {

// A file in a folder of this process's own, removed when the process ends;
// a given `name` is written over each time.
inline std::string WriteTempFile(std::string_view content, const std::string& name = {}) {
  struct Dir {
    std::filesystem::path path = std::filesystem::temp_directory_path() /
                                 ("qrb_test_" + std::to_string(std::random_device{}()));
    int files = 0;
    Dir() { std::filesystem::create_directories(path); }
    ~Dir() {
      std::error_code ignored;
      std::filesystem::remove_all(path, ignored);
    }
  };
  static Dir dir;
  const auto path = dir.path / (name.empty() ? std::to_string(dir.files++) + ".s19" : name);
  std::ofstream(path, std::ios::binary | std::ios::trunc).write(content.data(), static_cast<std::streamsize>(content.size()));
  return path.string();
}

inline std::uint32_t PacketAddress(const Bytes& p) {
  return std::uint32_t{p[2]} << 24 | std::uint32_t{p[3]} << 16 | std::uint32_t{p[4]} << 8 | p[5];
}

// The board's replies as one stream of bytes; faults are scripted by index,
// or `wire` takes each tick's bytes from the replies not yet delivered.
struct FakeBoard {
  bool flashMode = true;  // false: at start-up idle until 0xE1 0x96
  std::uint8_t version = 0x07;
  std::set<std::uint32_t> stuckCells;           // written inverted

  std::map<std::size_t, std::uint8_t> replace;  // stream byte -> other value
  std::optional<std::size_t> cutAt;             // bytes from here are never sent
  std::map<std::size_t, Bytes> strayBefore;     // extra bytes, outside the stream
  std::map<std::size_t, int> delayFrom;         // bytes from here come later by n ticks
  std::function<Bytes(Bytes& pending)> wire;

  int tick = 0;
  std::size_t streamIndex = 0;
  std::vector<std::uint32_t> readBlocks;        // addresses of read-back requests
  std::vector<Bytes> unknown;                   // packets no board takes

  std::uint8_t Read(std::uint32_t a) const { return model_.ReadByte(a); }
  void Load(std::uint32_t start, const Bytes& bytes) { model_.Write(start, bytes); }
  const std::map<std::uint32_t, sim::FlashBlock>& Flash() const { return model_.Blocks(); }

  void Receive(const Bytes& p) {
    if (!powered_) PowerUp();
    const bool program = p.size() == 264 && p[0] == 0x57 && p[1] == 0x3A;
    const bool readBack = p.size() == 8 && p[0] == 0x57 && p[1] == 0x37;
    if (!program && !readBack && p != Bytes{0xF1, 0xA5} && p != Bytes{0xE1, 0x96}) unknown.push_back(p);
    Emit(model_.Feed(p).Bytes());
    const std::uint32_t a = p.size() < 8 ? 0 : PacketAddress(p);
    if (readBack) readBlocks.push_back(a);
    if (program)
      for (const auto cell : stuckCells)
        if (cell - a < 256) Load(cell, {static_cast<std::uint8_t>(~p[8 + (cell - a)])});
  }

  Bytes Due() {
    if (wire) return wire(raw_);
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
    if (wire) {
      raw_.insert(raw_.end(), bytes.begin(), bytes.end());
      return;
    }
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
  Bytes raw_;  // for the wire
};

// A main window with an open link to a fake board. What a run breaks is
// handed to `fail`; by default the lists are printed and the process aborts.
struct BoardRig : Harness {
  Link link;
  FakeBoard board;
  std::size_t packetsSeen = 0;
  std::size_t runStart = 0;  // the first packet of the last run
  std::function<void(const std::string&)> fail = [this](const std::string& what) { Abort(what); };

  explicit BoardRig(Link l = Link::Serial) : link(l) { OpenLink(); }

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

  // The board takes the packets sent and its bytes due reach the PC.
  void Deliver() {
    ++board.tick;
    while (packetsSeen < Sent().size()) board.Receive(Sent()[packetsSeen++]);
    const Bytes due = board.Due();
    if (link == Link::Serial) {
      serial.rx.insert(serial.rx.end(), due.begin(), due.end());
    } else if (!due.empty()) {
      tcp.Arrive(due);
    }
  }
  void Tick() {
    Deliver();
    form1.Timer1_Timer();
  }

  // The ticks until ProgramMode is 0 again; -1 when the run is still going
  // after `limit` ticks or stands still with the timer off.
  int RunToEnd(int limit = 5000) {
    int ticks = 0;
    for (; S().ProgramMode != 0 && ticks < limit && Timer1.Enabled(); ++ticks) Tick();
    if (S().ProgramMode == 0) return ticks;
    fail("the run still going after " + std::to_string(ticks) + " ticks");
    return -1;
  }

  int TicksUntil(std::int16_t mode, int limit = 200) {
    for (int ticks = 1; ticks <= limit; ++ticks) {
      Tick();
      if (S().ProgramMode == mode) return ticks;
      if (S().ProgramMode == 0) return -1;
    }
    return -1;
  }

  void UseFile(const std::string& path) {
    dialog.answer = path;
    form1.SelectSourceFile_Click();
  }
  void UseImage(const std::string& s19) {
    UseFile(WriteTempFile(s19));
    if (S().SourceFileSelected != 1) fail("the image was not selected");
  }

  void Start(bool program) {
    List1.Clear();
    List2.Clear();
    runStart = Sent().size();
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

  std::vector<Bytes> BlockPackets(std::uint8_t command, std::size_t from = 0) const {
    std::vector<Bytes> out;
    for (std::size_t i = from; i < Sent().size(); ++i)
      if (const Bytes& p = Sent()[i]; p.size() >= 8 && p[0] == 0x57 && p[1] == command) out.push_back(p);
    return out;
  }
  // The blocks the last run wrote (0x3A) or read back (0x37).
  std::set<std::uint32_t> RunBlocks(std::uint8_t command) const {
    std::set<std::uint32_t> blocks;
    for (const Bytes& p : BlockPackets(command, runStart)) blocks.insert(PacketAddress(p));
    return blocks;
  }
  std::size_t RunPackets() const { return Sent().size() - runStart; }
  // Blocks the last run found unchanged and did not write, by its Status lines.
  std::set<std::uint32_t> Unchanged() const {
    std::set<std::uint32_t> blocks;
    const std::string_view head = "Block  $", tail = "     -- Unchanged.";
    for (const std::string& line : Status())
      if (line.starts_with(head) && line.ends_with(tail))
        blocks.insert(static_cast<std::uint32_t>(std::stoul(line.substr(head.size()), nullptr, 16)));
    return blocks;
  }
  static bool Posted(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }
  // The last run posted the success line of its path.
  bool SuccessLinePosted(bool program) const {
    return program ? Posted(Status(), "***  Success ***.  QRB interface FLASH Updated.") ||
                         Posted(Status(), "***  Success ***.  QRB interface FLASH already holds the file.  Nothing written.")
                   : Posted(Status(), "***  Success ***.  QRB interface FLASH Verified.");
  }

  void Require(bool holds, const std::string& what) {
    if (!holds) fail(what);
  }
  // Runs to the end within `limit` ticks, through AbortSequence, with an
  // outcome that matches the success line; whether it succeeded.
  bool RunEnded(bool program, int limit) {
    Start(program);
    Require(RunToEnd(limit) >= 0, "the run ended within its bound of ticks");
    Require(Posted(Debug(), "Aborting.  ProgramMode = 0."), "the run ended through AbortSequence");
    const bool succeeded = S().Outcome == RunOutcome::Succeeded;
    Require(succeeded == SuccessLinePosted(program), "the outcome matches the success line");
    return succeeded;
  }

  // Prints what failed and both lists, then aborts.
  [[noreturn]] void Abort(const std::string& what) const {
    std::fprintf(stderr, "Invariant violated: %s\nProgramMode %d, outcome %d\n", what.c_str(), S().ProgramMode,
                 static_cast<int>(S().Outcome));
    for (const auto& [title, lines] : {std::pair{"Status", Status()}, std::pair{"Debug", Debug()}}) {
      std::fprintf(stderr, "-- %s list:\n", title);
      for (const std::string& line : lines) std::fprintf(stderr, "%s\n", line.c_str());
    }
    std::abort();
  }

  std::string Buttons() const {
    auto on = [](const CommandButton& b) { return b.Enabled() ? "+" : "-"; };
    return ProgramFlash.Caption() + on(ProgramFlash) + " " + VerifyFlash.Caption() + on(VerifyFlash) + " " +
           on(SelectDataPipe) + on(SelectSourceFile);
  }
};

// Every block of `expected` is in `blocks` with the same contents; with
// `exact`, `blocks` holds no other block either.
inline bool HoldsImage(const std::map<std::uint32_t, sim::FlashBlock>& blocks,
                       const std::map<std::uint32_t, sim::FlashBlock>& expected, bool exact) {
  if (exact && blocks.size() != expected.size()) return false;
  return std::all_of(expected.begin(), expected.end(), [&](const auto& entry) {
    const auto it = blocks.find(entry.first);
    return it != blocks.end() && it->second == entry.second;
  });
}

}  // namespace qrb::test
