// Unit4: the hidden monitor window — owns the monitor timer and runs the fetch cycles.
#include "app/Unit4.h"

#include <climits>

#include <QTimer>

#include "app/LocalService.h"
#include "app/Unit1.h"
#include "mail/Mail.h"
#include "service/WebService.h"
#include "util/Util.h"

namespace quorvane {

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
    SetMailSessionEndedHandler([this] {
        if (!tickWaiting_)
            return;
        // After the send has returned, not inside it.
        QTimer::singleShot(0, this, [this] {
            if (!tickWaiting_ || MailSessionActive())
                return;
            tickWaiting_ = false;
            if (Timer1->Enabled())
                Timer1Timer();
        });
    });
    FormCreate();
}

TForm4::~TForm4() {
    SetMailSessionEndedHandler({});
    if (Form4 == this)
        Form4 = nullptr;
}

void TForm4::FormCreate() {
    // The main window, made before this one, has loaded the settings and with them SERVICE_URL.
    // Empty, it means the built-in local service, whose port QUORVANE_SERVICE_PORT may move.
    const std::string address =
        BasicData.ServiceURL.empty() ? LocalServiceDescription() : BasicData.ServiceURL;
    if (!InitRateService(address) && Form1)
        Form1->ShowErrorTitle(CommunicationError);
    hide();
}

void TForm4::RunCycle() {
    // A message box raised by an alarm action lets events in; a second cycle must not start inside the first.
    if (cycling_)
        return;
    cycling_ = true;
    Finally done([this] { cycling_ = false; });

    if (!Form1)
        return;
    Form1->ShowNormalTitle();
    Monitor& monitor = Form1->MonitorCore();
    const CycleRequest request = monitor.StartCycle();
    if (request.empty())
        return;
    // One round trip for all the slots; what the user sees still comes slot by slot, in slot order.
    Form1->LED_ON();
    const auto results = monitor.Fetch(request);
    const auto updates =
        monitor.FinishCycle(request, results, [](const SlotUpdate& u) { Form1->ShowUpdate(u); });
    // Each shown rate's source and time: one short request after the rates, none when nothing was shown.
    monitor.ApplyInfo(request, updates, monitor.FetchInfo(request, updates));
    Form1->ShowAges();
    // The answers after a failed one are dropped unseen; the lamp stays lit.
    for (const SlotUpdate& update : updates)
        if (update.outcome == SlotOutcome::Failed) {
            Form1->ShowErrorTitle(CommunicationError);
            Form1->ShowFailureReason(update.reason);
            return;
        }
    Form1->ShowFailureReason({});
    Form1->LED_OFF();
}

void TForm4::Timer1Timer() {
    // The test mail's step boxes let ticks in while its connection is open; an alarm mail of this tick
    // would need the same clients. The tick waits for the session's end.
    if (MailSessionActive()) {
        tickWaiting_ = true;
        return;
    }
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
        if (Form1)
            Form1->MonitorCore().ResetHistories();
        RunCycle();
    }
}

} // namespace quorvane
