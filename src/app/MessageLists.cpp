#include "app/Form1.h"

namespace qrb {

namespace {

constexpr int MaxListLines = 200;

void AppendLine(ListBox& list, const std::string& line) {
  list.AddItem(line);
  const int last = list.ListCount() - 1;
  list.SetListIndex(last);      // scrolls the new line into view
  list.SetSelected(last, false);  // ...without leaving it highlighted
  list.Refresh();
  while (list.ListCount() > MaxListLines) list.RemoveItem(0);
}

}  // namespace

void Form1::PostMsg1(const std::string& message) {
  if (Muted != nullptr) {
    Muted->Post(message, true);
    return;
  }
  AppendLine(C.List1, message);
}

void Form1::PostMsg2(std::string& Msgy) {
  if (Muted != nullptr) {
    Muted->Post(Msgy, false);
  } else {
    AppendLine(C.List2, Msgy);
  }
  Msgy.clear();
}

void Form1::Status(std::string text) {
  S.StatusLine = std::move(text);
  PostMsg1(S.StatusLine);
}

void Form1::Debug(std::string text) {
  S.DebugLine = std::move(text);
  PostMsg2(S.DebugLine);
}

void Form1::ClearStatusList_Click() { C.List1.Clear(); }

void Form1::ClearDebugList_Click() { C.List2.Clear(); }

}  // namespace qrb
