// The export's frame timeline: what is due in each frame counted from the
// first slide's first frame.
#include "show/slide_show.h"

uint32_t CSlideShow::MsToFrames(uint32_t ms) const
{
    return static_cast<uint32_t>(double(GetFps()) * (ms / 1000.0) + 0.5);
}

void CSlideShow::AddRemoveRecord(uint16_t depth, uint32_t relativeFrame)
{
    if (timeline_.size() <= relativeFrame) timeline_.resize(size_t(relativeFrame) + 1);
    timeline_[relativeFrame].push_back({CTimelineRecord::kRemove, nullptr, depth});
}
