// Unit4: the hidden monitor window — owns the monitor timer and runs the fetch cycles.
#pragma once

#include <QWidget>

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include "app/toolkit/Timer.h"
#include "monitor/Monitor.h"

class QEventLoop;

namespace quorvane {

// The timer period for an interval in seconds. Intervals of 0 or less never tick; intervals beyond what
// a period can hold are held at the longest period.
int MonitorPeriod(std::int32_t seconds);

class TForm4 : public QWidget {
    Q_OBJECT
public:
    // Runs FormCreate: makes the rate service proxy; the window is never shown.
    explicit TForm4(QWidget* parent = nullptr);
    ~TForm4() override;

    // Runs one cycle; while its rates are fetched on a worker, the window goes on handling events.
    // Does nothing while a cycle runs.
    void RunCycle();
    void ToggleMonitor();
    void Timer1Timer();
    // Ends a cycle that waits for its rates at once: its transfers are aborted and nothing is applied.
    void CancelCycle();
    // Monitoring off, a waiting cycle cancelled.
    void StopMonitor();
    bool CycleRunning() const { return cycling_; }
    // On as the user switched it, also while a cycle holds the timer off.
    bool MonitoringOn() const { return Timer1->Enabled() || ticking_ || starting_; }

    TTimer* Timer1;

private:
    void FormCreate();
    bool AwaitFetch(const Monitor& monitor, const CycleRequest& request,
                    std::vector<ServiceResult<double>>& results, RateInfoAnswer& infos);
    bool cycling_ = false;
    bool ticking_ = false;  // a tick's cycle runs with the timer off
    bool starting_ = false; // the cycle of switching on runs
    std::shared_ptr<std::atomic<bool>> cancel_;
    QEventLoop* waiting_ = nullptr;
    std::thread worker_;
    bool tickWaiting_ = false; // a tick came during a mail session and runs once it has ended
};

extern TForm4* Form4;

} // namespace quorvane
