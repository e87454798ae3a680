// The "COM Port Parameters" dialog and the main window's "Select Data Pipe".
#include "pipe/Form2.h"

#include <algorithm>
#include <charconv>

#include "app/Form1.h"
#include "app/Text.h"
#include "pipe/LinkKind.h"

namespace qrb {

namespace {

void Check(const std::map<int, OptionButton*>& group, int index) {
  auto it = group.find(index);
  if (it != group.end()) it->second->SetValue(true);
}

// A TCP port: a whole number from 1 to 65535, blanks around it allowed.
bool ParsePortNumber(const std::string& text, std::int32_t& port) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string::npos) return false;
  const auto last = text.find_last_not_of(' ');
  const char* begin = text.data() + first;
  const char* end = text.data() + last + 1;
  long value = 0;
  auto [ptr, ec] = std::from_chars(begin, end, value);
  if (ec != std::errc() || ptr != end || value < 1 || value > 65535) return false;
  port = static_cast<std::int32_t>(value);
  return true;
}

// An address in dot notation (four numbers 0 to 255) or a host name:
// letters, digits, hyphens and dots, no blanks.
bool ValidAddress(const std::string& text) {
  if (text.empty() || text.size() > 253) return false;
  const bool dotted = text.find_first_not_of("0123456789.") == std::string::npos;
  if (!dotted) {
    return text.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-.") ==
               std::string::npos &&
           text.front() != '.' && text.front() != '-';
  }
  int parts = 0;
  std::size_t at = 0;
  while (at <= text.size()) {
    const std::size_t dot = std::min(text.find('.', at), text.size());
    int value = 0;
    const auto [ptr, ec] = std::from_chars(text.data() + at, text.data() + dot, value);
    if (ec != std::errc() || ptr != text.data() + dot || dot - at > 3 || value > 255) return false;
    ++parts;
    at = dot + 1;
  }
  return parts == 4;
}

}  // namespace

Form2::Form2(Form1& main, const Form2Controls& controls) : C(controls), main_(main) {}

void Form2::ApplyStartState() {
  const ReflashSession& s = main_.S;
  C.IPAddress.SetText(s.IPAddress);
  C.PortNumber.SetText(Dec(s.PortNumber));
  Check(C.ComxBtn, s.ComPort);
  Check(C.ComBaudBtn, s.ComSpeed);
  Check(C.ComIoBtn, s.ComAddr);
  Check(C.ComIrqBtn, s.ComIRQ);
  Check(C.DataPipeSelect, s.DataPipe);
  EnableComButtons(true);
  C.IPAddress.SetEnabled(false);
  C.PortNumber.SetEnabled(false);
}

void Form2::Show() {
  refused_ = Field::None;
  if (C.Reason != nullptr) C.Reason->SetText("");
  C.Dialog.Show();
}

void Form2::Refuse(Field field, const std::string& reason) {
  refused_ = field;
  main_.Debug(reason);
  if (C.Reason != nullptr) C.Reason->SetText(reason);
}

void Form2::EnableComButtons(bool enabled) {
  for (auto* group : {&C.ComxBtn, &C.ComBaudBtn, &C.ComIoBtn, &C.ComIrqBtn})
    for (auto& [index, button] : *group) button->SetEnabled(enabled);
}

void Form2::DataPipeSelect_Click(int index) {
  main_.S.DataPipe = static_cast<std::int16_t>(index);
  if (main_.S.DataPipe == PipeSerial) {
    EnableComButtons(true);
    C.IPAddress.SetEnabled(false);
    C.PortNumber.SetEnabled(false);
  } else if (main_.S.DataPipe == PipeEthernet) {
    EnableComButtons(false);
    C.IPAddress.SetEnabled(true);
    C.PortNumber.SetEnabled(true);
  }
}

void Form2::ComxBtn_Click(int index) { main_.S.ComPort = index; }
void Form2::ComBaudBtn_Click(int index) { main_.S.ComSpeed = static_cast<std::int16_t>(index); }
void Form2::ComIoBtn_Click(int index) { main_.S.ComAddr = static_cast<std::int16_t>(index); }
void Form2::ComIrqBtn_Click(int index) { main_.S.ComIRQ = static_cast<std::int16_t>(index); }

void Form2::Initialize_Click() {
  ReflashSession& s = main_.S;
  if (const LinkKind* kind = FindLinkKind(s.DataPipe)) {
    // A refused text leaves the dialog open and nothing changed.
    if (s.DataPipe == PipeEthernet && !TakeAddressAndPort()) return;
    (main_.*kind->open)();
  } else {
    main_.Debug("Invalid DataPipe selection: " + Dec(s.DataPipe));
  }
  refused_ = Field::None;
  if (C.Reason != nullptr) C.Reason->SetText("");
  C.Dialog.Hide();
}

bool Form2::TakeAddressAndPort() {
  if (!ValidAddress(C.IPAddress.Text())) {
    Refuse(Field::IPAddress, "Address \"" + C.IPAddress.Text() +
                                 "\" is neither an IP address in dot notation nor a host name.");
    return false;
  }
  std::int32_t port = 0;
  if (!ParsePortNumber(C.PortNumber.Text(), port)) {
    Refuse(Field::PortNumber, "Port number \"" + C.PortNumber.Text() + "\" is not a whole number from 1 to 65535.");
    return false;
  }
  main_.S.IPAddress = C.IPAddress.Text();
  main_.S.PortNumber = port;
  return true;
}

void Form2::Cancel1_Click() {
  main_.Debug("Comms selection cancelled.");
  C.Dialog.Hide();
}

void Form1::SelectDataPipe_Click() {
  if (S.TimerIsrActive != False || S.WinsockIsrActive != False) {
    Debug("Com setup attempt failed, timer stopped. --> Try again !");
    C.Timer1.SetEnabled(false);
    return;
  }
  CloseDataPipe();
  C.Text3.SetText("");
  if (form2_ != nullptr) form2_->Show();
}

}  // namespace qrb
