// Secret: protection of the mail passwords kept in the settings file.
#pragma once

#include <stdexcept>
#include <string>

namespace quorvane {

class SecretError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The stored form of clearText: one line of lower-case hexadecimal text holding a version byte, a random
// salt and nonce, and the text sealed with a key derived from passPhrase. Every call gives a different
// form. Takes a few milliseconds (key derivation). Throws SecretError when the library cannot work.
std::string EncryptSecret(const std::string& clearText, const std::string& passPhrase);

// The clear text that stored protects. Throws SecretError for any text that is not a stored form made
// under passPhrase: clear text, another pass phrase, a truncated or altered form.
std::string DecryptSecret(const std::string& stored, const std::string& passPhrase);

} // namespace quorvane
