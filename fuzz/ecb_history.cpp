// The rate service's reader of the ECB's 90-day history, and the answer it serves from it.
#include <cmath>

#include "fuzz/Harness.h"
#include "rated/EcbHistory.h"

using namespace quorvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto history = rated::ParseEcbHistory(fuzz::Bytes(data, size));
    if (!history)
        return 0;
    fuzz::Require(!history.value().days.empty() && history.value().days.size() <= rated::MaxHistoryDays,
                  "a history holds 1 to MaxHistoryDays days");
    for (std::size_t i = 1; i < history.value().days.size(); ++i)
        fuzz::Require(history.value().days[i - 1].date < history.value().days[i].date,
                      "days are in order, once");
    const auto answer = rated::AnswerHistoryRequest(&history.value(), "USD", "JPY");
    fuzz::Require(answer.status == 200 || answer.status == 404, "a known pair is answered or not covered");
    return 0;
}
