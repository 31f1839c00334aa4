// Unit4: the hidden monitor window — owns the monitor timer and runs the fetch cycles.
#include "app/Unit4.h"

#include <climits>

#include <QEventLoop>
#include <QTimer>

#include "app/LocalService.h"
#include "app/Unit1.h"
#include "mail/Mail.h"
#include "service/HttpTransport.h"
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
    CancelCycle();
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
    std::vector<ServiceResult<double>> results;
    RateInfoAnswer infos;
    if (!AwaitFetch(monitor, request, results, infos))
        return; // cancelled: the lamp says the cycle did not end
    const auto updates = monitor.FinishCycle(
        request, results, [](const SlotUpdate& u) { Form1->ShowUpdate(u); }, infos);
    monitor.ApplyInfo(request, updates, infos);
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

// The fetch runs on a worker thread while a local event loop keeps the window painting and answering;
// the callers go on as after a blocking fetch, so the cycle and its alarm checks stay one step on this
// thread. The wait ends when the worker has ended (bounded by the transport's total time-out), at
// CancelCycle, or when the program quits. False: nothing may be applied.
bool TForm4::AwaitFetch(const Monitor& monitor, const CycleRequest& request,
                        std::vector<ServiceResult<double>>& results, RateInfoAnswer& infos) {
    auto cancel = std::make_shared<std::atomic<bool>>(false);
    auto done = std::make_shared<std::atomic<bool>>(false);
    QEventLoop loop;
    cancel_ = cancel;
    waiting_ = &loop;
    worker_ = std::thread([&monitor, &request, &results, &infos, &loop, cancel, done] {
        SetThreadTransferCancel(cancel.get());
        results = monitor.Fetch(request);
        // Each shown rate's source and time: one short request after the rates, none when nothing will be
        // shown or the cycle is cancelled.
        if (!cancel->load())
            infos = monitor.FetchInfo(request, results);
        SetThreadTransferCancel(nullptr);
        done->store(true);
        // The loop outlives this thread; when the wait has already ended, the event goes with the loop.
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    if (!done->load())
        loop.exec();
    // Read before the flag is set here: a loop left for the program's end has no results to apply.
    const bool finished = done->load();
    const bool cancelled = cancel->exchange(true);
    if (worker_.joinable())
        worker_.join();
    waiting_ = nullptr;
    cancel_.reset();
    return finished && !cancelled;
}

void TForm4::CancelCycle() {
    if (!cancel_)
        return;
    cancel_->store(true);
    // Joined here, so that whatever the caller changes next (the service address) is not in use.
    if (worker_.joinable())
        worker_.join();
    if (waiting_)
        waiting_->quit();
}

void TForm4::StopMonitor() {
    // A cycle waiting now ends here, and neither it nor its tick turns the timer back on.
    ticking_ = starting_ = false;
    CancelCycle();
    Timer1->SetEnabled(false);
}

void TForm4::Timer1Timer() {
    // The test mail's step boxes let ticks in while its connection is open. The tick waits for the
    // session's end, so that its alarm mails go after the test mail.
    if (MailSessionActive()) {
        tickWaiting_ = true;
        return;
    }
    Timer1->SetInterval(MonitorPeriod(BasicData.Interval));
    Timer1->SetEnabled(false);
    // The timer comes back on even when an alarm action fails, or monitoring would stop while its box shows
    // on; but not when monitoring was switched off while the cycle waited.
    ticking_ = true;
    Finally resume([this] {
        if (ticking_)
            Timer1->SetEnabled(true);
        ticking_ = false;
    });
    RunCycle();
}

void TForm4::ToggleMonitor() {
    if (MonitoringOn()) {
        StopMonitor();
        return;
    }
    starting_ = true;
    Finally toggle([this] {
        if (starting_)
            Timer1->SetEnabled(true);
        starting_ = false;
    });
    if (Form1)
        Form1->MonitorCore().ResetHistories();
    RunCycle();
}

} // namespace quorvane
