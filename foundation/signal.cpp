#include "foundation/signal.h"

#include <algorithm>

void Callback::Init(Callback* callback, void* object, Function function)
{
    if (!callback) return;
    callback->object_ = object;
    callback->function_ = object ? nullptr : function;
}

Callback* Callback::BindFunction(Function function)
{
    auto* callback = new Callback;
    Init(callback, nullptr, function);
    return callback;
}

void Callback::InvokeMember(Callback* callback, intptr_t argument)
{
    if (callback && callback->member_) callback->member_(argument);
}

void Callback::Call(intptr_t argument)
{
    if (object_) {
        if (invoke_) invoke_(this, argument);
    } else if (function_) {
        function_(argument);
    }
}

Signal::~Signal()
{
    if (emission_) {
        DisconnectAll();
        emission_->destroyed = true;  // Emit frees what is left and touches nothing more
        return;
    }
    DisconnectAll();
}

bool Signal::Connect(Callback* callback)
{
    if (!callback) return false;
    if (emission_) {
        // Reconnected after a clear in this emission: owned by the set again.
        std::erase(emission_->retired, callback);
    }
    callbacks_.insert(callback);
    return true;
}

int Signal::Emit(intptr_t argument)
{
    if (emitting_) return 0;
    if (enabled_ != 1 || callbacks_.empty()) return 0;
    emitting_ = 1;
    Emission emission;
    emission_ = &emission;
    for (auto it = callbacks_.begin(); it != callbacks_.end();) {
        Callback* current = *it;
        ++it;
        current->Call(argument);
        if (emission.destroyed || emission.cleared) break;
    }
    for (Callback* callback : emission.retired) delete callback;
    if (emission.destroyed) return 1;
    emission_ = nullptr;
    emitting_ = 0;
    return 1;
}

void Signal::DisconnectAll()
{
    if (emission_) {
        emission_->retired.insert(emission_->retired.end(), callbacks_.begin(), callbacks_.end());
        emission_->cleared = true;
    } else {
        for (Callback* callback : callbacks_) delete callback;
    }
    callbacks_.clear();
}
