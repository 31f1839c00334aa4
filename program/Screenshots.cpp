// Draws the windows with sample settings into PNG files: quorvane-screenshots OUTPUT_FOLDER.
// Each entry of Shots prepares one window and names its file; a new window needs one entry more.
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTabWidget>
#include <QTemporaryDir>

#include <QDateTime>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>

#include "alert/AlarmLog.h"
#include "app/Unit1.h"
#include "app/toolkit/Desktop.h"
#include "app/toolkit/Guard.h"
#include "dialogs/ChartWindow.h"
#include "dialogs/Unit2.h"
#include "dialogs/Unit3.h"
#include "dialogs/Unit5.h"

using namespace quorvane;

namespace {

// Three shown pairs; USD/JPY with absolute limits, EUR/JPY with a base and deviations.
const char* const SampleSettings =
    "[System]\r\nMUTE=0\r\nEnable=0\r\nINTERVAL=5\r\n\r\n"
    "[Currency0]\r\nFrom=USD\r\nTo=JPY\r\nEnable=1\r\nAH=152.5\r\nAL=148\r\n"
    "AL_ON=1\r\nAH_ON=1\r\nMAIL_H_SW=1\r\nSOUND_H=1\r\nSOUND_L=2\r\n\r\n"
    "[Currency1]\r\nFrom=EUR\r\nTo=JPY\r\nEnable=1\r\nALTYPE=1\r\nBASE=162\r\n"
    "DH=1.5\r\nDL=3\r\nAPP_L_SW=1\r\nAPP_L_ON=1\r\n\r\n"
    "[Currency2]\r\nFrom=EUR\r\nTo=USD\r\nEnable=1\r\n\r\n"
    "[Sound]\r\nCount=2\r\nName1=チャイム\r\nPath1=/usr/share/sounds/chime.wav\r\n"
    "Name2=ブザー\r\nPath2=/usr/share/sounds/buzzer.wav\r\n\r\n"
    "[Application]\r\nCount=1\r\nName1=記録\r\nPath1=/usr/bin/true\r\n\r\n"
    "[Mail]\r\nSMTP_SERVER=smtp.example.jp\r\nSMTP_PORT=587\r\nSMTP_USER_ID=taro\r\nSMTP_AUTHTYPE=1\r\n"
    "POP_PORT=110\r\nFrom=alarm@example.jp\r\nTo=taro@example.jp\r\n\r\n";

struct Windows {
    TForm1& form1;
    TForm2& form2;
    TForm3& form3;
    TForm5& form5;
    TChartWindow& chart;
};

// Three months of USD/JPY: the daily ECB rates, then two days of 5-minute points, and one alarm.
void WriteSampleHistory(history::HistoryStore& store, const std::string& alarmLog, std::int64_t now) {
    std::vector<history::RatePoint> points;
    for (int day = 90; day >= 2; --day)
        points.push_back({USD, JPY, now - day * 86400, 149 + 2.5 * std::sin(day / 9.0) + day * 0.01,
                          history::PointSource::EcbDaily});
    for (std::int64_t at = now - 2 * 86400; at <= now; at += 300)
        points.push_back({USD, JPY, at, 150.2 + 1.2 * std::sin(static_cast<double>(now - at) / 20000.0),
                          history::PointSource::Service});
    store.Append(points);
    const auto when = std::chrono::system_clock::time_point(std::chrono::seconds(now - 30 * 3600));
    std::ofstream(alarmLog) << FormatAlarmLogLine({AlarmLogTime(when), 1, "USD/JPY", true, true, 152.55,
                                                   "played", "sent", "off", "sent"})
                            << '\n';
}

QWidget* OpenSettings(Windows& w, int tab) {
    w.form1.ShowConfig(0);
    w.form2.findChild<QTabWidget*>(QStringLiteral("PC_1"))->setCurrentIndex(tab);
    return &w.form2;
}

void OpenAlarmDialog(Windows& w, int slot) {
    w.form3.SetValue(slot, Quotes[slot].Title, Alerts[slot].ALEnable,
                     FormatRate(LatestRate(w.form1.Histories()[slot])));
    w.form3.ShowModeless();
}

struct Shot {
    const char* file;
    std::function<QWidget*(Windows&)> prepare; // returns the window to draw
};

const Shot Shots[] = {
    {"main-window.png", [](Windows& w) -> QWidget* { return &w.form1; }},
    {"alarm-absolute.png",
     [](Windows& w) -> QWidget* {
         OpenAlarmDialog(w, 0);
         return &w.form3;
     }},
    {"alarm-deviation.png",
     [](Windows& w) -> QWidget* {
         OpenAlarmDialog(w, 1);
         return &w.form3;
     }},
    {"settings-watch.png", [](Windows& w) { return OpenSettings(w, 0); }},
    {"settings-sound.png", [](Windows& w) { return OpenSettings(w, 1); }},
    {"settings-mail-server.png", [](Windows& w) { return OpenSettings(w, 2); }},
    {"settings-mail-account.png", [](Windows& w) { return OpenSettings(w, 3); }},
    {"settings-app.png", [](Windows& w) { return OpenSettings(w, 4); }},
    {"chart.png",
     [](Windows& w) -> QWidget* {
         w.chart.Load(0, ChartSpan::Quarter, QDateTime::currentSecsSinceEpoch());
         w.chart.show();
         return &w.chart;
     }},
    {"pair-dialog.png",
     [](Windows& w) -> QWidget* {
         w.form5.ShowModeless();
         return &w.form5;
     }},
};

} // namespace

int main(int argc, char** argv) {
    TApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: quorvane-screenshots OUTPUT_FOLDER\n");
        return 2;
    }
    TApplication::setApplicationName(QStringLiteral("Quorvane"));
    ApplyProgramFont(app);
    const QDir out(QString::fromLocal8Bit(argv[1]));
    QTemporaryDir settingsDir;
    const QString settings = settingsDir.filePath(QStringLiteral("quorvane.ini"));
    QFile file(settings);
    if (!settingsDir.isValid() || !file.open(QIODevice::WriteOnly) || file.write(SampleSettings) < 0) {
        std::fprintf(stderr, "quorvane-screenshots: cannot write the sample settings\n");
        return 1;
    }
    file.close();

    TForm1 form1(settings.toStdString());
    if (form1.Refused())
        return 1;
    TForm2 form2(&form1);
    TForm3 form3(&form1);
    TForm5 form5(&form1);
    form1.SetDialogs(&form2, &form3, &form5);
    form1.show();
    for (const auto& [slot, rates] :
         {std::pair{0, std::pair{150.1, 152.734}}, std::pair{1, std::pair{162.9, 162.41}},
          std::pair{2, std::pair{1.0832, 1.0851}}}) {
        form1.SetRate(slot, rates.first);
        form1.SetRate(slot, rates.second);
    }
    // The third rate as an ECB rate of three days before, to show the mark of an old rate.
    {
        form1.MonitorQuotes() = Quotes; // the monitor takes the slots at its first cycle
        const CycleRequest third{{2}, {{EUR, USD}}};
        SlotUpdate shown;
        shown.slot = 2;
        const std::int64_t asOf = QDateTime::currentSecsSinceEpoch() - 3 * 86400;
        const std::vector<RateInfo> info{{{EUR, USD}, 1.0851, "ecb", asOf, ""}};
        form1.MonitorCore().ApplyInfo(third, {shown}, ServiceResult<std::vector<RateInfo>>(info));
        form1.ShowAges();
    }

    const std::int64_t now = QDateTime::currentSecsSinceEpoch();
    history::HistoryStore store(settingsDir.filePath(QStringLiteral("history.sqlite")).toStdString(), {}, {},
                                now);
    const std::string alarmLog = settingsDir.filePath(QStringLiteral("alarms.log")).toStdString();
    WriteSampleHistory(store, alarmLog, now);
    TChartWindow chart(&form1, store, alarmLog);

    Windows windows{form1, form2, form3, form5, chart};
    int failed = 0;
    for (const Shot& shot : Shots) {
        for (QWidget* dialog : std::initializer_list<QWidget*>{&form2, &form3, &form5, &chart})
            dialog->hide();
        QWidget* window = shot.prepare(windows);
        window->raise();
        TApplication::processEvents();
        const QString path = out.filePath(QString::fromLatin1(shot.file));
        if (!window->grab().save(path)) {
            std::fprintf(stderr, "quorvane-screenshots: cannot write %s\n", qPrintable(path));
            ++failed;
        } else {
            std::printf("%s\n", qPrintable(path));
        }
    }
    return failed ? 1 : 0;
}
