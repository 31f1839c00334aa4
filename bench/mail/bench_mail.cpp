// Message writer throughput on Japanese text, and one whole send to an SMTP server on loopback.
#include "fakes/FakeMailServer.h"
#include "mail/Iso2022Jp.h"
#include "mail/Mail.h"
#include "mail/MailMessage.h"
#include "util/Util.h"

#include <benchmark/benchmark.h>

namespace {

using namespace quorvane::mail;

MailMessage JapaneseMessage(std::size_t lines, std::size_t& bytes) {
    MailMessage m;
    m.Subject = "USD/JPY 上限アラーム 150.2500 ドル円の為替レートが設定値を超えました";
    m.From = {"alarm@example.com", "為替アラーム"};
    m.Recipients = {{"taro@example.org", "山田 太郎"}, {"hanako@example.org", "佐藤 花子"}};
    bytes = m.Subject.size();
    for (std::size_t i = 0; i < lines; ++i) {
        m.Body.push_back(i % 5 == 0 ? ".ﾄﾞﾙ円 ｶﾞｲﾄﾞ 150.25 を超えました。"
                                    : "為替レートの監視結果: 米ドル/日本円 = 150.2500（前回 149.9800）");
        bytes += m.Body.back().size();
    }
    return m;
}

void BM_WriteJapaneseMessage(benchmark::State& state) {
    std::size_t bytes = 0;
    const MailMessage message = JapaneseMessage(static_cast<std::size_t>(state.range(0)), bytes);
    const MessageWriter writer(MailLanguage::Japanese);
    for (auto _ : state)
        benchmark::DoNotOptimize(writer.WireLines(message));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}
BENCHMARK(BM_WriteJapaneseMessage)->Arg(10)->Arg(1000);

void BM_ShiftJisToIso2022Jp(benchmark::State& state) {
    std::string sjis;
    for (int i = 0; i < 2000; ++i)
        sjis +=
            "\x88\xd7\x91\xd6\x83\x8c\x81\x5b\x83\x67 USD/JPY \xb6\xde\xbf\xd8\xdd "; // 為替レート ... ｶﾞｿﾘﾝ
    for (auto _ : state)
        benchmark::DoNotOptimize(ShiftJisToIso2022Jp(sjis));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * sjis.size()));
}
BENCHMARK(BM_ShiftJisToIso2022Jp);

class SilentBoxes : public quorvane::MessageBoxes {
public:
    void Error(const std::string&) override {}
    void Info(const std::string&) override {}
};

// The whole test mail: connect, EHLO, RSET, MAIL, RCPT, DATA, message, ".", QUIT.
void BM_SendTestMailToLoopback(benchmark::State& state) {
    SilentBoxes boxes;
    quorvane::InstallMessageBoxes(&boxes);
    auto server = quorvane::testing::FakeMailServer::Smtp();
    quorvane::CreateMailClients(quorvane::TSMTP{server.Start(), "127.0.0.1", "", ""}, quorvane::TPOP{});
    for (auto _ : state) {
        if (!quorvane::SendMail("Quorvane TestMail", "alarm@example.com", "me@example.org", "", nullptr))
            state.SkipWithError("send failed");
    }
    quorvane::InstallMessageBoxes(nullptr);
}
BENCHMARK(BM_SendTestMailToLoopback)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
