#include "app/qt/WindowRunRecord.h"

#include "CliLinkKinds.h"
#include "RunReport.h"
#include "app/Form1.h"

namespace qrb {

void WindowRunRecord::Begin(const Form1& f, cli::CliCommand command, std::string file,
                            std::vector<AddressRange> ranges, std::unique_ptr<cli::S19Writer> output) {
  const ReflashSession& s = f.S;
  options_ = {};
  options_.Command = command;
  options_.File = std::move(file);
  options_.Ranges = std::move(ranges);
  options_.TickMs = f.TickIntervalMs;
  options_.ComSpeed = s.ComSpeed;
  const cli::CliBoard board = cli::WindowBoard(s);
  options_.Boards = {board};
  board_ = {};
  board_.name = board.Name();
  board_.board = board;
  board_.started = std::chrono::system_clock::now();
  output_ = std::move(output);
  recording_ = true;
}

void WindowRunRecord::Post(bool status, const std::string& line) {
  if (recording_) board_.lines.push_back({status, line});
}

void WindowRunRecord::End(const Form1& f) {
  if (!recording_) return;
  recording_ = false;
  output_.reset();  // a read that did not complete leaves its file as it was
  const ReflashSession& s = f.S;
  board_.ended = std::chrono::system_clock::now();
  board_.startupIdleVersion = s.StartupIdleVersion;
  board_.flashModeVersion = s.FlashModeVersion;
  board_.totalErrors = s.TotalErrors;
  board_.outcome = s.Outcome == RunOutcome::Succeeded ? cli::BoardOutcome::Succeeded
                   : s.Outcome != RunOutcome::None    ? cli::BoardOutcome::Failed
                                                      : cli::BoardOutcome::Refused;
  if (board_.outcome == cli::BoardOutcome::Refused) {
    board_.refusal = "the run did not start";
    if (!board_.lines.empty()) board_.refusal += ": " + board_.lines.back().text;
  }
  complete_ = true;
}

bool WindowRunRecord::Write(const std::string& path, std::string& error) const {
  cli::RunSummary summary;
  summary.tool = "qrb-flash";
  summary.started = board_.started;
  summary.ended = board_.ended;
  summary.exitStatus = board_.outcome == cli::BoardOutcome::Succeeded ? 0 : 1;
  return cli::WriteRunReport(path, options_, {&board_}, summary, error);
}

void WindowRunRecord::BlockCompared(std::int32_t address, std::int32_t mismatches) {
  if (recording_) board_.blocks.push_back({address, mismatches});
}

bool WindowRunRecord::BlockRead(std::int32_t address, const std::uint8_t* bytes, std::int32_t reads) {
  if (output_ == nullptr || !output_->Block(static_cast<std::uint32_t>(address), bytes)) return false;
  board_.blocks.push_back({address, -1, reads});
  return true;
}

bool WindowRunRecord::ReadComplete() {
  std::string error;
  if (output_ != nullptr && output_->Commit(error)) return true;
  complain_("** ERROR ** Cannot write " + (output_ != nullptr ? output_->Path() : std::string("the file")) + ": " +
            error + ".");
  return false;
}

}  // namespace qrb
