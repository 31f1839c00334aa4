#include "history/PointBlock.h"

#include <bit>

namespace quorvane::history {

namespace {

void PutVarint(std::string& out, std::uint64_t value) {
    while (value >= 0x80) {
        out.push_back(static_cast<char>((value & 0x7f) | 0x80));
        value >>= 7;
    }
    out.push_back(static_cast<char>(value));
}

bool GetVarint(std::string_view bytes, std::size_t& pos, std::uint64_t& value) {
    value = 0;
    for (int shift = 0; shift < 64 && pos < bytes.size(); shift += 7) {
        const auto byte = static_cast<std::uint8_t>(bytes[pos++]);
        value |= std::uint64_t{byte & 0x7fu} << shift;
        if (!(byte & 0x80))
            return true;
    }
    return false;
}

std::uint64_t SourceCode(PointSource source) {
    switch (source) {
    case PointSource::Service:
        return 0;
    case PointSource::Intraday:
        return 1;
    case PointSource::EcbDaily:
        return 2;
    case PointSource::Unknown:
        break;
    }
    return 3;
}

constexpr PointSource SourceOfCode[] = {PointSource::Service, PointSource::Intraday, PointSource::EcbDaily,
                                        PointSource::Unknown};

} // namespace

std::int64_t BlockStart(std::int64_t at) {
    const std::int64_t rest = at % BlockSeconds;
    return at - (rest < 0 ? rest + BlockSeconds : rest);
}

std::string EncodeBlock(std::int64_t start, std::span<const RatePoint> points) {
    std::string out;
    out.reserve(points.size() * 7);
    std::int64_t previousAt = start - 1;
    std::uint64_t previousBits = 0;
    for (const RatePoint& point : points) {
        PutVarint(out, static_cast<std::uint64_t>(point.at - previousAt - 1) * 4 + SourceCode(point.source));
        const auto bits = std::bit_cast<std::uint64_t>(point.rate);
        const auto delta = static_cast<std::int64_t>(bits - previousBits); // wraps on purpose
        PutVarint(out, (static_cast<std::uint64_t>(delta) << 1) ^ static_cast<std::uint64_t>(delta >> 63));
        previousAt = point.at;
        previousBits = bits;
    }
    return out;
}

std::optional<std::vector<RatePoint>> DecodeBlock(std::int64_t start, std::string_view bytes, Currency from,
                                                  Currency to) {
    if (bytes.size() > MaxBlockBytes || start < -MaxPointTime || start > MaxPointTime)
        return std::nullopt;
    std::vector<RatePoint> points;
    std::int64_t previousAt = start - 1;
    std::uint64_t previousBits = 0;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        std::uint64_t head = 0, zigzag = 0;
        if (!GetVarint(bytes, pos, head) || !GetVarint(bytes, pos, zigzag))
            return std::nullopt;
        // Checked before adding: a gap beyond the block cannot overflow the time.
        if (head / 4 >= static_cast<std::uint64_t>(start + BlockSeconds - previousAt - 1))
            return std::nullopt;
        const std::int64_t at = previousAt + 1 + static_cast<std::int64_t>(head / 4);
        const std::uint64_t delta = (zigzag >> 1) ^ (~(zigzag & 1) + 1);
        const std::uint64_t bits = previousBits + delta;
        points.push_back({from, to, at, std::bit_cast<double>(bits), SourceOfCode[head % 4]});
        previousAt = at;
        previousBits = bits;
    }
    return points;
}

} // namespace quorvane::history
