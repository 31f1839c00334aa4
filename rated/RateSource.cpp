#include "rated/RateSource.h"
#include "util/FileRead.h"
#include "util/Text.h"

#include <curl/curl.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>

namespace quorvane::rated {

namespace {

struct CurlFree {
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};

struct Download {
    std::string body;
    bool tooLarge = false;
    const std::atomic<bool>* cancel = nullptr;
    std::size_t maxBytes = MaxRatesDocument;
};

size_t Receive(char* data, size_t size, size_t count, void* user) {
    auto* download = static_cast<Download*>(user);
    const size_t bytes = size * count;
    if (download->body.size() + bytes > download->maxBytes) {
        download->tooLarge = true;
        return 0;
    }
    download->body.append(data, bytes);
    return bytes;
}

int Progress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    auto* download = static_cast<Download*>(user);
    return download->cancel && download->cancel->load() ? 1 : 0;
}

Result<std::string> ReadUrl(const std::string& url, const std::atomic<bool>* cancel,
                            const ReadLimits& limits) {
    std::unique_ptr<CURL, CurlFree> curl(curl_easy_init());
    if (!curl)
        return Error{"cannot start a download"};
    Download download{{}, false, cancel, limits.maxBytes};
    char errorText[CURL_ERROR_SIZE] = "";
    curl_easy_setopt(curl.get(), CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl.get(), CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl.get(), CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl.get(), CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl.get(), CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(curl.get(), CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(limits.connect.count()));
    curl_easy_setopt(curl.get(), CURLOPT_TIMEOUT_MS, static_cast<long>(limits.total.count()));
    curl_easy_setopt(curl.get(), CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl.get(), CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(curl.get(), CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, Receive);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &download);
    curl_easy_setopt(curl.get(), CURLOPT_XFERINFOFUNCTION, Progress);
    curl_easy_setopt(curl.get(), CURLOPT_XFERINFODATA, &download);
    curl_easy_setopt(curl.get(), CURLOPT_NOPROGRESS, 0L);
    const CURLcode code = curl_easy_perform(curl.get());
    if (download.tooLarge)
        return Error{url + ": larger than " + std::to_string(limits.maxBytes) + " bytes"};
    if (code != CURLE_OK)
        return Error{url + ": " + (errorText[0] ? errorText : curl_easy_strerror(code))};
    long status = 0;
    curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &status);
    if (status >= 400)
        return Error{url + ": HTTP status " + std::to_string(status)};
    return std::move(download.body);
}

Result<std::string> ReadFile(const std::string& path, std::size_t maxBytes) {
    FileBytes file = ReadFileBounded(path, maxBytes);
    if (file.error == EFBIG)
        return Error{path + ": larger than " + std::to_string(maxBytes) + " bytes"};
    if (file.error != 0)
        return Error{path + ": " + std::strerror(file.error)};
    return std::move(file.bytes);
}

} // namespace

Result<std::string> ReadRatesSource(const std::string& source, const std::atomic<bool>* cancel,
                                    const ReadLimits& limits) {
    return quorvane::IsHttpAddress(source) ? ReadUrl(source, cancel, limits)
                                           : ReadFile(source, limits.maxBytes);
}

} // namespace quorvane::rated
