#include "InProcessRun.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>

namespace qrb::test {
namespace {

constexpr std::string_view AbortLine = "Aborting.  ProgramMode = 0.";

std::uint32_t PacketAddress(const std::vector<std::uint8_t>& p) {
  return std::uint32_t{p[2]} << 24 | std::uint32_t{p[3]} << 16 | std::uint32_t{p[4]} << 8 | p[5];
}

}  // namespace

InProcessRun::InProcessRun(Link link, sim::BoardModel& board) : link_(link), board_(board) {
  h_.List1 = PlainListBox([this](const std::string& line) { runStatus_.push_back(line); });
  h_.List2 = PlainListBox([this](const std::string& line) { abortPosted_ |= line == AbortLine; });
  h_.form2.DataPipeSelect_Click(link_ == Link::Ethernet ? PipeEthernet : PipeSerial);
  h_.settings.IPAddress.SetText("127.0.0.1");
  h_.settings.PortNumber.SetText("10001");
  h_.form2.Initialize_Click();
  if (link_ == Link::Ethernet) h_.form1.Winsock1Data_Connect();
}

void InProcessRun::SelectFile(const std::string& path) {
  h_.dialog.answer = path;
  h_.form1.SelectSourceFile_Click();
}

std::vector<std::uint8_t> InProcessRun::Honest(std::vector<std::uint8_t>& pending) {
  return std::exchange(pending, {});
}

void InProcessRun::Start(bool program) {
  programmed_.clear();
  readBack_.clear();
  packets_ = 0;
  runStatus_.clear();
  abortPosted_ = false;
  if (program)
    h_.form1.ProgramFlash_Click();
  else
    h_.form1.VerifyFlash_Click();
  ForwardSentPackets();
}

int InProcessRun::Run(bool program, int maxTicks, const Wire& wire) {
  Start(program);
  for (int tick = 0; tick <= maxTicks; ++tick) {
    if (S().ProgramMode == 0) return tick;
    if (!h_.Timer1.Enabled()) return -1;
    DeliverReplies(wire);
    Tick();
    ForwardSentPackets();
  }
  return -1;
}

bool InProcessRun::Succeeded() const { return h_.form1.S.Outcome == RunOutcome::Succeeded; }

bool InProcessRun::SuccessLinePosted(bool program) const {
  const std::vector<std::string> lines =
      program ? std::vector<std::string>{"***  Success ***.  QRB interface FLASH Updated.",
                                         "***  Success ***.  QRB interface FLASH already holds the file.  Nothing written."}
              : std::vector<std::string>{"***  Success ***.  QRB interface FLASH Verified."};
  return std::find_first_of(runStatus_.begin(), runStatus_.end(), lines.begin(), lines.end()) != runStatus_.end();
}

std::set<std::uint32_t> InProcessRun::Unchanged() const {
  std::set<std::uint32_t> blocks;
  const std::string_view head = "Block  $", tail = "     -- Unchanged.";
  for (const std::string& line : runStatus_)
    if (line.starts_with(head) && line.ends_with(tail))
      blocks.insert(static_cast<std::uint32_t>(std::stoul(line.substr(head.size()), nullptr, 16)));
  return blocks;
}

void InProcessRun::Deliver(const std::vector<std::uint8_t>& bytes) {
  if (bytes.empty()) return;
  if (link_ == Link::Ethernet)
    h_.tcp.Arrive(bytes);
  else
    h_.serial.rx.insert(h_.serial.rx.end(), bytes.begin(), bytes.end());
}

void InProcessRun::ForwardSentPackets() {
  if (link_ == Link::Ethernet) {
    for (const auto& packet : h_.tcp.sent) Take(packet);
    h_.tcp.sent.clear();
  } else {
    for (const auto& packet : h_.serial.packets) Take(packet);
    h_.serial.packets.clear();
    h_.serial.calls.clear();  // the fake's call log would grow with every byte
    h_.serial.tx.clear();
  }
}

void InProcessRun::Take(const std::vector<std::uint8_t>& packet) {
  ++packets_;
  if (packet.size() >= 8 && packet[0] == 0x57) {
    if (packet[1] == 0x3A) programmed_.insert(PacketAddress(packet));
    if (packet[1] == 0x37) readBack_.insert(PacketAddress(packet));
  }
  const std::vector<std::uint8_t> reply = board_.Feed(packet).Bytes();
  pending_.insert(pending_.end(), reply.begin(), reply.end());
}

bool HoldsImage(const std::map<std::uint32_t, sim::FlashBlock>& blocks,
                const std::map<std::uint32_t, sim::FlashBlock>& expected, bool exact) {
  if (exact && blocks.size() != expected.size()) return false;
  for (const auto& [address, block] : expected) {
    const auto it = blocks.find(address);
    if (it == blocks.end() || it->second != block) return false;
  }
  return true;
}

void Require(bool holds, std::string_view what, InProcessRun& run) {
  if (holds) return;
  std::fprintf(stderr, "Invariant violated: %.*s\n", static_cast<int>(what.size()), what.data());
  std::fprintf(stderr, "ProgramMode %d, outcome %d\n", run.S().ProgramMode, static_cast<int>(run.S().Outcome));
  for (const auto& [title, lines] : {std::pair{"Status", run.H().Status()}, std::pair{"Debug", run.H().Debug()}}) {
    std::fprintf(stderr, "-- %s list:\n", title);
    for (const std::string& line : lines) std::fprintf(stderr, "%s\n", line.c_str());
  }
  std::abort();
}

bool RunEnded(InProcessRun& run, bool program, int maxTicks, const InProcessRun::Wire& wire) {
  Require(run.Run(program, maxTicks, wire) >= 0, "the run ended within its bound of ticks", run);
  Require(run.EndedInAbortSequence(), "the run ended through AbortSequence", run);
  const bool succeeded = run.Succeeded();
  Require(succeeded == run.SuccessLinePosted(program), "the outcome matches the success line", run);
  return succeeded;
}

const std::filesystem::path& ScratchFile() {
  // Removed at exit; the random name keeps parallel fuzz jobs apart.
  static const struct Scratch {
    std::filesystem::path path = std::filesystem::temp_directory_path() /
                                 ("qrb-fuzz-" + std::to_string(std::random_device{}()) + ".s19");
    ~Scratch() {
      std::error_code ignored;
      std::filesystem::remove(path, ignored);
    }
  } scratch;
  return scratch.path;
}

void WriteFile(const std::filesystem::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace qrb::test
