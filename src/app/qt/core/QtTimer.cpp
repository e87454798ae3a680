#include "app/qt/core/QtTimer.h"

namespace qrb {

QtTimer::QtTimer(std::function<void()> onTick, QObject* parent)
    : QObject(parent), onTick_(std::move(onTick)) {
  timer_.setTimerType(Qt::PreciseTimer);
  timer_.setInterval(0);
  connect(&timer_, &QTimer::timeout, this, [this] {
    if (onTick_) onTick_();
  });
}

void QtTimer::SetEnabled(bool enabled) {
  if (enabled && timer_.isActive()) return;  // keeps the running period
  enabled_ = enabled;
  Apply();
}

void QtTimer::SetInterval(int milliseconds) {
  timer_.setInterval(milliseconds < 0 ? 0 : milliseconds);
  Apply();
}

void QtTimer::Apply() {
  if (enabled_ && timer_.interval() > 0) {
    timer_.start();  // (re)starts the period, as a new interval does
  } else {
    timer_.stop();
  }
}

}  // namespace qrb
