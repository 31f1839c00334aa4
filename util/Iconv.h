// The one wrapper around iconv: a converter between two character sets, owned in RAII.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace quorvane {

class Iconv {
public:
    // Throws std::runtime_error when the system has no converter between the two charsets.
    Iconv(const std::string& to, const std::string& from);

    // All of text converted; nullopt at the first sequence that has no form in the target (or is no
    // sequence of the source charset).
    std::optional<std::string> Convert(std::string_view text) const;

    // Each sequence that cannot be converted becomes substitute (already in the target charset); how
    // many source bytes it spans is skip(rest of the input), at least one.
    using SkipRule = std::size_t (*)(std::string_view rest);
    std::string ConvertLossy(std::string_view text, std::string_view substitute, SkipRule skip) const;

    static std::size_t OneByte(std::string_view rest);
    static std::size_t Utf8Sequence(std::string_view rest); // the length its lead byte announces

private:
    bool Run(std::string_view text, std::string& out, std::string_view substitute, SkipRule skip) const;

    struct Closer {
        void operator()(void* cd) const;
    };
    std::unique_ptr<void, Closer> handle_;
};

} // namespace quorvane
