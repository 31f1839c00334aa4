#include <gtest/gtest.h>

#include "util/Secret.h"

#include <set>

using namespace quorvane;

namespace {
const std::string Phrase = "Rk4wPz7N";

bool IsLowerHexLine(const std::string& s) {
    return !s.empty() && s.find_first_not_of("0123456789abcdef") == std::string::npos;
}
} // namespace

TEST(Secret, RoundTripsAsciiEmptyJapaneseAndLongTexts) {
    const std::string texts[] = {"p@ss w0rd", "", "パスワード秘密", std::string(5000, 'x') + "末尾"};
    for (const std::string& clear : texts) {
        const std::string stored = EncryptSecret(clear, Phrase);
        EXPECT_TRUE(IsLowerHexLine(stored)) << stored;
        EXPECT_EQ(DecryptSecret(stored, Phrase), clear);
    }
}

TEST(Secret, EveryEncryptionGivesAFreshForm) {
    std::set<std::string> forms;
    for (int i = 0; i < 4; ++i)
        forms.insert(EncryptSecret("same", Phrase));
    EXPECT_EQ(forms.size(), 4u);
}

TEST(Secret, RejectsWhatIsNotAFormMadeUnderThePassPhrase) {
    const std::string stored = EncryptSecret("mailpass", Phrase);
    EXPECT_THROW(DecryptSecret("mailpass", Phrase), SecretError); // clear text
    EXPECT_THROW(DecryptSecret("", Phrase), SecretError);         // empty value
    EXPECT_THROW(DecryptSecret("deadbeef", Phrase), SecretError); // hex, but far too short
    EXPECT_THROW(DecryptSecret(stored, "Rk4wPz7n"), SecretError); // another pass phrase
    EXPECT_THROW(DecryptSecret(stored.substr(0, stored.size() - 2), Phrase), SecretError); // truncated
    EXPECT_THROW(DecryptSecret(stored.substr(0, stored.size() - 1), Phrase), SecretError); // odd length
    EXPECT_THROW(DecryptSecret(stored + "00", Phrase), SecretError);                       // extended
    EXPECT_THROW(DecryptSecret(" " + stored, Phrase), SecretError); // not hex throughout
}

TEST(Secret, RejectsAnAlterationAnywhereInTheForm) {
    const std::string stored = EncryptSecret("mailpass", Phrase);
    // Version byte, salt, nonce, authentication tag and sealed text each get one digit changed.
    for (std::size_t at :
         {std::size_t{1}, std::size_t{10}, std::size_t{40}, std::size_t{90}, stored.size() - 1}) {
        std::string altered = stored;
        altered[at] = altered[at] == '0' ? '1' : '0';
        EXPECT_THROW(DecryptSecret(altered, Phrase), SecretError) << "digit " << at;
    }
}
