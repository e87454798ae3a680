// Receive ring buffer of the Ethernet link: all 1025 slots usable.
#include "app/Form1.h"

namespace qrb {

namespace {
constexpr std::int32_t LastFifoIndex = Fifo1Size - 1;
}

void Form1::Fifo1Put(std::uint8_t& b) {
  if (S.Fifo1Full != False) {
    S.StatusLine = "Fifo1 is full.";
    PostMsg1(S.StatusLine);
    return;
  }
  S.Fifo1[static_cast<std::size_t>(S.Fifo1In)] = b;
  S.Fifo1In = S.Fifo1In == LastFifoIndex ? 0 : S.Fifo1In + 1;
  if (S.Fifo1In == S.Fifo1Out) S.Fifo1Full = True;
  S.Fifo1Empty = False;
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
