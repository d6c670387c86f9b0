#pragma once
// HTTP/1.1 requests over libcurl: synchronous ones with the easy interface,
// asynchronous ones driven by PumpHttpTransfers from the event loop.
// Redirects are not followed; only http and https URLs are accepted.
// libcurl.so.4 is loaded on the first request; when it cannot be, every
// request fails saying so.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace platform {

struct HttpRequestSpec {
    std::string url;
    bool post = false;
    // Sent in this order after the transport's own fields (POST only).
    std::vector<std::pair<std::string, std::string>> headers;
    const uint8_t* body = nullptr;
    size_t bodyLength = 0;
    // A server that does not answer the connection within this time, or
    // sends less than one byte a second for stallSeconds, fails the request.
    long connectSeconds = 30;
    long stallSeconds = 60;
};

struct HttpResult {
    bool transferred = false;  // the exchange completed at the transport level
    long status = 0;           // the HTTP status, 0 when none arrived
    std::string error;         // why it failed, for the user
    bool Succeeded() const { return transferred && status >= 200 && status <= 299; }
};

// Receives the body chunk by chunk as it arrives; false aborts the transfer.
using HttpSink = std::function<bool(const uint8_t* data, size_t length)>;

// True for an http or https URL of printable ASCII that parses whole (false
// when libcurl cannot be loaded).
bool IsSendableUrl(const std::string& url);

// Runs the request to its end. A malformed URL or header fails before
// anything is sent.
HttpResult HttpPerform(const HttpRequestSpec& spec, const HttpSink& sink);

// One asynchronous request. Destroying it, or Cancel, ends the transfer at
// once; no event arrives after that.
class HttpTransfer {
public:
    using EndHandler = std::function<void(const HttpResult&)>;
    HttpTransfer() = default;
    ~HttpTransfer();
    HttpTransfer(const HttpTransfer&) = delete;
    HttpTransfer& operator=(const HttpTransfer&) = delete;

    // Starts the request (the body is copied) and returns at once. The sink
    // and end handler run inside PumpHttpTransfers. false, with the reason in
    // result, when it cannot start.
    bool Start(const HttpRequestSpec& spec, HttpSink sink, EndHandler onEnd, HttpResult* result = nullptr);
    void Cancel();
    bool IsRunning() const { return easy_ != nullptr; }

private:
    friend int PumpHttpTransfers(int waitMs);
    void Finish(int code);

    void* easy_ = nullptr;
    void* headers_ = nullptr;
    HttpSink sink_;
    EndHandler onEnd_;
    std::string errorBuffer_;
};

// Moves every running transfer on, waiting at most waitMs for network
// activity, and delivers the end of each one that finished. Returns how
// many are still running. Main thread only.
int PumpHttpTransfers(int waitMs);

}  // namespace platform
