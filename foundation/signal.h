#pragma once
// A signal announces an event to any number of callbacks, each a plain
// function or an object with one of its member functions, called with one
// machine word. The signal owns its callbacks.
#include <cstdint>
#include <functional>
#include <set>
#include <type_traits>
#include <vector>

class Callback {
public:
    using Function = void (*)(intptr_t);
    using Invoke = void (*)(Callback*, intptr_t);

    Callback() = default;
    virtual ~Callback() = default;
    Callback(const Callback&) = delete;
    Callback& operator=(const Callback&) = delete;

    // A plain function when object is null; otherwise the member call is
    // stored with the object.
    static void Init(Callback* callback, void* object, Function function);

    // A new heap callback calling object->member(argument); hand it to
    // Signal::Connect at once.
    template <class T, class R, class A>
    static Callback* BindMember(T* object, R (T::*member)(A))
    {
        static_assert(std::is_pointer_v<A> || std::is_integral_v<A> || std::is_enum_v<A>,
                      "a callback takes one word");
        auto* callback = new Callback;
        Init(callback, object, nullptr);
        callback->member_ = [object, member](intptr_t word) { (object->*member)(FromWord<A>(word)); };
        callback->invoke_ = &Callback::InvokeMember;
        return callback;
    }
    // A new heap callback calling a plain function.
    static Callback* BindFunction(Function function);

    static void InvokeMember(Callback* callback, intptr_t argument);

    // Calls the callback the way an emitting signal does.
    void Call(intptr_t argument);

    void* GetObject() const { return object_; }

private:
    template <class A>
    static A FromWord(intptr_t word)
    {
        if constexpr (std::is_pointer_v<A>)
            return reinterpret_cast<A>(word);
        else
            return static_cast<A>(word);
    }

    Function function_ = nullptr;
    void* object_ = nullptr;
    std::function<void(intptr_t)> member_;
    Invoke invoke_ = nullptr;
};

class Signal {
public:
    Signal() = default;
    virtual ~Signal();
    Signal(const Signal&) = delete;
    Signal& operator=(const Signal&) = delete;

    // Takes ownership; false for a null callback. Connecting the same
    // pointer twice keeps one entry.
    bool Connect(Callback* callback);
    // Calls every callback in ascending order of address; 1 when they were
    // called, 0 when refused (already emitting, muted or empty).
    int Emit(intptr_t argument);
    // Deletes every callback. Callbacks still running in an emission are
    // deleted when that emission ends.
    void DisconnectAll();

    // 1 enables emission; any other value mutes the signal.
    void SetEnabled(int enabled) { enabled_ = enabled; }
    int GetEnabled() const { return enabled_; }
    bool IsEmitting() const { return emitting_ != 0; }
    size_t GetCount() const { return callbacks_.size(); }

private:
    // State of the running emission, on Emit's stack, so that a callback
    // may clear or even destroy the signal safely.
    struct Emission {
        bool cleared = false;
        bool destroyed = false;
        std::vector<Callback*> retired;
    };

    int emitting_ = 0;
    int enabled_ = 1;
    std::set<Callback*> callbacks_;
    Emission* emission_ = nullptr;
};
