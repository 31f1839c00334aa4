#include "service/HttpTransport.h"

#include <mutex>

#include <curl/curl.h>

namespace quorvane {

namespace {

struct EasyFree {
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
struct SlistFree {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using EasyPtr = std::unique_ptr<CURL, EasyFree>;
using SlistPtr = std::unique_ptr<curl_slist, SlistFree>;

void InitialiseCurl() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct Sink {
    std::string* body;
    bool overflow = false;
};

std::size_t WriteBody(char* data, std::size_t size, std::size_t count, void* user) {
    auto* sink = static_cast<Sink*>(user);
    const std::size_t bytes = size * count;
    if (sink->body->size() + bytes > HttpTransport::MaxBodyBytes) {
        sink->overflow = true;
        return 0; // makes curl stop with a write error
    }
    sink->body->append(data, bytes);
    return bytes;
}

const std::string& UserAgent() {
    static const std::string agent = [] {
        const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
        return std::string("Quorvane libcurl/") + (info && info->version ? info->version : "");
    }();
    return agent;
}

void ApplyTimeouts(CURL* curl, const HttpTimeouts& timeouts) {
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeouts.connect.count()));
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(timeouts.total.count()));
}

} // namespace

struct HttpTransport::Handle {
    EasyPtr curl;
    char errorText[CURL_ERROR_SIZE] = {};
};

HttpTransport::HttpTransport(HttpTimeouts timeouts) : timeouts_(timeouts) {
    InitialiseCurl();
}

HttpTransport::~HttpTransport() = default;

void HttpTransport::Close() {
    kept_.reset();
}

void HttpTransport::SetCertificateAuthorities(std::string pemFile) {
    authorities_ = std::move(pemFile);
    Close();
}

// Options common to GET and POST; they stay on a kept handle.
void HttpTransport::Configure(void* handle, char* errorText) const {
    CURL* curl = handle;
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(curl, CURLOPT_POSTREDIR, static_cast<long>(CURL_REDIR_POST_ALL));
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, UserAgent().c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, WriteBody);
    if (!authorities_.empty())
        curl_easy_setopt(curl, CURLOPT_CAINFO, authorities_.c_str());
}

namespace {

ServiceResult<HttpResponse> Perform(CURL* curl, const char* errorText, const HttpTimeouts& timeouts) {
    HttpResponse response;
    Sink sink{&response.body};
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
    const CURLcode code = curl_easy_perform(curl);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, nullptr);
    if (sink.overflow)
        return MakeError(ServiceErrorKind::Network,
                         "response larger than " + std::to_string(HttpTransport::MaxBodyBytes) + " bytes");
    if (code != CURLE_OK) {
        std::string reason = errorText[0] ? errorText : curl_easy_strerror(code);
        if (code == CURLE_OPERATION_TIMEDOUT)
            return MakeError(ServiceErrorKind::Timeout,
                             "time-out (connect " + std::to_string(timeouts.connect.count()) + " ms, total " +
                                 std::to_string(timeouts.total.count()) + " ms): " + reason);
        return MakeError(ServiceErrorKind::Network, reason);
    }
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &response.status);
    const char* contentType = nullptr;
    curl_easy_getinfo(curl, CURLINFO_CONTENT_TYPE, &contentType);
    if (contentType)
        response.contentType = contentType;
    return response;
}

} // namespace

ServiceResult<HttpResponse> HttpTransport::Get(const std::string& url) {
    Handle handle;
    handle.curl.reset(curl_easy_init());
    if (!handle.curl)
        return MakeError(ServiceErrorKind::Network, "cannot create an HTTP handle");
    CURL* curl = handle.curl.get();
    Configure(curl, handle.errorText);
    ApplyTimeouts(curl, timeouts_);
    SlistPtr headers(curl_slist_append(nullptr, "Accept: */*"));
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(curl, CURLOPT_FORBID_REUSE, 1L);
    return Perform(curl, handle.errorText, timeouts_);
}

ServiceResult<HttpResponse> HttpTransport::Post(const std::string& url,
                                                const std::vector<std::string>& headers,
                                                const std::string& body) {
    if (!kept_) {
        auto handle = std::make_unique<Handle>();
        handle->curl.reset(curl_easy_init());
        if (!handle->curl)
            return MakeError(ServiceErrorKind::Network, "cannot create an HTTP handle");
        Configure(handle->curl.get(), handle->errorText);
        curl_easy_setopt(handle->curl.get(), CURLOPT_TCP_KEEPALIVE, 1L);
        kept_ = std::move(handle);
    }
    CURL* curl = kept_->curl.get();
    kept_->errorText[0] = '\0';
    ApplyTimeouts(curl, timeouts_);

    SlistPtr list;
    for (const std::string& header : headers) {
        curl_slist* extended = curl_slist_append(list.get(), header.c_str());
        if (!extended)
            return MakeError(ServiceErrorKind::Network, "out of memory");
        list.release();
        list.reset(extended);
    }
    // The request is small; waiting for "100 Continue" would only cost a round trip.
    curl_slist* extended = curl_slist_append(list.get(), "Expect:");
    if (!extended)
        return MakeError(ServiceErrorKind::Network, "out of memory");
    list.release();
    list.reset(extended);

    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, list.get());
    curl_easy_setopt(curl, CURLOPT_POST, 1L);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.data());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));

    auto result = Perform(curl, kept_->errorText, timeouts_);
    // The handle must not keep pointers to the header list and body that die here.
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, nullptr);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, nullptr);
    if (!result)
        Close();
    return result;
}

} // namespace quorvane
