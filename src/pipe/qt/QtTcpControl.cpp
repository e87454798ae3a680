#include "pipe/qt/QtTcpControl.h"

#include <QHostAddress>
#include <QTcpSocket>
#include <algorithm>
#include <utility>

namespace qrb {

QtTcpControl::QtTcpControl(std::chrono::milliseconds connectTimeout, QObject* parent) : QObject(parent) {
  connectTimer_.setSingleShot(true);
  connectTimer_.setInterval(connectTimeout);
  connect(&connectTimer_, &QTimer::timeout, this, &QtTcpControl::OnConnectTimeout);
}

QtTcpControl::~QtTcpControl() {
  events_ = nullptr;
  DropSocket();
}

void QtTcpControl::Connect() {
  DropSocket();
  insideConnect_ = true;
  socket_ = new QTcpSocket(this);
  // What the board sends waits in the system, not here, while the main
  // window is behind: a flood costs neither memory nor the timer's pace.
  socket_->setReadBufferSize(ReadSliceBytes);
  connect(socket_, &QTcpSocket::connected, this, &QtTcpControl::OnConnected);
  connect(socket_, &QTcpSocket::readyRead, this, &QtTcpControl::OnReadyRead);
  connect(socket_, &QTcpSocket::errorOccurred, this, [this] { OnEnded(socket_->errorString()); });
  connect(socket_, &QTcpSocket::disconnected, this, [this] { OnEnded(socket_->errorString()); });
  phase_ = Phase::Connecting;

  if (remotePort_ < 1 || remotePort_ > 65535) {
    FailAttempt(QStringLiteral("Invalid port number %1").arg(remotePort_));
  } else if (localPort_ != 0 && !socket_->bind(QHostAddress::Any, static_cast<quint16>(localPort_))) {
    FailAttempt(socket_->errorString());
  } else {
    connectTimer_.start();
    socket_->connectToHost(QString::fromStdString(remoteHost_), static_cast<quint16>(remotePort_));
  }
  insideConnect_ = false;
}

std::vector<std::uint8_t> QtTcpControl::GetData() {
  if (socket_ == nullptr) return {};
  const QByteArray data = socket_->read(ReadSliceBytes);
  return {data.begin(), data.end()};
}

void QtTcpControl::SendData(const std::vector<std::uint8_t>& bytes) {
  if (socket_ == nullptr || phase_ != Phase::Established || bytes.empty()) return;
  socket_->write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
  socket_->flush();  // to the system now, without waiting; any rest follows from the event loop
}

void QtTcpControl::Close() { DropSocket(); }

void QtTcpControl::Raise(std::function<void(TcpEvents&)> event) {
  if (insideConnect_) {
    // Events belong to the event loop, after the caller of Connect() is done.
    QTimer::singleShot(0, this, [this, generation = generation_, event = std::move(event)] {
      if (generation == generation_ && events_ != nullptr) event(*events_);
    });
    return;
  }
  if (events_ != nullptr) event(*events_);
}

void QtTcpControl::OnConnected() {
  if (phase_ != Phase::Connecting) return;
  connectTimer_.stop();
  phase_ = Phase::Established;
  Raise([](TcpEvents& e) { e.Winsock1Data_Connect(); });
}

void QtTcpControl::OnReadyRead() {
  if (socket_ == nullptr || readQueued_) return;
  const qint64 available = socket_->bytesAvailable();
  if (available <= 0) return;
  const auto count = static_cast<std::int32_t>(std::min<qint64>(available, ReadSliceBytes));
  Raise([count](TcpEvents& e) { e.Winsock1Data_DataArrival(count); });
  // A slice at a time: the rest is announced from the event loop, after the
  // timer and everything else waiting there had their turn.
  if (socket_ != nullptr && socket_->bytesAvailable() > 0) {
    readQueued_ = true;
    QTimer::singleShot(0, this, [this, generation = generation_] {
      if (generation != generation_) return;  // that socket is gone
      readQueued_ = false;
      OnReadyRead();
    });
  }
}

void QtTcpControl::OnEnded(const QString& reason) {
  switch (phase_) {
    case Phase::Connecting:
      FailAttempt(reason);
      break;
    case Phase::Established:
      // The socket stays until the next Connect() or Close(): bytes it still
      // holds can be read.
      phase_ = Phase::Idle;
      Raise([text = reason.toStdString()](TcpEvents& e) { e.Winsock1Data_Dropped(text); });
      break;
    case Phase::Idle:
      break;
  }
}

void QtTcpControl::OnConnectTimeout() {
  if (phase_ == Phase::Connecting)
    FailAttempt(QStringLiteral("Connection timed out: no answer within %1 s").arg(connectTimer_.interval() / 1000.0));
}

void QtTcpControl::FailAttempt(const QString& reason) {
  DropSocket();
  Raise([text = reason.toStdString()](TcpEvents& e) { e.Winsock1Data_ConnectFailed(text); });
}

void QtTcpControl::DropSocket() {
  connectTimer_.stop();
  phase_ = Phase::Idle;
  ++generation_;
  readQueued_ = false;
  QTcpSocket* old = std::exchange(socket_, nullptr);
  if (old == nullptr) return;
  old->disconnect(this);
  if (old->state() == QAbstractSocket::ConnectedState) {
    // A graceful close: what was sent still reaches the board.
    connect(old, &QTcpSocket::disconnected, old, &QObject::deleteLater);
    old->disconnectFromHost();
  } else {
    old->abort();
    old->deleteLater();
  }
}

}  // namespace qrb
