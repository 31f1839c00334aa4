// Reading "host", "host:port", "[::1]:port" and "::1" as people type them on a command line.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quorvane {

struct HostPort {
    std::string host;        // without brackets
    std::optional<int> port; // absent when the text names none
};

// A bare IPv6 address ("::1") is a host without a port; with a port it must be in brackets. nullopt for
// an empty host, unbalanced brackets, text after "]" that is not ":port", or a port that is not a whole
// number from 0 to 65535.
std::optional<HostPort> ParseHostPort(std::string_view text);

} // namespace quorvane
