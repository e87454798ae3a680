// Sends the board's replies on one link: segment by segment after their
// delays, and paced at a baud rate when one is set (10 bit times per byte).
// With a baud rate the line is modelled both ways: the board answers a
// packet only once its last byte would have crossed the line.
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <deque>
#include <functional>

#include "BoardModel.h"

namespace qrb::sim {

class ReplyWriter : public QObject {
  Q_OBJECT

 public:
  // write hands bytes to the link and returns how many it took.
  using WriteFn = std::function<qint64(const QByteArray&)>;

  ReplyWriter(WriteFn write, int baud, QObject* parent = nullptr);

  // Bytes taken from the link: at a baud rate they are still arriving.
  void Received(qint64 count);
  void Queue(const BoardReply& reply);
  // Drops everything not yet sent (the link went down).
  void Discard();
  bool Idle() const { return queue_.empty(); }

 signals:
  // Everything queued before a reply that asked for it has been sent.
  void dropRequested();

 private:
  struct Pending {
    QByteArray bytes;
    qint64 notBeforeMs = 0;  // on clock_
    bool dropAfter = false;
  };
  void Pump();
  // How many bytes the line can take now under the baud pacing.
  qint64 Allowance();

  WriteFn write_;
  int baud_;
  std::deque<Pending> queue_;
  QElapsedTimer clock_;
  QTimer pump_;
  qint64 lineStartMs_ = -1;  // when the current burst of paced bytes began
  qint64 lineSent_ = 0;      // bytes sent in that burst
  double inputEndMs_ = 0;    // when the last byte received would have arrived
};

}  // namespace qrb::sim
