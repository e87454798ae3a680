// The serial COM link: opening and closing it, flushing, a byte in, a packet out.
#include "app/Form1.h"
#include "app/Text.h"
#include "pipe/ComOptions.h"

namespace qrb {

void Form1::InitComPort() {
  // A failed open or set-up: the library's code, then the operating system's reason.
  auto reportFailure = [this](const char* text) {
    Debug(text + Dec(S.ComStatus));
    if (P.SerialReasons != nullptr) Debug(P.SerialReasons->DescribeFailure(S.ComPort, S.ComStatus));
  };

  if (!IsComOption(ComPortOptions, S.ComPort)) return Debug("COM Port selection is invalid.");
  if (ComSpeedOf(S.ComSpeed) == nullptr) return Debug("COM Speed selection is invalid.");
  if (!IsComOption(ComIrqOptions, S.ComIRQ)) return Debug("COM IRQ selection is invalid.");
  if (!IsComOption(ComIoOptions, S.ComAddr)) return Debug("COM I/O address selection is invalid.");
  if (S.ComInitialized != False) return Debug("** ERROR ** COM Port already open.");

  S.ComStatus = P.Serial.InitializePort(S.ComPort, S.ComPort - 1, S.ComAddr, S.ComIRQ, 9, 0, 8192, 8192, 0);
  if (S.ComStatus != 0) return reportFailure("Error initializing COM port: ");

  // From here on the library holds the port: release it again on a failure,
  // so that the next attempt can open it.
  S.ComStatus = P.Serial.ser_rs232_getport(S.ComPort, S.ComPortInfo);
  if (S.ComStatus != 0) {
    reportFailure("Error setting COM port parameters: ");
    P.Serial.UnInitializePort(S.ComPort);
    return;
  }

  const ComSpeedOption& speed = *ComSpeedOf(S.ComSpeed);
  S.ComPortInfo.BaudCode = speed.baudCode;
  S.ComPortInfo.Characteristic[0] = 0;
  S.ComPortInfo.Characteristic[1] = 3;
  S.ComPortInfo.Characteristic[2] = 0;
  S.ComPortInfo.Characteristic[3] = 0;
  S.ComStatus = P.Serial.SetPortCharacteristics(S.ComPort, speed.baudCode, 0, 3, 0, 0);
  if (S.ComStatus != 0) {
    reportFailure("Error setting COM port characteristics: ");
    P.Serial.UnInitializePort(S.ComPort);
    return;
  }

  S.ComStatus = P.Serial.CdrvSetTimerResolution(S.ComPort, 1);
  if (S.ComStatus != 0) Debug("Error setting timer resolution: " + Dec(S.ComStatus));
  S.ComStatus = P.Serial.SetTimeout(S.ComPort, 1);
  if (S.ComStatus != 0) Debug("Error setting time out: " + Dec(S.ComStatus));
  S.ComStatus = P.Serial.SetPaceTime(S.ComPort, 0);
  if (S.ComStatus != 0) Debug("Error setting pace time: " + Dec(S.ComStatus));

  Status("COM port initialized and opened.");
  C.Text3.SetText("COM" + Dec(S.ComPort) + ": at " + speed.text);
  S.ComInitialized = True;
  S.ComReadFailure = 0;
  FlushDataPipe();
  S.PacketLength = 0;
  S.TimerIsrActive = False;
  C.Timer1.SetEnabled(true);
}

void Form1::CloseComPort() {
  S.ComStatus = P.Serial.UnInitializePort(S.ComPort);
  Debug(S.ComStatus != 0 ? "Error: " + Dec(S.ComStatus) + " closing COM port: " + Dec(S.ComPort)
                          : "Closed COM port: " + Dec(S.ComPort));
  S.ComInitialized = False;
}

void Form1::FlushComPort() {
  S.ComStatus = P.Serial.FlushReceiveBuffer(S.ComPort);
  if (S.ComStatus != 0) {
    Debug("** Error flushing receive buffer: " + Dec(S.ComStatus));
  }
  S.ComStatus = P.Serial.FlushTransmitBuffer(S.ComPort);
  if (S.ComStatus != 0) {
    Debug("** Error flushing transmit buffer: " + Dec(S.ComStatus));
  }
}

void Form1::GetComByte() {
  S.ComStatus = P.Serial.ser_rs232_getpacket(S.ComPort, 0, "0");
  if (S.ComStatus != 0) {
    // A failure that lasts (a device that is gone) is reported once, with
    // the system's reason, not on every tick.
    if (S.ComStatus == S.ComReadFailure) return;
    S.ComReadFailure = S.ComStatus;
    Debug("Error getting a packet: " + Dec(S.ComStatus));
    if (P.SerialReasons != nullptr) {
      Debug(P.SerialReasons->DescribeFailure(S.ComPort, S.ComStatus));
    }
    return;
  }
  S.ComReadFailure = 0;
  S.LastByte = P.Serial.GetByte(S.ComPort);
}

void Form1::SendComPacket() {
  for (std::int32_t i = 0; i < S.PacketLength; ++i) {
    S.ComStatus = P.Serial.PutByte(S.ComPort, S.PacketBuffer[static_cast<std::size_t>(i)]);
    if (S.ComStatus != 0) {
      Debug("Error in put byte: " + Dec(S.ComStatus));
    }
  }
  S.ComStatus = P.Serial.ser_rs232_putpacket(S.ComPort, 0, "0");
  if (S.ComStatus != 0) {
    Debug("Error in put packet: " + Dec(S.ComStatus));
  }
}

}  // namespace qrb
