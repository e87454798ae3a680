// The engine's whole view of the link: flush, get one byte, send one packet,
// each done by the link kind the settings dialog chose.
#include "app/Form1.h"
#include "app/Text.h"
#include "pipe/LinkKind.h"

namespace qrb {

void Form1::FlushDataPipe() {
  if (const LinkKind* kind = FindLinkKind(S.DataPipe)) return (this->*kind->flush)();
  Debug("Invalid DataPipe in FlushDataPipe: " + Dec(S.DataPipe));
}

void Form1::GetAByte() {
  S.LastByte = -1;
  if (const LinkKind* kind = FindLinkKind(S.DataPipe)) return (this->*kind->getByte)();
  Debug("Invalid DataPipe in GetAByte: " + Dec(S.DataPipe));
}

void Form1::SendAPacket() {
  if (S.PacketLength == 0) return;
  if (S.PacketLength < 0 || S.PacketLength > PacketBufferSize) {
    Debug("Packet not sent: length " + Dec(S.PacketLength) + " is outside 1 to " + Dec(PacketBufferSize) + ".");
    return;
  }
  if (const LinkKind* kind = FindLinkKind(S.DataPipe)) return (this->*kind->send)();
  Debug("Invalid DataPipe in SendAPacket: " + Dec(S.DataPipe));
}

}  // namespace qrb
