#include "foundation/http_request.h"

#include <cstring>
#include <new>

#include "foundation/str.h"
#include "platform/process.h"

CHttpRequest::CHttpRequest(const char* url, int method) : url_(url ? url : ""), method_(method) {}

CHttpRequest::CHttpRequest(int stringId, int method) : method_(method)
{
    CStr text;
    if (GetLocalizedString(text, stringId)) url_ = text.c_str();
}

CHttpRequest::~CHttpRequest() = default;

void CHttpRequest::SetURL(const char* url)
{
    url_ = url ? url : "";
}

void CHttpRequest::SetBody(const void* bytes, size_t length)
{
    body_ = static_cast<const uint8_t*>(bytes);
    bodyLength_ = bytes ? length : 0;
}

void CHttpRequest::AddHeader(const char* name, const char* value)
{
    if (name) headers_.emplace_back(name, value ? value : "");
}

void CHttpRequest::SetTimeouts(long connectSeconds, long stallSeconds)
{
    connectSeconds_ = connectSeconds;
    stallSeconds_ = stallSeconds;
}

bool CHttpRequest::Send(bool wait)
{
    return wait ? SendSync() : SendAsync();
}

bool CHttpRequest::SendSync()
{
    switch (method_) {
        case kPost:
            return PostSync();
        case kGet:
            return GetSync();
        default:
            return false;
    }
}

bool CHttpRequest::SendAsync()
{
    return method_ == kPost && PostAsync();
}

bool CHttpRequest::SetResponseData(const void* bytes, size_t length)
{
    response_.reset();
    capacity_ = 0;
    length_ = 0;
    if (!bytes) return true;
    if (length > SIZE_MAX - kGrowth) return false;
    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[length + kGrowth]);
    if (!buffer) return false;
    if (length) std::memcpy(buffer.get(), bytes, length);
    response_ = std::move(buffer);
    capacity_ = length + kGrowth;
    length_ = length;
    return true;
}

bool CHttpRequest::AppendResponseData(const void* bytes, size_t length)
{
    if (length == 0) return true;
    if (!bytes || length > SIZE_MAX - length_) return false;
    const size_t total = length_ + length;
    if (total > capacity_) {
        if (total > SIZE_MAX - kGrowth) return false;
        std::unique_ptr<uint8_t[]> grown(new (std::nothrow) uint8_t[total + kGrowth]);
        if (!grown) return false;
        if (length_) std::memcpy(grown.get(), response_.get(), length_);
        response_ = std::move(grown);
        capacity_ = total + kGrowth;
    }
    std::memcpy(response_.get() + length_, bytes, length);
    length_ = total;
    return true;
}

platform::HttpRequestSpec CHttpRequest::Spec(bool post) const
{
    platform::HttpRequestSpec spec;
    spec.url = url_;
    spec.post = post;
    spec.connectSeconds = connectSeconds_;
    spec.stallSeconds = stallSeconds_;
    if (post) {
        spec.headers = headers_;
        spec.body = body_;
        spec.bodyLength = bodyLength_;
    }
    return spec;
}

bool CHttpRequest::Record(const platform::HttpResult& result)
{
    status_ = result.status;
    error_ = result.error;
    return result.Succeeded();
}

bool CHttpRequest::GetSync()
{
    if (IsRunning()) return false;
    SetResponseData(nullptr, 0);
    bool stored = true;
    const platform::HttpResult result = platform::HttpPerform(
        Spec(false), [&](const uint8_t* data, size_t n) { return stored = AppendResponseData(data, n); });
    if (!stored) {
        error_ = "the response is too large to keep";
        return false;
    }
    return Record(result);
}

bool CHttpRequest::PostSync()
{
    if (IsRunning()) return false;
    bool first = true;
    bool stored = true;
    const platform::HttpResult result = platform::HttpPerform(Spec(true), [&](const uint8_t* data, size_t n) {
        stored = first ? SetResponseData(data, n) : AppendResponseData(data, n);
        first = false;
        return stored;
    });
    if (!stored) {
        error_ = "the response is too large to keep";
        return false;
    }
    if (!Record(result)) return false;
    if (first) error_ = "the server sent no data";
    return !first;
}

bool CHttpRequest::PostAsync()
{
    if (IsRunning()) return false;
    SetResponseData(nullptr, 0);
    status_ = 0;
    error_.clear();
    if (!transfer_) transfer_ = std::make_unique<platform::HttpTransfer>();
    auto sink = [this](const uint8_t* data, size_t n) {
        if (!AppendResponseData(data, n)) {
            error_ = "the response is too large to keep";
            return false;
        }
        OnStreamEvent(kHasBytes);
        return true;
    };
    auto end = [this](const platform::HttpResult& result) {
        const bool ok = error_.empty() ? Record(result) : false;
        OnStreamEvent(result.transferred ? kEndEncountered : kErrorOccurred);
        // Last: the handler may destroy this request.
        if (onEnd_) {
            auto handler = onEnd_;
            handler(*this, ok);
        }
    };
    platform::HttpResult failure;
    if (!transfer_->Start(Spec(true), sink, end, &failure)) {
        Record(failure);
        return false;
    }
    return true;
}

void CHttpRequest::OnStreamEvent(int event)
{
    // The transfer has already closed itself on error and end; nothing more to do here.
    (void)event;
}

bool OpenURL(const char* url)
{
    return url && platform::OpenWithDesktop(url);
}
