#include "util/Secret.h"

#include <sodium.h>

#include <array>
#include <vector>

namespace quorvane {

namespace {

// Layout of a stored form (before hex): version | salt | nonce | secretbox(MAC + text).
constexpr unsigned char FormVersion = 1;
constexpr std::size_t SaltSize = crypto_pwhash_SALTBYTES;
constexpr std::size_t NonceSize = crypto_secretbox_NONCEBYTES;
constexpr std::size_t HeaderSize = 1 + SaltSize + NonceSize;

// The pass phrase is built into the program, so a costly derivation would buy nothing but a slower
// start and close; these limits keep one derivation near 10 ms.
constexpr unsigned long long DerivationOps = 2;
constexpr std::size_t DerivationMemory = 16u << 20;

using Key = std::array<unsigned char, crypto_secretbox_KEYBYTES>;

void EnsureSodium() {
    static const bool ready = sodium_init() >= 0;
    if (!ready)
        throw SecretError("libsodium could not be initialised");
}

Key DeriveKey(const std::string& passPhrase, const unsigned char* salt) {
    Key key;
    if (crypto_pwhash(key.data(), key.size(), passPhrase.data(), passPhrase.size(), salt, DerivationOps,
                      DerivationMemory, crypto_pwhash_ALG_ARGON2ID13) != 0)
        throw SecretError("key derivation failed (out of memory)");
    return key;
}

class KeyWiper {
public:
    explicit KeyWiper(Key& key) : key_(key) {}
    ~KeyWiper() { sodium_memzero(key_.data(), key_.size()); }
    KeyWiper(const KeyWiper&) = delete;
    KeyWiper& operator=(const KeyWiper&) = delete;

private:
    Key& key_;
};

std::vector<unsigned char> FromHex(const std::string& text) {
    std::vector<unsigned char> bin(text.size() / 2);
    std::size_t length = 0;
    const char* end = nullptr;
    if (text.empty() || text.size() % 2 != 0 ||
        sodium_hex2bin(bin.data(), bin.size(), text.data(), text.size(), nullptr, &length, &end) != 0 ||
        end != text.data() + text.size() || length != bin.size())
        throw SecretError("not a protected value");
    return bin;
}

} // namespace

std::string EncryptSecret(const std::string& clearText, const std::string& passPhrase) {
    EnsureSodium();
    std::vector<unsigned char> blob(HeaderSize + crypto_secretbox_MACBYTES + clearText.size());
    blob[0] = FormVersion;
    unsigned char* salt = blob.data() + 1;
    unsigned char* nonce = salt + SaltSize;
    randombytes_buf(salt, SaltSize);
    randombytes_buf(nonce, NonceSize);

    Key key = DeriveKey(passPhrase, salt);
    KeyWiper wiper(key);
    crypto_secretbox_easy(blob.data() + HeaderSize, reinterpret_cast<const unsigned char*>(clearText.data()),
                          clearText.size(), nonce, key.data());

    std::string hex(blob.size() * 2 + 1, '\0');
    sodium_bin2hex(hex.data(), hex.size(), blob.data(), blob.size());
    hex.pop_back();
    return hex;
}

std::string DecryptSecret(const std::string& stored, const std::string& passPhrase) {
    EnsureSodium();
    const std::vector<unsigned char> blob = FromHex(stored);
    if (blob.size() < HeaderSize + crypto_secretbox_MACBYTES || blob[0] != FormVersion)
        throw SecretError("not a protected value");
    const unsigned char* salt = blob.data() + 1;
    const unsigned char* nonce = salt + SaltSize;

    Key key = DeriveKey(passPhrase, salt);
    KeyWiper wiper(key);
    const std::size_t sealedSize = blob.size() - HeaderSize;
    std::string clear(sealedSize - crypto_secretbox_MACBYTES, '\0');
    if (crypto_secretbox_open_easy(reinterpret_cast<unsigned char*>(clear.data()), blob.data() + HeaderSize,
                                   sealedSize, nonce, key.data()) != 0)
        throw SecretError("the protected value does not open with this pass phrase");
    return clear;
}

} // namespace quorvane
