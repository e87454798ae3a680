// The simulated board on real links: a TCP server on the loopback address
// (one client at a time; a second one is refused with a hang-up) and a
// pseudo-terminal, both answered by one BoardModel.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <deque>
#include <memory>

#include "BoardModel.h"
#include "ReplyWriter.h"

class QTcpServer;
class QTcpSocket;
class QSocketNotifier;

namespace qrb::sim {

class BoardSimulator : public QObject {
  Q_OBJECT

 public:
  // Replies a TCP client leaves unread in the socket before the writer holds
  // them back.
  static constexpr qint64 MaxUnsentBytes = 64 * 1024;
  // A pause after which a partly received packet on the pty is dropped.
  static constexpr qint64 StalePacketMs = 500;
  // How long a second client waits for the first one to go before it is refused.
  static constexpr int RefuseAfterMs = 250;

  BoardSimulator(BoardModel& board, int baud, bool verbose, QObject* parent = nullptr);
  ~BoardSimulator() override;

  // Each returns an empty string on success, else the reason.
  QString ListenTcp(quint16 port);  // port 0 lets the system choose
  QString OpenPty(const QString& linkPath);

  quint16 TcpPort() const;
  QString PtyPath() const { return ptyPath_; }

 private:
  void AcceptClient();
  void Serve(QTcpSocket* socket);
  void ServeWaiting();
  void Refuse(QTcpSocket* socket);
  void ClientGone(QTcpSocket* gone);
  void ReadTcp();
  void ReadPty();
  void Take(const QByteArray& bytes, ReplyWriter& writer, const char* link);
  void Log(const QString& line) const;

  BoardModel& board_;
  int baud_;
  bool verbose_;

  QTcpServer* server_ = nullptr;
  QPointer<QTcpSocket> client_;
  std::unique_ptr<ReplyWriter> tcpWriter_;
  std::deque<QPointer<QTcpSocket>> waiting_;  // came while the board was busy

  int ptyMaster_ = -1;
  int ptySlave_ = -1;  // held open so that the master never sees a hang-up
  bool ptyUnplugged_ = false;
  QString ptyPath_;
  QString ptyLink_;
  QSocketNotifier* ptyNotifier_ = nullptr;
  QElapsedTimer ptyQuiet_;  // since the last bytes came in on the pty
  std::unique_ptr<ReplyWriter> ptyWriter_;
};

}  // namespace qrb::sim
