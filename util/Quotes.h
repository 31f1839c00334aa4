// The eight currency-pair slots and their titles.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace quorvane {

inline constexpr int SlotCount = 8;

// One slot. FromCur/ToCur and Title always follow From/To (see MakeQuote); an unknown or empty code
// leaves its ordinal at 255, which is no Currency and is never sent.
struct TQuote {
    std::uint8_t FromCur = 0;
    std::uint8_t ToCur = 0;
    bool Enable = false;
    std::string From;
    std::string To;
    std::string Title;

    bool operator==(const TQuote&) const = default;
};

// Copies between the tables are whole-table copies by value.
using QuoteTable = std::array<TQuote, SlotCount>;

// "USD/JPY", or "未設定" when either code is empty.
std::string PairTitle(const std::string& from, const std::string& to);

// Sets the codes of q and derives its ordinals and title from them in the same step.
void SetPair(TQuote& q, const std::string& from, const std::string& to);

// Number of enabled slots in the table.
int EnabledCount(const QuoteTable& table);

} // namespace quorvane
