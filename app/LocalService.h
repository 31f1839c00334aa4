// LocalService: the built-in rate service (quorvane-rated), started for the program's run when none answers.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>

namespace quorvane {

// The port of the built-in service: QUORVANE_SERVICE_PORT when it names one, else DefaultServicePort.
int LocalServicePort();

// The description address of the built-in service, where an empty SERVICE_URL points.
std::string LocalServiceDescription();

// Whether something accepts connections on 127.0.0.1:port (a refused connect is immediate on loopback).
bool LocalPortAnswers(int port);

// One quorvane-rated started by this program and stopped with it (also when the program dies: the
// service gets SIGTERM as its parent goes).
class LocalRateService {
public:
    LocalRateService() = default;
    ~LocalRateService() { Stop(); }
    LocalRateService(const LocalRateService&) = delete;
    LocalRateService& operator=(const LocalRateService&) = delete;

    // Starts program --listen 127.0.0.1:port, its standard error into logFile (empty: discarded), and waits
    // up to `wait` until it accepts connections. False, with the reason in Failure(), when it cannot start,
    // ends or does not answer in time; a service that does not answer is stopped.
    bool Start(const std::string& program, int port, const std::string& logFile, std::chrono::milliseconds wait);

    // SIGTERM, then SIGKILL if it has not ended within six seconds; reaps it.
    void Stop();

    bool Running() const { return pid_ > 0; }
    const std::string& Failure() const { return failure_; }

private:
    pid_t pid_ = -1;
    std::string failure_;
};

// When the settings name no service: uses the one answering at the local port, or starts quorvane-rated
// (found beside the program, or in the build tree) into `service`. Tells standard error why a start failed;
// the first fetch then fails as any other.
void StartLocalServiceIfNeeded(LocalRateService& service, const std::string& serviceUrl);

// The running program's built-in service, so that emptying SERVICE_URL later works as it does at start-up;
// null where no service may be started (tests).
extern LocalRateService* ProgramLocalService;

} // namespace quorvane
