// What the program's measuring programs share: a settings file with all eight slots shown, and message
// boxes that only report.
#pragma once

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

#include "util/Util.h"

namespace quorvane::bench {

inline double Ms(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

inline const char* const Pairs[8][2] = {{"USD", "JPY"}, {"EUR", "JPY"}, {"EUR", "USD"}, {"GBP", "JPY"},
                                        {"AUD", "JPY"}, {"CHF", "JPY"}, {"GBP", "USD"}, {"EUR", "GBP"}};

inline void WriteSettings(const std::string& path, const std::string& serviceUrl, int interval = 60) {
    std::ofstream out(path, std::ios::binary);
    out << "[System]\r\nINTERVAL=" << interval << "\r\nSERVICE_URL=" << serviceUrl << "\r\n\r\n";
    for (int i = 0; i < 8; ++i)
        out << "[Currency" << i << "]\r\nFrom=" << Pairs[i][0] << "\r\nTo=" << Pairs[i][1]
            << "\r\nEnable=1\r\n\r\n";
}

struct SilentBoxes : MessageBoxes {
    void Error(const std::string& text) override { std::fprintf(stderr, "error box: %s\n", text.c_str()); }
    void Info(const std::string& text) override { std::fprintf(stderr, "info box: %s\n", text.c_str()); }
};

} // namespace quorvane::bench
