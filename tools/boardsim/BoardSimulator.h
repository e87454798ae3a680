// The simulated board on real links: a TCP server on the loopback address
// (one client at a time) and a pseudo-terminal, both answered by one
// BoardModel.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
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
  BoardSimulator(BoardModel& board, int baud, bool verbose, QObject* parent = nullptr);
  ~BoardSimulator() override;

  // Each returns an empty string on success, else the reason.
  QString ListenTcp(quint16 port);  // port 0 lets the system choose
  QString OpenPty(const QString& linkPath);

  quint16 TcpPort() const;
  QString PtyPath() const { return ptyPath_; }

 private:
  void AcceptClient();
  void ClientGone();
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

  int ptyMaster_ = -1;
  int ptySlave_ = -1;  // held open so that the master never sees a hang-up
  bool ptyUnplugged_ = false;
  QString ptyPath_;
  QString ptyLink_;
  QSocketNotifier* ptyNotifier_ = nullptr;
  std::unique_ptr<ReplyWriter> ptyWriter_;
};

}  // namespace qrb::sim
