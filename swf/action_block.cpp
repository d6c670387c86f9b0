#include <algorithm>

#include "swf/actions.h"
#include "swf/tag_body.h"
#include "swf/reader_primitives.h"
#include "swf/stream.h"

namespace {

// Reads actions up to the end code (or the end of the tag or data).
template <class Add>
void ParseActionList(CSwfReader& reader, uint64_t tagEnd, uint32_t gotoTagEnd, Add add)
{
    while (reader.GetRemaining() > 0 && reader.GetPosition() < tagEnd) {
        const uint8_t code = reader.ReadU8();
        if (code == 0) break;
        std::unique_ptr<CSwfAction> action = SwfCreateAction(code);
        if (code == 0x9F && gotoTagEnd) static_cast<CActionGotoFrame2*>(action.get())->SetTagEnd(gotoTagEnd);
        action->Parse(reader);
        add(action.release());
    }
}

uint64_t TagEnd(const CSwfReader& reader)
{
    // Without a tag length (a bare action list) the data's end bounds the list.
    return reader.GetTagLength() ? uint64_t(reader.GetPosition()) + reader.GetTagLength() : UINT64_MAX;
}

// Which actions a block leaves out on writing.
std::vector<bool> DroppedActions(const CTagDoAction& block)
{
    const SwfActionList& list = block.actions;
    std::vector<bool> drop(list.size(), false);
    for (size_t i = 0; i < list.size(); ++i) {
        const int code = list[i]->GetActionCode();
        if (code == 0x07 && block.dropStop) drop[i] = true;
        if (code == 0x81 && block.dropGotoFrame &&
            static_cast<const CActionGotoFrame&>(*list[i]).frame == block.dropFrame) {
            drop[i] = true;
            if (i + 1 < list.size() && list[i + 1]->GetActionCode() == 0x06) drop[++i] = true;
        }
    }
    return drop;
}

// Spans (branch offsets, body sizes) recomputed for the bytes left after the
// dropped actions are taken out; entry i is meaningful for kept actions only.
std::vector<int32_t> AdjustedSpans(const SwfActionList& list, const std::vector<bool>& drop)
{
    const size_t n = list.size();
    std::vector<int64_t> start(n + 1, 0);
    for (size_t i = 0; i < n; ++i) start[i + 1] = start[i] + list[i]->GetSize();
    // removedBefore[i]: bytes dropped among actions 0..i-1.
    std::vector<int64_t> removedBefore(n + 1, 0);
    for (size_t i = 0; i < n; ++i) removedBefore[i + 1] = removedBefore[i] + (drop[i] ? start[i + 1] - start[i] : 0);
    auto removedUpTo = [&](int64_t pos) {
        // Actions that end at or before pos lie wholly before it.
        const size_t k = size_t(std::upper_bound(start.begin() + 1, start.end(), pos) - (start.begin() + 1));
        return removedBefore[k];
    };
    std::vector<int32_t> spans(n, 0);
    for (size_t i = 0; i < n; ++i) {
        int32_t span = 0;
        if (drop[i] || !list[i]->GetSpan(span)) continue;
        const int64_t from = start[i + 1];
        const int64_t to = from + span;
        spans[i] = int32_t((to - removedUpTo(to)) - (from - removedUpTo(from)));
    }
    return spans;
}

}  // namespace

int CTagDoAction::AddAction(CSwfAction* action)
{
    if (!action) return 0;
    const int size = action->GetSize();
    if (branchTracking) {
        if (!openBlocks.empty()) openBlocks.back()->branchOffset += size;
        const int code = action->GetActionCode();
        if (code == 0x99 || code == 0x9D) {
            if (auto* branch = dynamic_cast<CSwfBranchAction*>(action)) openBlocks.push_back(branch);
        }
    }
    actions.emplace_back(action);
    return size;
}

void CTagDoAction::EndBlock()
{
    if (!openBlocks.empty()) openBlocks.pop_back();
}

void CTagDoAction::SetBranchTracking(bool on, bool clearOpen)
{
    branchTracking = on;
    if (clearOpen) openBlocks.clear();
}

void CTagDoAction::Clear()
{
    openBlocks.clear();
    actions.clear();
}

void CTagDoAction::OffsetIds(int idDelta, int depthDelta, int frameDelta)
{
    for (auto& a : actions) a->OffsetIds(idDelta, depthDelta, frameDelta);
}

int CTagDoAction::WriteActions(CSwfStream& stream, bool withHeader)
{
    if (actions.empty()) return 0;
    const uint32_t start = stream.GetPosition();
    const std::vector<bool> drop = DroppedActions(*this);
    const bool anyDropped = std::find(drop.begin(), drop.end(), true) != drop.end();
    const std::vector<int32_t> spans = anyDropped ? AdjustedSpans(actions, drop) : std::vector<int32_t>();

    CSwfStream body(4);
    for (size_t i = 0; i < actions.size(); ++i) {
        if (drop[i]) continue;
        CSwfAction& a = *actions[i];
        int32_t original = 0;
        if (anyDropped && a.GetSpan(original) && original != spans[i]) {
            // Written with the span of the bytes that remain; the block itself is left as built.
            a.SetSpan(spans[i]);
            body.WriteObject(&a);
            a.SetSpan(original);
        } else {
            body.WriteObject(&a);
        }
    }
    if (withHeader && !suppressHeader) stream.WriteTagHeader(*this, body.GetSize() + 1, true);
    stream.AppendStream(body);
    stream.WriteU8(0);
    return int(stream.GetPosition() - start);
}

int CTagDoAction::Parse(CSwfReader& reader)
{
    SetBranchTracking(false, true);
    const uint32_t start = reader.GetPosition();
    const uint64_t end = TagEnd(reader);
    const uint32_t gotoEnd = recordTagEnd && end != UINT64_MAX ? uint32_t(std::min<uint64_t>(end, UINT32_MAX)) : 0;
    ParseActionList(reader, end, gotoEnd, [this](CSwfAction* a) { AddAction(a); });
    branchTracking = true;
    return SwfConsumed(reader, start);
}

void CTagDoInitAction::AddAction(CSwfAction* action)
{
    if (action) actions.emplace_back(action);
}

int CTagDoInitAction::Write(CSwfStream& stream)
{
    CSwfStream body(4);
    body.WriteU16(spriteId);
    for (auto& a : actions) body.WriteObject(a.get());
    body.WriteU8(0);
    return WriteWithBody(stream, body, true);
}

int CTagDoInitAction::Parse(CSwfReader& reader)
{
    const uint32_t start = reader.GetPosition();
    const uint64_t end = TagEnd(reader);
    actions.clear();
    spriteId = reader.ReadU16();
    ParseActionList(reader, end, 0, [this](CSwfAction* a) { AddAction(a); });
    return SwfConsumed(reader, start);
}

void CTagDoInitAction::OffsetIds(int idDelta, int, int) { spriteId = SwfClampU16(int64_t(spriteId) + idDelta); }
