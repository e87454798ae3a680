// The control ports over Qt widgets. They only translate calls; the signals
// of the widgets are wired to the core's handlers by the windows that own them.
#pragma once

#include "app/Controls.h"

class QAbstractButton;
class QLabel;
class QLineEdit;
class QListWidget;
class QRadioButton;
class QWidget;

namespace qrb {

class WidgetListBox : public ListBox {
 public:
  explicit WidgetListBox(QListWidget* list) : list_(list) {}
  void AddItem(const std::string& line) override;
  void RemoveItem(int index) override;
  int ListCount() const override;
  void SetListIndex(int index) override;
  void SetSelected(int index, bool selected) override;
  void Refresh() override;
  void Clear() override;

 private:
  QListWidget* list_;
};

class WidgetButton : public CommandButton {
 public:
  explicit WidgetButton(QAbstractButton* button) : button_(button) {}
  void SetCaption(const std::string& caption) override;
  std::string Caption() const override;
  void SetEnabled(bool enabled) override;
  bool Enabled() const override;

 private:
  QAbstractButton* button_;
};

class WidgetTextBox : public TextBox {
 public:
  explicit WidgetTextBox(QLineEdit* edit) : edit_(edit) {}
  void SetText(const std::string& text) override;
  std::string Text() const override;
  void SetEnabled(bool enabled) override;
  bool Enabled() const override;

 private:
  QLineEdit* edit_;
};

// A label that shows a text the core sets (a reason beside the boxes).
class WidgetLabel : public TextBox {
 public:
  explicit WidgetLabel(QLabel* label) : label_(label) {}
  void SetText(const std::string& text) override;
  std::string Text() const override;
  void SetEnabled(bool enabled) override;
  bool Enabled() const override;

 private:
  QLabel* label_;
};

class WidgetOptionButton : public OptionButton {
 public:
  explicit WidgetOptionButton(QRadioButton* button) : button_(button) {}
  void SetValue(bool checked) override;
  bool Value() const override;
  void SetEnabled(bool enabled) override;
  bool Enabled() const override;

 private:
  QRadioButton* button_;
};

class WidgetWindow : public Window {
 public:
  explicit WidgetWindow(QWidget* window) : window_(window) {}
  void Show() override;
  void Hide() override;
  bool Visible() const override;

 private:
  QWidget* window_;
};

}  // namespace qrb
