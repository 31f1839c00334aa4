// Unit4: the hidden monitor window — owns the monitor timer and runs the fetch cycles.
#include "app/Unit4.h"

#include <climits>

#include "app/Unit1.h"
#include "service/WebService.h"
#include "util/Util.h"

namespace quorvane {

QuoteTable MonitorQuotes;
std::int32_t CycleSlot = 0;
double CycleRate = 0;
TForm4* Form4 = nullptr;

namespace {

const char* const CommunicationError = "通信エラー";

// Runs a step on leaving a scope, also when an alarm action throws through it.
template <class F> class Finally {
public:
    explicit Finally(F f) : f_(std::move(f)) {}
    ~Finally() { f_(); }
    Finally(const Finally&) = delete;
    Finally& operator=(const Finally&) = delete;

private:
    F f_;
};

} // namespace

int MonitorPeriod(std::int32_t seconds) {
    if (seconds <= 0)
        return 0;
    if (seconds > INT_MAX / 1000)
        return INT_MAX;
    return seconds * 1000;
}

TForm4::TForm4(QWidget* parent) : QWidget(parent), Timer1(new TTimer(this)) {
    setObjectName(QStringLiteral("Form4"));
    Form4 = this;
    Timer1->OnTimer = [this] { Timer1Timer(); };
    FormCreate();
}

TForm4::~TForm4() {
    if (Form4 == this)
        Form4 = nullptr;
}

void TForm4::FormCreate() {
    // The main window, made before this one, has loaded the settings and with them SERVICE_URL.
    if (!InitRateService(BasicData.ServiceURL) && Form1)
        Form1->ShowErrorTitle(CommunicationError);
    hide();
}

void TForm4::RunCycle() {
    // A message box raised by an alarm action lets events in; a second cycle must not start inside the first.
    if (cycling_)
        return;
    cycling_ = true;
    Finally done([this] { cycling_ = false; });

    if (Form1)
        Form1->ShowNormalTitle();
    for (int slot = 0; slot < SlotCount; ++slot) {
        const TQuote q = MonitorQuotes[slot];
        if (!q.Enable || q.From.empty() || q.To.empty())
            continue;
        CycleSlot = slot;
        if (Form1)
            Form1->LED_ON();
        CycleRate = GetConversionRate(static_cast<Currency>(q.FromCur), static_cast<Currency>(q.ToCur));
        if (!(CycleRate > 0)) {
            if (Form1)
                Form1->ShowErrorTitle(CommunicationError);
            return;
        }
        if (Form1) {
            Form1->SetRate(CycleSlot, CycleRate);
            Form1->LED_OFF();
        }
    }
}

void TForm4::Timer1Timer() {
    Timer1->SetInterval(MonitorPeriod(BasicData.Interval));
    Timer1->SetEnabled(false);
    // The timer comes back on even when an alarm action fails, or monitoring would stop while its box shows
    // on.
    Finally resume([this] { Timer1->SetEnabled(true); });
    RunCycle();
}

void TForm4::ToggleMonitor() {
    const bool wasOn = Timer1->Enabled();
    Finally toggle([this, wasOn] { Timer1->SetEnabled(!wasOn); });
    if (!wasOn) {
        ResetHistories();
        RunCycle();
    }
}

} // namespace quorvane
