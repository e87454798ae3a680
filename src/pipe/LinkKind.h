// The kinds of data pipe, keyed by the DataPipe codes the settings dialog
// sets: what opening, flushing, reading a byte, sending a packet and closing
// mean for each. A new kind of link is one more row (and the file of its
// operations), not one more branch in every operation.
#pragma once

#include <cstdint>

namespace qrb {

class Form1;
struct ReflashSession;

struct LinkKind {
  std::int16_t code;  // PipeSerial, PipeEthernet
  bool (*isOpen)(const ReflashSession& s);
  void (Form1::*open)();     // the settings dialog's Initialize
  void (Form1::*flush)();    // both directions
  void (Form1::*getByte)();  // the next byte into LastByte, -1 when none
  void (Form1::*send)();     // PacketBuffer[0..PacketLength)
  void (Form1::*close)();    // only when open
  const char* notOpen;       // why a start is refused while it is not open
};

// The row of `code`, or null when no kind has that code.
const LinkKind* FindLinkKind(std::int16_t code);

}  // namespace qrb
