#include "rated/EcbHistory.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <filesystem>

#include "rated/RateSource.h"
#include "util/FileRead.h"
#include "util/UserFolders.h"
#include "util/Xml.h"

namespace quorvane::rated {

namespace {

constexpr std::string_view EcbNamespace = "http://www.ecb.int/vocabulary/2002-08-01/eurofxref";

bool IsCube(const xmlNode* node) {
    return xml::IsElement(node, EcbNamespace, "Cube");
}

std::string RateText(double rate) {
    char text[32];
    auto [end, ec] = std::to_chars(text, text + sizeof text, rate);
    return ec == std::errc() ? std::string(text, end) : std::string("0");
}

} // namespace

std::string LiveHistoryAddress() {
    const char* address = std::getenv("QUORVANE_ECB_HISTORY_URL");
    return address && *address ? address : EcbHistoryAddress;
}

std::string HistoryCacheFile() {
    return (std::filesystem::path(UserFolder(UserFolderKind::Cache)) / "eurofxref-hist-90d.xml").string();
}

Result<RateHistory> ParseEcbHistory(std::string_view document) {
    auto parsed = xml::Parse(document);
    if (!parsed.doc)
        return Error{"history: " + parsed.error};
    RateHistory history;
    const xmlNode* root = xmlDocGetRootElement(parsed.doc.get());
    for (const xmlNode* outer = xml::FirstElementChild(root); outer; outer = xml::NextElementSibling(outer)) {
        if (!IsCube(outer))
            continue;
        for (const xmlNode* day = xml::FirstElementChild(outer); day; day = xml::NextElementSibling(day)) {
            auto time = IsCube(day) ? xml::Attribute(day, "time") : std::nullopt;
            if (!time)
                continue;
            if (history.days.size() == MaxHistoryDays)
                return Error{"history: more than " + std::to_string(MaxHistoryDays) + " days"};
            auto rates = ReadDayCube(day, *time);
            if (!rates)
                return Error{"history: " + time->substr(0, 16) + ": " + rates.error().text};
            history.days.push_back(std::move(rates.value()));
        }
        break;
    }
    if (history.days.empty())
        return Error{"history: no dated Cube element of the euro reference rates"};
    std::stable_sort(history.days.begin(), history.days.end(),
                     [](const RateSet& a, const RateSet& b) { return a.date < b.date; });
    history.days.erase(std::unique(history.days.begin(), history.days.end(),
                                   [](const RateSet& a, const RateSet& b) { return a.date == b.date; }),
                       history.days.end());
    return history;
}

std::vector<DayRate> PairHistory(const RateHistory& history, Currency from, Currency to) {
    std::vector<DayRate> days;
    for (const RateSet& day : history.days)
        if (day.Covers(from) && day.Covers(to))
            days.push_back({day.date, CrossRate(day, from, to)});
    return days;
}

HistoryAnswer AnswerHistoryRequest(const RateHistory* history, std::string_view from, std::string_view to) {
    const int codes[2] = {CurrencyFromExternalName(from), CurrencyFromExternalName(to)};
    if (codes[0] < 0 || codes[1] < 0)
        return {400, "Expected /history?from=CODE&to=CODE with two currency codes of the service.\n"};
    if (!history)
        return {503, "The ECB's history has not been read yet.\n"};
    const auto days = PairHistory(*history, static_cast<Currency>(codes[0]), static_cast<Currency>(codes[1]));
    if (days.empty())
        return {404, "The ECB's history has no rates of this pair.\n"};
    HistoryAnswer answer{200, "date,rate\n"};
    for (const DayRate& day : days)
        answer.body += day.date + "," + RateText(day.rate) + "\n";
    return answer;
}

HistoryFeed::HistoryFeed(std::string source, std::string cacheFile, LogSink log, std::chrono::seconds refresh)
    : source_(std::move(source)), cacheFile_(std::move(cacheFile)), log_(PrintableLog(std::move(log))),
      refresh_(refresh) {}

HistoryFeed::~HistoryFeed() {
    StopRefreshing();
}

Result<int> HistoryFeed::Load(const std::string& source) {
    auto bytes = ReadRatesSource(source, &stopping_);
    auto history = bytes ? ParseEcbHistory(bytes.value()) : Result<RateHistory>(bytes.error());
    if (!history) {
        log_("warning: history from " + source + ": " + history.error().text);
        return history.error();
    }
    const int days = static_cast<int>(history.value().days.size());
    if (source != cacheFile_ && !cacheFile_.empty())
        KeepCopy(bytes.value());
    {
        std::lock_guard lock(mutex_);
        current_ = std::make_shared<const RateHistory>(std::move(history.value()));
    }
    log_("history: " + std::to_string(days) + " days from " + source);
    return days;
}

// Written beside and renamed over, so that a reader never sees half a copy.
void HistoryFeed::KeepCopy(const std::string& bytes) {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(cacheFile_).parent_path(), ec);
    if (ReplaceFileBytes(cacheFile_, bytes) != 0)
        log_("warning: cannot keep a copy of the history in " + cacheFile_);
}

void HistoryFeed::StartRefreshing() {
    if (refresher_.joinable())
        return;
    stopping_ = false;
    refresher_ = std::thread([this] {
        std::error_code ec;
        if (!cacheFile_.empty() && std::filesystem::exists(cacheFile_, ec))
            Load(cacheFile_);
        std::unique_lock lock(stopMutex_);
        do {
            lock.unlock();
            Load(source_);
            lock.lock();
        } while (refresh_.count() > 0 &&
                 !stopSignal_.wait_for(lock, refresh_, [this] { return stopping_.load(); }));
    });
}

void HistoryFeed::StopRefreshing() {
    {
        std::lock_guard lock(stopMutex_);
        stopping_ = true;
    }
    stopSignal_.notify_all();
    if (refresher_.joinable())
        refresher_.join();
}

std::shared_ptr<const RateHistory> HistoryFeed::Current() const {
    std::lock_guard lock(mutex_);
    return current_;
}

} // namespace quorvane::rated
