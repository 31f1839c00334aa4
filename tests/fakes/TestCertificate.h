// Self-signed certificates made at run time for TLS tests.
#pragma once

#include <chrono>
#include <string>

#include <openssl/evp.h>
#include <openssl/x509.h>

namespace quorvane::fakes {

class TestCertificate {
public:
    // subjectAltName is OpenSSL's form, for example "IP:127.0.0.1" or "DNS:rates.example".
    // The certificate is valid from notBefore to notAfter, relative to now.
    explicit TestCertificate(const std::string& subjectAltName,
                             std::chrono::seconds notBefore = std::chrono::hours(-1),
                             std::chrono::seconds notAfter = std::chrono::hours(24));
    ~TestCertificate();
    TestCertificate(const TestCertificate&) = delete;
    TestCertificate& operator=(const TestCertificate&) = delete;

    X509* Certificate() const { return cert_; }
    EVP_PKEY* Key() const { return key_; }

    // Writes the certificate as PEM to a fresh temporary file (removed with this object); a client
    // that trusts that file trusts this certificate.
    const std::string& PemFile();

private:
    EVP_PKEY* key_ = nullptr;
    X509* cert_ = nullptr;
    std::string pemFile_;
};

} // namespace quorvane::fakes
