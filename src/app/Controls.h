// Ports for the window controls the core drives. Qt widgets implement them in
// the GUI; plain value holders (HeadlessControls.h) in the CLI and tests.
#pragma once

#include <string>

namespace qrb {

class ListBox {
 public:
  virtual ~ListBox() = default;
  virtual void AddItem(const std::string& line) = 0;
  virtual void RemoveItem(int index) = 0;
  virtual int ListCount() const = 0;
  // Makes the line current and scrolls it into view.
  virtual void SetListIndex(int index) = 0;
  virtual void SetSelected(int index, bool selected) = 0;
  // Repaints now, even if the caller then blocks the thread.
  virtual void Refresh() = 0;
  virtual void Clear() = 0;
};

class CommandButton {
 public:
  virtual ~CommandButton() = default;
  virtual void SetCaption(const std::string& caption) = 0;
  virtual std::string Caption() const = 0;
  virtual void SetEnabled(bool enabled) = 0;
  virtual bool Enabled() const = 0;
};

class TextBox {
 public:
  virtual ~TextBox() = default;
  virtual void SetText(const std::string& text) = 0;
  virtual std::string Text() const = 0;
  virtual void SetEnabled(bool enabled) = 0;
  virtual bool Enabled() const = 0;
};

class OptionButton {
 public:
  virtual ~OptionButton() = default;
  virtual void SetValue(bool checked) = 0;
  virtual bool Value() const = 0;
  virtual void SetEnabled(bool enabled) = 0;
  virtual bool Enabled() const = 0;
};

class Timer {
 public:
  virtual ~Timer() = default;
  virtual void SetEnabled(bool enabled) = 0;
  virtual bool Enabled() const = 0;
  virtual void SetInterval(int milliseconds) = 0;
  virtual int Interval() const = 0;
};

// A form that is loaded hidden and shown or hidden on demand.
class Window {
 public:
  virtual ~Window() = default;
  virtual void Show() = 0;
  virtual void Hide() = 0;
  virtual bool Visible() const = 0;
};

}  // namespace qrb
