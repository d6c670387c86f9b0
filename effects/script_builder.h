#pragma once
// Writes an effect's ActionScript one action per call, so that a script in
// the code reads as its listing does: SWF 4 idioms, numbers pushed as their
// decimal text, properties set from pushes of target, index and value.
//
//   CScriptBuilder s;
//   s.Push("").Push("0").Push(widthPixels).RandomNumber().SetProperty();
//   sprite->AddTag(s.Release());
#include <cstdint>
#include <memory>
#include <string>

#include "swf/actions.h"

class CScriptBuilder {
public:
    // With branch tracking on, an If or Jump stays open and grows by every
    // action added after it until EndBlock closes it; only the innermost
    // open one grows. Off, its offset is the literal one given, and nothing
    // is tracked.
    explicit CScriptBuilder(bool branchTracking = true);

    // One string value.
    CScriptBuilder& Push(const char* text);
    CScriptBuilder& Push(const std::string& text) { return Push(text.c_str()); }
    // One string value: the decimal text of value.
    CScriptBuilder& Push(long value);
    CScriptBuilder& Push(int value) { return Push(long(value)); }
    // One float value (4 bytes).
    CScriptBuilder& PushFloat(float value);

    // The one-byte actions the effects use; Op adds any other.
    template <class OneByteAction>
    CScriptBuilder& Op()
    {
        return Append(new OneByteAction);
    }
    CScriptBuilder& Add() { return Op<CActionAdd>(); }
    CScriptBuilder& Subtract() { return Op<CActionSubtract>(); }
    CScriptBuilder& Multiply() { return Op<CActionMultiply>(); }
    CScriptBuilder& Divide() { return Op<CActionDivide>(); }
    CScriptBuilder& Equals() { return Op<CActionEquals>(); }
    CScriptBuilder& Less() { return Op<CActionLess>(); }
    CScriptBuilder& Not() { return Op<CActionNot>(); }
    CScriptBuilder& Pop() { return Op<CActionPop>(); }
    CScriptBuilder& GetVariable() { return Op<CActionGetVariable>(); }
    CScriptBuilder& SetVariable() { return Op<CActionSetVariable>(); }
    CScriptBuilder& GetProperty() { return Op<CActionGetProperty>(); }
    CScriptBuilder& SetProperty() { return Op<CActionSetProperty>(); }
    CScriptBuilder& RandomNumber() { return Op<CActionRandomNumber>(); }
    CScriptBuilder& Play() { return Op<CActionPlay>(); }
    CScriptBuilder& Stop() { return Op<CActionStop>(); }

    // frame counts from 0.
    CScriptBuilder& GotoFrame(uint16_t frame);
    CScriptBuilder& SetTarget(const char* target);
    // offset: bytes from the end of the branch, as stored. With tracking on
    // the bytes added until EndBlock are added to it.
    CScriptBuilder& If(int32_t offset = 0);
    CScriptBuilder& Jump(int32_t offset = 0);
    // Closes the innermost open If or Jump (tracking on only).
    CScriptBuilder& EndBlock();

    // Actions and bytes so far, the end action not counted: a branch lands
    // at a byte position, counted from the script's first action.
    size_t GetCount() const { return block_->actions.size(); }
    int GetSize() const { return size_; }

    // The DoAction tag, caller-owned; the builder is empty afterwards.
    CTagDoAction* Release();

private:
    CScriptBuilder& Append(CSwfAction* action);

    std::unique_ptr<CTagDoAction> block_;
    bool branchTracking_;
    int size_ = 0;
};
