#include "util/PasswordStore.h"

namespace quorvane {

std::string PasswordKey(std::string_view scheme, std::string_view user, std::string_view host, int port) {
    std::string key(scheme);
    key += "://";
    key += user;
    key += '@';
    key += host;
    key += ':';
    key += std::to_string(port);
    return key;
}

} // namespace quorvane
