#include "program/Program.h"

#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <optional>
#include <sys/socket.h>
#include <unistd.h>

#include "alert/AlarmLog.h"
#include "alert/Alert.h"
#include "alert/Notification.h"
#include "app/AlarmMails.h"
#include "app/LocalService.h"
#include "app/ProgramHistory.h"
#include "app/Unit1.h"
#include "app/Unit4.h"
#include "app/Unit7.h"
#include "app/toolkit/Desktop.h"
#include "app/toolkit/Guard.h"
#include "app/toolkit/Keyring.h"
#include "app/toolkit/Notifications.h"
#include "dialogs/ChartWindow.h"
#include "dialogs/Unit2.h"
#include "dialogs/Unit3.h"
#include "dialogs/Unit5.h"
#include "mail/Mail.h"
#include "service/WebService.h"
#include "settings/MailPasswords.h"
#include "settings/Settings.h"
#include "util/ProgramPath.h"
#include "util/Util.h"

namespace quorvane {

namespace {
// Takes the desktop services out of the core again when the program ends, before they are destroyed.
struct InstalledServices {
    QtMessageBoxes boxes;
    QtSoundPlayer sounds;
    QtNotifier notifier;
    Keyring keyring;
    std::optional<AlarmMails> alarmMails;
    InstalledServices() {
        InstallMessageBoxes(&boxes);
        SetPasswordStore(&keyring);
        InstallSoundPlayer(&sounds);
        InstallNotifier(&notifier);
        OpenAlarmLog(DefaultAlarmLogPath());
        alarmMails.emplace();
    }
    ~InstalledServices() {
        alarmMails.reset(); // the mails still queued are logged before the log closes
        OpenAlarmLog({});
        InstallNotifier(nullptr);
        InstallSoundPlayer(nullptr);
        InstallMessageBoxes(nullptr);
        SetPasswordStore(nullptr);
    }
};
// SIGTERM and SIGINT close the main window the ordinary way, so that the settings are saved.
class StopSignals {
public:
    explicit StopSignals(QWidget& window) {
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds_) != 0)
            return;
        ::fcntl(fds_[1], F_SETFL, O_NONBLOCK);
        writeEnd_ = fds_[1];
        notifier_ = std::make_unique<QSocketNotifier>(fds_[0], QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, &window, [this, &window] {
            char c;
            (void)!::read(fds_[0], &c, 1);
            window.close();
        });
        struct sigaction sa {};
        sa.sa_handler = [](int) {
            const char c = 1;
            (void)!::write(writeEnd_, &c, 1);
        };
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        ::sigaction(SIGTERM, &sa, nullptr);
        ::sigaction(SIGINT, &sa, nullptr);
    }
    ~StopSignals() {
        ::signal(SIGTERM, SIG_DFL);
        ::signal(SIGINT, SIG_DFL);
        notifier_.reset();
        writeEnd_ = -1;
        for (int fd : fds_)
            if (fd >= 0)
                ::close(fd);
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

private:
    static inline volatile sig_atomic_t writeEnd_ = -1;
    int fds_[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> notifier_;
};

// An installed program's first start takes the shipped starter settings, so that rates show without a
// visit to the settings first.
void ProvideFirstSettings(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (fs::exists(path, ec))
        return;
    const fs::path starter = fs::path(ProgramPath()).parent_path() / "../share/quorvane/quorvane.ini";
    if (fs::is_regular_file(starter, ec))
        fs::copy_file(starter, path, ec);
}

} // namespace

int RunProgram(TApplication& app) {
    TApplication::setApplicationName(QStringLiteral("Quorvane"));
    ApplyProgramFont(app);
    InstalledServices services;

    const std::string settings = SettingsPath();
    ProvideFirstSettings(settings);
    TForm1 form1(settings);
    if (form1.Refused())
        return 1;
    // Before the monitor window makes the rate service proxy, which reads the local port's address.
    LocalRateService localService;
    StartLocalServiceIfNeeded(localService, BasicData.ServiceURL, BasicData.RateSource);
    form1.SetLocalService(&localService);
    TForm2 form2(&form1);
    form2.SetAlarmMailQueue(&services.alarmMails->Queue());
    TForm4 form4;
    TForm3 form3(&form1);
    TForm5 form5(&form1);
    TForm7 form7;
    form1.SetDialogs(&form2, &form3, &form5);
    form1.SetSplash(&form7);
    ProgramHistory rateHistory(form1.MonitorCore(), history::DefaultHistoryPath(),
                               FillEndpoint(BasicData.ServiceURL, LocalServiceDescription()));
    TChartWindow chart(&form1, rateHistory.Store(), {});
    rateHistory.SetFollower(
        [&chart](std::span<const history::RatePoint> points) { chart.AddPoints(points); });
    form1.SetChart(&chart);
    QObject::connect(&form1, &TForm1::Closed, &app, &TApplication::quit, Qt::QueuedConnection);
    StopSignals stopSignals(form1);
    form1.show();
    form1.activateWindow();
    const int code = TApplication::exec();
    // The proxy's kept-alive connection would hold the local service's stop for its idle time-out.
    RateService.reset();
    localService.Stop();
    return code;
}

} // namespace quorvane
