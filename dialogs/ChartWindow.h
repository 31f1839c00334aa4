// ChartWindow: one slot's rate history over a chosen span, with its alarm limits and transitions.
#pragma once

#include <QColor>
#include <QWidget>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "alert/Alert.h"
#include "app/toolkit/DialogLinks.h"
#include "history/HistoryStore.h"

class QComboBox;
class QChart;
class QChartView;
class QDateTimeAxis;
class QLineSeries;
class QScatterSeries;
class QValueAxis;

namespace quorvane {

enum class ChartSpan { Day, Week, Month, Quarter };

// How far back a span reaches, and the step its points are read at (0: every point).
std::int64_t SpanSeconds(ChartSpan span);
std::int64_t SpanStep(ChartSpan span);

struct LimitLine {
    double value = 0;
    QColor colour;
    std::string label;
};

// The lines the alarm dialog draws for a slot's alarm settings: the upper and lower limit, or the base with
// the limits its deviations make (a deviation of 0 or less draws none). None for equal absolute limits or
// an alarm type without limits.
std::vector<LimitLine> LimitLines(const TAlertConfig& alert);

struct AlarmMark {
    std::int64_t at = 0;
    double rate = 0;
    bool upper = true;
    bool on = true;
    std::string time; // as the log wrote it
};

// The transitions of the slot (0-based) with that pair title in the alarm log's lines at or after since;
// lines that cannot be read are left out.
std::vector<AlarmMark> AlarmMarks(const std::vector<std::string>& lines, int slot, const std::string& pair,
                                  std::int64_t since);

class TChartWindow : public QWidget, public ChartDialogLink {
    Q_OBJECT
public:
    // The slots come from mainWindow (none: every slot unnamed). store may be closed (an empty chart); it
    // outlives the window. alarmLog: the alarm log's path; empty, the one the program writes (AlarmLogPath)
    // at each load.
    TChartWindow(MainWindowLink* mainWindow, const history::HistoryStore& store, std::string alarmLog,
                 QWidget* parent = nullptr);

    // ChartDialogLink
    void ShowSlot(int slot) override;

    // Draws the slot's history over span as of now (seconds since 1970), without showing the window.
    void Load(int slot, ChartSpan span, std::int64_t now);
    // Appends the points of the shown pair that come after the last one drawn, while the window is visible.
    void AddPoints(std::span<const history::RatePoint> points);

    QLineSeries* RateSeries() const { return rates_; }
    QScatterSeries* MarkSeries() const { return marks_; }
    // The limit lines drawn, one series each, named by their label.
    std::vector<QLineSeries*> LimitSeries() const;
    QValueAxis* RateAxis() const { return rateAxis_; }

private:
    void Redraw();
    void SetTitle();
    void FitAxes();

    MainWindowLink* mainWindow_;
    const history::HistoryStore& store_;
    std::string alarmLog_;
    int slot_ = -1;
    Currency from_ = USD, to_ = JPY;
    std::string pair_;
    ChartSpan span_ = ChartSpan::Week;
    std::int64_t since_ = 0, until_ = 0;
    std::vector<AlarmMark> markData_;
    history::RatePoint last_{};
    bool hasLast_ = false;

    QComboBox* spanChoice_ = nullptr;
    QChartView* chartView_ = nullptr;
    QChart* chart_ = nullptr;
    QLineSeries* rates_ = nullptr;
    QScatterSeries* marks_ = nullptr;
    QDateTimeAxis* timeAxis_ = nullptr;
    QValueAxis* rateAxis_ = nullptr;
};

} // namespace quorvane
