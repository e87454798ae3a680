// The main window and its settings dialog on controls without a window. The
// command line runs boards through it, `check` reads files with it, and
// tests drive it; the caller brings the timer and the services, then calls
// form1.InitVariables() once its settings are in.
#pragma once

#include <utility>

#include "app/Form1.h"
#include "app/HeadlessControls.h"
#include "pipe/Form2.h"
#include "pipe/PlainSettingsDialog.h"

namespace qrb {

struct HeadlessWindow {
  HeadlessWindow(Timer& timer1, const Form1Services& services, PlainListBox::Sink status = {},
                 PlainListBox::Sink debug = {})
      : List1(std::move(status)),
        List2(std::move(debug)),
        form1({List1, List2, Text2, Text3, SelectSourceFile, ProgramFlash, VerifyFlash, SelectDataPipe, timer1},
              services),
        form2(form1, settings.Controls()) {
    form1.AttachSettingsDialog(&form2);
  }
  HeadlessWindow(const HeadlessWindow&) = delete;
  HeadlessWindow& operator=(const HeadlessWindow&) = delete;

  PlainListBox List1, List2;  // Status, Debug
  PlainTextBox Text2, Text3;
  PlainButton SelectSourceFile{"Select Source File"}, ProgramFlash{"Program FLASH"}, VerifyFlash{"Verify FLASH"},
      SelectDataPipe{"Select Data Pipe"};
  PlainSettingsDialog settings;
  Form1 form1;
  Form2 form2;
};

}  // namespace qrb
