// The "COM Port Parameters" dialog's logic. It keeps no settings of its own:
// every option-button click writes straight into the main window's fields.
#pragma once

#include <cstdint>
#include <map>

#include "app/Controls.h"

namespace qrb {

class Form1;

struct Form2Controls {
  Window& Dialog;
  std::map<int, OptionButton*> DataPipeSelect;  // indexes 1, 5
  std::map<int, OptionButton*> ComxBtn;         // 1..4
  std::map<int, OptionButton*> ComBaudBtn;      // 1..4
  std::map<int, OptionButton*> ComIoBtn;        // 0x3F8, 0x2F8, 0x3E8, 0x2E8
  std::map<int, OptionButton*> ComIrqBtn;       // 4, 3, 5, 7
  TextBox& IPAddress;
  TextBox& PortNumber;
  TextBox* Reason = nullptr;  // where a refused Initialize says why (optional)
};

class Form2 {
 public:
  Form2(Form1& main, const Form2Controls& controls);

  // Start state, applied as the last step of the main window's InitVariables.
  void ApplyStartState();
  void Show();

  void DataPipeSelect_Click(int index);
  void ComxBtn_Click(int index);
  void ComBaudBtn_Click(int index);
  void ComIoBtn_Click(int index);
  void ComIrqBtn_Click(int index);
  void Initialize_Click();
  void Cancel1_Click();

  Form2Controls C;

  // The box whose text the last Initialize refused, if any.
  enum class Field { None, IPAddress, PortNumber };
  Field Refused() const { return refused_; }

 private:
  // The address and port number boxes into the session; false (refused in
  // the dialog) when either is not valid.
  bool TakeAddressAndPort();
  void Refuse(Field field, const std::string& reason);
  Field refused_ = Field::None;
  void EnableComButtons(bool enabled);
  Form1& main_;
};

}  // namespace qrb
