#include "pipe/LinkKind.h"

#include <array>

#include "app/Form1.h"

namespace qrb {
namespace {

// In the order CloseDataPipe closes them.
const std::array<LinkKind, 2> LinkKinds{{
    {PipeEthernet, [](const ReflashSession& s) { return s.EthernetInitialized != False; }, &Form1::InitWinSock,
     &Form1::FlushWinsock, &Form1::GetWinsockByte, &Form1::SendWinsockPacket, &Form1::CloseWinsock,
     "** ERROR ** Ethernet connection not initialized."},
    {PipeSerial, [](const ReflashSession& s) { return s.ComInitialized != False; }, &Form1::InitComPort,
     &Form1::FlushComPort, &Form1::GetComByte, &Form1::SendComPacket, &Form1::CloseComPort,
     "** ERROR ** COM port not initialized."},
}};

}  // namespace

const LinkKind* FindLinkKind(std::int16_t code) {
  for (const LinkKind& kind : LinkKinds)
    if (kind.code == code) return &kind;
  return nullptr;
}

bool Form1::LinkOpen() const {
  const LinkKind* kind = FindLinkKind(S.DataPipe);
  return kind != nullptr && kind->isOpen(S);
}

void Form1::CloseDataPipe() {
  C.Timer1.SetEnabled(false);
  S.TimerIsrActive = False;
  EndFifo1Burst();
  for (const LinkKind& kind : LinkKinds)
    if (kind.isOpen(S)) (this->*kind.close)();
}

}  // namespace qrb
