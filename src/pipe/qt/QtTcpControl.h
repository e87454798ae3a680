// Winsock1Data over QTcpSocket: a TCP client whose events reach the main
// window on the Qt thread.
//
// Events: connected -> Winsock1Data_Connect; bytes received ->
// Winsock1Data_DataArrival(unread bytes, at most ReadSliceBytes at a time); an attempt that fails or does
// not complete within the connect time-out -> Winsock1Data_ConnectFailed; an
// established connection that ends -> Winsock1Data_Dropped. Close() and a new
// Connect() drop the socket silently, and no event is ever raised from inside
// Connect() itself.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "pipe/LinkDefaults.h"
#include "pipe/TcpControl.h"

class QTcpSocket;

namespace qrb {

class QtTcpControl : public QObject, public TcpControl {
  Q_OBJECT

 public:
  // The most bytes one data-arrival event hands over (and the socket buffers).
  static constexpr qint64 ReadSliceBytes = 16 * 1024;

  explicit QtTcpControl(std::chrono::milliseconds connectTimeout = DefaultConnectTimeout,
                        QObject* parent = nullptr);
  ~QtTcpControl() override;

  void SetEvents(TcpEvents* events) override { events_ = events; }
  // 0 lets the system choose the local port.
  void SetLocalPort(std::int32_t port) override { localPort_ = port; }
  void SetRemoteHost(const std::string& host) override { remoteHost_ = host; }
  void SetRemotePort(std::int32_t port) override { remotePort_ = port; }
  void Connect() override;
  // The unread bytes, at most ReadSliceBytes of them.
  std::vector<std::uint8_t> GetData() override;
  // Sends when connected; otherwise the bytes are dropped without a word.
  void SendData(const std::vector<std::uint8_t>& bytes) override;
  void Close() override;

 private:
  enum class Phase { Idle, Connecting, Established };

  void Raise(std::function<void(TcpEvents&)> event);
  void OnConnected();
  void OnReadyRead();
  void OnEnded(const QString& reason);
  void OnConnectTimeout();
  void FailAttempt(const QString& reason);
  void DropSocket();

  TcpEvents* events_ = nullptr;
  std::int32_t localPort_ = 0;
  std::string remoteHost_;
  std::int32_t remotePort_ = 0;

  QTcpSocket* socket_ = nullptr;
  Phase phase_ = Phase::Idle;
  // Counts sockets; an event deferred for an earlier socket is discarded.
  quint64 generation_ = 0;
  bool insideConnect_ = false;
  bool readQueued_ = false;  // a data-arrival event for the rest is on its way
  QTimer connectTimer_;
};

}  // namespace qrb
