#include "ReplyWriter.h"

#include <algorithm>

namespace qrb::sim {

ReplyWriter::ReplyWriter(WriteFn write, int baud, QObject* parent)
    : QObject(parent), write_(std::move(write)), baud_(baud) {
  clock_.start();
  pump_.setSingleShot(true);
  pump_.setTimerType(Qt::PreciseTimer);
  connect(&pump_, &QTimer::timeout, this, &ReplyWriter::Pump);
}

void ReplyWriter::Queue(const BoardReply& reply) {
  qint64 readyAt = clock_.elapsed();
  if (!queue_.empty()) readyAt = std::max(readyAt, queue_.back().notBeforeMs);
  for (const ReplySegment& segment : reply.Segments) {
    readyAt += segment.DelayMs;
    queue_.push_back({QByteArray(reinterpret_cast<const char*>(segment.Bytes.data()),
                                 static_cast<qsizetype>(segment.Bytes.size())),
                      readyAt, false});
  }
  if (reply.DropLink) queue_.push_back({{}, readyAt, true});
  flooding_ = flooding_ || reply.Flood;
  for (const ReplySegment& segment : reply.Segments) queuedBytes_ += static_cast<qint64>(segment.Bytes.size());
  Pump();
  if (queuedBytes_ > MaxQueuedBytes) emit overflowed(queuedBytes_);
}

void ReplyWriter::Discard() {
  flooding_ = false;
  queue_.clear();
  queuedBytes_ = 0;
  pump_.stop();
  lineStartMs_ = -1;
}

qint64 ReplyWriter::Allowance() {
  const qint64 now = clock_.elapsed();
  if (lineStartMs_ < 0) {
    lineStartMs_ = now;
    lineSent_ = 0;
  }
  return (now - lineStartMs_) * baud_ / 10000 + 1 - lineSent_;
}

void ReplyWriter::Pump() {
  while (!queue_.empty()) {
    Pending& next = queue_.front();
    const qint64 now = clock_.elapsed();
    if (now < next.notBeforeMs) {
      lineStartMs_ = -1;  // pacing starts afresh after a pause
      pump_.start(static_cast<int>(next.notBeforeMs - now));
      return;
    }
    qint64 count = next.bytes.size();
    if (baud_ > 0 && count > 0) {
      count = std::min(count, Allowance());
      if (count <= 0) {
        pump_.start(1);
        return;
      }
    }
    const qint64 taken = count > 0 ? write_(next.bytes.left(count)) : 0;
    lineSent_ += taken;
    queuedBytes_ -= taken;
    next.bytes.remove(0, taken);
    if (taken < count) {  // the link is full; try again shortly
      pump_.start(2);
      return;
    }
    if (!next.bytes.isEmpty()) continue;
    const bool drop = next.dropAfter;
    queue_.pop_front();
    if (drop) {
      queue_.clear();
      queuedBytes_ = 0;
      emit dropRequested();
      return;
    }
  }
  lineStartMs_ = -1;
  if (flooding_) {
    constexpr qint64 EveryMs = 2;
    static const QByteArray zeros(FloodBytesPerMs * EveryMs, '\0');
    write_(zeros);
    pump_.start(EveryMs);
  }
}

}  // namespace qrb::sim
