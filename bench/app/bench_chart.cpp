// Opening the chart's 3か月 view of one pair: the read from the store and the drawing, against 300 ms.
// The store holds what thinning leaves of 90 days at a 1 s interval: 7 days of 1 s points, then one point
// per 5 minutes. Usage: bench_chart [opens=10]
#include <QApplication>
#include <QLineSeries>
#include <QElapsedTimer>
#include <QPixmap>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "dialogs/ChartWindow.h"
#include "tests/fakes/SlotTableLink.h"

using namespace quorvane;

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int opens = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    QTemporaryDir folder;
    const std::int64_t now = 1'780'000'000;
    history::HistoryStore store(folder.filePath(QStringLiteral("h.sqlite")).toStdString(), {}, {}, now);
    std::vector<history::RatePoint> points;
    for (std::int64_t at = now - 90 * 86400; at < now; at += at < now - 7 * 86400 ? 300 : 1)
        points.push_back({USD, JPY, at, 150 + 3 * std::sin(static_cast<double>(at) / 86400.0),
                          history::PointSource::Service});
    if (!store.Append(points)) {
        std::fprintf(stderr, "bench_chart: the store could not be filled\n");
        return 1;
    }
    QuoteTable table;
    SetPair(table[0], "USD", "JPY");
    Alerts[0].ALTYPE = AlarmType::Deviation;
    Alerts[0].BASE = 150;
    Alerts[0].DH = Alerts[0].DL = 2;

    fakes::SlotTableLink mainWindow(table);
    TChartWindow window(&mainWindow, store, folder.filePath(QStringLiteral("alarms.log")).toStdString());
    window.show();
    std::vector<double> ms;
    for (int i = 0; i < opens; ++i) {
        QElapsedTimer timer;
        timer.start();
        window.Load(0, ChartSpan::Quarter, now + i); // a fresh read each time
        const QPixmap drawn = window.grab();
        ms.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
        if (drawn.isNull())
            return 1;
    }
    std::sort(ms.begin(), ms.end());
    std::printf(
        "chart 3-month open (read + draw): %zu stored points, %lld drawn; median %.1f ms, slowest %.1f "
        "ms; ratio to 300 ms: %.3f (median), %.3f (slowest)\n",
        points.size(), static_cast<long long>(window.RateSeries()->count()), ms[ms.size() / 2], ms.back(),
        ms[ms.size() / 2] / 300.0, ms.back() / 300.0);
    return 0;
}
