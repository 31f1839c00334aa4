// quorvanectl history: the stored rates of a pair for a spreadsheet or a script.
#include <ctime>
#include <memory>
#include <sstream>

#include <gtest/gtest.h>

#include "fakes/ScopedEnv.h"
#include "fakes/TestFiles.h"
#include "history/HistoryStore.h"
#include "tools/Command.h"

namespace quorvane {
namespace {

using history::PointSource;
using history::RatePoint;

struct CommandRun {
    int code;
    std::string out;
    std::string err;
};

CommandRun History(std::vector<std::string> args) {
    std::ostringstream out, err;
    const int code = ctl::RunHistoryCommand(args, out, err);
    return {code, out.str(), err.str()};
}

TEST(HistoryCommand, PrintsThePairInLocalTimeWithinTheDays) {
    auto zone = std::make_unique<testing::ScopedEnv>("TZ", "JST-9");
    tzset();
    fakes::TempFolder folder("history");
    const std::string path = (folder.path() / "history.sqlite").string();
    {
        history::HistoryStore store(path);
        const RatePoint points[] = {
            {USD, JPY, 1'796'774'400, 150.25, PointSource::Service}, // 2026-12-09T00:00:00Z
            {USD, JPY, 1'796'735'700, 149.5, PointSource::EcbDaily}, // 2026-12-08T13:15:00Z
            {USD, JPY, 1'796'860'800, 151.0, PointSource::Intraday}, // 2026-12-10T00:00:00Z
            {EUR, USD, 1'796'774'400, 1.05, PointSource::Service},
        };
        ASSERT_TRUE(store.Append(points));
    }
    const CommandRun run =
        History({"usd", "jpy", "--csv", "--file", path, "--since", "2026-12-08", "--until", "2026-12-09"});
    zone.reset();
    tzset();
    EXPECT_EQ(run.code, ctl::ExitSuccess) << run.err;
    EXPECT_EQ(run.out, "time,rate,source\n"
                       "2026-12-08 22:15:00,149.5,ecb-daily\n"
                       "2026-12-09 09:00:00,150.25,service\n");
}

TEST(HistoryCommand, LeavesAMissingOrUnreadableFileAsItIs) {
    fakes::TempFolder folder("history");
    const auto missing = folder.path() / "none.sqlite";
    EXPECT_EQ(History({"USD", "JPY", "--file", missing.string()}).code, ctl::ExitFailure);
    EXPECT_FALSE(std::filesystem::exists(missing));

    const auto garbage = folder.path() / "garbage.sqlite";
    fakes::WriteBytes(garbage, std::string(3000, 'x'));
    const CommandRun run = History({"USD", "JPY", "--file", garbage.string()});
    EXPECT_EQ(run.code, ctl::ExitFailure);
    EXPECT_FALSE(run.err.empty());
    EXPECT_EQ(folder.Names(), (std::vector<std::string>{"garbage.sqlite"}));
    EXPECT_EQ(fakes::ReadBytes(garbage), std::string(3000, 'x'));
}

} // namespace
} // namespace quorvane
