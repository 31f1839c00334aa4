// TTimer: a period in milliseconds and an on/off switch, on top of QTimer.
#pragma once

#include <QObject>
#include <QTimer>

#include <functional>

namespace quorvane {

// Switching on from off, or setting a different period while on, starts a fresh full period; switching
// on while on or setting the same period changes nothing; a period of 0 never ticks. A tick that comes
// while the handler still runs (a message box inside it pumps events) is dropped.
class TTimer : public QObject {
    Q_OBJECT
public:
    explicit TTimer(QObject* parent = nullptr);

    int Interval() const { return interval_; }
    void SetInterval(int milliseconds);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool on);
    // Milliseconds until the next tick; -1 when no tick is due.
    int RemainingTime() const { return timer_.isActive() ? timer_.remainingTime() : -1; }

    std::function<void()> OnTimer;

private:
    void Restart();
    void Tick();

    QTimer timer_;
    int interval_ = 1000;
    bool enabled_ = false;
    bool running_ = false;
};

} // namespace quorvane
