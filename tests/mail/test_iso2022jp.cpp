#include "mail/Charset.h"
#include "mail/Iso2022Jp.h"
#include "fakes/MailTestSupport.h"

#include <gtest/gtest.h>

using quorvane::mail::ShiftJisToIso2022Jp;
using quorvane::testing::Iconv;

namespace {

const std::string kJis = "\x1b$B";
const std::string kAscii = "\x1b(B";

std::string Jis(std::string_view utf8) {
    auto converted = Iconv(utf8, "UTF-8", "ISO-2022-JP");
    EXPECT_TRUE(converted) << utf8;
    return converted.value_or("");
}

std::string Bytes(std::initializer_list<int> values) {
    std::string out;
    for (int v : values)
        out += static_cast<char>(v);
    return out;
}

// Every two-byte code that is a JIS X 0208 character and that CP932 maps, checked against glibc's
// own Shift-JIS to ISO-2022-JP conversion, one by one and as one text.
TEST(Iso2022Jp, EveryJisX0208CharacterMatchesIconv) {
    std::string all;
    std::string expectedAll;
    int checked = 0;
    for (int lead = 0x81; lead <= 0xEF; ++lead) {
        if (lead > 0x9F && lead < 0xE0)
            continue;
        for (int trail = 0x40; trail <= 0xFC; ++trail) {
            if (trail == 0x7F)
                continue;
            const std::string sjis = Bytes({lead, trail});
            const auto reference = Iconv(sjis, "SHIFT_JIS", "ISO-2022-JP");
            if (!reference || !Iconv(sjis, "CP932", "UTF-8"))
                continue;
            ASSERT_EQ(ShiftJisToIso2022Jp(sjis), *reference) << std::hex << lead << " " << trail;
            all += sjis;
            expectedAll += reference->substr(3, 2);
            ++checked;
        }
    }
    EXPECT_GE(checked, 6800); // JIS X 0208 has 6879 characters
    EXPECT_EQ(ShiftJisToIso2022Jp(all), kJis + expectedAll + kAscii);
}

TEST(Iso2022Jp, ModeChangesAndTheFinalEscape) {
    EXPECT_EQ(ShiftJisToIso2022Jp("plain ascii"), "plain ascii");
    EXPECT_EQ(ShiftJisToIso2022Jp(""), "");
    // 日本 a 語: each change of mode writes its escape; the text ends in ASCII mode.
    EXPECT_EQ(ShiftJisToIso2022Jp("\x93\xfa\x96{a\x8c\xea"),
              kJis + "F|K\\" + kAscii + "a" + kJis + "8l" + kAscii);
    // The extension rows follow the same arithmetic: 0x8740 (circled 1) is row 13, column 1.
    EXPECT_EQ(ShiftJisToIso2022Jp("\x87\x40"), kJis + "-!" + kAscii);
    EXPECT_EQ(ShiftJisToIso2022Jp("\xed\x40"), kJis + "y!" + kAscii);
}

TEST(Iso2022Jp, DroppedBytes) {
    EXPECT_EQ(ShiftJisToIso2022Jp(Bytes({'a', 0x80, 0xA0, 0xFD, 0xFE, 0xFF, 'b'})), "ab");
    // A lead byte of the user-defined and IBM rows goes with the byte after it.
    EXPECT_EQ(ShiftJisToIso2022Jp(Bytes({'a', 0xF0, 0x40, 0xFA, 'x', 'b'})), "ab");
    // A lead byte with a trail byte outside the ranges: both go.
    EXPECT_EQ(ShiftJisToIso2022Jp(Bytes({'a', 0x88, 0x7F, 'b', 0x88, 0x20, 'c'})), "abc");
    // A lead byte at the very end, after Japanese text: dropped, and the escape back still comes.
    EXPECT_EQ(ShiftJisToIso2022Jp(Bytes({0x82, 0xA0, 0x82})), kJis + "$\"" + kAscii);
}

TEST(Iso2022Jp, HalfWidthKanaBecomeFullWidth) {
    // In byte order 0xA1 to 0xDF, with their full-width forms.
    const char* halfWidth[] = {"｡", "｢", "｣", "､", "･", "ｦ", "ｧ", "ｨ", "ｩ", "ｪ", "ｫ", "ｬ", "ｭ", "ｮ", "ｯ", "ｰ",
                               "ｱ", "ｲ", "ｳ", "ｴ", "ｵ", "ｶ", "ｷ", "ｸ", "ｹ", "ｺ", "ｻ", "ｼ", "ｽ", "ｾ", "ｿ", "ﾀ",
                               "ﾁ", "ﾂ", "ﾃ", "ﾄ", "ﾅ", "ﾆ", "ﾇ", "ﾈ", "ﾉ", "ﾊ", "ﾋ", "ﾌ", "ﾍ", "ﾎ", "ﾏ", "ﾐ",
                               "ﾑ", "ﾒ", "ﾓ", "ﾔ", "ﾕ", "ﾖ", "ﾗ", "ﾘ", "ﾙ", "ﾚ", "ﾛ", "ﾜ", "ﾝ", "ﾞ", "ﾟ"};
    const char* fullWidth[] = {"。", "「", "」", "、", "・", "ヲ", "ァ", "ィ", "ゥ", "ェ", "ォ", "ャ", "ュ",
                               "ョ", "ッ", "ー", "ア", "イ", "ウ", "エ", "オ", "カ", "キ", "ク", "ケ", "コ",
                               "サ", "シ", "ス", "セ", "ソ", "タ", "チ", "ツ", "テ", "ト", "ナ", "ニ", "ヌ",
                               "ネ", "ノ", "ハ", "ヒ", "フ", "ヘ", "ホ", "マ", "ミ", "ム", "メ", "モ", "ヤ",
                               "ユ", "ヨ", "ラ", "リ", "ル", "レ", "ロ", "ワ", "ン", "゛", "゜"};
    static_assert(std::size(halfWidth) == 63 && std::size(fullWidth) == 63);
    for (int i = 0; i < 63; ++i) {
        const std::string sjis = *Iconv(halfWidth[i], "UTF-8", "CP932");
        ASSERT_EQ(sjis, Bytes({0xA1 + i}));
        EXPECT_EQ(ShiftJisToIso2022Jp(sjis), Jis(fullWidth[i])) << halfWidth[i];
        // Also inside two-byte mode, without a second escape.
        EXPECT_EQ(ShiftJisToIso2022Jp("\x82\xa0" + sjis), Jis(std::string("あ") + fullWidth[i]));
    }
}

TEST(Iso2022Jp, VoicedAndSemiVoicedPairsJoin) {
    struct Pair {
        const char* halfWidth;
        const char* joined;
    };
    const Pair pairs[] = {
        {"ｶﾞ", "ガ"},
        {"ｷﾞ", "ギ"},
        {"ｸﾞ", "グ"},
        {"ｹﾞ", "ゲ"},
        {"ｺﾞ", "ゴ"},
        {"ｻﾞ", "ザ"},
        {"ｼﾞ", "ジ"},
        {"ｽﾞ", "ズ"},
        {"ｾﾞ", "ゼ"},
        {"ｿﾞ", "ゾ"},
        {"ﾀﾞ", "ダ"},
        {"ﾁﾞ", "ヂ"},
        {"ﾂﾞ", "ヅ"},
        {"ﾃﾞ", "デ"},
        {"ﾄﾞ", "ド"},
        {"ﾊﾞ", "バ"},
        {"ﾋﾞ", "ビ"},
        {"ﾌﾞ", "ブ"},
        {"ﾍﾞ", "ベ"},
        {"ﾎﾞ", "ボ"},
        {"ｳﾞ", "ヴ"},
        {"ﾊﾟ", "パ"},
        {"ﾋﾟ", "ピ"},
        {"ﾌﾟ", "プ"},
        {"ﾍﾟ", "ペ"},
        {"ﾎﾟ", "ポ"},
        // No joined form: the kana and the mark stay two characters.
        {"ｱﾞ", "ア゛"},
        {"ﾅﾟ", "ナ゜"},
        {"ｶﾟ", "カ゜"},
        {"ｯﾞ", "ッ゛"},
        {"ﾞﾞ", "゛゛"},
        {"ﾟ", "゜"},
        {"ｶﾞｶ", "ガカ"},
        {"ﾊﾟﾟ", "パ゜"},
    };
    for (const Pair& pair : pairs) {
        const std::string sjis = *Iconv(pair.halfWidth, "UTF-8", "CP932");
        EXPECT_EQ(ShiftJisToIso2022Jp(sjis), Jis(pair.joined)) << pair.halfWidth;
    }
}

} // namespace
