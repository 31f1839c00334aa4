// A private session bus in a temporary folder, with GNOME Keyring's Secret Service unlocked on it (or with
// nothing on it), for tests that reach a real keyring. While it lives this process, and every child it
// starts, sees that bus as its session bus and the folder as its home, so the user's own keyring is never
// touched. The bus activates nothing: a service is there only when started here.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "fakes/ScopedEnv.h"
#include "fakes/TestFiles.h"

namespace quorvane::testing {

class SecretServiceSession {
public:
    enum class Service { Keyring, None };

    explicit SecretServiceSession(Service service = Service::Keyring);
    ~SecretServiceSession();
    SecretServiceSession(const SecretServiceSession&) = delete;
    SecretServiceSession& operator=(const SecretServiceSession&) = delete;

    // Empty when the bus (and the keyring asked for) is up; otherwise why not, for the test's skip.
    const std::string& Failure() const { return failure_; }
    const std::string& Address() const { return address_; }
    const std::filesystem::path& Folder() const { return folder_.path(); }

private:
    bool StartBus();
    bool StartKeyring();

    fakes::TempFolder folder_{"quorvane-keyring"};
    std::string address_;
    std::string failure_;
    pid_t bus_ = -1;
    pid_t keyring_ = -1;
    std::vector<std::unique_ptr<ScopedEnv>> env_;
};

} // namespace quorvane::testing
