// Window controls without a window: they hold their state, and a list box
// hands every posted line to a sink. Used by the command line and by tests.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/Controls.h"

namespace qrb {

class PlainListBox : public ListBox {
 public:
  using Sink = std::function<void(const std::string&)>;
  explicit PlainListBox(Sink sink = {}) : sink_(std::move(sink)) {}

  void AddItem(const std::string& line) override {
    lines_.push_back(line);
    if (sink_) sink_(line);
  }
  void RemoveItem(int index) override {
    if (index >= 0 && index < ListCount()) lines_.erase(lines_.begin() + index);
  }
  int ListCount() const override { return static_cast<int>(lines_.size()); }
  // Nothing to scroll, highlight or repaint without a view.
  void SetListIndex(int) override {}
  void SetSelected(int, bool) override {}
  void Refresh() override {}
  void Clear() override { lines_.clear(); }

  const std::vector<std::string>& Lines() const { return lines_; }

 private:
  Sink sink_;
  std::vector<std::string> lines_;
};

class PlainButton : public CommandButton {
 public:
  explicit PlainButton(std::string caption = {}) : caption_(std::move(caption)) {}
  void SetCaption(const std::string& caption) override { caption_ = caption; }
  std::string Caption() const override { return caption_; }
  void SetEnabled(bool enabled) override { enabled_ = enabled; }
  bool Enabled() const override { return enabled_; }

 private:
  std::string caption_;
  bool enabled_ = true;
};

class PlainTextBox : public TextBox {
 public:
  void SetText(const std::string& text) override { text_ = text; }
  std::string Text() const override { return text_; }
  void SetEnabled(bool enabled) override { enabled_ = enabled; }
  bool Enabled() const override { return enabled_; }

 private:
  std::string text_;
  bool enabled_ = true;
};

class PlainOptionButton : public OptionButton {
 public:
  void SetValue(bool checked) override { checked_ = checked; }
  bool Value() const override { return checked_; }
  void SetEnabled(bool enabled) override { enabled_ = enabled; }
  bool Enabled() const override { return enabled_; }

 private:
  bool checked_ = false;
  bool enabled_ = true;
};

class PlainTimer : public Timer {
 public:
  void SetEnabled(bool enabled) override { enabled_ = enabled; }
  bool Enabled() const override { return enabled_; }
  void SetInterval(int milliseconds) override { interval_ = milliseconds; }
  int Interval() const override { return interval_; }

 private:
  bool enabled_ = false;
  int interval_ = 0;
};

class PlainWindow : public Window {
 public:
  void Show() override { visible_ = true; }
  void Hide() override { visible_ = false; }
  bool Visible() const override { return visible_; }

 private:
  bool visible_ = false;
};

}  // namespace qrb
