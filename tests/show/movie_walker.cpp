#include "show/movie_walker.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include "support/test_support.h"

namespace show_test {

namespace {

struct Bits {
    const std::string& s;
    size_t byte;
    int bit = 0;
    uint32_t Read(int n)
    {
        uint32_t v = 0;
        for (int i = 0; i < n; ++i) {
            const uint8_t b = byte < s.size() ? uint8_t(s[byte]) : 0;
            v = (v << 1) | ((b >> (7 - bit)) & 1);
            if (++bit == 8) {
                bit = 0;
                ++byte;
            }
        }
        return v;
    }
    void Align()
    {
        if (bit) {
            bit = 0;
            ++byte;
        }
    }
};

void SkipMatrix(Bits& b)
{
    if (b.Read(1)) b.Read(int(b.Read(5)) * 2);
    if (b.Read(1)) b.Read(int(b.Read(5)) * 2);
    b.Read(int(b.Read(5)) * 2);
    b.Align();
}

void SkipCxformWithAlpha(Bits& b)
{
    const bool add = b.Read(1), mult = b.Read(1);
    const int n = int(b.Read(4));
    b.Read(n * 4 * (int(add) + int(mult)));
    b.Align();
}

}  // namespace

uint16_t U16(const std::string& bytes, size_t at)
{
    if (at + 2 > bytes.size()) return 0;
    return uint16_t(uint8_t(bytes[at]) | (uint8_t(bytes[at + 1]) << 8));
}

WalkedMovie WalkMovie(const std::string& path)
{
    WalkedMovie m;
    const std::string file = tavrel_test::ReadFile(path);
    if (file.size() < 8) return m;
    m.signature = file.substr(0, 3);
    m.version = uint8_t(file[3]);
    m.length = uint32_t(U16(file, 4)) | (uint32_t(U16(file, 6)) << 16);
    if (m.signature == "CWS") {
        m.body.resize(m.length > 8 ? m.length - 8 : 0);
        uLongf size = uLongf(m.body.size());
        if (uncompress(reinterpret_cast<Bytef*>(m.body.data()), &size,
                       reinterpret_cast<const Bytef*>(file.data() + 8), uLong(file.size() - 8)) != Z_OK)
            return m;
        m.body.resize(size);
    } else if (m.signature == "FWS") {
        m.body = file.substr(8);
    } else {
        return m;
    }
    m.fileSize = uint32_t(m.body.size() + 8);
    Bits bits{m.body, 0};
    const int n = int(bits.Read(5));
    const int32_t xmin = int32_t(bits.Read(n)), xmax = int32_t(bits.Read(n));
    const int32_t ymin = int32_t(bits.Read(n)), ymax = int32_t(bits.Read(n));
    bits.Align();
    m.width = xmax - xmin;
    m.height = ymax - ymin;
    size_t at = bits.byte;
    m.rate = U16(m.body, at) / 256.0;
    m.frameCount = U16(m.body, at + 2);
    at += 4;
    int frame = 0;
    while (at + 2 <= m.body.size()) {
        const uint16_t head = U16(m.body, at);
        at += 2;
        uint32_t length = head & 0x3F;
        if (length == 0x3F) {
            if (at + 4 > m.body.size()) return m;
            length = uint32_t(U16(m.body, at)) | (uint32_t(U16(m.body, at + 2)) << 16);
            at += 4;
        }
        if (at + length > m.body.size()) return m;
        WalkedTag tag{head >> 6, frame, m.body.substr(at, length)};
        at += length;
        m.tags.push_back(tag);
        if (tag.code == 1) ++frame;
        if (tag.code == 0) break;
    }
    m.ok = !m.tags.empty() && m.tags.back().code == 0 && at == m.body.size();
    return m;
}

std::vector<const WalkedTag*> WalkedMovie::Find(int code) const
{
    std::vector<const WalkedTag*> found;
    for (const WalkedTag& t : tags)
        if (t.code == code) found.push_back(&t);
    return found;
}

const WalkedTag& WalkedMovie::Nth(int code, int index) const
{
    const std::vector<const WalkedTag*> found = Find(code);
    const size_t at = index < 0 ? found.size() - 1 : size_t(index);
    if (at < found.size()) return *found[at];
    ADD_FAILURE() << "no tag " << code << " at " << index << " (" << found.size() << " of that code)";
    static const WalkedTag missing{-1, -1, std::string(256, '\0')};
    return missing;
}

int WalkedMovie::LabelFrame(const std::string& label) const
{
    for (const WalkedTag* t : Find(43))
        if (t->body.c_str() == label) return t->frame;
    return -1;
}

WalkedPlace ReadPlace(const std::string& body)
{
    WalkedPlace p;
    if (body.size() < 3) return p;
    const uint8_t flags = uint8_t(body[0]);
    p.depth = U16(body, 1);
    size_t at = 3;
    if (flags & 0x02) {
        p.character = U16(body, at);
        at += 2;
    }
    Bits bits{body, at};
    if (flags & 0x04) SkipMatrix(bits);
    if (flags & 0x08) SkipCxformWithAlpha(bits);
    at = bits.byte;
    if (flags & 0x10) at += 2;
    if (flags & 0x20) {
        p.name = std::string(body.c_str() + std::min(at, body.size()));
        at += p.name.size() + 1;
    }
    if (flags & 0x40) p.clipDepth = U16(body, at);
    return p;
}

std::vector<WalkedAction> ReadActions(const std::string& body)
{
    std::vector<WalkedAction> actions;
    size_t at = 0;
    while (at < body.size() && body[at] != 0) {
        WalkedAction a{uint8_t(body[at++]), {}};
        if (a.code & 0x80) {
            const uint16_t length = U16(body, at);
            a.payload = body.substr(at + 2, length);
            at += 2 + length;
        }
        actions.push_back(a);
    }
    return actions;
}

std::vector<int> ActionCodes(const std::string& body)
{
    std::vector<int> codes;
    for (const WalkedAction& a : ReadActions(body)) codes.push_back(a.code);
    return codes;
}

}  // namespace show_test
