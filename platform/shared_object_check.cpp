#include "platform/shared_object_check.h"

#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/files.h"
#include "platform/regular_file.h"

namespace platform {

namespace {

using Ehdr = ElfW(Ehdr);
using Phdr = ElfW(Phdr);
using Shdr = ElfW(Shdr);
using Dyn = ElfW(Dyn);
using Sym = ElfW(Sym);
constexpr uint64_t kWord = sizeof(ElfW(Addr));

// What this machine's loader does with relocations: whether its tables carry
// addends (it ignores the other kind), the relative kind it applies unseen to
// the first DT_RELACOUNT entries, the copy kind only programs may hold, the
// descriptor kind that writes two words and the kind whose address is a
// resolver the loader calls. On other machines the checks that need these
// are left out.
struct Machine {
    bool known;
    uint16_t id;
    bool addends;
    uint32_t relative, copy, descriptor, resolved;
};
#if defined(__x86_64__)
constexpr Machine kOurs{true, EM_X86_64, true, R_X86_64_RELATIVE, R_X86_64_COPY, R_X86_64_TLSDESC, R_X86_64_IRELATIVE};
#elif defined(__aarch64__)
constexpr Machine kOurs{
    true, EM_AARCH64, true, R_AARCH64_RELATIVE, R_AARCH64_COPY, R_AARCH64_TLSDESC, R_AARCH64_IRELATIVE};
#elif defined(__i386__)
constexpr Machine kOurs{true, EM_386, false, R_386_RELATIVE, R_386_COPY, R_386_TLS_DESC, R_386_IRELATIVE};
#elif defined(__arm__)
constexpr Machine kOurs{true, EM_ARM, false, R_ARM_RELATIVE, R_ARM_COPY, R_ARM_TLS_DESC, R_ARM_IRELATIVE};
#else
constexpr Machine kOurs{false, EM_NONE, sizeof(void*) == 8, UINT32_MAX, UINT32_MAX, UINT32_MAX, UINT32_MAX};
#endif
constexpr bool kAddends = kOurs.addends;
constexpr uint32_t kNoRelocation = 0;  // R_*_NONE on all of them
constexpr uint64_t kRelocSize = kAddends ? sizeof(ElfW(Rela)) : sizeof(ElfW(Rel));
constexpr int64_t kRelocTag = kAddends ? DT_RELA : DT_REL, kRelocSizeTag = kAddends ? DT_RELASZ : DT_RELSZ,
                  kRelocEntryTag = kAddends ? DT_RELAENT : DT_RELENT,
                  kRelativeCountTag = kAddends ? DT_RELACOUNT : DT_RELCOUNT;
// Far more than any linker writes; the loader keeps the table on its stack.
constexpr uint32_t kMostProgramHeaders = 1024;
// Version indices have 15 bits; walks longer than this go round in circles.
constexpr uint32_t kMostVersionEntries = 65536;

std::string Damaged(const std::string& what)
{
    return "the file is damaged: " + what;
}
std::string Outside(const std::string& what)
{
    return Damaged("its " + what + " lies outside what it loads");
}

bool PowerOfTwo(uint64_t v)
{
    return v != 0 && (v & (v - 1)) == 0;
}

// a + b, or UINT64_MAX when it does not fit.
uint64_t Sum(uint64_t a, uint64_t b)
{
    return a > UINT64_MAX - b ? UINT64_MAX : a + b;
}

// A loadable segment: where the loader maps which bytes of the file.
struct Load {
    uint64_t vaddr, memsz, offset, filesz;
    uint32_t flags;
};

// The file as the loader maps it, its segments in address order and apart.
class Image {
public:
    Image(const uint8_t* file, uint64_t size, std::vector<Load> loads, uint64_t page)
        : file_(file), size_(size), loads_(std::move(loads)), page_(page)
    {
    }

    // The file's bytes the loader maps at [vaddr, vaddr + size), or null when
    // they are not all file bytes of one segment it may read.
    const uint8_t* Bytes(uint64_t vaddr, uint64_t size) const
    {
        uint64_t count = 0;
        const uint8_t* bytes = From(vaddr, &count);
        return bytes && size <= count ? bytes : nullptr;
    }
    // The file's bytes from vaddr to the end of its segment's file part.
    const uint8_t* From(uint64_t vaddr, uint64_t* count) const
    {
        const Load* s = Holding(vaddr);
        // A segment of no file bytes may name any offset.
        if (!s || !(s->flags & PF_R) || vaddr - s->vaddr > s->filesz || s->offset > size_) return nullptr;
        *count = s->filesz - (vaddr - s->vaddr);
        return file_ + s->offset + (vaddr - s->vaddr);
    }
    template <class T>
    bool Get(uint64_t vaddr, T* out) const
    {
        const uint8_t* bytes = Bytes(vaddr, sizeof(T));
        if (bytes) std::memcpy(out, bytes, sizeof(T));
        return bytes != nullptr;
    }
    // The segment whose mapped pages (file part and zeroed rest, whole pages)
    // hold [vaddr, vaddr + size), or null.
    const Load* Pages(uint64_t vaddr, uint64_t size) const
    {
        const Load* s = Holding(vaddr);
        // Pages are shared at the edges: the next segment's first page may hold it.
        const Load* next = s ? (s + 1 < loads_.data() + loads_.size() ? s + 1 : nullptr) : loads_.data();
        for (const Load* c : {s, next}) {
            if (!c) continue;
            const uint64_t start = c->vaddr & ~(page_ - 1), end = (c->vaddr + c->memsz + page_ - 1) & ~(page_ - 1);
            if (vaddr >= start && size <= end - start && vaddr - start <= end - start - size) return c;
        }
        return nullptr;
    }

private:
    // The last segment that starts at or before vaddr.
    const Load* Holding(uint64_t vaddr) const
    {
        auto it = std::upper_bound(loads_.begin(), loads_.end(), vaddr,
                                   [](uint64_t v, const Load& s) { return v < s.vaddr; });
        return it == loads_.begin() ? nullptr : &*(it - 1);
    }

    const uint8_t* file_;
    uint64_t size_;
    std::vector<Load> loads_;
    uint64_t page_;
};

// A place the loader writes while relocating, and what lands there: an
// address in the file (the entry's addend, or the word already at the
// place) or a symbol's.
struct Write {
    uint64_t at, size;
    uint32_t kind;
    uint64_t symbol, addend;
    bool inPlace;  // the addend is the word at the place
};

// The dynamic section and the tables it names, checked as the loader of this
// system follows them (glibc's dlopen with RTLD_NOW).
class DynamicCheck {
public:
    DynamicCheck(const Image& image, const std::vector<Phdr>& segments, const Phdr& dynamic)
        : image_(image), segments_(segments), dynamic_(dynamic)
    {
    }

    std::string Problem()
    {
        for (auto step : {&DynamicCheck::Entries, &DynamicCheck::Kinds}) {
            std::string problem = (this->*step)();
            if (!problem.empty()) return problem;
        }
        // Programs, and objects marked not to be opened, the loader refuses here.
        if (Value(DT_FLAGS_1) & (DF_1_PIE | DF_1_NOOPEN)) return "";
        for (auto step :
             {&DynamicCheck::Strings, &DynamicCheck::Hashes, &DynamicCheck::RelocationTables, &DynamicCheck::Symbols,
              &DynamicCheck::Versions, &DynamicCheck::Writes, &DynamicCheck::Functions}) {
            std::string problem = (this->*step)();
            if (!problem.empty()) return problem;
        }
        return "";
    }

    // The libraries it needs by name, once Problem() found none; none when
    // it names where to look for them.
    std::vector<std::string> Needs() const
    {
        std::vector<std::string> names;
        if (!strings_ || Has(DT_RPATH) || Has(DT_RUNPATH)) return names;
        for (uint64_t n : needed_) names.emplace_back(String(n));
        return names;
    }

private:
    bool Has(int64_t tag) const { return last_.count(tag) != 0; }
    uint64_t Value(int64_t tag) const
    {
        auto it = last_.find(tag);
        return it == last_.end() ? 0 : it->second;
    }
    // The table of size bytes at vaddr, which the loader reads: in the file,
    // and never written by a relocation.
    bool Table(uint64_t vaddr, uint64_t size)
    {
        if (!image_.Bytes(vaddr, size)) return false;
        if (size > 0) read_.emplace_back(vaddr, vaddr + size);
        return true;
    }
    bool InStrings(uint64_t offset) const { return offset < stringsSize_; }
    std::string_view String(uint64_t offset) const
    {
        const char* s = reinterpret_cast<const char*>(strings_) + offset;
        return std::string_view(s, std::strlen(s));  // the table ends with a zero
    }

    // The entries up to DT_NULL, the last of each kind counting as the loader
    // takes it.
    std::string Entries()
    {
        const uint8_t* bytes = image_.Bytes(dynamic_.p_vaddr, dynamic_.p_filesz);
        read_.emplace_back(dynamic_.p_vaddr, dynamic_.p_vaddr + dynamic_.p_filesz);
        for (uint64_t at = 0; at + sizeof(Dyn) <= dynamic_.p_filesz; at += sizeof(Dyn)) {
            Dyn d;
            std::memcpy(&d, bytes + at, sizeof d);
            if (d.d_tag == DT_NULL) return "";
            last_[d.d_tag] = d.d_un.d_val;
            if (d.d_tag == DT_NEEDED || d.d_tag == DT_AUXILIARY || d.d_tag == DT_FILTER) names_.push_back(d.d_un.d_val);
            if (d.d_tag == DT_NEEDED) needed_.push_back(d.d_un.d_val);
        }
        return Damaged("its dynamic section has no end");
    }

    std::string Strings()
    {
        if (!Has(DT_STRTAB) || !Has(DT_STRSZ)) return Damaged("its dynamic section names no string table");
        stringsSize_ = Value(DT_STRSZ);
        strings_ = image_.Bytes(Value(DT_STRTAB), stringsSize_);
        if (!strings_ || !Table(Value(DT_STRTAB), stringsSize_)) return Outside("string table");
        if (stringsSize_ == 0 || strings_[stringsSize_ - 1] != 0) return Damaged("its string table does not end");
        for (int64_t tag : {DT_SONAME, DT_RPATH, DT_RUNPATH, DT_AUDIT, DT_DEPAUDIT})
            if (Has(tag)) names_.push_back(Value(tag));
        for (uint64_t name : names_)
            if (!InStrings(name)) return Damaged("a name in its dynamic section lies outside its string table");
        return "";
    }

    // The hash tables, and from them the number of symbols lookups reach.
    std::string Hashes()
    {
        if (!Has(DT_SYMTAB)) return Damaged("its dynamic section names no symbol table");
        if (Has(DT_GNU_HASH)) {
            const uint64_t at = Value(DT_GNU_HASH);
            uint32_t head[4];  // buckets, first hashed symbol, bloom words, shift
            if (!image_.Get(at, &head)) return Outside("GNU hash table");
            if (!PowerOfTwo(head[2])) return Damaged("its GNU hash table is malformed");
            const uint64_t bucketsAt = at + 16 + uint64_t(head[2]) * kWord;
            const uint64_t chainsAt = bucketsAt + uint64_t(head[0]) * 4;
            if (!Table(at, chainsAt - at)) return Outside("GNU hash table");
            const uint8_t* buckets = image_.Bytes(bucketsAt, chainsAt - bucketsAt);
            uint32_t first = UINT32_MAX, last = 0;
            for (uint32_t i = 0; i < head[0]; ++i) {
                uint32_t b;
                std::memcpy(&b, buckets + 4 * i, 4);
                if (b == 0) continue;
                if (b < head[1]) return Damaged("its GNU hash table is malformed");
                first = std::min(first, b);
                last = std::max(last, b);
            }
            if (first != UINT32_MAX) {
                // Every chain runs from its bucket to a word with the low bit set.
                uint64_t count = 0;
                const uint8_t* chain = image_.From(chainsAt + uint64_t(first - head[1]) * 4, &count);
                uint64_t i = first;
                for (;; ++i) {
                    if (!chain || (i - first + 1) * 4 > count) return Outside("GNU hash table");
                    uint32_t word;
                    std::memcpy(&word, chain + (i - first) * 4, 4);
                    if (i >= last && (word & 1)) break;
                }
                read_.emplace_back(chainsAt + uint64_t(first - head[1]) * 4, chainsAt + (i + 1 - head[1]) * 4);
                symbols_ = std::max(symbols_, i + 1);
            }
        }
        if (Has(DT_HASH)) {
            const uint64_t at = Value(DT_HASH);
            uint32_t head[2];  // buckets, chain length (the number of symbols)
            if (!image_.Get(at, &head)) return Outside("hash table");
            const uint64_t words = 2 + uint64_t(head[0]) + head[1];
            if (!Table(at, words * 4)) return Outside("hash table");
            const uint8_t* table = image_.Bytes(at, words * 4);
            auto word = [&](uint64_t i) {
                uint32_t w;
                std::memcpy(&w, table + 4 * (2 + i), 4);
                return w;
            };
            // Chains end at symbol 0; one that comes round again never ends.
            std::vector<uint8_t> state(head[1], 0);  // 0 unseen, 1 on this walk, 2 done
            for (uint64_t b = 0; b < head[0]; ++b) {
                std::vector<uint32_t> walk;
                for (uint32_t s = word(b); s != 0; s = word(head[0] + s)) {
                    if (s >= head[1]) return Damaged("its hash table is malformed");
                    if (state[s] == 2) break;
                    if (state[s] == 1) return Damaged("its hash table is malformed");
                    state[s] = 1;
                    walk.push_back(s);
                }
                for (uint32_t s : walk) state[s] = 2;
            }
            symbols_ = std::max<uint64_t>(symbols_, head[1]);
        }
        return "";
    }

    // What the loader asserts of the entries as it reads them.
    std::string Kinds()
    {
        if (Has(DT_PLTREL) && Value(DT_PLTREL) != uint64_t(kRelocTag))
            return Damaged("its PLT relocations are of a kind this system does not load");
        if (Has(kRelocTag) && (!Has(kRelocEntryTag) || Value(kRelocEntryTag) != kRelocSize))
            return Damaged("its relocations are of " + std::to_string(Value(kRelocEntryTag)) + " bytes");
#ifdef DT_RELR
        if (Has(DT_RELR) && (!Has(DT_RELRENT) || Value(DT_RELRENT) != kWord))
            return Damaged("its relative relocations are of " + std::to_string(Value(DT_RELRENT)) + " bytes");
#endif
        return "";
    }

    // The relocation tables: their sizes and kinds, the symbols they name.
    std::string RelocationTables()
    {
        if (Has(DT_JMPREL) != Has(DT_PLTREL) || Has(DT_JMPREL) != Has(DT_PLTRELSZ))
            return Damaged("its dynamic section names PLT relocations without their size or kind");
        if (Has(kRelocTag) && !Has(kRelocSizeTag))
            return Damaged("its dynamic section names relocations without their size");
        struct {
            bool present;
            uint64_t at, size;
            uint64_t relative;  // entries the loader takes as relative without looking
        } tables[] = {{Has(kRelocTag), Value(kRelocTag), Value(kRelocSizeTag),
                       Has(kRelativeCountTag) ? Value(kRelativeCountTag) : 0},
                      {Has(DT_JMPREL), Value(DT_JMPREL), Value(DT_PLTRELSZ), 0}};
        // The loader leaves out of the first the PLT table that ends it.
        if (tables[0].present && tables[1].present &&
            Sum(tables[0].at, tables[0].size) == Sum(tables[1].at, tables[1].size) && tables[1].at < tables[0].at)
            return Damaged("its relocation tables overlap");
        for (const auto& t : tables) {
            if (!t.present || t.size == 0) continue;
            // A table at 0 stays at 0 where the loader rewrites the section in place.
            if (t.at == 0 || !Table(t.at, t.size)) return Outside("relocation table");
            if (t.size % kRelocSize != 0) return Damaged("its relocation table does not hold whole entries");
            const uint8_t* bytes = image_.Bytes(t.at, t.size);
            for (uint64_t i = 0; i < t.size / kRelocSize; ++i) {
                ElfW(Addr) words[3] = {0, 0, 0};  // place, kind and symbol, addend
                std::memcpy(words, bytes + i * kRelocSize, kRelocSize);
                const uint64_t symbol = kWord == 8 ? uint64_t(words[1]) >> 32 : words[1] >> 8;
                const uint32_t kind = uint32_t(kWord == 8 ? words[1] & 0xffffffff : words[1] & 0xff);
                const bool relative = i < t.relative;
                if (kOurs.known && relative && kind != kOurs.relative)
                    return Damaged("a relocation counted as relative is of another kind");
                if (kOurs.known && kind == kOurs.copy)
                    return Damaged("it holds a copy relocation, which only programs may hold");
                if (!relative) symbols_ = std::max(symbols_, symbol + 1);
                if (relative || kind != kNoRelocation)
                    writes_.push_back({words[0], kOurs.known && kind == kOurs.descriptor ? 2 * kWord : kWord, kind,
                                       symbol, words[2], !kAddends});
            }
        }
#ifdef DT_RELR
        if (Has(DT_RELR)) {
            if (!Has(DT_RELRSZ)) return Damaged("its dynamic section names relative relocations without their size");
            const uint64_t at = Value(DT_RELR), size = Value(DT_RELRSZ);
            if (!Table(at, size)) return Outside("relative relocation table");
            if (size % kWord != 0) return Damaged("its relocation table does not hold whole entries");
            const uint8_t* bytes = image_.Bytes(at, size);
            // An even entry is an address; an odd one a bitmap of the words after it.
            uint64_t where = 0;
            bool started = false;
            for (uint64_t i = 0; i < size / kWord; ++i) {
                ElfW(Addr) entry;
                std::memcpy(&entry, bytes + i * kWord, kWord);
                if ((entry & 1) == 0) {
                    writes_.push_back({entry, kWord, kOurs.relative, 0, 0, true});
                    where = entry + kWord;
                    started = true;
                    continue;
                }
                if (!started) return Damaged("its relative relocations start without an address");
                for (uint64_t bit = 0; (entry >>= 1) != 0; ++bit)
                    if (entry & 1) writes_.push_back({where + bit * kWord, kWord, kOurs.relative, 0, 0, true});
                where += (8 * kWord - 1) * kWord;
            }
        }
#endif
        return "";
    }

    std::string Symbols()
    {
        const uint64_t at = Value(DT_SYMTAB);
        if (!Table(at, symbols_ * sizeof(Sym))) return Outside("symbol table");
        symbolTable_ = image_.Bytes(at, symbols_ * sizeof(Sym));
        for (uint64_t i = 0; i < symbols_; ++i) {
            const Sym s = Symbol(i);
            if (!InStrings(s.st_name)) return Damaged("a symbol's name lies outside its string table");
            // The loader calls the resolver of a function chosen at load time.
            if (ELF64_ST_TYPE(s.st_info) == STT_GNU_IFUNC && s.st_shndx != SHN_UNDEF && !Code(s.st_value))
                return Damaged("a symbol's resolver lies outside its code");
        }
        return "";
    }
    Sym Symbol(uint64_t i) const
    {
        Sym s;
        std::memcpy(&s, symbolTable_ + i * sizeof(Sym), sizeof s);
        return s;
    }
    bool Code(uint64_t vaddr) const
    {
        const Load* s = image_.Pages(vaddr, 1);
        return s && (s->flags & PF_X);
    }
    // The address in the file a relative write puts at its place, or an
    // address of no code when that cannot be read.
    uint64_t Target(const Write& w) const
    {
        if (!w.inPlace) return w.addend;
        ElfW(Addr) word;
        return image_.Get(w.at, &word) ? word : UINT64_MAX;
    }

    // The versions needed of other libraries and defined here, and the
    // version of each symbol, which indexes the loader's table of them.
    std::string Versions()
    {
        uint32_t highest = 0, steps = 0;
        if (Has(DT_VERNEED)) {
            for (uint64_t at = Value(DT_VERNEED);;) {
                ElfW(Verneed) need;
                if (++steps > kMostVersionEntries) return Damaged("its table of needed versions does not end");
                if (!image_.Get(at, &need) || !Table(at, sizeof need)) return Outside("table of needed versions");
                if (!InStrings(need.vn_file))
                    return Damaged("a name in its table of needed versions lies outside its string table");
                // The loader asserts that the library is one it loaded.
                const std::string_view file = String(need.vn_file);
                if (std::none_of(needed_.begin(), needed_.end(), [&](uint64_t n) { return String(n) == file; }))
                    return Damaged("its table of needed versions names a library it does not need");
                for (uint64_t aux = at + need.vn_aux;;) {
                    ElfW(Vernaux) v;
                    if (++steps > kMostVersionEntries) return Damaged("its table of needed versions does not end");
                    if (!image_.Get(aux, &v) || !Table(aux, sizeof v)) return Outside("table of needed versions");
                    if (!InStrings(v.vna_name))
                        return Damaged("a name in its table of needed versions lies outside its string table");
                    highest = std::max<uint32_t>(highest, v.vna_other & 0x7fff);
                    if (v.vna_next == 0) break;
                    aux += v.vna_next;
                }
                if (need.vn_next == 0) break;
                at += need.vn_next;
            }
        }
        if (Has(DT_VERDEF)) {
            for (uint64_t at = Value(DT_VERDEF);;) {
                ElfW(Verdef) def;
                ElfW(Verdaux) aux;
                if (++steps > kMostVersionEntries) return Damaged("its table of version definitions does not end");
                if (!image_.Get(at, &def) || !Table(at, sizeof def) || !image_.Get(at + def.vd_aux, &aux) ||
                    !Table(at + def.vd_aux, sizeof aux))
                    return Outside("table of version definitions");
                if (!InStrings(aux.vda_name))
                    return Damaged("a name in its table of version definitions lies outside its string table");
                highest = std::max<uint32_t>(highest, def.vd_ndx & 0x7fff);
                if (def.vd_next == 0) break;
                at += def.vd_next;
            }
        }
        // Without versions the loader keeps no table, and a symbol version read
        // from one is read from address 0.
        if (Has(DT_VERSYM) != (highest > 0))
            return Damaged(highest > 0 ? "its versions come without the version of each symbol"
                                       : "its symbol versions come without the versions they name");
        if (!Has(DT_VERSYM)) return "";
        const uint64_t at = Value(DT_VERSYM);
        if (!Table(at, symbols_ * 2)) return Outside("symbol version table");
        const uint8_t* bytes = image_.Bytes(at, symbols_ * 2);
        for (uint64_t i = 0; i < symbols_; ++i) {
            uint16_t v;
            std::memcpy(&v, bytes + 2 * i, 2);
            if ((v & 0x7fff) > highest) return Damaged("a symbol's version is not one it names");
        }
        return "";
    }

    // The code the loader calls: constructors and destructors, each in its
    // list as relocated, and resolvers.
    std::string Functions()
    {
        for (int64_t tag : {DT_INIT, DT_FINI})
            if (Has(tag) && !Code(Value(tag)))
                return Damaged(std::string("its ") + (tag == DT_INIT ? "constructor" : "destructor") +
                               " lies outside its code");
        std::multimap<uint64_t, const Write*> written;
        for (const Write& w : writes_) {
            written.emplace(w.at, &w);
            if (kOurs.known && w.kind == kOurs.resolved && !Code(Target(w)))
                return Damaged("a relocation's resolver lies outside its code");
        }
        const struct {
            int64_t tag, sizeTag;
            const char* what;
        } lists[] = {{DT_INIT_ARRAY, DT_INIT_ARRAYSZ, "list of constructors"},
                     {DT_FINI_ARRAY, DT_FINI_ARRAYSZ, "list of destructors"},
                     {DT_PREINIT_ARRAY, DT_PREINIT_ARRAYSZ, "list of early constructors"}};
        for (const auto& l : lists) {
            if (!Has(l.tag)) continue;
            if (!Has(l.sizeTag))
                return Damaged(std::string("its dynamic section names a ") + l.what + " without its size");
            if (!image_.Bytes(Value(l.tag), Value(l.sizeTag))) return Outside(l.what);
            // Each entry is an address the loader relocates, then calls.
            for (uint64_t at = Value(l.tag); at < Value(l.tag) + Value(l.sizeTag) / kWord * kWord; at += kWord) {
                const auto [first, end] = written.equal_range(at);
                if (first == end) return Damaged(std::string("its ") + l.what + " holds an address not relocated");
                for (auto it = first; it != end; ++it) {
                    // An address in the file, or a symbol's: one defined here
                    // must be code, one defined elsewhere is the other library's.
                    const Write& w = *it->second;
                    const bool relative = w.kind == kOurs.relative || w.symbol == 0 || w.symbol >= symbols_;
                    const Sym symbol = relative ? Sym{} : Symbol(w.symbol);
                    if (w.kind == kOurs.resolved || (!relative && symbol.st_shndx == SHN_UNDEF)) continue;
                    if (!Code(relative ? Target(w) : symbol.st_value))
                        return Damaged(std::string("its ") + l.what + " holds an address outside its code");
                }
            }
        }
        return "";
    }

    // Where the relocations write: pages the loader maps writable (all of
    // them with text relocations), and none of the tables it reads.
    std::string Writes()
    {
        const bool text = Has(DT_TEXTREL) || (Value(DT_FLAGS) & DF_TEXTREL);
        // The program headers in memory, which the loader walks for text relocations.
        for (const Phdr& s : segments_)
            if (s.p_type == PT_PHDR) read_.emplace_back(s.p_vaddr, s.p_vaddr + s.p_memsz);
        // Merged into ranges apart, in order of both start and end.
        std::sort(read_.begin(), read_.end());
        std::vector<std::pair<uint64_t, uint64_t>> merged;
        for (const auto& r : read_) {
            if (!merged.empty() && r.first <= merged.back().second)
                merged.back().second = std::max(merged.back().second, r.second);
            else
                merged.push_back(r);
        }
        for (const Write& w : writes_) {
            const uint64_t at = w.at, size = w.size;
            const Load* s = image_.Pages(at, size);
            if (!s) return Damaged("a relocation writes outside what it loads");
            if (!text && !(s->flags & PF_W)) return Damaged("a relocation writes into a read-only segment");
            auto t = std::upper_bound(merged.begin(), merged.end(), at,
                                      [](uint64_t a, const std::pair<uint64_t, uint64_t>& r) { return a < r.second; });
            if (t != merged.end() && t->first < at + size)
                return Damaged("a relocation writes over the tables the loader reads");
        }
        return "";
    }

    const Image& image_;
    const std::vector<Phdr>& segments_;
    const Phdr& dynamic_;
    std::map<int64_t, uint64_t> last_;
    std::vector<uint64_t> names_, needed_;  // string offsets
    const uint8_t* strings_ = nullptr;
    uint64_t stringsSize_ = 0;
    uint64_t symbols_ = 1;  // the loader reads symbol 0 for every relocation
    const uint8_t* symbolTable_ = nullptr;
    std::vector<std::pair<uint64_t, uint64_t>> read_;  // [start, end) the loader reads
    std::vector<Write> writes_;
};

}  // namespace

namespace {

// The program headers other than the loadable segments, as the loader uses
// them once the segments are mapped.
std::string HeaderProblem(const Image& image, const uint8_t* file, const Ehdr& header,
                          const std::vector<Phdr>& segments, uint64_t page)
{
    bool havePhdr = false;
    for (const Phdr& s : segments) {
        switch (s.p_type) {
            case PT_PHDR:
                // The loader's copy of the table is the one at this address.
                if (image.Bytes(s.p_vaddr, uint64_t(header.e_phnum) * sizeof(Phdr)) != file + header.e_phoff)
                    return Damaged("its program header table is not where it says it is");
                havePhdr = true;
                break;
            case PT_TLS:
                if (s.p_memsz == 0) break;
                if (s.p_filesz > s.p_memsz || !image.Bytes(s.p_vaddr, s.p_filesz)) return Outside("thread-local data");
                if (s.p_align > 1 && !PowerOfTwo(s.p_align)) return Damaged("its thread-local data is misaligned");
                break;
            case PT_GNU_RELRO:
                if (s.p_memsz > 0 && !image.Pages(s.p_vaddr, s.p_memsz))
                    return Outside("part made read-only after relocation");
                break;
            case PT_GNU_EH_FRAME:
                if (!image.Bytes(s.p_vaddr, s.p_memsz)) return Outside("unwind table");
                break;
            case PT_NOTE:
            case PT_GNU_PROPERTY: {
                const uint8_t* notes = image.Bytes(s.p_vaddr, s.p_memsz);
                if (!notes) return Outside("note segment");
                const uint64_t align = s.p_align == 8 ? 8 : 4;
                auto up = [&](uint64_t v) { return (v + align - 1) & ~(align - 1); };
                for (uint64_t at = 0; s.p_memsz - at >= sizeof(ElfW(Nhdr));) {
                    ElfW(Nhdr) note;
                    std::memcpy(&note, notes + at, sizeof note);
                    const uint64_t end = up(at + sizeof note + note.n_namesz) + note.n_descsz;
                    if (end > s.p_memsz) return Damaged("its notes run past their segment");
                    at = std::min<uint64_t>(up(end), s.p_memsz);
                }
                break;
            }
            default:
                break;
        }
    }
    // Without PT_PHDR the loader reads the table from the pages of the
    // segment whose file part holds it, when one does.
    const uint64_t tableEnd = header.e_phoff + uint64_t(header.e_phnum) * sizeof(Phdr);
    for (const Phdr& s : segments) {
        const uint64_t from = s.p_offset & ~(page - 1), to = (s.p_offset + s.p_filesz + page - 1) & ~(page - 1);
        if (!havePhdr && s.p_type == PT_LOAD && from <= header.e_phoff && tableEnd <= to) {
            if (!(s.p_flags & PF_R)) return Damaged("its program header table lies in a segment it may not read");
            break;
        }
    }
    return "";
}

// The loadable segments in address order and apart, as the loader maps them
// into one reservation; "" and the segments, or why not.
std::string LoadsProblem(const std::vector<Phdr>& segments, std::vector<Load>* loads)
{
    constexpr uint64_t kTop = UINT64_MAX / 2;  // far above any address, so that sums cannot wrap
    for (const Phdr& s : segments) {
        if (s.p_type != PT_LOAD) continue;
        // What the loader reads of the file lies in its segments.
        if (s.p_filesz > 0 && !(s.p_flags & PF_R)) return Damaged("a segment it loads may not be read");
        if (s.p_vaddr > kTop || s.p_memsz > kTop - s.p_vaddr ||
            (!loads->empty() && s.p_vaddr < loads->back().vaddr + loads->back().memsz))
            return Damaged("its segments overlap or are out of order");
        loads->push_back({s.p_vaddr, s.p_memsz, s.p_offset, s.p_filesz, s.p_flags});
    }
    return "";
}

}  // namespace

std::string SharedObjectProblem(const std::string& file, std::vector<std::string>* needs)
{
    // A FIFO would hold the open, and the loader after it.
    std::string why;
    const int fd = OpenRegularFile(file, &why);
    if (fd < 0) return errno == EINVAL || errno == EISDIR ? why : "";
    struct Closer {
        int fd;
        ~Closer() { close(fd); }
    } closer{fd};
    struct stat st {};
    Ehdr header{};
    if (fstat(fd, &st) != 0 || uint64_t(st.st_size) < sizeof header || !ReadAt(fd, 0, &header, sizeof header))
        return "";
    const uint64_t size = uint64_t(st.st_size);
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    constexpr unsigned char kOurData = ELFDATA2LSB;
#else
    constexpr unsigned char kOurData = ELFDATA2MSB;
#endif
    constexpr unsigned char kOurClass = sizeof(void*) == 8 ? ELFCLASS64 : ELFCLASS32;
    if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 || header.e_ident[EI_CLASS] != kOurClass ||
        header.e_ident[EI_DATA] != kOurData)
        return "";

    // The furthest byte the headers place anything at: the loader maps a cut
    // file all the same, and touching its missing pages raises SIGBUS.
    uint64_t reach = 0;
    auto place = [&](uint64_t offset, uint64_t length) { reach = std::max(reach, Sum(offset, length)); };
    auto cutShort = [&] {
        return "the file is cut short: it holds " + std::to_string(size) + " bytes of the " + std::to_string(reach) +
               " its headers describe";
    };
    // The loader keeps the program headers on its stack.
    if (header.e_phentsize != sizeof(Phdr) || header.e_phnum == 0 || header.e_phnum > kMostProgramHeaders)
        return "the file is damaged: its program header table (" + std::to_string(header.e_phnum) + " entries of " +
               std::to_string(header.e_phentsize) + " bytes) is not one this system loads";
    place(header.e_phoff, uint64_t(header.e_phnum) * sizeof(Phdr));
    if (header.e_shoff != 0) {
        if (header.e_shentsize != sizeof(Shdr))
            return "the file is damaged: its section headers are of " + std::to_string(header.e_shentsize) + " bytes";
        // A count of 0 with a table present means the count is in the first entry.
        place(header.e_shoff, std::max<uint64_t>(header.e_shnum, 1) * sizeof(Shdr));
    }
    if (reach > size) return cutShort();
    std::vector<Phdr> segments(header.e_phnum);
    if (!ReadAt(fd, header.e_phoff, segments.data(), segments.size() * sizeof(Phdr)))
        return "the file is damaged: its program headers cannot be read";
    const Phdr* dynamic = nullptr;
    bool loads = false;
    for (const Phdr& s : segments) {
        if (s.p_type == PT_LOAD) {
            loads = true;
            if (s.p_filesz > s.p_memsz) return "the file is damaged: a segment holds more of the file than it maps";
        }
        if (s.p_type == PT_DYNAMIC) dynamic = &s;
        if (s.p_filesz > 0) place(s.p_offset, s.p_filesz);
    }
    if (reach > size) return cutShort();
    if (!loads) return "the file is damaged: it has no loadable segment";
    // Other machines and programs the loader refuses before mapping, and an
    // object without a dynamic section too.
    if ((kOurs.known && header.e_machine != kOurs.id) || header.e_type != ET_DYN || !dynamic || dynamic->p_filesz == 0)
        return "";

    const uint64_t page = uint64_t(sysconf(_SC_PAGESIZE));
    std::vector<Load> loaded;
    if (std::string problem = LoadsProblem(segments, &loaded); !problem.empty()) return problem;
    void* mapped = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (mapped == MAP_FAILED) return "";
    struct Unmapper {
        void* at;
        size_t size;
        ~Unmapper() { munmap(at, size); }
    } unmapper{mapped, size};
    const uint8_t* bytes = static_cast<const uint8_t*>(mapped);
    const Image image(bytes, size, std::move(loaded), page);
    if (std::string problem = HeaderProblem(image, bytes, header, segments, page); !problem.empty()) return problem;
    // The loader reads the dynamic section where it lies in memory, and
    // rewrites it in place when it says it is writable.
    if (!image.Bytes(dynamic->p_vaddr, std::max(dynamic->p_filesz, dynamic->p_memsz)))
        return Outside("dynamic section");
    if ((dynamic->p_flags & PF_W) && !(image.Pages(dynamic->p_vaddr, dynamic->p_filesz)->flags & PF_W))
        return Damaged("its dynamic section is marked writable in a read-only segment");
    DynamicCheck check(image, segments, *dynamic);
    std::string problem = check.Problem();
    if (problem.empty() && needs) *needs = check.Needs();
    return problem;
}

}  // namespace platform
