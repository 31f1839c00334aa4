// The ECB's 90-day history: read from the sample, served per pair, read back by the program's client.
#include <gtest/gtest.h>

#include "fakes/RatedService.h"
#include "rated/EcbHistory.h"
#include "service/DailyHistory.h"

using namespace quorvane;
using namespace quorvane::rated;

namespace {

const std::string HistorySample = std::string(QUORVANE_TEST_DATA) + "/rated/eurofxref-hist-sample.xml";

std::string Document(const std::string& days) {
    return "<gesmes:Envelope xmlns:gesmes='http://www.gesmes.org/xml/2002-08-01' "
           "xmlns='http://www.ecb.int/vocabulary/2002-08-01/eurofxref'><Cube>" +
           days + "</Cube></gesmes:Envelope>";
}

} // namespace

TEST(EcbHistory, ServedPerPairAndReadBackByTheClient) {
    test::RatedService service;
    ASSERT_TRUE(service.Ready());
    HistoryFeed history(HistorySample, "", {}, std::chrono::seconds(0));
    service.Server().ServeHistory(&history);
    const std::string endpoint =
        "http://127.0.0.1:" + std::to_string(service.Port()) + "/CurrencyConvertor.asmx";
    HttpTransport transport;

    auto early = FetchDailyHistory(transport, endpoint, USD, JPY);
    ASSERT_FALSE(early);
    EXPECT_EQ(early.error().httpStatus, 503);

    const auto loaded = history.Load(HistorySample);
    ASSERT_TRUE(loaded) << loaded.error().text;
    auto days = FetchDailyHistory(transport, endpoint, USD, JPY);
    ASSERT_TRUE(days) << Describe(days.error());
    // Newest first in the document, oldest first here; 2022-07-06 has no yen.
    const std::vector<DailyRate> expected = {
        {"2022-07-05", 135.29 / 0.9960}, {"2022-07-07", 136.67 / 1.0061}, {"2022-07-08", 138.05 / 1.0163}};
    EXPECT_EQ(days.value(), expected);

    auto unknown = FetchDailyHistory(transport, endpoint, USD, XAU);
    ASSERT_FALSE(unknown);
    EXPECT_EQ(unknown.error().httpStatus, 404);
    EXPECT_EQ(AnswerHistoryRequest(history.Current().get(), "USD", "NOPE").status, 400);
}

TEST(EcbHistory, RefusesDocumentsThatAreNotAHistory) {
    std::string tooMany;
    for (std::size_t i = 0; i <= MaxHistoryDays; ++i)
        tooMany += "<Cube time='2022-01-01'><Cube currency='USD' rate='1.1'/></Cube>";
    const struct {
        const char* name;
        std::string document;
    } cases[] = {
        {"no dated day", Document("<Cube currency='USD' rate='1.1'/>")},
        {"a bad rate", Document("<Cube time='2022-07-08'><Cube currency='USD' rate='-1'/></Cube>")},
        {"more days than a history", Document(tooMany)},
        {"an entity", "<!DOCTYPE x [<!ENTITY e 'x'>]>" + Document("<Cube time='&e;'/>")},
    };
    for (const auto& c : cases)
        EXPECT_FALSE(ParseEcbHistory(c.document)) << c.name;
}

TEST(DailyHistory, RefusesAnswersThatAreNotAHistory) {
    EXPECT_TRUE(ParseDailyHistory("date,rate\r\n2022-07-08,135.8\r\n"));
    std::string tooMany = "date,rate\n";
    for (std::size_t i = 0; i <= MaxDailyHistoryDays; ++i)
        tooMany += "2022-07-08,1.5\n";
    for (const std::string body :
         {"", "2022-07-08,135.8\n", "date,rate\n2022-7-08,135.8\n", "date,rate\n2022-07-08,-1\n",
          "date,rate\n2022-07-08,inf\n", "date,rate\n2022-07-08,1.5x\n", tooMany.c_str()})
        EXPECT_FALSE(ParseDailyHistory(body)) << body.substr(0, 40);
}
