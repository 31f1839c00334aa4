#include "fakes/MailTestSupport.h"
#include "mail/Base64.h"
#include "mail/MailError.h"
#include "mail/MailMessage.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>

using namespace quorvane::mail;
using quorvane::testing::Base64Decode;
using quorvane::testing::Iconv;

namespace {

struct EncodedWord {
    std::string charset;
    char letter;
    std::string payload;
};

// Every "=?charset?X?payload?=" in the text, in order.
std::vector<EncodedWord> EncodedWords(const std::string& text) {
    static const std::regex word(R"(=\?([^?]+)\?([BQ])\?([^?]*)\?=)");
    std::vector<EncodedWord> words;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), word); it != std::sregex_iterator(); ++it)
        words.push_back({(*it)[1], (*it)[2].str()[0], (*it)[3]});
    return words;
}

std::string QDecode(const std::string& payload) {
    std::string out;
    for (std::size_t i = 0; i < payload.size(); ++i) {
        if (payload[i] == '_')
            out += ' ';
        else if (payload[i] == '=' && i + 2 < payload.size()) {
            out += static_cast<char>(std::stoi(payload.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else
            out += payload[i];
    }
    return out;
}

// The bytes of all encoded words in the text joined, decoded.
std::string DecodedBytes(const std::string& text) {
    std::string bytes;
    for (const EncodedWord& w : EncodedWords(text))
        bytes += w.letter == 'B' ? Base64Decode(w.payload) : QDecode(w.payload);
    return bytes;
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string all;
    for (const std::string& line : lines)
        all += line + "\r\n";
    return all;
}

MailMessage TestMail() {
    MailMessage m;
    m.Subject = "Quorvane TestMail";
    m.From = {"alarm@example.com", ""};
    m.Recipients = {{"me@example.org", ""}};
    m.Date = 1781000000;
    return m;
}

class TimeZone {
public:
    explicit TimeZone(const char* tz) {
        if (const char* old = std::getenv("TZ"))
            old_ = old;
        setenv("TZ", tz, 1);
        tzset();
    }
    ~TimeZone() {
        if (old_)
            setenv("TZ", old_->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    std::optional<std::string> old_;
};

TEST(MessageWriter, TestMailHasSevenHeadersInOrderAndNoBody) {
    TimeZone tz("JST-9");
    const auto lines = MessageWriter(MailLanguage::Japanese).WireLines(TestMail());
    const std::vector<std::string> expected = {
        "From: alarm@example.com",
        "Subject: Quorvane TestMail",
        "To: me@example.org",
        "Content-Type: text/plain",
        "Date: Tue, 9 Jun 2026 19:13:20 +0900",
        "X-Priority: 3",
        "X-Library: Indy 9.00.10",
        "",
    };
    EXPECT_EQ(lines, expected);
}

TEST(MessageWriter, EmptyHeadersAreLeftOutAndRecipientsJoined) {
    MailMessage m = TestMail();
    m.Subject.clear();
    m.From = {};
    m.Recipients = {{"a@example.com", ""}, {"b@example.com", "Bee"}};
    const auto lines = MessageWriter(MailLanguage::Other).WireLines(m);
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0], "To: a@example.com, \"Bee\" <b@example.com>");
    EXPECT_EQ(lines[1], "Content-Type: text/plain");
    EXPECT_EQ(lines[5], "");

    m.Recipients.clear();
    const auto noTo = MessageWriter(MailLanguage::Other).WireLines(m);
    EXPECT_EQ(noTo.front(), "Content-Type: text/plain");
}

TEST(MessageWriter, DateCarriesTheLocalOffset) {
    {
        TimeZone tz("UTC0");
        EXPECT_EQ(FormatMailDate(0), "Thu, 1 Jan 1970 00:00:00 +0000");
    }
    {
        TimeZone tz("NST3:30NDT,M3.2.0,M11.1.0");
        EXPECT_EQ(FormatMailDate(1781000000), "Tue, 9 Jun 2026 07:43:20 -0230"); // daylight saving
        EXPECT_EQ(FormatMailDate(1765000000), "Sat, 6 Dec 2025 02:16:40 -0330");
    }
    {
        TimeZone tz("IST-5:30");
        EXPECT_EQ(FormatMailDate(1781000000), "Tue, 9 Jun 2026 15:43:20 +0530");
    }
}

TEST(MessageWriter, AsciiDisplayNamesAreQuoted) {
    const MessageWriter writer(MailLanguage::Japanese);
    EXPECT_EQ(writer.RenderAddress({"a@b.c", ""}), "a@b.c");
    EXPECT_EQ(writer.RenderAddress({"a@b.c", "Taro Yamada"}), "\"Taro Yamada\" <a@b.c>");
    EXPECT_EQ(writer.RenderAddress({"a@b.c", "Yamada, Taro @ Home"}), "\"Yamada, Taro @ Home\" <a@b.c>");
    EXPECT_EQ(writer.RenderAddress({"a@b.c", "say \"hi\" \\o/"}), "\"say \\\"hi\\\" \\\\o/\" <a@b.c>");
}

TEST(MessageWriter, JapaneseDisplayNameIsOneIso2022JpWord) {
    const std::string rendered = MessageWriter(MailLanguage::Japanese).RenderAddress({"a@b.c", "山田"});
    const auto words = EncodedWords(rendered);
    ASSERT_EQ(words.size(), 1u) << rendered;
    EXPECT_EQ(words[0].charset, "ISO-2022-JP");
    EXPECT_EQ(words[0].letter, 'B');
    EXPECT_EQ(Base64Decode(words[0].payload), *Iconv("山田", "UTF-8", "ISO-2022-JP"));
    EXPECT_TRUE(rendered.ends_with("?= <a@b.c>")) << rendered;
    EXPECT_TRUE(rendered.starts_with("=?")) << rendered;
}

TEST(MessageWriter, EncodedRunsKeepPlainWordsOutside) {
    const MessageWriter writer(MailLanguage::Japanese);
    // Adjacent Japanese words form one run with the blank inside; ASCII words stay plain.
    const std::string text = writer.EncodeHeaderText("USD/JPY 上限 アラーム  alarm", false);
    EXPECT_TRUE(text.starts_with("USD/JPY =?ISO-2022-JP?B?")) << text;
    EXPECT_TRUE(text.ends_with("?=  alarm")) << text;
    EXPECT_EQ(EncodedWords(text).size(), 1u);
    EXPECT_EQ(DecodedBytes(text), *Iconv("上限 アラーム", "UTF-8", "ISO-2022-JP"));
    // Address delimiters count only in display names.
    EXPECT_EQ(writer.EncodeHeaderText("a.b (c)", false), "a.b (c)");
    EXPECT_EQ(writer.EncodeHeaderText("plain words only", true), "plain words only");
}

std::string DecodedWord(const EncodedWord& w) {
    return w.letter == 'B' ? Base64Decode(w.payload) : QDecode(w.payload);
}

struct LongTextCase {
    MailLanguage language;
    const char* text;
    const char* charset; // of every word
};

class LongHeaderText : public ::testing::TestWithParam<LongTextCase> {};

// RFC 2047 section 5: no character is split across words, and an ISO-2022-JP word begins and ends
// in ASCII, so that a reader may decode every word on its own.
TEST_P(LongHeaderText, EveryWordDecodesOnItsOwn) {
    const LongTextCase& c = GetParam();
    MailMessage m = TestMail();
    m.Subject = c.text;
    const auto lines = MessageWriter(c.language).WireLines(m);
    ASSERT_TRUE(lines[1].starts_with("Subject:"));
    std::string header = lines[1];
    for (std::size_t i = 2; i < lines.size() && (lines[i][0] == ' ' || lines[i][0] == '\t'); ++i) {
        EXPECT_LE(lines[i].size(), 78u) << lines[i];
        header += lines[i];
    }
    const auto words = EncodedWords(header);
    ASSERT_GE(words.size(), 3u) << header;
    std::string joined;
    for (const EncodedWord& w : words) {
        EXPECT_EQ(w.charset, c.charset);
        EXPECT_LE(w.payload.size() + w.charset.size() + 7, 75u);
        const std::string bytes = DecodedWord(w);
        if (const std::size_t escape = bytes.rfind('\x1b');
            w.charset == "ISO-2022-JP" && escape != std::string::npos) {
            EXPECT_EQ(bytes.substr(escape, 3), "\x1b(B") << "a word left in two-byte mode";
        }
        const auto text = Iconv(bytes, c.charset, "UTF-8");
        ASSERT_TRUE(text) << "a word that does not decode on its own: " << w.payload;
        joined += *text;
    }
    EXPECT_EQ(joined, c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Charsets, LongHeaderText,
    ::testing::Values(
        LongTextCase{
            MailLanguage::Japanese,
            "ドル円の為替レートが設定した上限値を超えましたので至急確認してください（自動送信メール）",
            "ISO-2022-JP"},
        // Kanji with ASCII between them: every word still starts and ends in ASCII.
        LongTextCase{MailLanguage::Japanese,
                     "為替a監視b視聴c視認d視界e視覚f視線g視点h視野i視力j視察k視座l視程", "ISO-2022-JP"},
        // A character CP932 lacks sends the whole text as UTF-8: no word may end inside 視.
        LongTextCase{MailLanguage::Japanese,
                     "🔔為替監視視聴視認視界視覚視線視点視野視力視察視座視程視差視認視界視覚視線視点視野視力視"
                     "察視座視程視差",
                     "UTF-8"},
        LongTextCase{MailLanguage::ChineseSimplified,
                     "USD美元兑日元汇率已超过设定的上限请立即确认这是自动发送的邮件通知美元兑日元汇率已超过设"
                     "定的上限请立即确认",
                     "GB2312"},
        LongTextCase{MailLanguage::Other,
                     "Re:日本語の件名が長いときにも文字の途中で切らないこと、どの語も一つずつ読めること",
                     "UTF-8"}));

TEST(MessageWriter, OtherLocalesUseTheirCharsetOrUtf8) {
    const MessageWriter latin(MailLanguage::Other);
    EXPECT_EQ(latin.EncodeHeaderText("Grüße aus Köln", false),
              "=?ISO-8859-1?Q?Gr=FC=DFe?= aus =?ISO-8859-1?Q?K=F6ln?=");
    // Not in ISO-8859-1: the UTF-8 bytes under their own name, never under a wrong one.
    EXPECT_EQ(latin.EncodeHeaderText("日本", false), "=?UTF-8?Q?=E6=97=A5=E6=9C=AC?=");

    const std::string chinese =
        MessageWriter(MailLanguage::ChineseSimplified).EncodeHeaderText("汇率", false);
    ASSERT_EQ(EncodedWords(chinese).size(), 1u);
    EXPECT_EQ(EncodedWords(chinese)[0].charset, "GB2312");
    EXPECT_EQ(Iconv(DecodedBytes(chinese), "GB2312", "UTF-8"), "汇率");

    const std::string korean = MessageWriter(MailLanguage::Korean).EncodeHeaderText("환율 ☃", false);
    EXPECT_EQ(EncodedWords(korean)[0].charset, "UTF-8"); // the snowman is not in EUC-KR
    EXPECT_EQ(DecodedBytes(korean), "환율 ☃");

    EXPECT_EQ(EncodedWords(MessageWriter(MailLanguage::ChineseTraditional).EncodeHeaderText("匯率", false))[0]
                  .charset,
              "Big5");
    // A Japanese locale with a character CP932 lacks.
    const std::string emoji = MessageWriter(MailLanguage::Japanese).EncodeHeaderText("通知 🔔", false);
    EXPECT_EQ(EncodedWords(emoji)[0].charset, "UTF-8");
    EXPECT_EQ(DecodedBytes(emoji), "通知 🔔");
}

TEST(MessageWriter, QWordsStayWithin75Characters) {
    std::string name;
    for (int i = 0; i < 30; ++i)
        name += "äöü ";
    name += "end";
    const std::string text = MessageWriter(MailLanguage::Other).EncodeHeaderText(name, true);
    const auto words = EncodedWords(text);
    ASSERT_GE(words.size(), 3u);
    for (const EncodedWord& w : words)
        EXPECT_LE(w.payload.size() + std::string("=?ISO-8859-1?Q?"
                                                 "?=")
                                         .size(),
                  75u);
    EXPECT_EQ(Iconv(DecodedBytes(text), "ISO-8859-1", "UTF-8"), name.substr(0, name.size() - 4));
    EXPECT_TRUE(text.ends_with("?= end"));
    std::size_t breaks = 0;
    for (std::size_t at = text.find("?=\r\n\t=?"); at != std::string::npos;
         at = text.find("?=\r\n\t=?", at + 1))
        ++breaks;
    EXPECT_EQ(breaks, words.size() - 1);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), static_cast<long>(breaks));
}

TEST(MessageWriter, LongHeaderLinesFoldAtCommasAndBlanksOutsideQuotes) {
    MailMessage m = TestMail();
    m.Recipients.clear();
    for (int i = 0; i < 8; ++i)
        m.Recipients.push_back(
            {"recipient" + std::to_string(i) + "@example.com", i == 2 ? "Last, First" : ""});
    const auto lines = MessageWriter(MailLanguage::Other).WireLines(m);
    std::string unfolded;
    std::size_t i = 2;
    ASSERT_TRUE(lines[i].starts_with("To: "));
    unfolded = lines[i];
    for (++i; lines[i][0] == ' '; ++i)
        unfolded += lines[i];
    for (std::size_t k = 2; k < i; ++k) {
        EXPECT_LE(lines[k].size(), 78u) << lines[k];
        EXPECT_NE(lines[k].back(), ' ');
        EXPECT_EQ(std::count(lines[k].begin(), lines[k].end(), '"') % 2, 0) << "broken inside quotes";
    }
    EXPECT_GT(i - 2, 1u);
    std::string expected = "To: ";
    for (std::size_t r = 0; r < m.Recipients.size(); ++r)
        expected += (r ? ", " : "") + MessageWriter(MailLanguage::Other).RenderAddress(m.Recipients[r]);
    EXPECT_EQ(unfolded, expected);
    EXPECT_EQ(FoldHeaderLine("X: short"), std::vector<std::string>{"X: short"});
    const std::string unbreakable = "X-Long: " + std::string(100, 'a');
    EXPECT_EQ(FoldHeaderLine(unbreakable),
              (std::vector<std::string>{"X-Long:", " " + std::string(100, 'a')}));
    const std::string noBlank = "X-Long:" + std::string(100, 'a');
    EXPECT_EQ(FoldHeaderLine(noBlank), std::vector<std::string>{noBlank});
}

TEST(MessageWriter, BodyLinesAreDotStuffedAndConverted) {
    MailMessage m = TestMail();
    m.Body = {".", ".hidden", "a.b", "", "ｶﾞｿﾘﾝ 価格", "..two"};
    const auto lines = MessageWriter(MailLanguage::Japanese).WireLines(m);
    const std::vector<std::string> body(lines.end() - 6, lines.end());
    EXPECT_EQ(body[0], "..");
    EXPECT_EQ(body[1], "..hidden");
    EXPECT_EQ(body[2], "a.b");
    EXPECT_EQ(body[3], "");
    EXPECT_EQ(body[4], *Iconv("ガソリン 価格", "UTF-8", "ISO-2022-JP"));
    EXPECT_EQ(body[5], "...two");
    EXPECT_EQ(lines[lines.size() - 7], "");
    // Other locales pass body lines through.
    m.Body = {"Grüße", ".x"};
    const auto latin = MessageWriter(MailLanguage::Other).WireLines(m);
    EXPECT_EQ(latin[latin.size() - 2], "Grüße");
    EXPECT_EQ(latin.back(), "..x");
    // A character CP932 lacks becomes the geta mark rather than vanishing.
    m.Body = {"鈴🔔"};
    EXPECT_EQ(MessageWriter(MailLanguage::Japanese).WireLines(m).back(),
              *Iconv("鈴〓", "UTF-8", "ISO-2022-JP"));
}

TEST(MessageWriter, LineBreaksInTextsNeverBecomeHeaderLines) {
    MailMessage m = TestMail();
    m.Subject = "Alarm\r\nBcc: victim@example.net";
    m.Recipients = {{"me@example.org", "Me\nX-Evil: yes"}};
    for (MailLanguage language : {MailLanguage::Japanese, MailLanguage::Other}) {
        const auto lines = MessageWriter(language).WireLines(m);
        const std::string all = Joined(lines);
        for (const std::string& line : lines) {
            EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos);
            EXPECT_FALSE(line.starts_with("Bcc:"));
            EXPECT_FALSE(line.starts_with("X-Evil:"));
        }
        EXPECT_NE(DecodedBytes(lines[1]).find("Alarm\r\nBcc:"), std::string::npos);
    }
    m.Recipients = {{"me@example.org\r\nBcc: x@y", ""}};
    EXPECT_THROW(MessageWriter(MailLanguage::Other).WireLines(m), MailError);
}

TEST(MailLanguage, ComesFromTheLocaleVariablesInOrder) {
    EXPECT_EQ(LanguageFromLocaleName("ja_JP.UTF-8"), MailLanguage::Japanese);
    EXPECT_EQ(LanguageFromLocaleName("zh_CN.GB2312"), MailLanguage::ChineseSimplified);
    EXPECT_EQ(LanguageFromLocaleName("zh_TW.UTF-8"), MailLanguage::ChineseTraditional);
    EXPECT_EQ(LanguageFromLocaleName("ko_KR.UTF-8"), MailLanguage::Korean);
    EXPECT_EQ(LanguageFromLocaleName("de_DE.UTF-8"), MailLanguage::Other);
    EXPECT_EQ(LanguageFromLocaleName("C"), MailLanguage::Other);

    const auto with = [](const char* all, const char* messages, const char* lang) {
        const auto set = [](const char* name, const char* value) {
            value ? setenv(name, value, 1) : unsetenv(name);
        };
        set("LC_ALL", all);
        set("LC_MESSAGES", messages);
        set("LANG", lang);
        return CurrentMailLanguage();
    };
    EXPECT_EQ(with("ja_JP.UTF-8", "de_DE.UTF-8", "ko_KR"), MailLanguage::Japanese);
    EXPECT_EQ(with("", "ko_KR.UTF-8", "ja_JP.UTF-8"), MailLanguage::Korean);
    EXPECT_EQ(with(nullptr, nullptr, "ja_JP.UTF-8"), MailLanguage::Japanese);
    EXPECT_EQ(with(nullptr, nullptr, nullptr), MailLanguage::Other);
    with(nullptr, nullptr, nullptr);
}

// RFC 4648's vectors: every padding case, and bytes with the high bit set.
TEST(Base64, EncodesTheStandardVectorsOnOneLine) {
    using namespace std::string_view_literals;
    const struct {
        std::string_view bytes, text;
    } cases[] = {{""sv, ""sv},        {"f"sv, "Zg=="sv},          {"fo"sv, "Zm8="sv},
                 {"foo"sv, "Zm9v"sv}, {"foobar"sv, "Zm9vYmFy"sv}, {"\xFF\xFE\x00"sv, "//4A"sv}};
    for (const auto& c : cases)
        EXPECT_EQ(Base64Encode(c.bytes), c.text) << c.text;
    const std::string longText(1000, 'x');
    EXPECT_EQ(Base64Encode(longText).find_first_of("\r\n"), std::string::npos);
    EXPECT_EQ(Base64Decode(Base64Encode(longText)), longText);
}

} // namespace
