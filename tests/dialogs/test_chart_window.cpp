#include <gtest/gtest.h>

#include <QLineSeries>
#include <QScatterSeries>
#include <QValueAxis>

#include <fstream>

#include "alert/AlarmLog.h"
#include "app/Unit1.h"
#include "dialogs/ChartWindow.h"
#include "fakes/SlotTableLink.h"
#include "fakes/TestFiles.h"

using namespace quorvane;
using history::HistoryStore;
using history::PointSource;
using history::RatePoint;

namespace {

constexpr std::int64_t Now = 1'780'000'000;
constexpr std::int64_t Hour = 3600;

struct Limit {
    double value;
    QColor colour;
    bool operator==(const Limit&) const = default;
};

class ChartWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        savedQuotes = Quotes;
        savedAlerts = Alerts;
        SetPair(Quotes[2], "USD", "JPY");
        Alerts[2] = {};
    }
    void TearDown() override {
        Quotes = savedQuotes;
        Alerts = savedAlerts;
    }
    std::vector<Limit> Limits() const {
        std::vector<Limit> limits;
        for (const QLineSeries* line : window.LimitSeries()) {
            const auto points = line->points();
            EXPECT_EQ(points.size(), 2);
            EXPECT_EQ(points.front().y(), points.back().y()) << "drawn across";
            EXPECT_EQ(points.front().x(), (Now - 7 * 86400) * 1000.0);
            EXPECT_EQ(points.back().x(), Now * 1000.0);
            limits.push_back({points.front().y(), line->pen().color()});
        }
        return limits;
    }

    QuoteTable savedQuotes;
    std::array<TAlertConfig, SlotCount> savedAlerts;
    fakes::TempFolder folder{"chart"};
    HistoryStore store{(folder.path() / "h.sqlite").string(), {}, {}, Now};
    std::string log = (folder.path() / "alarms.log").string();
    fakes::SlotTableLink mainWindow{Quotes};
    TChartWindow window{&mainWindow, store, log};
};

TEST_F(ChartWindowTest, TheLimitLinesFollowTheSlotsAlarmType) {
    const QColor red(255, 0, 0), blue(0, 0, 255), lime(0, 255, 0);
    struct Case {
        std::int32_t type;
        double ah, al, base, dh, dl;
        std::vector<Limit> expected;
    };
    const Case cases[] = {
        {0, 155, 145, 0, 0, 0, {{155, red}, {145, blue}}},
        {0, 150, 150, 0, 0, 0, {}}, // equal limits: the dialog draws none either
        {1, 0, 0, 150, 2.5, 1, {{150, lime}, {152.5, red}, {149, blue}}},
        {1, 0, 0, 150, 0, 3, {{150, lime}, {147, blue}}},
        {2, 155, 145, 150, 1, 1, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "type " << c.type << " ah " << c.ah << " dh " << c.dh);
        TAlertConfig& alert = Alerts[2];
        alert.ALTYPE = static_cast<AlarmType>(c.type);
        alert.AH = c.ah;
        alert.AL = c.al;
        alert.BASE = c.base;
        alert.DH = c.dh;
        alert.DL = c.dl;
        window.Load(2, ChartSpan::Week, Now);
        EXPECT_EQ(Limits(), c.expected);
    }
}

// The rate axis takes in a limit near the rates, and one far away does not flatten their line.
TEST_F(ChartWindowTest, TheRateAxisKeepsTheRatesReadable) {
    ASSERT_TRUE(store.Append(std::vector<RatePoint>{{USD, JPY, Now - 3 * Hour, 150, PointSource::Service},
                                                    {USD, JPY, Now - 2 * Hour, 152, PointSource::Service}}));
    TAlertConfig& alert = Alerts[2];
    alert.ALTYPE = AlarmType::Absolute;
    alert.AH = 153;
    alert.AL = 100;
    window.Load(2, ChartSpan::Week, Now);
    const QValueAxis* axis = window.RateAxis();
    EXPECT_GE(axis->max(), 153) << "the near upper limit is in view";
    EXPECT_GT(axis->min(), 140) << "the far lower limit left the rates " << axis->min() << " to "
                                << axis->max();
    EXPECT_LE(axis->min(), 150);
}

TEST_F(ChartWindowTest, TheSpansPointsTheSlotsTransitionsAndLivePoints) {
    ASSERT_TRUE(store.Append(
        std::vector<RatePoint>{{USD, JPY, Now - 8 * 86400, 140, PointSource::EcbDaily}, // before the week
                               {USD, JPY, Now - 3 * Hour, 150.25, PointSource::Service},
                               {USD, JPY, Now - 2 * Hour, 150.5, PointSource::Service},
                               {EUR, JPY, Now - 2 * Hour, 160, PointSource::Service}}));
    std::ofstream out(log);
    const auto time = [](std::int64_t at) {
        return AlarmLogTime(std::chrono::system_clock::time_point(std::chrono::seconds(at)));
    };
    const AlarmLogEntry on{
        time(Now - 2 * Hour), 3, "USD/JPY", true, true, 150.5, "none", "off", "off", "off"};
    AlarmLogEntry otherSlot = on, old = on;
    otherSlot.Slot = 4;
    old.Time = time(Now - 9 * 86400);
    for (const AlarmLogEntry& e : {on, otherSlot, old})
        out << FormatAlarmLogLine(e) << '\n';
    out.close();

    window.Load(2, ChartSpan::Week, Now);
    EXPECT_EQ(window.RateSeries()->points(),
              (QList<QPointF>{{(Now - 3 * Hour) * 1000.0, 150.25}, {(Now - 2 * Hour) * 1000.0, 150.5}}));
    EXPECT_EQ(window.MarkSeries()->points(), (QList<QPointF>{{(Now - 2 * Hour) * 1000.0, 150.5}}));
    EXPECT_TRUE(window.windowTitle().contains(QStringLiteral("150.5000")))
        << window.windowTitle().toStdString();

    // Only later points of the shown pair are appended.
    window.show();
    window.AddPoints(std::vector<RatePoint>{{USD, JPY, Now - 3 * Hour, 151, PointSource::Service},
                                            {EUR, JPY, Now + 10, 161, PointSource::Service},
                                            {USD, JPY, Now + 10, 150.75, PointSource::Intraday}});
    ASSERT_EQ(window.RateSeries()->count(), 3);
    EXPECT_EQ(window.RateSeries()->points().back(), QPointF((Now + 10) * 1000.0, 150.75));
    EXPECT_TRUE(window.windowTitle().contains(QStringLiteral("150.7500")))
        << window.windowTitle().toStdString();
}

} // namespace
