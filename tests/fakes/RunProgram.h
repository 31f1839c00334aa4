// Runs a shell command line for a test and collects what it wrote to standard output.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <string>
#include <utility>

namespace quorvane::fakes {

// The exit status of commandLine (-1 when it could not start or did not exit) and its standard output.
// Standard error goes where commandLine redirects it.
inline std::pair<int, std::string> RunProgram(const std::string& commandLine) {
    FILE* pipe = popen(commandLine.c_str(), "r");
    if (!pipe)
        return {-1, {}};
    std::string out;
    char buffer[4096];
    while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe))
        out.append(buffer, n);
    const int status = pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

} // namespace quorvane::fakes
