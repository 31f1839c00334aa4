// The longest time the event loop went without running a zero-time timer, while the watch lives.
#pragma once

#include <QTimer>

#include <algorithm>
#include <chrono>

namespace quorvane::test {

class EventLoopWatch {
public:
    EventLoopWatch() {
        timer_.setInterval(0);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const auto now = std::chrono::steady_clock::now();
            longest_ = std::max(longest_, now - last_);
            last_ = now;
            ++ticks_;
        });
        last_ = std::chrono::steady_clock::now();
        timer_.start();
    }
    std::chrono::steady_clock::duration Longest() const { return longest_; }
    int Ticks() const { return ticks_; }

private:
    QTimer timer_;
    std::chrono::steady_clock::time_point last_;
    std::chrono::steady_clock::duration longest_{};
    int ticks_ = 0;
};

} // namespace quorvane::test
