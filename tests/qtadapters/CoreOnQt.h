// The main window's logic on plain controls, wired to real Qt adapters for the
// serial library and the TCP control (everything else faked).
#pragma once

#include "Harness.h"

namespace qrb::test {

struct CoreOnQt {
  PlainListBox List1, List2;
  PlainTextBox Text2, Text3;
  PlainButton SelectSourceFile{"Select Source File"}, ProgramFlash{"Program FLASH"}, VerifyFlash{"Verify FLASH"},
      SelectDataPipe{"Select Data Pipe"};
  PlainTimer Timer1;
  FakeFileDialog dialog;
  FakeClock clock;
  FakeApp app;
  Form1 form1;

  CoreOnQt(SerialLibrary& serial, TcpControl& tcp, SerialDiagnostics* reasons = nullptr)
      : form1(Form1Controls{List1, List2, Text2, Text3, SelectSourceFile, ProgramFlash, VerifyFlash,
                            SelectDataPipe, Timer1},
              Form1Services{serial, tcp, dialog, clock, app, reasons}) {
    form1.InitVariables();
  }

  const std::vector<std::string>& Status() const { return List1.Lines(); }
  const std::vector<std::string>& Debug() const { return List2.Lines(); }
};

}  // namespace qrb::test
