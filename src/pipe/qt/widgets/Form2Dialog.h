// Form2, "COM Port Parameters": the option buttons keyed by the value their
// click stores, the two text boxes, Initialize and Cancel. Not modal; it
// hides only when its logic says so.
#pragma once

#include <QDialog>
#include <deque>
#include <memory>

#include "app/qt/WidgetControls.h"
#include "pipe/Form2.h"

class QLineEdit;
class QRadioButton;

namespace qrb {

class Form2Dialog : public QDialog {
  Q_OBJECT

 public:
  explicit Form2Dialog(Form1& main, QWidget* parent = nullptr);
  ~Form2Dialog() override;

  Form2& Core() { return *form2_; }

  // Esc and the close box count as "Cancel".
  void reject() override;

 private:
  using Group = std::map<int, OptionButton*>;
  // An option button named name_index whose click calls handler(index).
  QRadioButton* AddOption(QWidget* parent, Group& group, const char* name, int index, const char* caption,
                          QRect where, void (Form2::*handler)(int));

  WidgetWindow window_{this};
  std::deque<WidgetOptionButton> options_;
  std::unique_ptr<WidgetTextBox> ipAddress_;
  std::unique_ptr<WidgetTextBox> portNumber_;
  std::unique_ptr<Form2> form2_;
};

}  // namespace qrb
