#include "service/HttpTransport.h"

#include <algorithm>
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
struct MultiFree {
    void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
using EasyPtr = std::unique_ptr<CURL, EasyFree>;
using MultiPtr = std::unique_ptr<CURLM, MultiFree>;
using SlistPtr = std::unique_ptr<curl_slist, SlistFree>;

thread_local const std::atomic<bool>* t_cancel = nullptr;

bool Cancelled() {
    return t_cancel && t_cancel->load();
}

int CheckCancel(void*, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return Cancelled() ? 1 : 0; // non-zero aborts the transfer
}

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

// The connections live in the multi handle's cache, shared by its easy handles (one per POST in
// flight), so that a single POST and a group of them reuse the same connections.
struct HttpTransport::Pool {
    std::vector<std::unique_ptr<Handle>> handles; // destroyed after the multi handle
    MultiPtr multi;
};

HttpTransport::HttpTransport(HttpTimeouts timeouts) : timeouts_(timeouts) {
    InitialiseCurl();
}

HttpTransport::~HttpTransport() = default;

void HttpTransport::Close() {
    kept_.reset();
}

HttpTransport::Pool* HttpTransport::KeptPool() {
    if (!kept_) {
        auto pool = std::make_unique<Pool>();
        pool->multi.reset(curl_multi_init());
        if (!pool->multi)
            return nullptr;
        const long most = static_cast<long>(MaxParallel);
        curl_multi_setopt(pool->multi.get(), CURLMOPT_MAXCONNECTS, most);
        curl_multi_setopt(pool->multi.get(), CURLMOPT_MAX_HOST_CONNECTIONS, most);
        curl_multi_setopt(pool->multi.get(), CURLMOPT_MAX_TOTAL_CONNECTIONS, most);
        kept_ = std::move(pool);
    }
    return kept_.get();
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
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, CheckCancel);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    if (!authorities_.empty())
        curl_easy_setopt(curl, CURLOPT_CAINFO, authorities_.c_str());
}

namespace {

ServiceResult<HttpResponse> Outcome(CURL* curl, CURLcode code, const Sink& sink, const char* errorText,
                                    const HttpTimeouts& timeouts, HttpResponse response) {
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

ServiceResult<HttpResponse> Perform(CURL* curl, const char* errorText, const HttpTimeouts& timeouts) {
    HttpResponse response;
    Sink sink{&response.body};
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
    const CURLcode code = curl_easy_perform(curl);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, nullptr);
    return Outcome(curl, code, sink, errorText, timeouts, std::move(response));
}

SlistPtr HeaderList(const std::vector<std::string>& headers) {
    SlistPtr list;
    const auto add = [&list](const char* header) {
        curl_slist* extended = curl_slist_append(list.get(), header);
        if (!extended)
            return false;
        list.release();
        list.reset(extended);
        return true;
    };
    for (const std::string& header : headers)
        if (!add(header.c_str()))
            return nullptr;
    // The request is small; waiting for "100 Continue" would only cost a round trip.
    if (!add("Expect:"))
        return nullptr;
    return list;
}

// One POST of a group while it travels.
struct InFlight {
    CURL* curl = nullptr;
    char* errorText = nullptr;
    SlistPtr headers;
    HttpResponse response;
    Sink sink{nullptr};
    bool added = false;
    bool done = false;
    CURLcode code = CURLE_OK;
};

// Sets up one POST on curl and adds it to multi; the reason when that fails.
std::string StartPost(CURLM* multi, CURL* curl, const HttpPost& post, const HttpTimeouts& timeouts,
                      InFlight& flight) {
    flight.headers = HeaderList(post.headers);
    if (!flight.headers)
        return "out of memory";
    flight.curl = curl;
    ApplyTimeouts(curl, timeouts);
    curl_easy_setopt(curl, CURLOPT_URL, post.url.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, flight.headers.get());
    curl_easy_setopt(curl, CURLOPT_POST, 1L);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, post.body.data());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(post.body.size()));
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &flight.sink);
    curl_easy_setopt(curl, CURLOPT_PRIVATE, &flight);
    if (curl_multi_add_handle(multi, curl) != CURLM_OK) {
        flight.curl = nullptr;
        return "cannot start the HTTP exchange";
    }
    flight.added = true;
    return {};
}

// Runs the transfers of multi until all have ended or the deadline has passed, marking each ended
// InFlight. Returns the multi interface's own failure, if any.
std::string Drive(CURLM* multi, std::chrono::steady_clock::time_point deadline) {
    for (;;) {
        int running = 0;
        if (const CURLMcode mc = curl_multi_perform(multi, &running); mc != CURLM_OK)
            return curl_multi_strerror(mc);
        int queued = 0;
        while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
            if (message->msg != CURLMSG_DONE)
                continue;
            void* flight = nullptr;
            curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &flight);
            static_cast<InFlight*>(flight)->done = true;
            static_cast<InFlight*>(flight)->code = message->data.result;
        }
        if (running == 0)
            return {};
        if (Cancelled())
            return "cancelled";
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return {};
        // A cancellable wait looks at its flag often; curl's own progress calls may be a second apart.
        if (t_cancel)
            left = std::min(left, std::chrono::milliseconds(20));
        // Wakes for the sockets and for curl's own timers, whichever comes first.
        if (const CURLMcode mc = curl_multi_poll(multi, nullptr, 0, static_cast<int>(left.count()), nullptr);
            mc != CURLM_OK)
            return curl_multi_strerror(mc);
    }
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
    return std::move(PostAll({HttpPost{url, headers, body}}).front());
}

std::vector<ServiceResult<HttpResponse>> HttpTransport::PostAll(const std::vector<HttpPost>& posts) {
    std::vector<ServiceResult<HttpResponse>> results(
        posts.size(), ServiceResult<HttpResponse>(MakeError(ServiceErrorKind::Network, "not sent")));
    bool failed = false;
    for (std::size_t first = 0; first < posts.size(); first += MaxParallel) {
        const std::size_t count = std::min(MaxParallel, posts.size() - first);
        PostGroup(posts.data() + first, count, results.data() + first);
        for (std::size_t i = first; i < first + count; ++i)
            failed = failed || !results[i];
    }
    if (failed)
        Close();
    return results;
}

// Every POST of the group is added to the multi handle at once, so each takes a free kept connection
// or opens one; then they are driven together until all have ended or one total time-out has passed.
void HttpTransport::PostGroup(const HttpPost* posts, std::size_t count,
                              ServiceResult<HttpResponse>* results) {
    Pool* pool = KeptPool();
    if (!pool) {
        for (std::size_t i = 0; i < count; ++i)
            results[i] = MakeError(ServiceErrorKind::Network, "cannot create an HTTP handle");
        return;
    }
    while (pool->handles.size() < count) {
        auto handle = std::make_unique<Handle>();
        handle->curl.reset(curl_easy_init());
        if (!handle->curl)
            break;
        Configure(handle->curl.get(), handle->errorText);
        curl_easy_setopt(handle->curl.get(), CURLOPT_TCP_KEEPALIVE, 1L);
        pool->handles.push_back(std::move(handle));
    }
    CURLM* multi = pool->multi.get();

    std::vector<InFlight> flights(count);
    for (std::size_t i = 0; i < count; ++i) {
        InFlight& flight = flights[i];
        flight.sink.body = &flight.response.body;
        if (i >= pool->handles.size()) {
            results[i] = MakeError(ServiceErrorKind::Network, "cannot create an HTTP handle");
            continue;
        }
        Handle& handle = *pool->handles[i];
        handle.errorText[0] = '\0';
        flight.errorText = handle.errorText;
        if (const std::string problem = StartPost(multi, handle.curl.get(), posts[i], timeouts_, flight);
            !problem.empty())
            results[i] = MakeError(ServiceErrorKind::Network, problem);
    }

    const std::string multiError = Drive(multi, std::chrono::steady_clock::now() + timeouts_.total);

    for (std::size_t i = 0; i < count; ++i) {
        InFlight& flight = flights[i];
        if (!flight.added)
            continue;
        curl_multi_remove_handle(multi, flight.curl);
        if (flight.done)
            results[i] = Outcome(flight.curl, flight.code, flight.sink, flight.errorText, timeouts_,
                                 std::move(flight.response));
        else if (!multiError.empty())
            results[i] = MakeError(ServiceErrorKind::Network, multiError);
        else
            results[i] = MakeError(ServiceErrorKind::Timeout,
                                   "time-out (total " + std::to_string(timeouts_.total.count()) + " ms)");
        // The handle must not keep pointers to the header list, body and sink that die here.
        curl_easy_setopt(flight.curl, CURLOPT_HTTPHEADER, nullptr);
        curl_easy_setopt(flight.curl, CURLOPT_POSTFIELDS, nullptr);
        curl_easy_setopt(flight.curl, CURLOPT_WRITEDATA, nullptr);
        curl_easy_setopt(flight.curl, CURLOPT_PRIVATE, nullptr);
    }
}

void SetThreadTransferCancel(const std::atomic<bool>* flag) {
    t_cancel = flag;
}

} // namespace quorvane
