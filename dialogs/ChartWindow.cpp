// ChartWindow: one slot's rate history over a chosen span, with its alarm limits and transitions.
#include "dialogs/ChartWindow.h"

#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QCursor>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineSeries>
#include <QScatterSeries>
#include <QToolTip>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>
#include <chrono>
#include <cmath>

#include "alert/AlarmLog.h"
#include "app/toolkit/Controls.h"
#include "util/Util.h"

namespace quorvane {

namespace {

constexpr std::int64_t Day = 86400;
const QColor UpperColour(255, 0, 0); // as the alarm dialog draws its limits
const QColor LowerColour(0, 0, 255);
const QColor BaseColour(0, 255, 0);
const QColor RateColour(32, 32, 32);
const QColor MarkColour(255, 140, 0);

double Ms(std::int64_t seconds) {
    return static_cast<double>(seconds) * 1000.0;
}

std::string LocalTime(std::int64_t seconds) {
    return QDateTime::fromSecsSinceEpoch(seconds)
        .toString(QStringLiteral("yyyy/MM/dd HH:mm:ss"))
        .toStdString();
}

std::string MarkText(const AlarmMark& mark) {
    return mark.time + "  " + (mark.upper ? "上限" : "下限") + " " + (mark.on ? "ON" : "OFF") + "  " +
           FormatRate(mark.rate);
}

} // namespace

std::int64_t SpanSeconds(ChartSpan span) {
    switch (span) {
    case ChartSpan::Day:
        return Day;
    case ChartSpan::Week:
        return 7 * Day;
    case ChartSpan::Month:
        return 30 * Day;
    case ChartSpan::Quarter:
        return 90 * Day;
    }
    return Day;
}

std::int64_t SpanStep(ChartSpan span) {
    // A few thousand points fill the window's width; more only cost drawing time.
    switch (span) {
    case ChartSpan::Day:
        return 0;
    case ChartSpan::Week:
        return 60;
    case ChartSpan::Month:
    case ChartSpan::Quarter:
        return 300;
    }
    return 0;
}

std::vector<LimitLine> LimitLines(const TAlertConfig& alert) {
    if (alert.ALTYPE == AlarmType::Absolute) {
        if (alert.AH == alert.AL)
            return {};
        return {{alert.AH, UpperColour, "上限"}, {alert.AL, LowerColour, "下限"}};
    }
    if (alert.ALTYPE != AlarmType::Deviation)
        return {};
    std::vector<LimitLine> lines{{alert.BASE, BaseColour, "基準"}};
    if (alert.DH > 0)
        lines.push_back({alert.BASE + alert.DH, UpperColour, "偏差上限"});
    if (alert.DL > 0)
        lines.push_back({alert.BASE - alert.DL, LowerColour, "偏差下限"});
    return lines;
}

std::vector<AlarmMark> AlarmMarks(const std::vector<std::string>& lines, int slot, const std::string& pair,
                                  std::int64_t since) {
    std::vector<AlarmMark> marks;
    for (const std::string& line : lines) {
        const auto entry = ParseAlarmLogLine(line);
        if (!entry || entry->Slot != slot + 1 || entry->Pair != pair)
            continue;
        const auto at = ParseAlarmLogTime(entry->Time);
        if (!at || *at < since)
            continue;
        marks.push_back({*at, entry->Rate, entry->Upper, entry->On, entry->Time});
    }
    return marks;
}

TChartWindow::TChartWindow(MainWindowLink* mainWindow, const history::HistoryStore& store,
                           std::string alarmLog, QWidget* parent)
    : QWidget(parent, Qt::Window), mainWindow_(mainWindow), store_(store), alarmLog_(std::move(alarmLog)) {
    setObjectName(QStringLiteral("ChartWindow"));
    setAccessibleName(QStringLiteral("チャート"));
    setWindowTitle(QStringLiteral("チャート"));

    auto* spanLabel = new QLabel(QStringLiteral("期間(&S):"), this);
    spanLabel->setObjectName(QStringLiteral("LB_SPAN"));
    spanChoice_ = new QComboBox(this);
    spanChoice_->setObjectName(QStringLiteral("CB_SPAN"));
    spanChoice_->setAccessibleName(QStringLiteral("期間"));
    spanChoice_->addItems(
        {QStringLiteral("1日"), QStringLiteral("1週間"), QStringLiteral("1か月"), QStringLiteral("3か月")});
    spanChoice_->setCurrentIndex(static_cast<int>(span_));
    spanLabel->setBuddy(spanChoice_);

    chart_ = new QChart;
    chart_->legend()->setAlignment(Qt::AlignBottom);
    rates_ = new QLineSeries(chart_);
    rates_->setName(QStringLiteral("レート"));
    rates_->setColor(RateColour);
    marks_ = new QScatterSeries(chart_);
    marks_->setName(QStringLiteral("警報"));
    marks_->setColor(MarkColour);
    marks_->setMarkerSize(9);
    chart_->addSeries(rates_);
    chart_->addSeries(marks_);
    timeAxis_ = new QDateTimeAxis(chart_);
    timeAxis_->setTickCount(7);
    rateAxis_ = new QValueAxis(chart_);
    chart_->addAxis(timeAxis_, Qt::AlignBottom);
    chart_->addAxis(rateAxis_, Qt::AlignLeft);
    for (QAbstractSeries* s : std::initializer_list<QAbstractSeries*>{rates_, marks_}) {
        s->attachAxis(timeAxis_);
        s->attachAxis(rateAxis_);
    }
    chartView_ = new QChartView(chart_, this);
    chartView_->setObjectName(QStringLiteral("ChartView"));
    chartView_->setAccessibleName(QStringLiteral("レートのチャート"));
    chartView_->setRenderHint(QPainter::Antialiasing);

    auto* top = new QHBoxLayout;
    top->addWidget(spanLabel);
    top->addWidget(spanChoice_);
    top->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(chartView_);
    resize(760, 440);

    connect(spanChoice_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (slot_ >= 0)
            Load(slot_, static_cast<ChartSpan>(index), QDateTime::currentSecsSinceEpoch());
    });
    connect(marks_, &QScatterSeries::hovered, this, [this](const QPointF& point, bool state) {
        if (!state) {
            QToolTip::hideText();
            return;
        }
        const auto near =
            std::min_element(markData_.begin(), markData_.end(), [&](const auto& a, const auto& b) {
                return std::fabs(Ms(a.at) - point.x()) < std::fabs(Ms(b.at) - point.x());
            });
        if (near != markData_.end())
            QToolTip::showText(QCursor::pos(), Qs(MarkText(*near)), chartView_);
    });
}

void TChartWindow::ShowSlot(int slot) {
    Load(slot, span_, QDateTime::currentSecsSinceEpoch());
    show();
    raise();
    activateWindow();
}

void TChartWindow::Load(int slot, ChartSpan span, std::int64_t now) {
    slot_ = std::clamp(slot, 0, SlotCount - 1);
    span_ = span;
    if (spanChoice_->currentIndex() != static_cast<int>(span)) {
        const QSignalBlocker quiet(spanChoice_);
        spanChoice_->setCurrentIndex(static_cast<int>(span));
    }
    const TQuote quote = mainWindow_ ? mainWindow_->SlotTable()[static_cast<std::size_t>(slot_)] : TQuote{};
    pair_ = quote.Title;
    const bool named = IsCurrency(quote.FromCur) && IsCurrency(quote.ToCur);
    from_ = static_cast<Currency>(quote.FromCur);
    to_ = static_cast<Currency>(quote.ToCur);
    until_ = now;
    since_ = now - SpanSeconds(span);

    const std::vector<history::RatePoint> points =
        named ? store_.Read(from_, to_, since_, until_, SpanStep(span)) : std::vector<history::RatePoint>{};
    QList<QPointF> xy;
    xy.reserve(static_cast<qsizetype>(points.size()));
    for (const history::RatePoint& p : points)
        xy.append({Ms(p.at), p.rate});
    rates_->replace(xy);
    hasLast_ = !points.empty();
    if (hasLast_)
        last_ = points.back();
    markData_ =
        AlarmMarks(ReadAlarmLog(alarmLog_.empty() ? AlarmLogPath() : alarmLog_), slot_, pair_, since_);
    Redraw();
}

void TChartWindow::AddPoints(std::span<const history::RatePoint> points) {
    // A hidden window reads its points afresh when it is shown.
    if (slot_ < 0 || !isVisible())
        return;
    bool added = false;
    for (const history::RatePoint& p : points) {
        if (p.from != from_ || p.to != to_ || (hasLast_ && p.at <= last_.at))
            continue;
        rates_->append(Ms(p.at), p.rate);
        last_ = p;
        hasLast_ = added = true;
    }
    if (!added)
        return;
    until_ = std::max(until_, last_.at);
    since_ = until_ - SpanSeconds(span_);
    FitAxes();
    SetTitle();
}

std::vector<QLineSeries*> TChartWindow::LimitSeries() const {
    std::vector<QLineSeries*> lines;
    for (QAbstractSeries* s : chart_->series())
        if (s != rates_ && s != marks_)
            if (auto* line = qobject_cast<QLineSeries*>(s))
                lines.push_back(line);
    return lines;
}

void TChartWindow::Redraw() {
    for (QLineSeries* old : LimitSeries()) {
        chart_->removeSeries(old);
        delete old;
    }
    for (const LimitLine& limit : LimitLines(Alerts[static_cast<std::size_t>(slot_)])) {
        auto* line = new QLineSeries(chart_);
        line->setName(Qs(limit.label + " " + FormatRate(limit.value)));
        QPen pen(limit.colour);
        pen.setStyle(Qt::DashLine);
        pen.setWidth(2);
        line->setPen(pen);
        line->append(Ms(since_), limit.value);
        line->append(Ms(until_), limit.value);
        chart_->addSeries(line);
        line->attachAxis(timeAxis_);
        line->attachAxis(rateAxis_);
    }
    QList<QPointF> xy;
    for (const AlarmMark& mark : markData_)
        xy.append({Ms(mark.at), mark.rate});
    marks_->replace(xy);
    timeAxis_->setFormat(span_ == ChartSpan::Day    ? QStringLiteral("HH:mm")
                         : span_ == ChartSpan::Week ? QStringLiteral("MM/dd HH:mm")
                                                    : QStringLiteral("MM/dd"));
    FitAxes();
    SetTitle();
}

void TChartWindow::FitAxes() {
    timeAxis_->setRange(QDateTime::fromSecsSinceEpoch(since_), QDateTime::fromSecsSinceEpoch(until_));
    double low = INFINITY, high = -INFINITY;
    for (const QXYSeries* s : std::initializer_list<const QXYSeries*>{rates_, marks_})
        for (const QPointF& p : s->points()) {
            low = std::min(low, p.y());
            high = std::max(high, p.y());
        }
    // A limit far from the rates would flatten their line into nothing; one within the rates' own span
    // of them is taken in. The legend gives every limit's value either way.
    const bool anyRate = low <= high;
    const double reach = anyRate ? std::max(high - low, std::fabs(high) * 0.01) : INFINITY;
    const double rateLow = low, rateHigh = high;
    for (const QLineSeries* line : LimitSeries())
        for (const QPointF& p : line->points())
            if (!anyRate || (p.y() >= rateLow - reach && p.y() <= rateHigh + reach)) {
                low = std::min(low, p.y());
                high = std::max(high, p.y());
            }
    if (!(low <= high)) {
        low = 0;
        high = 1;
    }
    const double margin = std::max((high - low) * 0.05, std::fabs(high) * 1e-4 + 1e-9);
    rateAxis_->setRange(low - margin, high + margin);
    rateAxis_->applyNiceNumbers();
    rateAxis_->setLabelFormat(high < 10 ? QStringLiteral("%.4f") : QStringLiteral("%.2f"));
}

void TChartWindow::SetTitle() {
    std::string title = pair_ + " チャート";
    if (hasLast_)
        title = pair_ + "  " + FormatRate(last_.rate) + "（" + LocalTime(last_.at) + " 時点）— チャート";
    setWindowTitle(Qs(title));
}

} // namespace quorvane
