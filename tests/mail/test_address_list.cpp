#include "mail/AddressList.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace quorvane::mail;

namespace {

std::vector<std::pair<std::string, std::string>> Read(std::string_view text) {
    std::vector<std::pair<std::string, std::string>> out;
    for (const MailAddress& a : ParseAddressList(text))
        out.emplace_back(a.Name, a.Address);
    return out;
}

using Pairs = std::vector<std::pair<std::string, std::string>>;

TEST(AddressList, SplitsAtCommasAndSemicolonsOutsideQuotesAndComments) {
    EXPECT_EQ(Read("a@x.jp, b@y.jp"), (Pairs{{"", "a@x.jp"}, {"", "b@y.jp"}}));
    EXPECT_EQ(Read("a@x.jp;b@y.jp ; ,, c@z.jp,"), (Pairs{{"", "a@x.jp"}, {"", "b@y.jp"}, {"", "c@z.jp"}}));
    EXPECT_EQ(Read("\"Yamada, Taro\" <t@x.jp>, b@y.jp"), (Pairs{{"Yamada, Taro", "t@x.jp"}, {"", "b@y.jp"}}));
    EXPECT_EQ(Read("t@x.jp (office; main), b@y.jp"), (Pairs{{"", "t@x.jp"}, {"", "b@y.jp"}}));
    EXPECT_TRUE(ParseAddressList("").empty());
    EXPECT_TRUE(ParseAddressList(" , ; ").empty());
}

TEST(AddressList, GroupNamesAndEmptyAddressesAreDropped) {
    EXPECT_EQ(Read("Dealers: a@x.jp, b@y.jp;, c@z.jp"),
              (Pairs{{"", "a@x.jp"}, {"", "b@y.jp"}, {"", "c@z.jp"}}));
    EXPECT_EQ(Read("<>, a@x.jp, <> "), (Pairs{{"", "a@x.jp"}}));
    EXPECT_EQ(Read("Empty group:;"), Pairs{});
}

TEST(AddressList, DisplayNamesAndComments) {
    EXPECT_EQ(Read("Taro Yamada <t@x.jp>"), (Pairs{{"Taro Yamada", "t@x.jp"}}));
    EXPECT_EQ(Read(" \t山田 太郎\t< t@x.jp >  "), (Pairs{{"山田 太郎", "t@x.jp"}}));
    EXPECT_EQ(Read("\"say \\\"hi\\\" \\\\\" <t@x.jp>"), (Pairs{{"say \"hi\" \\", "t@x.jp"}}));
    EXPECT_EQ(Read("Taro (the boss) <t@x.jp> (work)"), (Pairs{{"Taro", "t@x.jp"}}));
    EXPECT_EQ(Read("(nested (comment)) t@x.jp"), (Pairs{{"", "t@x.jp"}}));
}

TEST(AddressList, AnAtAfterTheAngleBracketsIsAnError) {
    for (const char* text : {"Taro <t@x.jp> extra@y.jp", "<t@x.jp>@y.jp"}) {
        try {
            ParseAddressList(text);
            ADD_FAILURE() << text;
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), "@ Outside address");
        }
    }
    EXPECT_THROW(ParseMailbox("Taro <t@x.jp> at@home"), std::runtime_error);
    EXPECT_NO_THROW(ParseMailbox("Taro <t@x.jp> (at@home)"));
}

TEST(AddressList, SenderIsOneMailbox) {
    EXPECT_EQ(ParseMailbox("").Address, "");
    EXPECT_EQ(ParseMailbox("  alarm@x.jp ").Address, "alarm@x.jp");
    const MailAddress named = ParseMailbox("\"Rates, Alarm\" <alarm@x.jp>");
    EXPECT_EQ(named.Name, "Rates, Alarm");
    EXPECT_EQ(named.Address, "alarm@x.jp");
}

} // namespace
