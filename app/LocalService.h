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
    ~LocalRateService();
    LocalRateService(const LocalRateService&) = delete;
    LocalRateService& operator=(const LocalRateService&) = delete;

    // Starts program --listen 127.0.0.1:port --source source, its standard error into logFile (empty: discarded), and waits
    // up to `wait` until it accepts connections. False, with the reason in Failure(), when it cannot start,
    // ends or does not answer in time; a service that does not answer is stopped.
    bool Start(const std::string& program, int port, const std::string& logFile, std::chrono::milliseconds wait,
               const std::string& source = "auto");

    // SIGTERM, then SIGKILL if it has not ended within six seconds; reaps it.
    void Stop();

    bool Running() const { return pid_ > 0; }
    const std::string& Failure() const { return failure_; }

private:
    pid_t pid_ = -1;
    std::string failure_;
};

// The service's --source for a RATE_SOURCE setting: "ecb", or "auto" for anything else.
std::string LocalServiceSource(const std::string& rateSource);

// When the settings name no service: uses the one answering at the local port, or starts quorvane-rated
// (found beside the program, or in the build tree) with rateSource into `service`, which is then the one
// RestartLocalService restarts. Tells standard error why a start failed; the first fetch then fails as any
// other.
void StartLocalServiceIfNeeded(LocalRateService& service, const std::string& serviceUrl,
                               const std::string& rateSource = "auto");

// Starts the service StartLocalServiceIfNeeded started again, with rateSource, and points the rate service
// proxy at it anew. Nothing when the program started none (another service answers). Blocks for the stop
// and the start.
void RestartLocalService(const std::string& rateSource);


} // namespace quorvane
