// The export's frame timeline: show captions and the show sound are laid
// out by frame before the movie is written, and the movie calls back at
// every ShowFrame to have that frame's tags added before it closes.
#include <algorithm>

#include "media/swf_sound.h"
#include "show/slide_show.h"
#include "show/caption_export.h"
#include "show/slide_export.h"
#include "swf/display_tags.h"
#include "swf/movie.h"
#include "swf/sounds.h"

uint32_t CSlideShow::MsToFrames(uint32_t ms) const
{
    return static_cast<uint32_t>(double(GetFps()) * (ms / 1000.0) + 0.5);
}

void CSlideShow::AddRemoveRecord(uint16_t depth, uint32_t relativeFrame)
{
    if (timeline_.size() <= relativeFrame) timeline_.resize(size_t(relativeFrame) + 1);
    timeline_[relativeFrame].push_back({CTimelineRecord::kRemove, nullptr, depth});
}


void CSlideShow::PrepareExport()
{
    font_table_.Reset();
    next_block_ = 0;
    next_frame_ = 0;
    streaming_ = false;
    timeline_.clear();
    for (int i = 0; i < captions_.GetCount(); ++i) {
        CCaption* caption = captions_.Get(i);
        const uint32_t start = MsToFrames(caption->GetStartTime());
        const uint32_t end = start + MsToFrames(caption->GetDuration());
        if (timeline_.size() <= end) timeline_.resize(size_t(end) + 1);
        timeline_[start].push_back({CTimelineRecord::kCaptionStart, caption, 0});
        timeline_[end].push_back({CTimelineRecord::kRemove, caption, 0});
        PrepareCaptionExport(*caption, *this, font_table_);
    }
}

void CSlideShow::NoteSoundOutcome(int slide, const CSoundItem& item, const CSwfSoundBuilder& builder, bool made)
{
    const std::string& text = made ? builder.GetDamage() : builder.GetFailure();
    // The machine's failure fails the movie: the sound is not to blame.
    if (!made && builder.WriteFailed()) {
        if (movie_) movie_->Fail(text);
        return;
    }
    if (!text.empty() && text != "cancelled")
        sound_warnings_.push_back({slide, item.GetSrc(), text, !made, item.GetPlace()});
}

void CSlideShow::ExportShowSoundStart(int relativeFrame)
{
    CSoundItem* item = sounds_.Get(0);
    // A sound whose file went missing was said by the reader.
    if (!item || !item->HasFile() || item->GetStartFrame(GetFps()) != relativeFrame) return;
    CSwfSoundFormat format = item->GetExportFormat(movie_->GetFrameRate());
    if (!item->GetSync()) {
        CTagDefineSound* sound = show_sound_builder_->MakeSound(item->GetSrc(), format, progress_);
        NoteSoundOutcome(0, *item, *show_sound_builder_, sound != nullptr);
        if (!sound) return;
        sound->SetCharacterId(++id_counter_);
        movie_->AddTag(sound);
        auto* start = new CTagStartSound;
        start->SetSoundId(id_counter_);
        if (item->GetLoop()) {
            start->info.SetSyncNoMultiple(true);
            start->info.SetHasLoops(true);
            start->info.loopCount = 65535;
        }
        movie_->AddTag(start);
        return;
    }
    CTagSoundStreamHead* head = show_sound_builder_->MakeStreamHead(item->GetSrc(), format, progress_);
    NoteSoundOutcome(0, *item, *show_sound_builder_, head != nullptr);
    if (!head) return;
    movie_->AddTag(head);
    next_block_ = 0;
    streaming_ = true;
}

void CSlideShow::ExportStreamBlock()
{
    // The builder keeps the blocks; the movie only writes them.
    const std::vector<CTagSoundStreamBlock*>& blocks = show_sound_builder_->SetNoDelete(false).GetBlocks();
    if (next_block_ < blocks.size()) {
        movie_->AddTag(blocks[next_block_++], true);
        return;
    }
    const CSoundItem* item = sounds_.Get(0);
    if (!blocks.empty() && item && item->GetLoop()) {
        movie_->AddTag(blocks[0], true);
        next_block_ = 1;
    }
}

void CSlideShow::ExportTimelineRecords(int relativeFrame)
{
    if (relativeFrame < 0 || size_t(relativeFrame) >= timeline_.size()) return;
    // Records may be added to later frames while this one is worked through,
    // so the list is walked by index.
    for (size_t i = 0; i < timeline_[size_t(relativeFrame)].size(); ++i) {
        const CTimelineRecord record = timeline_[size_t(relativeFrame)][i];
        if (record.kind == CTimelineRecord::kCaptionStart && record.object) {
            CCaption* caption = record.object;
            // Show and slide captions draw depths from the one counter, so no
            // two of them share a depth once the recorded depths are renumbered.
            std::unique_ptr<CTagPlaceObject2> placement =
                ExportCaption(*caption, *this, font_table_, *movie_, id_counter_, depth_counter_);
            if (!placement) continue;
            const uint16_t depth = placement->depth;
            movie_->SetRecordPlacements(true);
            movie_->AddTag(placement.release());
            movie_->SetRecordPlacements(false);
            const size_t end = MsToFrames(caption->GetStartTime()) + size_t(MsToFrames(caption->GetDuration()));
            if (end >= timeline_.size()) continue;
            for (CTimelineRecord& removal : timeline_[end]) {
                if (removal.kind == CTimelineRecord::kRemove && removal.object == caption && removal.depth == 0) {
                    removal.depth = depth;
                    break;
                }
            }
        } else if (record.kind == CTimelineRecord::kRemove && record.depth != 0) {
            movie_->SetRecordPlacements(true);
            movie_->AddTag(new CTagRemoveObject2(record.depth));
            movie_->SetRecordPlacements(false);
        }
    }
}

void CSlideShow::ExportTimeline(uint32_t n)
{
    if (!movie_) return;
    next_frame_ = n + 1;
    const int relativeFrame = int(n) - int(frames_before_first_);
    if (show_sound_builder_) {
        ExportShowSoundStart(relativeFrame);
        if (streaming_) ExportStreamBlock();
    }
    ExportTimelineRecords(relativeFrame);
    if (current_slide_) ExportFrameEvents(current_slide_, int(n));
}
