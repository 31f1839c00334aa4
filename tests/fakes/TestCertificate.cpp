#include "fakes/TestCertificate.h"

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <stdexcept>

#include <openssl/ec.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>

namespace quorvane::fakes {

TestCertificate::TestCertificate(const std::string& subjectAltName, std::chrono::seconds notBefore,
                                 std::chrono::seconds notAfter) {
    key_ = EVP_EC_gen("P-256");
    cert_ = X509_new();
    if (!key_ || !cert_)
        throw std::runtime_error("cannot make a test key");
    static std::atomic<long> serial{1};
    X509_set_version(cert_, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert_), serial++);
    X509_gmtime_adj(X509_getm_notBefore(cert_), static_cast<long>(notBefore.count()));
    X509_gmtime_adj(X509_getm_notAfter(cert_), static_cast<long>(notAfter.count()));
    X509_set_pubkey(cert_, key_);
    X509_NAME* name = X509_get_subject_name(cert_);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("Quorvane test"), -1, -1, 0);
    X509_set_issuer_name(cert_, name);

    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, cert_, cert_, nullptr, nullptr, 0);
    X509_EXTENSION* san = X509V3_EXT_conf_nid(nullptr, &ctx, NID_subject_alt_name, subjectAltName.c_str());
    if (!san)
        throw std::runtime_error("bad subjectAltName " + subjectAltName);
    X509_add_ext(cert_, san, -1);
    X509_EXTENSION_free(san);
    if (X509_sign(cert_, key_, EVP_sha256()) == 0)
        throw std::runtime_error("cannot sign the test certificate");
}

TestCertificate::~TestCertificate() {
    if (!pemFile_.empty()) {
        std::error_code ignored;
        std::filesystem::remove(pemFile_, ignored);
    }
    X509_free(cert_);
    EVP_PKEY_free(key_);
}

const std::string& TestCertificate::PemFile() {
    if (pemFile_.empty()) {
        static std::atomic<int> counter{0};
        const auto path =
            std::filesystem::temp_directory_path() /
            ("quorvane-test-ca-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + ".pem");
        FILE* out = std::fopen(path.c_str(), "wb");
        if (!out)
            throw std::runtime_error("cannot write " + path.string());
        const bool written = PEM_write_X509(out, cert_) == 1;
        std::fclose(out);
        if (!written)
            throw std::runtime_error("cannot write " + path.string());
        pemFile_ = path.string();
    }
    return pemFile_;
}

} // namespace quorvane::fakes
