#include "effects/script_builder.h"

#include "foundation/str.h"

namespace {

std::unique_ptr<CTagDoAction> NewBlock(bool branchTracking)
{
    auto block = std::make_unique<CTagDoAction>();
    // Untracked branches keep the offsets given; the open list is left as is.
    if (!branchTracking) block->SetBranchTracking(false, false);
    return block;
}

}  // namespace

CScriptBuilder::CScriptBuilder(bool branchTracking)
    : block_(NewBlock(branchTracking)), branchTracking_(branchTracking)
{
}

CScriptBuilder& CScriptBuilder::Append(CSwfAction* action)
{
    size_ += block_->AddAction(action);
    return *this;
}

CScriptBuilder& CScriptBuilder::Push(const char* text) { return Append(new CActionPush(text ? text : "")); }

CScriptBuilder& CScriptBuilder::Push(long value)
{
    char text[256];
    IntToString(value, text);
    return Push(text);
}

CScriptBuilder& CScriptBuilder::PushFloat(float value) { return Append(new CActionPush(value)); }

CScriptBuilder& CScriptBuilder::GotoFrame(uint16_t frame) { return Append(new CActionGotoFrame(frame)); }

CScriptBuilder& CScriptBuilder::SetTarget(const char* target)
{
    return Append(new CActionSetTarget(target ? target : ""));
}

CScriptBuilder& CScriptBuilder::If(int32_t offset)
{
    auto* branch = new CActionIf;
    branch->branchOffset = offset;
    return Append(branch);
}

CScriptBuilder& CScriptBuilder::Jump(int32_t offset)
{
    auto* branch = new CActionJump;
    branch->branchOffset = offset;
    return Append(branch);
}

CScriptBuilder& CScriptBuilder::EndBlock()
{
    block_->EndBlock();
    return *this;
}

CTagDoAction* CScriptBuilder::Release()
{
    CTagDoAction* block = block_.release();
    block_ = NewBlock(branchTracking_);
    size_ = 0;
    return block;
}
