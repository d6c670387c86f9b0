// The registry of the toolbox's live objects behind the opaque references.
#include "platform/toolbox_objects.h"

#include <unordered_map>

#include "platform/cfstring.h"

namespace platform::toolbox {

namespace {

struct Entry {
    Kind kind;
    std::shared_ptr<Object> object;
};

std::unordered_map<uintptr_t, Entry>& Registry()
{
    static std::unordered_map<uintptr_t, Entry> registry;
    return registry;
}

// Ids start high and step by 16 so that no reference looks like a small
// number or a null pointer.
uintptr_t g_nextId = 0x10000;

}  // namespace

uintptr_t Register(Kind kind, std::shared_ptr<Object> object)
{
    g_nextId += 16;
    object->id = g_nextId;
    Registry()[g_nextId] = Entry{kind, std::move(object)};
    return g_nextId;
}

std::shared_ptr<Object> Lookup(Kind kind, uintptr_t id)
{
    auto it = Registry().find(id);
    if (it == Registry().end() || it->second.kind != kind || !it->second.object->alive) return nullptr;
    return it->second.object;
}

void Unregister(uintptr_t id)
{
    auto it = Registry().find(id);
    if (it == Registry().end()) return;
    it->second.object->alive = false;
    Registry().erase(it);
}

std::shared_ptr<Target> NewTarget(Target::Owner owner, uintptr_t ownerId)
{
    auto t = std::make_shared<Target>();
    t->owner = owner;
    t->ownerId = ownerId;
    Register(Kind::Target, t);
    return t;
}

void RetireTarget(const std::shared_ptr<Target>& target)
{
    if (!target) return;
    for (auto& h : target->handlers) Unregister(h->id);
    target->handlers.clear();
    Unregister(target->id);
}

std::string Utf8(CFStringRef s)
{
    return s ? platform::ToUtf8(s) : std::string();
}

}  // namespace platform::toolbox
