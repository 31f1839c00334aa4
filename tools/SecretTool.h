// SecretTool: the desktop's Secret Service reached through the secret-tool program, for quorvanectl, which
// has no Qt event loop to run QtKeychain in. Entries are filed as the program files them.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "util/PasswordStore.h"

namespace quorvane {

// Each call runs secret-tool and waits at most bound for it (killed after); a run that does not end in
// time, cannot start, or reports an error answers Unavailable, and every later call answers so at once.
class SecretToolStore : public PasswordStore {
public:
    explicit SecretToolStore(std::chrono::milliseconds bound = std::chrono::seconds(2),
                             std::string program = "secret-tool")
        : bound_(bound), program_(std::move(program)) {}
    SecretRead Read(const std::string& key) override;
    bool Write(const std::string& key, const std::string& secret) override;
    bool Remove(const std::string& key) override;

private:
    struct Run {
        bool finished = false;
        int status = -1;
        std::string out, err;
    };
    Run Call(const std::vector<std::string>& args, const std::string& input);

    std::chrono::milliseconds bound_;
    std::string program_;
    bool gone_ = false;
};

} // namespace quorvane
