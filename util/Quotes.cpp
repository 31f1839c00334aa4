#include "util/Quotes.h"

#include "util/Currency.h"

namespace quorvane {

std::string PairTitle(const std::string& from, const std::string& to) {
    if (from.empty() || to.empty())
        return "未設定";
    return from + "/" + to;
}

void SetPair(TQuote& q, const std::string& from, const std::string& to) {
    q.From = from;
    q.To = to;
    q.Title = PairTitle(from, to);
    q.FromCur = static_cast<std::uint8_t>(CurrencyFromCode(from));
    q.ToCur = static_cast<std::uint8_t>(CurrencyFromCode(to));
}

int EnabledCount(const QuoteTable& table) {
    int n = 0;
    for (const auto& q : table)
        n += q.Enable ? 1 : 0;
    return n;
}

} // namespace quorvane
