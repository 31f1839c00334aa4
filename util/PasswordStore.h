// PasswordStore: where the mail passwords live when the desktop offers a keyring.
#pragma once

#include <string>
#include <string_view>

namespace quorvane {

// The service name every entry is filed under.
inline constexpr std::string_view PasswordServiceName = "Quorvane";

enum class SecretAnswer { Found, Missing, Unavailable };

struct SecretRead {
    SecretAnswer answer = SecretAnswer::Unavailable;
    std::string secret; // set when Found
};

// A secret store reached by key. Each call blocks at most for the store's own bound; a store that does not
// answer within it answers Unavailable. Implementations live where the desktop is reached (the window layer,
// or a child process for the tools); tests replace them.
class PasswordStore {
public:
    virtual ~PasswordStore() = default;
    virtual SecretRead Read(const std::string& key) = 0;
    // False when the store did not take the secret.
    virtual bool Write(const std::string& key, const std::string& secret) = 0;
    // False when the store did not answer; removing a missing entry succeeds.
    virtual bool Remove(const std::string& key) = 0;
};

// "SCHEME://USER@HOST:PORT", one entry per server and user.
std::string PasswordKey(std::string_view scheme, std::string_view user, std::string_view host, int port);

} // namespace quorvane
