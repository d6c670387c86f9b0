#include "platform/bundle.h"

#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstdio>
#include <mutex>

#include "platform/regular_file.h"

namespace platform {

namespace {

std::string ExecutableFolder()
{
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return ".";
    std::string exe(buf, static_cast<size_t>(n));
    size_t slash = exe.rfind('/');
    return slash == std::string::npos ? "." : (slash == 0 ? "/" : exe.substr(0, slash));
}

// Languages to try, most preferred first; English is the table we ship.
std::string PreferredLanguage()
{
    for (const char* var : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* v = std::getenv(var);
        if (v && *v && std::string(v) != "C" && std::string(v) != "POSIX") {
            std::string lang(v);
            size_t cut = lang.find_first_of("_.:@");
            return lang.substr(0, cut);
        }
    }
    return "en";
}

struct StringTableCache {
    std::mutex mutex;
    std::string bundle;  // the bundle the table was read from
    bool loaded = false;
    std::map<std::string, std::string> table;
};

StringTableCache& Cache()
{
    static StringTableCache cache;
    return cache;
}

bool LoadTable(const std::string& path, std::map<std::string, std::string>& out)
{
    std::FILE* in = OpenRegularStream(path);
    if (!in) return false;
    std::string text;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, in)) > 0;) text.append(buffer, n);
    std::fclose(in);
    return ParseStringsTable(text, out);
}

}  // namespace

std::string MainBundlePath()
{
    const char* env = std::getenv("TAVREL_BUNDLE");
    if (env && *env) {
        std::string path(env);
        while (path.size() > 1 && path.back() == '/') path.pop_back();
        return path;
    }
    std::string folder = ExecutableFolder();
    const std::string tail = "/Contents/MacOS";
    if (folder.size() > tail.size() && folder.compare(folder.size() - tail.size(), tail.size(), tail) == 0)
        return folder.substr(0, folder.size() - tail.size());
    return folder;
}

std::string MainBundleResourcesPath()
{
    return MainBundlePath() + "/Contents/Resources";
}

bool ParseStringsTable(const std::string& text, std::map<std::string, std::string>& out)
{
    size_t i = 0, n = text.size();
    auto skipSpace = [&]() {
        for (;;) {
            while (i < n && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == '\r')) ++i;
            if (i + 1 < n && text[i] == '/' && text[i + 1] == '*') {
                size_t end = text.find("*/", i + 2);
                i = end == std::string::npos ? n : end + 2;
            } else if (i + 1 < n && text[i] == '/' && text[i + 1] == '/') {
                while (i < n && text[i] != '\n') ++i;
            } else {
                return;
            }
        }
    };
    auto quoted = [&](std::string& s) {
        if (i >= n || text[i] != '"') return false;
        ++i;
        s.clear();
        while (i < n && text[i] != '"') {
            char c = text[i++];
            if (c == '\\') {
                if (i >= n) return false;
                char e = text[i++];
                switch (e) {
                    case 'n': c = '\n'; break;
                    case 'r': c = '\r'; break;
                    case 't': c = '\t'; break;
                    default: c = e; break;  // \" and \\ and anything else literally
                }
            }
            s.push_back(c);
        }
        if (i >= n) return false;
        ++i;
        return true;
    };
    std::map<std::string, std::string> table;
    for (;;) {
        skipSpace();
        if (i >= n) break;
        std::string key, value;
        if (!quoted(key)) return false;
        skipSpace();
        if (i >= n || text[i++] != '=') return false;
        skipSpace();
        if (!quoted(value)) return false;
        skipSpace();
        if (i >= n || text[i++] != ';') return false;
        table[key] = value;
    }
    out.swap(table);
    return true;
}

CFStringRef CopyLocalizedString(CFStringRef key, CFStringRef value)
{
    if (!key) return nullptr;
    StringTableCache& cache = Cache();
    std::string found;
    bool hit = false;
    {
        std::lock_guard<std::mutex> lock(cache.mutex);
        std::string bundle = MainBundlePath();
        if (!cache.loaded || cache.bundle != bundle) {
            cache.table.clear();
            std::string res = bundle + "/Contents/Resources/";
            if (!LoadTable(res + PreferredLanguage() + ".lproj/Localizable.strings", cache.table))
                LoadTable(res + "en.lproj/Localizable.strings", cache.table);
            cache.bundle = bundle;
            cache.loaded = true;
        }
        auto it = cache.table.find(ToUtf8(key));
        if (it != cache.table.end()) {
            found = it->second;
            hit = true;
        }
    }
    if (hit) {
        CFStringRef s = CFStringCreateWithCString(found.c_str(), kCFStringEncodingUTF8);
        if (s) return s;
    }
    return CFStringRetain(value ? value : key);
}

std::string FindBundleResource(const std::string& name)
{
    if (name.empty() || name[0] == '/' || name.find("..") != std::string::npos) return std::string();
    std::string res = MainBundleResourcesPath() + "/";
    for (const std::string& folder : {std::string(), PreferredLanguage() + ".lproj/", std::string("en.lproj/")}) {
        std::string path = res + folder + name;
        if (access(path.c_str(), F_OK) == 0) return path;
    }
    return std::string();
}

}  // namespace platform
