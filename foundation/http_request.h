#pragma once
// One HTTP/1.1 GET or POST whose whole response body is collected in memory,
// and handing a URL to the user's browser.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/http.h"

class CHttpRequest {
public:
    enum Method { kGet = 0, kPost = 1 };
    // Events of an asynchronous request, as OnStreamEvent receives them.
    enum StreamEvent { kHasBytes = 2, kErrorOccurred = 8, kEndEncountered = 16 };
    // Responses grow in steps of at least this many bytes.
    static constexpr size_t kGrowth = 1024000;

    CHttpRequest(const char* url, int method);
    // The URL is the localized string numbered stringId.
    CHttpRequest(int stringId, int method);
    // Cancels a request still running.
    virtual ~CHttpRequest();
    CHttpRequest(const CHttpRequest&) = delete;
    CHttpRequest& operator=(const CHttpRequest&) = delete;

    void SetURL(const char* url);
    const std::string& GetURL() const { return url_; }

    // POST body; the bytes stay the caller's and must outlive a synchronous send.
    void SetBody(const void* bytes, size_t length);
    // Header fields sent with a POST, in the order added.
    void AddHeader(const char* name, const char* value);
    void ClearHeaders() { headers_.clear(); }

    // With wait, SendSync; otherwise SendAsync.
    bool Send(bool wait);
    bool SendSync();
    // Only a POST can be sent asynchronously.
    bool SendAsync();
    // True when the transfer completed and the server answered 2xx; a GET
    // replaces the response, a POST replaces it with what arrives and fails
    // when nothing arrives.
    bool GetSync();
    bool PostSync();
    // Starts the POST and returns at once; platform::PumpHttpTransfers moves
    // it on, and the end handler reports the outcome.
    bool PostAsync();
    bool IsRunning() const { return transfer_ && transfer_->IsRunning(); }
    // Called once when an asynchronous request ends, with its success.
    void SetEndHandler(std::function<void(CHttpRequest&, bool)> handler) { onEnd_ = std::move(handler); }

    // Null before anything was received; not terminated.
    const uint8_t* GetResponseData() const { return response_.get(); }
    size_t GetResponseLength() const { return length_; }
    size_t GetResponseCapacity() const { return capacity_; }
    // Null bytes empty the response; false when the size cannot be held.
    bool SetResponseData(const void* bytes, size_t length);
    bool AppendResponseData(const void* bytes, size_t length);

    // The HTTP status of the last exchange (0 when none) and why it failed.
    long GetStatus() const { return status_; }
    const std::string& GetError() const { return error_; }
    // Fail a dead or stalled server after this many seconds (defaults 30 and 60).
    void SetTimeouts(long connectSeconds, long stallSeconds);

protected:
    // The asynchronous request's client: has-bytes has been appended; error
    // and end close the transfer.
    virtual void OnStreamEvent(int event);

private:
    platform::HttpRequestSpec Spec(bool post) const;
    bool Record(const platform::HttpResult& result);

    std::string url_;
    int method_;
    std::unique_ptr<uint8_t[]> response_;
    size_t capacity_ = 0;
    size_t length_ = 0;
    const uint8_t* body_ = nullptr;
    size_t bodyLength_ = 0;
    std::vector<std::pair<std::string, std::string>> headers_;
    long connectSeconds_ = 30;
    long stallSeconds_ = 60;
    long status_ = 0;
    std::string error_;
    std::unique_ptr<platform::HttpTransfer> transfer_;
    std::function<void(CHttpRequest&, bool)> onEnd_;
};

// Hands the URL to the user's browser without waiting; false only when no
// browser launcher could be started (or the text cannot be a URL).
bool OpenURL(const char* url);
