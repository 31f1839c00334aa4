// ProgramHistory: the program's rate history: the store, the monitor's recorder, and the daily rates
// filled in from the local rate service before a pair's first point.
#include "app/ProgramHistory.h"

#include <QDateTime>
#include <QMetaObject>

#include <cstdio>

#include "service/DailyHistory.h"
#include "service/HttpTransport.h"

namespace quorvane {

namespace {

void LogLine(const std::string& line) {
    std::fprintf(stderr, "quorvane: %s\n", line.c_str());
}

// The fill is a nicety: a service that does not answer soon is not waited for.
constexpr HttpTimeouts FillTimeouts{std::chrono::seconds(3), std::chrono::seconds(10)};

} // namespace

std::string FillEndpoint(const std::string& serviceUrl, const std::string& localDescription) {
    if (serviceUrl.empty())
        return localDescription;
    for (const char* local : {"http://127.0.0.1:", "http://localhost:", "http://[::1]:"})
        if (serviceUrl.rfind(local, 0) == 0)
            return serviceUrl;
    return {};
}

ProgramHistory::ProgramHistory(Monitor& monitor, const std::string& path, std::string fillEndpoint,
                               QObject* parent)
    : QObject(parent), monitor_(monitor), store_(path, LogLine, {}, QDateTime::currentSecsSinceEpoch()),
      recorder_(store_, LogLine), fillEndpoint_(std::move(fillEndpoint)) {
    setObjectName(QStringLiteral("ProgramHistory"));
    recorder_.SetRecorded([this](std::span<const history::RatePoint> points) { Recorded(points); });
    monitor_.SetRecorder(&recorder_);
}

ProgramHistory::~ProgramHistory() {
    monitor_.SetRecorder(nullptr);
    if (fill_.joinable())
        fill_.join();
}

void ProgramHistory::Recorded(std::span<const history::RatePoint> points) {
    if (follower_)
        follower_(points);
    if (fillEndpoint_.empty() || !store_.IsOpen())
        return;
    const std::int64_t now = QDateTime::currentSecsSinceEpoch();
    for (const history::RatePoint& p : points)
        if (asked_.insert({p.from, p.to}).second && recorder_.WantsFill(p.from, p.to, now))
            waiting_.push_back({p.from, p.to});
    if (!waiting_.empty() && !fill_.joinable())
        StartFill();
}

void ProgramHistory::StartFill() {
    // The GET runs beside the monitor; its answers are written here, on the store's own thread.
    fill_ = std::thread([this, pairs = std::exchange(waiting_, {}), endpoint = fillEndpoint_] {
        HttpTransport transport(FillTimeouts);
        for (const CurrencyPair& pair : pairs) {
            auto daily = FetchDailyHistory(transport, endpoint, pair.from, pair.to);
            QMetaObject::invokeMethod(
                this,
                [this, pair, daily = std::move(daily)] {
                    if (!daily) {
                        LogLine("no daily rates to fill the history of " +
                                std::string(CurrencyExternalName(pair.from)) + "/" +
                                std::string(CurrencyExternalName(pair.to)) + ": " + daily.error().message);
                        return;
                    }
                    recorder_.Fill(pair.from, pair.to, daily.value(), QDateTime::currentSecsSinceEpoch());
                },
                Qt::QueuedConnection);
        }
        QMetaObject::invokeMethod(
            this, [this] { FillDone(); }, Qt::QueuedConnection);
    });
}

void ProgramHistory::FillDone() {
    if (fill_.joinable())
        fill_.join();
    if (!waiting_.empty())
        StartFill();
}

} // namespace quorvane
