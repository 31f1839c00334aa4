#include "app/toolkit/Timer.h"

#include "app/toolkit/Guard.h"

namespace quorvane {

TTimer::TTimer(QObject* parent) : QObject(parent) {
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &TTimer::Tick);
}

void TTimer::SetInterval(int milliseconds) {
    if (milliseconds < 0)
        milliseconds = 0;
    if (milliseconds == interval_)
        return;
    interval_ = milliseconds;
    if (enabled_)
        Restart();
}

void TTimer::SetEnabled(bool on) {
    if (on == enabled_)
        return;
    enabled_ = on;
    Restart();
}

void TTimer::Restart() {
    if (enabled_ && interval_ > 0)
        timer_.start(interval_);
    else
        timer_.stop();
}

void TTimer::Tick() {
    if (running_ || !OnTimer)
        return;
    running_ = true;
    RunGuarded(OnTimer);
    running_ = false;
}

} // namespace quorvane
