// Receive ring buffer of the Ethernet link: all 1025 slots usable.
#include <utility>

#include "app/Form1.h"
#include "app/Text.h"

namespace qrb {

namespace {
constexpr std::int32_t LastFifoIndex = Fifo1Size - 1;
}

// A board that floods the link fills the FIFO faster than the sequencer takes
// bytes: the first byte dropped posts "Fifo1 is full.", the rest of the burst
// is only counted and summed up in one line when the burst ends.
void Form1::Fifo1Put(std::uint8_t& b) {
  if (S.Fifo1Full != False) {
    if (S.Fifo1Dropped++ == 0) {
      Status("Fifo1 is full.");
    }
    return;
  }
  EndFifo1Burst();
  S.Fifo1[static_cast<std::size_t>(S.Fifo1In)] = b;
  S.Fifo1In = S.Fifo1In == LastFifoIndex ? 0 : S.Fifo1In + 1;
  if (S.Fifo1In == S.Fifo1Out) S.Fifo1Full = True;
  S.Fifo1Empty = False;
}

void Form1::EndFifo1Burst() {
  const std::int32_t dropped = std::exchange(S.Fifo1Dropped, 0);
  if (dropped < 2) return;  // a single dropped byte has said all with its line
  Status("Fifo1 was full: " + Dec(dropped) + " bytes dropped.");
}

void Form1::ResetFifo1() {
  S.Fifo1.fill(0);
  S.Fifo1Empty = True;
  S.Fifo1Full = False;
  S.Fifo1In = 0;
  S.Fifo1Out = 0;
}

std::int32_t Form1::Fifo1Get() {
  if (S.Fifo1Empty != False) return -1;
  const std::int32_t byte = S.Fifo1[static_cast<std::size_t>(S.Fifo1Out)];
  S.Fifo1Out = S.Fifo1Out == LastFifoIndex ? 0 : S.Fifo1Out + 1;
  if (S.Fifo1Out == S.Fifo1In) S.Fifo1Empty = True;
  S.Fifo1Full = False;
  return byte;
}

}  // namespace qrb
