// The window's last run as the command line records it: the lines posted
// from its start button on, every block, what the handshake read and the
// outcome, written on request as the same JSON document as `--report`; and a
// FLASH backup read into a file through the command line's S19 writer.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "BoardRecord.h"
#include "CliOptions.h"
#include "S19Writer.h"
#include "app/Controls.h"
#include "engine/BlockObserver.h"

namespace qrb {

class Form1;

class WindowRunRecord : public BlockObserver {
 public:
  // `complain` posts a reason on the Debug list.
  explicit WindowRunRecord(std::function<void(const std::string&)> complain) : complain_(std::move(complain)) {}

  // A start button was pressed (program, verify) with the file chosen, or a
  // read begins into `output` (opened) over `ranges`.
  void Begin(const Form1& f, cli::CliCommand command, std::string file, std::vector<AddressRange> ranges = {},
             std::unique_ptr<cli::S19Writer> output = nullptr);
  // Every line the window posts; kept while a record is being made.
  void Post(bool status, const std::string& line);
  // The run has ended (or its start was refused).
  void End(const Form1& f);

  bool Recording() const { return recording_; }
  bool Complete() const { return complete_; }
  // The last complete record, written as `--report` writes it.
  bool Write(const std::string& path, std::string& error) const;

  void BlockCompared(std::int32_t address, std::int32_t mismatches) override;
  bool BlockRead(std::int32_t address, const std::uint8_t* bytes, std::int32_t reads) override;
  bool ReadComplete() override;

 private:
  std::function<void(const std::string&)> complain_;
  cli::CliOptions options_;
  cli::BoardRecord board_;
  std::unique_ptr<cli::S19Writer> output_;
  bool recording_ = false;
  bool complete_ = false;
};

// A list box that also hands every line to the run's record.
class RecordedListBox : public ListBox {
 public:
  RecordedListBox(ListBox& list, WindowRunRecord& record, bool status) : list_(list), record_(record), status_(status) {}
  void AddItem(const std::string& line) override {
    record_.Post(status_, line);
    list_.AddItem(line);
  }
  void RemoveItem(int index) override { list_.RemoveItem(index); }
  int ListCount() const override { return list_.ListCount(); }
  void SetListIndex(int index) override { list_.SetListIndex(index); }
  void SetSelected(int index, bool selected) override { list_.SetSelected(index, selected); }
  void Refresh() override { list_.Refresh(); }
  void Clear() override { list_.Clear(); }

 private:
  ListBox& list_;
  WindowRunRecord& record_;
  bool status_;
};

}  // namespace qrb
