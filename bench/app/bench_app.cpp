// Measures the program against a local rate service:
//   start   a fresh process from exec to the main window shown (splash excluded);
//   cycle   one monitor cycle of eight slots over loopback;
//   idle    CPU time used while monitoring waits between ticks;
//   memory  resident memory over 3,600 cycles.
// Usage: bench_app PATH/TO/quorvane-rated [starts=20] [cycles=3600]
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "app/Unit1.h"
#include "app/Unit4.h"
#include "app/Unit7.h"
#include "app/toolkit/Controls.h"
#include "app/toolkit/Desktop.h"
#include "app/toolkit/Guard.h"
#include "bench/app/BenchSettings.h"
#include "util/Util.h"

extern char** environ;

using namespace quorvane;
using namespace quorvane::bench;

namespace {

// Milliseconds on the monotonic clock, comparable between processes.
double NowMs() {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double CpuMs() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return (ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) * 1e3 +
           (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e3;
}

long RssKb() {
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// The child of the start measurement: the program's start up to the main window being on screen.
int StartChild(int argc, char** argv, const std::string& settings) {
    TApplication app(argc, argv);
    ApplyProgramFont(app);
    QtMessageBoxes boxes;
    InstallMessageBoxes(&boxes);
    TForm1 form1(settings);
    TForm4 form4;
    TForm7 form7;
    form1.show();
    const bool exposed = QTest::qWaitForWindowExposed(&form1, 10000);
    std::printf("%.3f\n", NowMs());
    std::fflush(stdout);
    InstallMessageBoxes(nullptr);
    return exposed ? 0 : 1;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

std::vector<double> MeasureStarts(const char* self, const std::string& settings, int starts) {
    std::vector<double> ms;
    for (int i = 0; i < starts; ++i) {
        int out[2];
        if (pipe2(out, O_CLOEXEC) != 0)
            break;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        std::string mode = "--start-child", file = settings;
        char* args[] = {const_cast<char*>(self), mode.data(), file.data(), nullptr};
        const double began = NowMs();
        pid_t pid = 0;
        if (posix_spawn(&pid, self, &actions, nullptr, args, environ) != 0)
            break;
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        char buffer[64] = {};
        const ssize_t n = read(out[0], buffer, sizeof buffer - 1);
        close(out[0]);
        int status = 0;
        waitpid(pid, &status, 0);
        if (n > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0)
            ms.push_back(std::atof(buffer) - began);
    }
    return ms;
}

// Starts quorvane-rated --simulate on a free loopback port; returns its pid and the description address.
pid_t StartService(const char* rated, std::string& address) {
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, out[1], 2);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    std::string a1 = "--simulate", a2 = "--listen", a3 = "127.0.0.1:0";
    char* args[] = {const_cast<char*>(rated), a1.data(), a2.data(), a3.data(), nullptr};
    pid_t pid = -1;
    if (posix_spawn(&pid, rated, &actions, nullptr, args, environ) != 0)
        return -1;
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    std::string log;
    char c;
    const std::string marker = "listening on ";
    while (read(out[0], &c, 1) == 1) {
        log += c;
        const auto at = log.find(marker);
        if (c == '\n' && at != std::string::npos) {
            std::string url = log.substr(at + marker.size());
            url = url.substr(0, url.find_first_of(" \r\n"));
            address = url + "?wsdl";
            break;
        }
    }
    // Keep draining its log so that it never blocks on a full pipe.
    std::thread([fd = out[0]] {
        char c;
        while (read(fd, &c, 1) == 1) {
        }
        close(fd);
    }).detach();
    return address.empty() ? -1 : pid;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc == 3 && std::string(argv[1]) == "--start-child")
        return StartChild(argc, argv, argv[2]);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s PATH/TO/quorvane-rated [starts=20] [cycles=3600]\n", argv[0]);
        return 2;
    }
    const int starts = argc > 2 ? std::atoi(argv[2]) : 20;
    const int cycles = argc > 3 ? std::atoi(argv[3]) : 3600;

    QTemporaryDir dir;
    QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
    const std::string settings = dir.filePath(QStringLiteral("quorvane.ini")).toStdString();

    // Made first: without a display the program ends here, before any service has been started.
    TApplication app(argc, argv);
    ApplyProgramFont(app);

    std::string address;
    const pid_t service = StartService(argv[1], address);
    if (service <= 0) {
        std::fprintf(stderr, "could not start %s\n", argv[1]);
        return 1;
    }
    WriteSettings(settings, address, 60);

    const std::vector<double> startMs = MeasureStarts(argv[0], settings, starts);
    std::printf("start to main window shown: median %.1f ms, min %.1f ms over %zu starts (goal < 300 ms)\n",
                Median(startMs), startMs.empty() ? 0.0 : *std::min_element(startMs.begin(), startMs.end()),
                startMs.size());

    SilentBoxes boxes;
    InstallMessageBoxes(&boxes);
    int result = 0;
    {
        TForm1 form1(settings);
        TForm4 form4;
        form1.show();
        if (!QTest::qWaitForWindowExposed(&form1, 10000))
            std::fprintf(stderr, "the main window was never shown\n");
        form1.GetRate(); // the first cycle also fetches the service description
        if (form1.windowTitle() != QStringLiteral("Quorvane")) {
            std::fprintf(stderr, "the service did not answer: %s\n", qPrintable(form1.windowTitle()));
            result = 1;
        }

        std::vector<double> cycleMs;
        for (int i = 0; i < 200; ++i) {
            const double began = NowMs();
            form1.GetRate();
            cycleMs.push_back(NowMs() - began);
            QCoreApplication::processEvents(); // let the window paint between cycles, as between ticks
        }
        std::sort(cycleMs.begin(), cycleMs.end());
        std::printf(
            "cycle of eight slots: median %.2f ms, p90 %.2f ms, max %.2f ms over %zu cycles (goal < 10 ms)\n",
            Median(cycleMs), cycleMs[cycleMs.size() * 9 / 10], cycleMs.back(), cycleMs.size());

        // Idle: monitoring on with a long interval; the event loop waits for the next tick.
        FindControl<TCheckBox>(&form1, QStringLiteral("CB_START"))->setChecked(true);
        QTest::qWait(1000); // the switch-on's cycle and its repaint are not idle time
        const double cpuBefore = CpuMs(), wallBefore = NowMs();
        {
            // A plain event loop, as the program's own, rather than a polling wait.
            QEventLoop idle;
            QTimer::singleShot(5000, &idle, &QEventLoop::quit);
            idle.exec();
        }
        const double cpu = CpuMs() - cpuBefore, wall = NowMs() - wallBefore;
        std::printf("idle between ticks: %.2f ms CPU in %.0f ms (%.3f %% of one core)\n", cpu, wall,
                    100.0 * cpu / wall);
        FindControl<TCheckBox>(&form1, QStringLiteral("CB_START"))->setChecked(false);

        std::printf("resident memory over %d cycles (kB):", cycles);
        const long first = RssKb();
        long last = first;
        for (int i = 1; i <= cycles; ++i) {
            form1.GetRate();
            QCoreApplication::processEvents();
            if (i % (cycles / 6 > 0 ? cycles / 6 : 1) == 0) {
                last = RssKb();
                std::printf(" %ld", last);
            }
        }
        std::printf("\nresident memory: %.1f MB after warm-up, %.1f MB at the end, growth %+ld kB (goal < 80 "
                    "MB, flat)\n",
                    first / 1024.0, last / 1024.0, last - first);
        if (form1.windowTitle() != QStringLiteral("Quorvane"))
            result = 1;
    }
    InstallMessageBoxes(nullptr);
    kill(service, SIGTERM);
    waitpid(service, nullptr, 0);
    return result;
}
