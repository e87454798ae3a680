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
    for (std::size_t i = 0; i < 4; ++i) {
      c.ComxBtn[ComPorts[i]] = &ComxBtn[ComPorts[i]];
      c.ComBaudBtn[ComSpeedCodes[i]] = &ComBaudBtn[ComSpeedCodes[i]];
      c.ComIoBtn[ComIoAddresses[i]] = &ComIoBtn[ComIoAddresses[i]];
      c.ComIrqBtn[ComIrqs[i]] = &ComIrqBtn[ComIrqs[i]];
    }
    return c;
  }
};

}  // namespace qrb
