// How long the event loop stands still while the program waits on the network, measured by a zero-time
// timer that runs whenever the loop does:
//   (a) a cycle of eight slots whose service accepts the connections and never answers;
//   (b) an alarm mail to an SMTP server that accepts the connection and never answers.
// Each wait is bounded by the given time-out of ours; the goal is a longest stand-still under 50 ms.
// Usage: bench_blocking [time-out ms=2000]
#include <QCoreApplication>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "alert/Alert.h"
#include "app/AlarmMails.h"
#include "app/EventLoopWatch.h"
#include "app/Unit1.h"
#include "app/Unit4.h"
#include "app/toolkit/Guard.h"
#include "bench/app/BenchSettings.h"
#include "fakes/FakeHttpServer.h"
#include "fakes/SilentListener.h"
#include "mail/Mail.h"
#include "service/HttpTransport.h"
#include "service/WebService.h"

using namespace quorvane;
using namespace quorvane::bench;
using Clock = std::chrono::steady_clock;

namespace {

void Report(const char* what, Clock::duration took, const test::EventLoopWatch& watch) {
    std::printf("%-44s wait %8.1f ms  longest stand-still %8.1f ms  loop turns %d  %s\n", what, Ms(took),
                Ms(watch.Longest()), watch.Ticks(), Ms(watch.Longest()) < 50 ? "ok" : "OVER 50 ms");
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const auto timeout = std::chrono::milliseconds(argc > 1 ? std::max(100, std::atoi(argv[1])) : 2000);

    QTemporaryDir dir, runtime;
    qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
    const std::string settings = dir.filePath(QStringLiteral("quorvane.ini")).toStdString();
    TApplication app(argc, argv);
    SilentBoxes boxes;
    InstallMessageBoxes(&boxes);

    fakes::SilentListener silent;
    fakes::FakeHttpServer describer(fakes::FakeHttpServer::Connections::OneRequestEach);
    fakes::FakeResponse description;
    description.body = fakes::CurrencyConvertorDescription(
        "http://127.0.0.1:" + std::to_string(silent.Port()) + "/CurrencyConvertor.asmx");
    describer.Serve("GET", "/CurrencyConvertor.asmx", std::move(description));
    const std::string address = describer.Url("/CurrencyConvertor.asmx?wsdl");
    WriteSettings(settings, address);
    {
        TForm1 form1(settings);
        TForm4 form4;
        RateService = CreateCurrencyConvertorProxy(
            true, address, std::make_shared<HttpTransport>(HttpTimeouts{timeout, timeout}));
        form1.show();
        if (!QTest::qWaitForWindowExposed(&form1, 10000))
            std::fprintf(stderr, "the main window was never shown\n");
        test::EventLoopWatch watch;
        const auto began = Clock::now();
        form1.GetRate();
        Report("(a) cycle of 8, silent rate service", Clock::now() - began, watch);
        RateService.reset();
    }

    SetMailTimeout(timeout);
    SetSMTP(TSMTP{silent.Port(), "127.0.0.1", "", "", SmtpAuth::None, 0});
    SetMailAccount(TMailAccount{"alarm@example.com", "me@example.org", "", ""});
    InitMail();
    Alerts[0].MAIL_H_SW = true;
    {
        AlarmMails mails;
        test::EventLoopWatch watch;
        const auto began = Clock::now();
        // As a cycle does, on the window's thread, with the loop running around it; the loop turns until
        // the mail's outcome has come back (or a bound of ours).
        QEventLoop loop;
        QTimer::singleShot(0, [&loop] {
            SendAlertMail(0, true, false, true, 150.0, "USD/JPY",
                          [&loop](const std::string&) { loop.quit(); });
        });
        QTimer::singleShot(static_cast<int>(timeout.count() * 10), &loop, &QEventLoop::quit);
        loop.exec();
        Report("(b) alarm mail, silent SMTP server", Clock::now() - began, watch);
    }
    return 0;
}
