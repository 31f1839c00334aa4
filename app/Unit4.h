// Unit4: the hidden monitor window — owns the monitor timer and runs the fetch cycles.
#pragma once

#include <QWidget>

#include <cstdint>

#include "app/toolkit/Timer.h"

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

    void RunCycle();
    void ToggleMonitor();
    void Timer1Timer();

    TTimer* Timer1;

private:
    void FormCreate();
    bool cycling_ = false;
    bool tickWaiting_ = false; // a tick came during a mail session and runs once it has ended
};

extern TForm4* Form4;

} // namespace quorvane
