// The monitor cycle of eight slots against the cycle of one, as the program runs it (TForm1::GetRate):
//   delayed   a loopback service in this process that answers every request after a fixed delay; it
//             also reports from its own side how far apart the requests of one cycle arrived;
//   rated     quorvane-rated without delay, when its description address is given.
// Beside each, eight GetConversionRate calls one after the other: the fetches of a cycle that waited
// each for the one before it, without the windows. The three take turns, so all see the same load;
// the ratios are measured in this run. Goals: delayed eight/one at most 1.3; rated eight no slower than 1.9
// ms. Usage: bench_cycle [RATED_DESCRIPTION_URL|-] [cycles=30] [rated cycles=500] [delay ms=100]
// (bench/app/cycle.sh builds the release, starts quorvane-rated and passes its address.)
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/Unit1.h"
#include "app/Unit4.h"
#include "app/toolkit/Guard.h"
#include "bench/app/BenchSettings.h"
#include "fakes/FakeHttpServer.h"
#include "service/WebService.h"
#include "util/Util.h"

using namespace quorvane;
using namespace quorvane::bench;
using Clock = std::chrono::steady_clock;

namespace {

double Median(std::vector<double> v) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double Percentile90(std::vector<double> v) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() * 9 / 10];
}

// The delayed service: every POST is answered after delay; arrival and answer times are kept.
class DelayedService {
public:
    explicit DelayedService(std::chrono::milliseconds delay) : delay_(delay) {
        fakes::FakeResponse description;
        description.body = fakes::CurrencyConvertorDescription(server_.Url(Endpoint));
        server_.Serve("GET", Endpoint, std::move(description));
        server_.SetRecording(false);
        server_.Respond("POST", Endpoint, [this](const fakes::RecordedRequest&) {
            const auto arrived = Clock::now();
            std::this_thread::sleep_for(delay_);
            std::lock_guard lock(mutex_);
            arrivals_.push_back(arrived);
            answers_.push_back(Clock::now());
            fakes::FakeResponse answer;
            answer.body = fakes::RateResponse("101.5");
            return answer;
        });
    }
    std::string DescriptionAddress() const { return server_.Url(std::string(Endpoint) + "?wsdl"); }

    // From the first arrival to the last answer, and from the first arrival to the last, since Clear.
    struct Span {
        std::size_t requests = 0;
        double servedMs = 0, arrivalSpreadMs = 0;
    };
    Span Taken() const {
        std::lock_guard lock(mutex_);
        Span span;
        span.requests = arrivals_.size();
        if (!arrivals_.empty()) {
            const auto [first, last] = std::minmax_element(arrivals_.begin(), arrivals_.end());
            span.servedMs = Ms(*std::max_element(answers_.begin(), answers_.end()) - *first);
            span.arrivalSpreadMs = Ms(*last - *first);
        }
        return span;
    }
    void Clear() {
        std::lock_guard lock(mutex_);
        arrivals_.clear();
        answers_.clear();
    }

private:
    static constexpr const char* Endpoint = "/CurrencyConvertor.asmx";
    const std::chrono::milliseconds delay_;
    mutable std::mutex mutex_;
    std::vector<Clock::time_point> arrivals_, answers_;
    fakes::FakeHttpServer server_;
};

struct Figures {
    std::vector<double> eight, one, oneByOne;
    std::vector<double> servedEight, servedOne, spreadEight;
    bool failed = false;
};

// Cycles of eight and of one slot and eight single calls, taking turns, on the program's windows.
Figures MeasureCycles(const std::string& settings, int cycles, DelayedService* delayed) {
    Figures f;
    TForm1 form1(settings);
    TForm4 form4;
    form1.show();
    if (!QTest::qWaitForWindowExposed(&form1, 10000))
        std::fprintf(stderr, "the main window was never shown\n");
    const auto cycle = [&](int shown, std::vector<double>& ms, std::vector<double>* served,
                           std::vector<double>* spread) {
        for (int i = 0; i < 8; ++i)
            Quotes[i].Enable = i < shown;
        if (delayed)
            delayed->Clear();
        const auto began = Clock::now();
        form1.GetRate(); // copies Quotes into MonitorQuotes and runs the cycle
        ms.push_back(Ms(Clock::now() - began));
        if (form1.windowTitle() != QStringLiteral("Quorvane"))
            f.failed = true;
        if (delayed) {
            const auto span = delayed->Taken();
            if (span.requests != static_cast<std::size_t>(shown))
                f.failed = true;
            if (served)
                served->push_back(span.servedMs);
            if (spread)
                spread->push_back(span.arrivalSpreadMs);
        }
        QCoreApplication::processEvents(); // the window paints between cycles, as between ticks
    };
    std::vector<double> warmUp;
    cycle(8, warmUp, nullptr, nullptr); // description, and a connection per slot
    cycle(8, warmUp, nullptr, nullptr);
    const auto oneByOne = [&] {
        const auto began = Clock::now();
        for (int slot = 0; slot < 8; ++slot)
            if (!(GetConversionRate(static_cast<Currency>(Quotes[slot].FromCur),
                                    static_cast<Currency>(Quotes[slot].ToCur)) > 0))
                f.failed = true;
        f.oneByOne.push_back(Ms(Clock::now() - began));
    };
    for (int i = 0; i < cycles; ++i) {
        cycle(8, f.eight, &f.servedEight, &f.spreadEight);
        cycle(1, f.one, &f.servedOne, nullptr);
        oneByOne();
    }
    RateService.reset(); // the kept connections close before the service goes
    return f;
}

void Print(const char* against, const Figures& f, double goalRatio, double goalEightMs) {
    const double eight = Median(f.eight), one = Median(f.one);
    std::printf("%s: cycle of eight slots median %.2f ms (p90 %.2f), cycle of one %.2f ms (p90 %.2f); "
                "ratio %.3f over %zu rounds\n",
                against, eight, Percentile90(f.eight), one, Percentile90(f.one), eight / one, f.eight.size());
    std::printf("%s: eight GetConversionRate one after the other: median %.2f ms (ratio %.3f to the cycle "
                "of one)\n",
                against, Median(f.oneByOne), Median(f.oneByOne) / one);
    if (goalRatio > 0)
        std::printf("%s: goal ratio <= %.2f: %s\n", against, goalRatio,
                    eight / one <= goalRatio ? "met" : "MISSED");
    if (goalEightMs > 0)
        std::printf("%s: goal cycle of eight <= %.1f ms: %s\n", against, goalEightMs,
                    eight <= goalEightMs ? "met" : "MISSED");
    if (f.failed)
        std::printf("%s: SOME CYCLES FAILED\n", against);
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const std::string rated = argc > 1 && std::string(argv[1]) != "-" ? argv[1] : "";
    const int cycles = argc > 2 ? std::max(1, std::atoi(argv[2])) : 30;
    const int ratedCycles = argc > 3 ? std::max(1, std::atoi(argv[3])) : 500;
    const auto delay = std::chrono::milliseconds(argc > 4 ? std::max(1, std::atoi(argv[4])) : 100);

    QTemporaryDir dir, runtime;
    qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
    const std::string settings = dir.filePath(QStringLiteral("quorvane.ini")).toStdString();
    TApplication app(argc, argv);
    SilentBoxes boxes;
    InstallMessageBoxes(&boxes);
    int result = 0;
    {
        DelayedService service(delay);
        WriteSettings(settings, service.DescriptionAddress());
        const Figures f = MeasureCycles(settings, cycles, &service);
        const std::string name = "delayed " + std::to_string(delay.count()) + " ms";
        Print(name.c_str(), f, 1.3, 0);
        const double servedEight = Median(f.servedEight), servedOne = Median(f.servedOne);
        std::printf("%s, service's side: a cycle of eight served in %.2f ms (requests arrived within "
                    "%.2f ms, p90 %.2f), a cycle of one in %.2f ms; ratio %.3f\n",
                    name.c_str(), servedEight, Median(f.spreadEight), Percentile90(f.spreadEight), servedOne,
                    servedEight / servedOne);
        result |= f.failed || Median(f.eight) / Median(f.one) > 1.3;
    }
    if (!rated.empty()) {
        WriteSettings(settings, rated);
        const Figures f = MeasureCycles(settings, ratedCycles, nullptr);
        Print("quorvane-rated", f, 0, 1.9);
        result |= f.failed;
    }
    InstallMessageBoxes(nullptr);
    return result;
}
