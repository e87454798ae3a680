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

  // A flood: 10 MB/s, as far as the link takes it.
  static constexpr qint64 FloodBytesPerMs = 10'000;
  // More bytes than this waiting to be sent: the reader is not reading.
  static constexpr qint64 MaxQueuedBytes = 256 * 1024;

  ReplyWriter(WriteFn write, int baud, QObject* parent = nullptr);

  // Bytes taken from the link: at a baud rate they are still arriving.
  void Received(qint64 count);
  void Queue(const BoardReply& reply);
  // Drops everything not yet sent (the link went down) and ends a flood.
  void Discard();

 signals:
  // Everything queued before a reply that asked for it has been sent.
  void dropRequested();
  // More than MaxQueuedBytes wait; the owner drops the link or discards them.
  void overflowed(qint64 queuedBytes);

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
  qint64 queuedBytes_ = 0;
  bool flooding_ = false;  // 0x00 at FloodBytesPerMs once the queue is out
  QElapsedTimer clock_;
  QTimer pump_;
  qint64 lineStartMs_ = -1;  // when the current burst of paced bytes began
  qint64 lineSent_ = 0;      // bytes sent in that burst
  double inputEndMs_ = 0;    // when the last byte received would have arrived
};

}  // namespace qrb::sim
