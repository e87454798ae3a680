// qrb-board-sim as a child process on a free loopback port.
#pragma once

#include <QProcess>

namespace qrb::test {

// Starts the board with `--tcp 0`; its port, or 0 when it reported none.
inline quint16 StartBoard(QProcess& board) {
  board.start(QStringLiteral(QRB_BOARD_SIM), {QStringLiteral("--tcp"), QStringLiteral("0")});
  QByteArray out;
  while (!out.contains("READY\n") && board.waitForReadyRead(5000)) out += board.readAllStandardOutput();
  const qsizetype at = out.indexOf("TCP_PORT=");
  return at < 0 ? 0 : static_cast<quint16>(out.mid(at + 9, out.indexOf('\n', at) - at - 9).toUInt());
}

// Stops it as a user would: true when it ended cleanly.
inline bool StopBoard(QProcess& board) {
  board.terminate();
  return board.waitForFinished(5000) && board.exitStatus() == QProcess::NormalExit && board.exitCode() == 0;
}

}  // namespace qrb::test
