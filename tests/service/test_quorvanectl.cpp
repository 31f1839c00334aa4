#include <charconv>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "fakes/FakeHttpServer.h"
#include "fakes/RunProgram.h"
#include "fakes/TestFiles.h"
#include "service/WebService.h"
#include "tools/Command.h"

using namespace quorvane;
using namespace quorvane::fakes;

namespace {

struct CommandRun {
    int code;
    std::string out;
    std::string err;
};

CommandRun RateCommand(std::vector<std::string> args) {
    std::ostringstream out;
    std::ostringstream err;
    const int code = ctl::RunRateCommand(args, out, err);
    RateService.reset();
    return {code, out.str(), err.str()};
}

double ReadBack(const std::string& text) {
    double value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

// Runs the installed-to-be binary; returns its exit status and standard output.
std::pair<int, std::string> RunBinary(const std::string& arguments) {
    return RunProgram(std::string(QUORVANECTL_PATH) + " " + arguments + " 2>/dev/null");
}

} // namespace

TEST(QuorvanectlRate, PrintsTheRateWithEveryDigitItNeeds) {
    FakeRateService service("0.30000000000000004");
    const CommandRun run = RateCommand({"usd", "JPY", "--wsdl", service.DescriptionUrl()});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out, "0.30000000000000004\n");
    EXPECT_EQ(ReadBack(run.out), 0.1 + 0.2);
    EXPECT_EQ(run.err, "");

    service.SetRate(" 151.25 ");
    const CommandRun second = RateCommand({"TRY_", "eur", "--wsdl=" + service.DescriptionUrl()});
    EXPECT_EQ(second.code, 0) << second.err;
    EXPECT_EQ(second.out, "151.25\n");
    const auto posts = service.Server().Requests("POST");
    ASSERT_EQ(posts.size(), 2u);
    EXPECT_NE(posts[1].body.find("<FromCurrency>TRY</FromCurrency><ToCurrency>EUR</ToCurrency>"),
              std::string::npos);
}

TEST(QuorvanectlRate, ExplainsEveryFailureOnStandardError) {
    FakeRateService service;
    service.Server().Script(
        "POST", "/CurrencyConvertor.asmx",
        {FakeResponse{500, "text/xml", FaultResponse("Currency not supported"), {}, false},
         FakeResponse{404, "text/xml", RateResponse("1"), {}, false},
         FakeResponse{200, "text/xml", "<soap:Envelope", {}, false}});
    const std::vector<std::string> pair = {"USD", "JPY", "--wsdl", service.DescriptionUrl()};
    for (const char* expected : {"Currency not supported", "404", "malformed"}) {
        const CommandRun run = RateCommand(pair);
        EXPECT_EQ(run.code, 1);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find(expected), std::string::npos) << run.err;
    }

    service.Server().ClearRequests();
    for (const char* code : {"XYZ", "TRY", ""}) {
        const CommandRun run = RateCommand({"USD", code, "--wsdl", service.DescriptionUrl()});
        EXPECT_EQ(run.code, 1);
        EXPECT_NE(run.err.find("unknown currency code \"" + std::string(code) + "\""), std::string::npos)
            << run.err;
    }
    EXPECT_TRUE(service.Server().Requests().empty()) << "unknown codes are refused before anything is sent";
}

TEST(QuorvanectlRate, ChecksItsArguments) {
    for (const std::vector<std::string>& args : {std::vector<std::string>{},
                                                 {"USD"},
                                                 {"USD", "JPY", "EUR"},
                                                 {"USD", "JPY", "--wsdl"},
                                                 {"USD", "JPY", "--x"}}) {
        const CommandRun run = RateCommand(args);
        EXPECT_EQ(run.code, 2);
        EXPECT_NE(run.err.find("usage: quorvanectl rate FROM TO"), std::string::npos);
    }
    const CommandRun help = RateCommand({"--help"});
    EXPECT_EQ(help.code, 0);
    EXPECT_NE(help.out.find("--wsdl ADDRESS"), std::string::npos);
}

TEST(QuorvanectlBinary, FetchesARateAndExplainsItself) {
    FakeRateService service("151.2345678901234");
    const auto [code, out] = RunBinary("rate USD JPY --wsdl '" + service.DescriptionUrl() + "'");
    EXPECT_EQ(code, 0);
    EXPECT_EQ(out, "151.2345678901234\n");

    const auto [helpCode, help] = RunBinary("--help");
    EXPECT_EQ(helpCode, 0);
    EXPECT_NE(help.find("rate FROM TO [--wsdl ADDRESS]"), std::string::npos);
    EXPECT_EQ(RunBinary("no-such-command").first, 2);
    EXPECT_EQ(RunBinary("").first, 2);
}

// The program's toolkit reads numbers with the user's decimal separator; quorvanectl must read the same
// file the same way, or "show" and "normalize" would report and write other values than the program.
TEST(QuorvanectlBinary, ReadsSettingsNumbersUnderTheUsersLocale) {
    TempFolder folder("quorvanectl");
    const std::string file = (folder.path() / "de.ini").string();
    WriteBytes(file, "[Currency0]\r\nAH=1,0537\r\n");
    const auto [code, out] =
        RunProgram("LC_ALL=de_DE.UTF-8 " + std::string(QUORVANECTL_PATH) + " settings show " + file);
    EXPECT_EQ(code, 0);
    EXPECT_NE(out.find("Currency0.AH=1.0537\n"), std::string::npos) << out;
}

TEST(QuorvanectlBinary, EveryCommandExplainsItselfOnStandardOutput) {
    for (const char* command : {"rate", "settings", "test-mail"}) {
        const auto [code, out] = RunBinary(std::string(command) + " --help");
        EXPECT_EQ(code, 0) << command;
        EXPECT_NE(out.find(std::string("usage: quorvanectl ") + command), std::string::npos) << out;
    }
}
