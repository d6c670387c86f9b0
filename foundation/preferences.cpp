#include "foundation/preferences.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>

#include "foundation/base64.h"
#include "foundation/xml_reader.h"
#include "foundation/xml_text.h"
#include "foundation/xml_writer.h"
#include "platform/pending_file.h"
#include "platform/preferences_store.h"

struct CPreferences::Value {
    enum Kind { kInteger, kBoolean, kString, kData };
    Kind kind = kInteger;
    long integer = 0;
    bool boolean = false;
    std::string bytes;  // text or data
};

namespace {

using Value = CPreferences::Value;
using Values = std::map<std::string, Value>;

// The process-wide cache of one domain file: what was read, with the
// changes not yet written laid over it (nullopt: removed).
struct Domain {
    Values values;
    std::map<std::string, std::optional<Value>> pending;
};

std::map<std::string, Domain>& Domains()
{
    static std::map<std::string, Domain> domains;
    return domains;
}

// One element per value: <kind key="..." value="..."/>, key and value
// escaped byte for byte, data as base64.
constexpr const char* kKindNames[] = {"integer", "boolean", "string", "data"};

enum class ReadResult { kRead, kUnreadable, kDamaged };

// A missing file, or one of white space only, is an empty domain.
ReadResult ReadDomainFile(const std::string& file, Values& out, std::string& why)
{
    out.clear();
    std::error_code ec;
    if (!std::filesystem::exists(file, ec)) return ec ? ReadResult::kUnreadable : ReadResult::kRead;
    std::ifstream in(file, std::ios::binary);
    if (!in) return ReadResult::kUnreadable;
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return ReadResult::kUnreadable;
    if (bytes.find_first_not_of(" \t\r\n") == std::string::npos) return ReadResult::kRead;
    CXMLInputFile input;
    CXMLNode root;
    CStr name;
    if (!input.Open(file)) {
        why = input.GetLastError();
        return ReadResult::kDamaged;
    }
    if (!input.GetRoot(root) || !root.GetName(name) || !name.Equals("xml", true)) {
        why = "not a preferences file";
        return ReadResult::kDamaged;
    }
    CXMLNodeList entries;
    root.GetChildren(entries);
    for (int i = 0, n = entries.GetCount(); i < n; ++i) {
        CXMLNode entry;
        CXMLAttributes attributes;
        if (!entries.GetAt(i, entry) || !entry.GetName(name) || !entry.GetAttributes(attributes)) continue;
        CXMLNode keyNode, valueNode;
        CStr key, text;
        if (!attributes.Get("key", keyNode) || !keyNode.GetTextKeepingLineFeeds(key)) continue;
        if (!attributes.Get("value", valueNode) || !valueNode.GetTextKeepingLineFeeds(text)) continue;
        Value value;
        if (name.Equals("integer", true)) {
            value.kind = Value::kInteger;
            value.integer = xmltext::ParseLong(text.c_str());
        } else if (name.Equals("boolean", true)) {
            value.kind = Value::kBoolean;
            value.boolean = text.Equals("true", true);
        } else if (name.Equals("string", true)) {
            value.kind = Value::kString;
            value.bytes = text.c_str();
        } else if (name.Equals("data", true)) {
            CBase64 decoder;
            if (!decoder.Decode(text.c_str(), text.GetLength())) continue;
            value.kind = Value::kData;
            value.bytes.assign(reinterpret_cast<const char*>(decoder.GetData()), decoder.GetLength());
        } else {
            continue;
        }
        out[key.c_str()] = std::move(value);
    }
    return ReadResult::kRead;
}

// Moves a damaged domain file aside under a free name beside it, so that
// nothing in it is lost when the domain is written anew.
bool KeepAside(const std::string& file, std::string& keptAs)
{
    for (int n = 1; n <= 1000; ++n) {
        std::string candidate = file + ".damaged" + (n == 1 ? std::string() : "-" + std::to_string(n));
        std::error_code ec;
        if (std::filesystem::exists(candidate, ec) || ec) continue;
        if (!platform::GiveName(file, candidate, false)) {
            if (errno == EEXIST) continue;
            return false;
        }
        keptAs = candidate;
        return true;
    }
    return false;
}

bool WriteDomainFile(const std::string& file, const Values& values)
{
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(file).parent_path(), ec);
    if (ec) return false;
    CXMLOutputFile output;
    if (!output.Open(file, CXMLWriteOptions(), true)) return false;
    for (const auto& [key, value] : values) {
        output.Write("<").Write(kKindNames[value.kind]).Write(" key=\"").EscapeAndWrite(key).Write("\" value=\"");
        switch (value.kind) {
        case Value::kInteger: output.WriteInt(value.integer); break;
        case Value::kBoolean: output.WriteBool(value.boolean); break;
        case Value::kString: output.EscapeAndWrite(value.bytes); break;
        case Value::kData:
            if (!value.bytes.empty()) output.WriteBase64(value.bytes.data(), value.bytes.size());
            break;
        }
        output.Write("\"/>\n");
    }
    return output.Close();
}

// Rereads the file and lays the pending changes over it; with write set and
// changes pending, writes the result. The changes stay pending when that
// fails. A damaged file counts as an empty domain once it is kept aside (in
// a scope we may write), and damage tells what happened to it.
bool SynchronizeDomain(const std::string& file, bool write, bool writable, std::string& damage)
{
    Domain& domain = Domains()[file];
    Values values;
    std::string why;
    switch (ReadDomainFile(file, values, why)) {
    case ReadResult::kRead: break;
    case ReadResult::kUnreadable: return false;
    case ReadResult::kDamaged: {
        std::string keptAs;
        if (writable && KeepAside(file, keptAs)) {
            damage = "the preferences file " + file + " was damaged (" + why + "); it was kept as " + keptAs +
                     " and the preferences start empty";
        } else {
            damage = "the preferences file " + file + " is damaged (" + why + "); it was left in place and " +
                     "the preferences start empty";
            if (write && !domain.pending.empty()) return false;  // writing would lose it
        }
        break;
    }
    }
    for (const auto& [key, change] : domain.pending) {
        if (change)
            values[key] = *change;
        else
            values.erase(key);
    }
    domain.values = values;
    if (!write || domain.pending.empty()) return true;
    if (!writable || !WriteDomainFile(file, values)) return false;
    domain.pending.clear();
    return true;
}

}  // namespace

CPreferences::~CPreferences()
{
    Synchronize();
}

bool CPreferences::Open(const char* applicationId, int scope)
{
    Synchronize();
    if (scope != kScopeAnyUserCurrentHost && scope != kScopeCurrentUserAnyHost) return false;
    std::string file;
    if (!platform::PreferencesFilePath(applicationId ? applicationId : platform::kCurrentApplicationDomain, scope,
                                       file))
        return false;
    std::string damage;
    if (!SynchronizeDomain(file, false, platform::IsPreferencesScopeWritable(scope), damage)) return false;
    if (!damage.empty()) {
        error_ = kErrorDamaged;
        errorMessage_ = damage;
    }
    domainFile_ = file;
    scope_ = scope;
    open_ = true;
    dirty_ = false;
    return true;
}

const CPreferences::Value* CPreferences::Find(const char* key) const
{
    if (!open_ || !key) return nullptr;
    const Values& values = Domains()[domainFile_].values;
    auto it = values.find(key);
    return it == values.end() ? nullptr : &it->second;
}

bool CPreferences::GetInt(const char* key, int32_t& value) const
{
    const Value* stored = Find(key);
    if (!stored || stored->kind != Value::kInteger || stored->integer < INT32_MIN || stored->integer > INT32_MAX)
        return false;
    value = static_cast<int32_t>(stored->integer);
    return true;
}

bool CPreferences::GetBool(const char* key, bool& value) const
{
    const Value* stored = Find(key);
    if (!stored || stored->kind != Value::kBoolean) return false;
    value = stored->boolean;
    return true;
}

bool CPreferences::GetString(const char* key, char* buffer, size_t size) const
{
    if (!buffer || size == 0) return false;
    const Value* stored = Find(key);
    if (!stored || stored->kind != Value::kString) return false;
    // Like a C-string conversion, the text ends at a zero byte.
    size_t length = std::strlen(stored->bytes.c_str());
    if (length >= size) return false;
    std::memcpy(buffer, stored->bytes.c_str(), length + 1);
    return true;
}

size_t CPreferences::GetData(const char* key, void* buffer, size_t capacity) const
{
    const Value* stored = Find(key);
    if (!stored || stored->kind != Value::kData || stored->bytes.size() > capacity) return 0;
    if (!stored->bytes.empty()) {
        if (!buffer) return 0;
        std::memcpy(buffer, stored->bytes.data(), stored->bytes.size());
    }
    return stored->bytes.size();
}

bool CPreferences::Store(const char* key, Value value, int keyError)
{
    if (!key) {
        error_ = keyError;
        return false;
    }
    if (!open_) return false;
    Domain& domain = Domains()[domainFile_];
    domain.values[key] = value;
    domain.pending[key] = std::move(value);
    dirty_ = true;
    return true;
}

bool CPreferences::RemoveKey(const char* key)
{
    if (!Find(key)) return false;
    Domain& domain = Domains()[domainFile_];
    domain.values.erase(key);
    domain.pending[key] = std::nullopt;
    dirty_ = true;
    return true;
}

bool CPreferences::SetInt(const char* key, int32_t value)
{
    return SetLong(key, value);
}

bool CPreferences::SetLong(const char* key, long value)
{
    Value stored;
    stored.kind = Value::kInteger;
    stored.integer = value;
    return Store(key, std::move(stored), kErrorIntKey);
}

bool CPreferences::SetBool(const char* key, bool value)
{
    Value stored;
    stored.kind = Value::kBoolean;
    stored.boolean = value;
    return Store(key, std::move(stored), kErrorBoolKey);
}

bool CPreferences::SetString(const char* key, const char* value)
{
    if (key && !value) {
        error_ = kErrorStringValue;
        return false;
    }
    Value stored;
    stored.kind = Value::kString;
    stored.bytes = value ? value : "";
    return Store(key, std::move(stored), kErrorStringKey);
}

bool CPreferences::SetData(const char* key, const void* bytes, size_t length)
{
    if (key && !bytes && length > 0) return false;
    Value stored;
    stored.kind = Value::kData;
    if (length > 0) stored.bytes.assign(static_cast<const char*>(bytes), length);
    return Store(key, std::move(stored), kErrorDataKey);
}

bool CPreferences::Synchronize()
{
    bool wrote = false;
    if (open_ && dirty_) {
        std::string damage;
        wrote = SynchronizeDomain(domainFile_, true, platform::IsPreferencesScopeWritable(scope_), damage);
        if (!damage.empty()) errorMessage_ = damage;
        if (!wrote)
            error_ = kErrorSynchronize;
        else if (!damage.empty())
            error_ = kErrorDamaged;
    }
    open_ = false;
    dirty_ = false;
    domainFile_.clear();
    return wrote;
}
