#include "foundation/signal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

// Records which listener ran, and counts its own destruction.
struct Listener {
    std::vector<std::pair<const Listener*, intptr_t>>* log = nullptr;
    void OnEvent(intptr_t arg) { log->push_back({this, arg}); }
};

struct CountingCallback : Callback {
    explicit CountingCallback(int* deaths) : deaths(deaths) {}
    ~CountingCallback() override { ++*deaths; }
    int* deaths;
};

int g_plainCalls = 0;
intptr_t g_plainArg = 0;
void Plain(intptr_t arg)
{
    ++g_plainCalls;
    g_plainArg = arg;
}

TEST(Signal, RefusesWhenEmptyMutedOrNull)
{
    Signal s;
    EXPECT_EQ(s.Emit(1), 0);
    EXPECT_FALSE(s.Connect(nullptr));
    EXPECT_EQ(s.GetCount(), 0u);

    g_plainCalls = 0;
    s.Connect(Callback::BindFunction(&Plain));
    for (int muted : {0, 2, -1}) {
        s.SetEnabled(muted);
        EXPECT_EQ(s.Emit(7), 0) << muted;
    }
    EXPECT_EQ(g_plainCalls, 0);
    s.SetEnabled(1);
    EXPECT_EQ(s.Emit(7), 1);
    EXPECT_EQ(g_plainCalls, 1);
    EXPECT_EQ(g_plainArg, 7);
}

TEST(Signal, CallsInAscendingAddressOrderWhateverTheConnectionOrder)
{
    std::vector<std::pair<const Listener*, intptr_t>> log;
    auto listeners = std::make_unique<Listener[]>(2);
    listeners[0].log = listeners[1].log = &log;
    for (bool reversed : {false, true}) {
        log.clear();
        Signal s;
        Callback* a = Callback::BindMember(&listeners[0], &Listener::OnEvent);
        Callback* b = Callback::BindMember(&listeners[1], &Listener::OnEvent);
        if (reversed) std::swap(a, b);
        s.Connect(a);
        s.Connect(b);
        ASSERT_EQ(s.Emit(42), 1);
        ASSERT_EQ(log.size(), 2u);
        // The listener behind the lower callback address runs first.
        Callback* lower = std::min(a, b, std::less<Callback*>());
        EXPECT_EQ(log[0].first, static_cast<Listener*>(lower->GetObject()));
        EXPECT_EQ(log[0].second, 42);
        EXPECT_NE(log[0].first, log[1].first);
    }
}

// Whether disconnected, destroyed or connected twice, a callback is called
// and deleted once.
TEST(Signal, EveryCallbackIsDeletedOnce)
{
    int deaths = 0;
    {
        Signal s;
        for (int i = 0; i < 5; ++i) s.Connect(new CountingCallback(&deaths));
        s.DisconnectAll();
        EXPECT_EQ(deaths, 5);
        EXPECT_EQ(s.GetCount(), 0u);
        EXPECT_EQ(s.Emit(0), 0);
        auto* cb = new CountingCallback(&deaths);
        Callback::Init(cb, nullptr, &Plain);
        g_plainCalls = 0;
        EXPECT_TRUE(s.Connect(cb));
        EXPECT_TRUE(s.Connect(cb));
        EXPECT_EQ(s.GetCount(), 1u);
        s.Emit(3);
        EXPECT_EQ(g_plainCalls, 1);
    }
    EXPECT_EQ(deaths, 6);
}

// Listeners that act on the signal from inside an emission.
struct Reentrant {
    Signal* signal = nullptr;
    std::unique_ptr<Signal>* owner = nullptr;
    int calls = 0;
    int innerResult = -1;
    void EmitAgain(intptr_t) { ++calls; innerResult = signal->Emit(99); }
    void Disconnect(intptr_t) { ++calls; signal->DisconnectAll(); }
    void Destroy(intptr_t) { ++calls; owner->reset(); }
};

// A nested emission is refused; clearing or destroying the signal from a
// callback ends the emission safely.
TEST(Signal, ReentryDuringEmission)
{
    // ASan reports a use after free if a callback still being walked is freed.
    for (bool destroy : {false, true}) {
        int deaths = 0;
        auto owner = std::make_unique<Signal>();
        Reentrant r;
        r.signal = owner.get();
        r.owner = &owner;
        std::vector<Reentrant> others(4);
        for (auto& o : others) {
            o.signal = owner.get();
            owner->Connect(Callback::BindMember(&o, &Reentrant::EmitAgain));
        }
        owner->Connect(Callback::BindMember(&r, destroy ? &Reentrant::Destroy : &Reentrant::Disconnect));
        for (int i = 0; i < 3; ++i) owner->Connect(new CountingCallback(&deaths));
        Signal* raw = owner.get();
        EXPECT_EQ(raw->Emit(5), 1);
        EXPECT_EQ(r.calls, 1);
        EXPECT_EQ(deaths, 3);
        for (const auto& o : others) EXPECT_EQ(o.innerResult, o.calls ? 0 : -1);  // nested: refused
        if (destroy) {
            EXPECT_EQ(owner, nullptr);
        } else {
            EXPECT_EQ(owner->GetCount(), 0u);
            EXPECT_FALSE(owner->IsEmitting());
            EXPECT_EQ(owner->Emit(5), 0);
            owner->Connect(Callback::BindMember(&others[0], &Reentrant::EmitAgain));
            EXPECT_EQ(owner->Emit(5), 1);  // emission works again afterwards
        }
    }
}

}  // namespace
