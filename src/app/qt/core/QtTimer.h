// Timer1: a precise Qt timer that calls the tick handler on the UI thread.
#pragma once

#include <QObject>
#include <QTimer>
#include <functional>

#include "app/Controls.h"

namespace qrb {

class QtTimer : public QObject, public Timer {
  Q_OBJECT

 public:
  explicit QtTimer(std::function<void()> onTick, QObject* parent = nullptr);

  // Like a form's timer control, an enabled timer with interval 0 stays
  // silent until it is given an interval.
  void SetEnabled(bool enabled) override;
  bool Enabled() const override { return enabled_; }
  void SetInterval(int milliseconds) override;
  int Interval() const override { return timer_.interval(); }

 private:
  void Apply();

  std::function<void()> onTick_;
  QTimer timer_;
  bool enabled_ = false;
};

}  // namespace qrb
