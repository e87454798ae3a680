// Form2, "COM Port Parameters": the option buttons keyed by the value their
// click stores, the two text boxes, Initialize and Cancel. Not modal; it
// hides only when its logic says so.
//
// Each option-button array is an exclusive group of its own, and so are the
// two link options. The keyboard works as in a Windows dialog: Tab stops once
// per group, at its checked button; the arrow keys move within a group and
// select; Enter presses Initialize (the default), Esc is Cancel.
#pragma once

#include <QDialog>
#include <QPoint>
#include <deque>
#include <memory>
#include <optional>

#include "app/qt/WidgetControls.h"
#include "pipe/Form2.h"

class QButtonGroup;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace qrb {

struct OptionFrame;

class Form2Dialog : public QDialog {
  Q_OBJECT

 public:
  explicit Form2Dialog(Form1& main, QWidget* parent = nullptr);
  ~Form2Dialog() override;

  Form2& Core() { return *form2_; }

  // Esc and the close box count as "Cancel".
  void reject() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  bool event(QEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  using Group = std::map<int, OptionButton*>;
  // An option button named name_index in `buttons` whose click calls
  // handler(index).
  QRadioButton* AddOption(QWidget* parent, Group& group, QButtonGroup* buttons, const char* name, int index,
                          const char* caption, QRect where, void (Form2::*handler)(int));
  QButtonGroup* NewGroup();
  QList<QWidget*> AddFrame(const OptionFrame& layout, Group& group);

  WidgetWindow window_{this};
  std::deque<WidgetOptionButton> options_;
  std::vector<QButtonGroup*> groups_;
  std::unique_ptr<WidgetTextBox> ipAddress_;
  std::unique_ptr<WidgetTextBox> portNumber_;
  std::unique_ptr<WidgetLabel> reason_;
  QPushButton* initialize_ = nullptr;
  std::unique_ptr<Form2> form2_;
  std::optional<QPoint> place_;  // where it was when last hidden
};

}  // namespace qrb
