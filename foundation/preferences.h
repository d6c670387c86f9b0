#pragma once
// An open handle on one preferences domain: typed values under text keys,
// kept in memory until Synchronize writes the changes back (only when
// something was set). Keys and texts are bytes in the application's text
// encoding.
#include <cstddef>
#include <cstdint>
#include <string>

class CPreferences {
public:
    enum Scope {
        kScopeAnyUserCurrentHost = 0,
        kScopeCurrentUserAnyHost = 1,
    };
    enum Error {
        kErrorNone = 0,
        kErrorSynchronize = 603,
        kErrorStringKey = 604,
        kErrorStringValue = 605,
        kErrorIntKey = 608,
        kErrorIntValue = 609,
        kErrorBoolKey = 610,
        kErrorDataKey = 611,
        kErrorDamaged = 612,  // the domain's file was damaged; the domain started empty
    };

    CPreferences() = default;
    // Synchronizes.
    ~CPreferences();
    CPreferences(const CPreferences&) = delete;
    CPreferences& operator=(const CPreferences&) = delete;

    // Opens the domain applicationId (the running application's when null)
    // in scope 0 or 1 and reads it. A domain never written is empty.
    bool Open(const char* applicationId, int scope);
    bool IsOpen() const { return open_; }

    // False, value unchanged, for a missing key or a value of another type.
    bool GetInt(const char* key, int32_t& value) const;
    bool GetBool(const char* key, bool& value) const;
    // False when the text and its terminator do not fit size bytes.
    bool GetString(const char* key, char* buffer, size_t size) const;
    // The stored length when it fits capacity (bytes copied), else 0.
    size_t GetData(const char* key, void* buffer, size_t capacity) const;

    bool SetInt(const char* key, int32_t value);
    bool SetLong(const char* key, long value);
    bool SetBool(const char* key, bool value);
    bool SetString(const char* key, const char* value);
    bool SetData(const char* key, const void* bytes, size_t length);
    // Removes the key (written back by Synchronize); false when absent.
    bool RemoveKey(const char* key);

    // Writes the changes when anything was set, then closes the handle.
    // True only when a write happened and succeeded.
    bool Synchronize();

    // The code of the last failure; later successes do not reset it.
    int GetError() const { return error_; }
    // What happened to a damaged domain file, for messages; empty otherwise.
    const std::string& GetErrorMessage() const { return errorMessage_; }

    // One stored value (defined with the store).
    struct Value;

private:
    const Value* Find(const char* key) const;
    bool Store(const char* key, Value value, int keyError);

    int error_ = kErrorNone;
    std::string errorMessage_;
    std::string domainFile_;
    int scope_ = kScopeCurrentUserAnyHost;
    bool open_ = false;
    bool dirty_ = false;
};
