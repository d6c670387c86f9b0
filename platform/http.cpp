#include "platform/http.h"

// Only for types and constants: libcurl itself is opened on the first request,
// so that a run that makes none maps neither it nor the two dozen TLS and
// protocol libraries it pulls in.
#include <curl/curl.h>
#include <dlfcn.h>
#include <strings.h>

#include <cstring>
#include <mutex>
#include <type_traits>
#include <unordered_map>

namespace platform {
namespace {

constexpr const char* kCurlLibrary = "libcurl.so.4";

// clang-format off
#define TAVREL_CURL_FUNCTIONS(X)                                                    \
    X(global_init) X(free) X(url) X(url_cleanup) X(url_set) X(url_get)              \
    X(slist_append) X(slist_free_all) X(easy_init) X(easy_setopt) X(easy_getinfo)   \
    X(easy_perform) X(easy_cleanup) X(easy_strerror) X(multi_init)                  \
    X(multi_add_handle) X(multi_remove_handle) X(multi_perform) X(multi_poll)       \
    X(multi_info_read)
// clang-format on

// libcurl's functions, each one named without its "curl_".
struct CurlFunctions {
#define TAVREL_CURL_MEMBER(name) decltype(&::curl_##name) name = nullptr;
    TAVREL_CURL_FUNCTIONS(TAVREL_CURL_MEMBER)
#undef TAVREL_CURL_MEMBER
};

// Filled once by LoadCurl; everything past a successful LoadCurl uses it.
CurlFunctions g_curl;

// Loads and initialises libcurl on the first call; false with the reason in
// *error (when given) on every call if that failed.
bool LoadCurl(std::string* error)
{
    static std::once_flag once;
    static std::string failure;
    std::call_once(once, [] {
        dlerror();
        void* library = dlopen(kCurlLibrary, RTLD_NOW | RTLD_LOCAL);
        if (!library) {
            const char* why = dlerror();
            failure = std::string("cannot load ") + kCurlLibrary + ", which HTTP requests need" +
                      (why ? std::string(": ") + why : std::string());
            return;
        }
        CurlFunctions loaded;
        const auto bind = [&](auto* slot, const char* name) {
            using Function = std::remove_reference_t<decltype(*slot)>;
            if (failure.empty() && !(*slot = reinterpret_cast<Function>(dlsym(library, name))))
                failure = std::string(kCurlLibrary) + " lacks " + name + ", which HTTP requests need";
        };
#define TAVREL_CURL_BIND(name) bind(&loaded.name, "curl_" #name);
        TAVREL_CURL_FUNCTIONS(TAVREL_CURL_BIND)
#undef TAVREL_CURL_BIND
        if (failure.empty() && loaded.global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK)
            failure = std::string(kCurlLibrary) + " cannot be initialised";
        if (!failure.empty()) {
            dlclose(library);
            return;
        }
        // Never unloaded: handles may live until the program ends.
        g_curl = loaded;
    });
    if (!failure.empty() && error) *error = failure;
    return failure.empty();
}

struct CurlUrl {
    CURLU* h = g_curl.url();
    ~CurlUrl() { g_curl.url_cleanup(h); }
};

bool IsToken(const std::string& s)
{
    if (s.empty()) return false;
    for (unsigned char c : s) {
        if (c <= 0x20 || c >= 0x7F || std::strchr("()<>@,;:\\\"/[]?={}", c)) return false;
    }
    return true;
}

bool IsFieldValue(const std::string& s)
{
    for (unsigned char c : s) {
        if (c == '\r' || c == '\n' || c == 0) return false;
    }
    return true;
}

bool HasHeader(const HttpRequestSpec& spec, const char* name)
{
    for (const auto& h : spec.headers) {
        if (strcasecmp(h.first.c_str(), name) == 0) return true;
    }
    return false;
}

// Frees the whole list when it cannot grow.
bool Append(curl_slist** list, const char* line, std::string* error)
{
    curl_slist* grown = g_curl.slist_append(*list, line);
    if (!grown) {
        g_curl.slist_free_all(*list);
        *list = nullptr;
        *error = "out of memory";
        return false;
    }
    *list = grown;
    return true;
}

size_t OnBody(char* data, size_t size, size_t count, void* user)
{
    const size_t length = size * count;
    const HttpSink* sink = static_cast<const HttpSink*>(user);
    if (length == 0 || !*sink) return length;
    return (*sink)(reinterpret_cast<const uint8_t*>(data), length) ? length : 0;
}

// Builds the handle for spec; null with the reason in error when the
// request must not be sent.
CURL* MakeEasy(const HttpRequestSpec& spec, const HttpSink* sink, bool copyBody, curl_slist** headersOut,
               char* errorBuffer, std::string* error)
{
    *headersOut = nullptr;
    if (!LoadCurl(error)) return nullptr;
    if (!IsSendableUrl(spec.url)) {
        *error = "not a valid http or https URL: \"" + spec.url + "\"";
        return nullptr;
    }
    curl_slist* headers = nullptr;
    if (spec.post) {
        for (const auto& [name, value] : spec.headers) {
            if (!IsToken(name) || !IsFieldValue(value)) {
                g_curl.slist_free_all(headers);
                *error = "invalid header field \"" + name + "\"";
                return nullptr;
            }
            // "Name;" is libcurl's way of sending a field with an empty value.
            const std::string line = value.empty() ? name + ";" : name + ": " + value;
            if (!Append(&headers, line.c_str(), error)) return nullptr;
        }
        // Send only the fields the caller asked for, not libcurl's defaults.
        if (!HasHeader(spec, "Content-Type") && !Append(&headers, "Content-Type:", error)) return nullptr;
        if (!HasHeader(spec, "Expect") && !Append(&headers, "Expect:", error)) return nullptr;
    }
    CURL* easy = g_curl.easy_init();
    if (!easy) {
        g_curl.slist_free_all(headers);
        *error = "cannot create an HTTP request";
        return nullptr;
    }
    errorBuffer[0] = 0;
    g_curl.easy_setopt(easy, CURLOPT_ERRORBUFFER, errorBuffer);
    g_curl.easy_setopt(easy, CURLOPT_URL, spec.url.c_str());
    g_curl.easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    g_curl.easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
    g_curl.easy_setopt(easy, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_1));
    g_curl.easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    g_curl.easy_setopt(easy, CURLOPT_USERAGENT, "Tavrel/1.122");
    g_curl.easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, spec.connectSeconds > 0 ? spec.connectSeconds : 30L);
    g_curl.easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
    g_curl.easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, spec.stallSeconds > 0 ? spec.stallSeconds : 60L);
    g_curl.easy_setopt(easy, CURLOPT_WRITEFUNCTION, OnBody);
    g_curl.easy_setopt(easy, CURLOPT_WRITEDATA, const_cast<HttpSink*>(sink));
    if (spec.post) {
        g_curl.easy_setopt(easy, CURLOPT_POST, 1L);
        g_curl.easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(spec.body ? spec.bodyLength : 0));
        static const char kNothing[1] = {0};
        const char* body = spec.body ? reinterpret_cast<const char*>(spec.body) : kNothing;
        g_curl.easy_setopt(easy, copyBody ? CURLOPT_COPYPOSTFIELDS : CURLOPT_POSTFIELDS, body);
        g_curl.easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
    } else {
        g_curl.easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    }
    *headersOut = headers;
    return easy;
}

HttpResult ResultOf(CURL* easy, CURLcode code, const char* errorBuffer)
{
    HttpResult result;
    result.transferred = code == CURLE_OK;
    g_curl.easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &result.status);
    if (!result.transferred) {
        result.error = errorBuffer && *errorBuffer ? errorBuffer : g_curl.easy_strerror(code);
    } else if (!result.Succeeded()) {
        result.error = "the server answered with status " + std::to_string(result.status);
    }
    return result;
}

CURLM* Multi()
{
    static CURLM* multi = g_curl.multi_init();
    return multi;
}

std::unordered_map<CURL*, HttpTransfer*>& Running()
{
    static std::unordered_map<CURL*, HttpTransfer*> running;
    return running;
}

}  // namespace

bool IsSendableUrl(const std::string& url)
{
    if (url.empty()) return false;
    for (unsigned char c : url) {
        if (c <= 0x20 || c >= 0x7F) return false;
    }
    if (!LoadCurl(nullptr)) return false;
    CurlUrl parsed;
    if (!parsed.h || g_curl.url_set(parsed.h, CURLUPART_URL, url.c_str(), 0) != CURLUE_OK) return false;
    char* scheme = nullptr;
    if (g_curl.url_get(parsed.h, CURLUPART_SCHEME, &scheme, 0) != CURLUE_OK) return false;
    const bool web = strcasecmp(scheme, "http") == 0 || strcasecmp(scheme, "https") == 0;
    g_curl.free(scheme);
    return web;
}

HttpResult HttpPerform(const HttpRequestSpec& spec, const HttpSink& sink)
{
    HttpResult result;
    char errorBuffer[CURL_ERROR_SIZE];
    curl_slist* headers = nullptr;
    CURL* easy = MakeEasy(spec, &sink, false, &headers, errorBuffer, &result.error);
    if (!easy) return result;
    const CURLcode code = g_curl.easy_perform(easy);
    result = ResultOf(easy, code, errorBuffer);
    g_curl.easy_cleanup(easy);
    g_curl.slist_free_all(headers);
    return result;
}

HttpTransfer::~HttpTransfer()
{
    Cancel();
}

bool HttpTransfer::Start(const HttpRequestSpec& spec, HttpSink sink, EndHandler onEnd, HttpResult* result)
{
    Cancel();
    sink_ = std::move(sink);
    onEnd_ = std::move(onEnd);
    errorBuffer_.assign(CURL_ERROR_SIZE, '\0');
    std::string error;
    curl_slist* headers = nullptr;
    CURL* easy = MakeEasy(spec, &sink_, true, &headers, errorBuffer_.data(), &error);
    if (easy && g_curl.multi_add_handle(Multi(), easy) != CURLM_OK) {
        g_curl.easy_cleanup(easy);
        g_curl.slist_free_all(headers);
        easy = nullptr;
        error = "cannot start the HTTP request";
    }
    if (!easy) {
        if (result) *result = HttpResult{false, 0, error};
        return false;
    }
    easy_ = easy;
    headers_ = headers;
    Running()[easy] = this;
    return true;
}

void HttpTransfer::Cancel()
{
    if (!easy_) return;
    CURL* easy = static_cast<CURL*>(easy_);
    Running().erase(easy);
    g_curl.multi_remove_handle(Multi(), easy);
    g_curl.easy_cleanup(easy);
    g_curl.slist_free_all(static_cast<curl_slist*>(headers_));
    easy_ = nullptr;
    headers_ = nullptr;
}

void HttpTransfer::Finish(int code)
{
    CURL* easy = static_cast<CURL*>(easy_);
    const HttpResult result = ResultOf(easy, CURLcode(code), errorBuffer_.c_str());
    Cancel();
    // Last: the handler may destroy this object.
    EndHandler onEnd = std::move(onEnd_);
    if (onEnd) onEnd(result);
}

int PumpHttpTransfers(int waitMs)
{
    if (Running().empty()) return 0;
    CURLM* multi = Multi();
    int running = 0;
    g_curl.multi_perform(multi, &running);
    if (running > 0 && waitMs > 0) {
        g_curl.multi_poll(multi, nullptr, 0, waitMs, nullptr);
        g_curl.multi_perform(multi, &running);
    }
    std::vector<std::pair<CURL*, CURLcode>> done;
    int left = 0;
    while (CURLMsg* msg = g_curl.multi_info_read(multi, &left)) {
        if (msg->msg == CURLMSG_DONE) done.emplace_back(msg->easy_handle, msg->data.result);
    }
    for (const auto& [easy, code] : done) {
        // An earlier end handler may have cancelled this one.
        auto it = Running().find(easy);
        if (it != Running().end()) it->second->Finish(code);
    }
    return int(Running().size());
}

}  // namespace platform
