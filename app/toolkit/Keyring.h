// Keyring: the desktop's Secret Service (GNOME Keyring, KWallet) as the program's password store.
#pragma once

#include <chrono>

#include "util/PasswordStore.h"

namespace quorvane {

// Each call runs a local event loop until the keyring answers or the bound passes. A keyring that does not
// answer within the bound counts as none for the rest of the run: every later call answers Unavailable at
// once, so it never adds another wait.
class Keyring : public PasswordStore {
public:
    explicit Keyring(std::chrono::milliseconds bound = std::chrono::seconds(2)) : bound_(bound) {}
    SecretRead Read(const std::string& key) override;
    bool Write(const std::string& key, const std::string& secret) override;
    bool Remove(const std::string& key) override;

private:
    std::chrono::milliseconds bound_;
    bool gone_ = false;
};

} // namespace quorvane
