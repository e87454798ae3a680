// The settings dialog's controls without a window, for the command line and
// tests: the dialog's logic runs on them exactly as on the widgets.
#pragma once

#include <map>

#include "app/HeadlessControls.h"
#include "app/ReflashSession.h"
#include "pipe/ComOptions.h"
#include "pipe/Form2.h"

namespace qrb {

struct PlainSettingsDialog {
  PlainWindow Dialog;
  std::map<int, PlainOptionButton> DataPipeSelect, ComxBtn, ComBaudBtn, ComIoBtn, ComIrqBtn;
  PlainTextBox IPAddress, PortNumber;

  Form2Controls Controls() {
    Form2Controls c{Dialog, {}, {}, {}, {}, {}, IPAddress, PortNumber};
    for (const int pipe : {PipeSerial, PipeEthernet}) c.DataPipeSelect[pipe] = &DataPipeSelect[pipe];
    for (const ComOption& o : ComPortOptions) c.ComxBtn[o.index] = &ComxBtn[o.index];
    for (const ComSpeedOption& o : ComSpeedOptions) c.ComBaudBtn[o.index] = &ComBaudBtn[o.index];
    for (const ComOption& o : ComIoOptions) c.ComIoBtn[o.index] = &ComIoBtn[o.index];
    for (const ComOption& o : ComIrqOptions) c.ComIrqBtn[o.index] = &ComIrqBtn[o.index];
    return c;
  }
};

}  // namespace qrb
