// The export driver: the show written as one SWF movie, plain or
// compressed through a temporary file, with the timeline called back at
// every frame.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "media/jpeg_image.h"
#include "media/picture_file.h"
#include "media/picture_scratch.h"
#include "media/progress.h"
#include "media/qt_movie.h"
#include "media/swf_bitmap.h"
#include "media/swf_sound.h"
#include "platform/file_look.h"
#include "show/slide.h"
#include "show/slide_bitmap.h"
#include "show/slide_export.h"
#include "show/slide_show.h"
#include "swf/actions.h"
#include "swf/control_tags.h"
#include "swf/display_tags.h"
#include "swf/file_utils.h"
#include "swf/movie.h"
#include "swf/sprite.h"

namespace {

constexpr uint16_t kMaskClipDepth = 65001;
constexpr uint64_t kMaxFrames = 65535;

}  // namespace

// Clears what one export points at on every way out; holds the picture
// buffers its slides share.
struct CSlideShow::ExportScope {
    explicit ExportScope(CSlideShow& show) : show(show) { show.picture_scratch_ = &scratch; }
    ~ExportScope()
    {
        // Movies and their pictures the plan kept and no slide took.
        CQTMovie::ReleaseKept();
        show.planned_pictures_.Clear();
        show.movie_ = nullptr;
        show.show_sound_builder_ = nullptr;
        show.picture_scratch_ = nullptr;
    }
    CSlideShow& show;
    CPictureScratch scratch;
};

bool CSlideShow::Export(const CPath& target, bool replace, CProgressDialog* sink)
{
    return RunExport(target, replace, sink, true);
}

bool CSlideShow::ExportSlide(const CPath& path)
{
    return RunExportSlide(path);
}

bool CSlideShow::FailExport(uint32_t code, const std::string& why)
{
    last_error_ = code;
    last_error_text_ = why;
    return false;
}

bool CSlideShow::CheckExportCounters()
{
    if (CountersInRange(id_counter_, depth_counter_)) return true;
    return FailExport(kExportTooManyObjects, "the show needs more than 64999 characters or layers");
}

namespace {

// Whether the export writes an image slide. Pictures are told from their
// files' structure, so deciding decodes nothing and holds nothing: the one
// decode is the export's, one slide at a time. A picture cut short (a PNG
// or BMP without all its data) is left out by the decision and never opened
// again; one whose data is all there but wrong inside still fails to decode
// when it is written, and then shows black rather than upset the count.
// What is no picture the export opens as a movie: its first frame decoded
// decides, and is drawn there and then, as the export draws it, into
// planned for the export to take: a movie's frame is decoded once a run,
// and what is kept until the export is the slide's picture, not the frame.
// work holds the pixels from slide to slide.
bool WritesImageSlide(CSlide& slide, CPictureStore& planned, CImage& work, CSwfBitmap& encoder)
{
    if (slide.IsPictureMissing() || slide.GetWidth() <= 0 || slide.GetHeight() <= 0) return false;
    CQTMovie movie;
    // A movie the read kept is known for one: its file is not looked at again.
    if (CQTMovie::HoldsKept(slide.GetSrc())) {
        if (!movie.OpenFile(slide.GetSrc())) return false;
    } else {
        const platform::FileLook look(slide.GetSrc().GetFullPath());
        const PictureProbe probe = ProbePicture(slide.GetSrc(), &look);
        // The readers' size rule keeps within what the movie box holds.
        if (probe.kind != PictureKind::kNone) return probe.readable;
        if (!movie.OpenFile(slide.GetSrc(), look)) return false;
    }
    if (!movie.HasVideoTrack() || !movie.DrawsFirstFrame()) return false;
    CJpegWarnings said;
    std::vector<uint8_t> mask;
    // Drawn here, the export takes the picture; else it draws it itself.
    // Where the JPEG's encoder is all that is left to do, that is done here
    // too: the export takes a twentieth of the bytes.
    std::vector<uint8_t> jpeg;
    if (RenderSlidePicture(slide, movie, work, mask)) {
        if (!IsPlainJpegSlide(slide))
            planned.Keep(&slide, SlidePictureBasis(slide), work, mask, said.Get());
        else if (EncodeSlideJpeg(slide, work, encoder, &jpeg))
            planned.KeepEncoded(&slide, SlideJpegBasis(slide), jpeg, said.Get());
    }
    // The movie stays for the export and any other slide of its file: open
    // within bounds, without any frame.
    movie.KeepOpen();
    return true;
}

// What the decision on a slide rests on: its kind and display size, and
// the picture file as it stands.
std::string DecisionBasis(const CSlide& slide)
{
    std::string basis = std::to_string(slide.GetType());
    if (slide.GetType() != CSlide::kImage) return basis;
    const std::string path = slide.GetSrc().GetFullPath();
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    const auto changed = std::filesystem::last_write_time(path, ec).time_since_epoch().count();
    return basis + " " + std::to_string(slide.GetWidth()) + "x" + std::to_string(slide.GetHeight()) + " " +
           (ec ? std::string("-") : std::to_string(size) + " " + std::to_string(changed)) + " " + path;
}

}  // namespace

void CSlideShow::PlanExport()
{
    bool current = plan_.size() == slides_.size();
    for (size_t i = 0; current && i < slides_.size(); ++i)
        current = plan_[i].slide == slides_[i].get() && plan_[i].basis == DecisionBasis(*slides_[i]);
    if (current) return;
    plan_.clear();
    planned_pictures_.Clear();
    export_slide_count_ = 0;
    CImage work;
    CSwfBitmap encoder;
    for (const auto& slide : slides_) {
        const bool written =
            slide->GetType() != CSlide::kImage || WritesImageSlide(*slide, planned_pictures_, work, encoder);
        plan_.push_back({slide.get(), DecisionBasis(*slide), written ? ++export_slide_count_ : 0});
    }
}

bool CSlideShow::TakePlannedPicture(CSlide& slide, CImage& image, std::vector<uint8_t>& mask,
                                    std::vector<std::string>& warnings)
{
    return planned_pictures_.Take(&slide, SlidePictureBasis(slide), image, mask, warnings);
}

bool CSlideShow::TakePlannedJpeg(CSlide& slide, std::vector<uint8_t>& bytes, std::vector<std::string>& warnings)
{
    return planned_pictures_.TakeEncoded(&slide, SlideJpegBasis(slide), bytes, warnings);
}

uint64_t CSlideShow::CountExportFrames()
{
    // The frames the export writes, counted as it writes them: those before
    // the first slide, each written slide's transition (from the slide
    // written before it), display, camera moves and pause, the loop back
    // into the first slide written and the last frame.
    PlanExport();
    const double fps = GetFps();
    const CMovieSettings& settings = movie_settings_;
    uint64_t frames = 0;
    if (settings.preload && settings.preload_creator == 0) ++frames;
    const bool pause = settings.start_action == 1 && settings.pause_time > 0;
    if (pause) ++frames;
    if (pause || settings.start_action == 2 || controls) ++frames;
    const CSlide* first = nullptr;
    for (const PlannedSlide& planned : plan_) {
        if (!planned.number) continue;
        const CSlide& slide = *planned.slide;
        frames += slide.GetTransitionIn().CountFrames(fps, first != nullptr);
        if (!first) first = &slide;
        frames += SlideDisplayFrames(fps, slide.GetDuration());
        if (slide.GetType() == CSlide::kImage)
            for (int k = 0; k < slide.GetCameraFxCount(); ++k)
                frames += uint64_t(slide.GetCameraFx(k)->DurationFrames(GetFps()));
        if (slide.GetPauseAfter()) ++frames;
    }
    if (export_slide_count_ > 1 && settings.loop_mode != 0) frames += first->GetTransitionIn().CountFrames(fps, true);
    return frames + 1;
}

int CSlideShow::GetExportSlideCount() const
{
    return plan_.size() == slides_.size() ? export_slide_count_ : GetSlideCount();
}

std::vector<int> CSlideShow::GetPlannedOutSlides() const
{
    std::vector<int> out;
    if (plan_.size() != slides_.size()) return out;
    for (size_t i = 0; i < plan_.size(); ++i)
        if (!plan_[i].number) out.push_back(int(i) + 1);
    return out;
}

int CSlideShow::GetJumpTarget(int showNumber) const
{
    if (showNumber < 1 || showNumber > GetSlideCount()) return 0;
    if (plan_.size() != slides_.size()) return showNumber;
    for (size_t i = size_t(showNumber - 1); i < plan_.size(); ++i)
        if (plan_[i].number) return int(i) + 1;
    for (size_t i = plan_.size(); i-- > 0;)
        if (plan_[i].number) return int(i) + 1;
    return 0;
}

int CSlideShow::GetExportSlideNumber(int showNumber) const
{
    const int target = GetJumpTarget(showNumber);
    if (!target || plan_.size() != slides_.size()) return target;
    return plan_[size_t(target - 1)].number;
}

bool CSlideShow::WriteSlide(CSlide* slide, int index)
{
    // A slide the plan leaves out is passed over unopened.
    if (size_t(index - 1) >= plan_.size() || !plan_[size_t(index - 1)].number) {
        skipped_slides_.push_back(index);
        return false;
    }
    CSlide* before = previous_slide_;
    previous_slide_ = current_slide_;
    current_slide_ = slide;
    // Labels count the slides written, so a slide left out leaves no gap.
    CJpegWarnings damage;
    CSlide::ExportState& state = slide->GetExportState();
    state.mustWrite = true;
    state.drawnBlack = false;
    state.unreadable.clear();
    const bool written = ExportSlideFrames(slide, movie_, written_count_ + 1, this, &id_counter_, &depth_counter_);
    state.mustWrite = false;
    for (const std::string& text : damage.Get()) picture_warnings_.push_back({index, text});
    if (state.drawnBlack)
        picture_warnings_.push_back({index, state.unreadable.empty() ? "no pixels could be decoded" : state.unreadable,
                                     true, !state.unreadable.empty()});
    for (SoundWarning& w : sound_warnings_)
        if (w.slide < 0) w.slide = index;
    if (!written) {
        current_slide_ = previous_slide_;
        previous_slide_ = before;
        // The count and the numbers counted on this slide: the movie cannot
        // be completed without it.
        if (!movie_->Failed()) movie_->Fail("slide " + std::to_string(index) + ": its picture cannot be encoded");
        return false;
    }
    if (!first_written_) {
        first_written_ = slide;
        first_written_index_ = written_count_ + 1;
    }
    last_written_ = slide;
    ++written_count_;
    return true;
}

void CSlideShow::ClearExportReport()
{
    last_error_ = 0;
    last_error_text_.clear();
    skipped_slides_.clear();
    picture_warnings_.clear();
    sound_warnings_.clear();
}

bool CSlideShow::RunExport(const CPath& target, bool replace, CProgressDialog* sink, bool alwaysNoPrint)
{
    ExportScope scope(*this);
    ClearExportReport();
    progress_ = sink;
    const int count = GetSlideCount();
    if (sink) {
        sink->SetRange(0, count);
        sink->SetMessage("Exporting Slide Show...");
    }
    const bool compress = use_compression && !preview_;
    current_slide_ = previous_slide_ = first_written_ = last_written_ = nullptr;
    written_count_ = 0;
    first_written_index_ = 1;
    frames_before_first_ = 0;
    id_counter_ = depth_counter_ = 0;
    hit_area_shape_id_ = background_shape_id_ = external_jpeg_sprite_id_ = preloader_depth_ = 0;
    if (CountExportFrames() > kMaxFrames)
        return FailExport(kExportTooManyFrames, "the show is too long for one movie (more than 65535 frames)");
    // The plan's pictures that did not fit the temporary folder.
    if (const int err = planned_pictures_.GetWriteError())
        return FailExport(kExportWriteFailed, TemporaryWriteFailure(err));

    used_effects_.Clear();
    font_table_.Clear();
    PrepareExport();
    bool anyBlank = false;
    for (const auto& slide : slides_) {
        PrepareCaptionFonts(slide.get(), &font_table_);
        anyBlank = anyBlank || slide->GetType() == CSlide::kBlank;
    }

    CSwfSoundBuilder soundBuilder;
    if (sounds_.HasInclude()) {
        if (!sounds_.Get(0)) return FailExport(kExportNoShowSound, "the show sound is included but has no file");
        show_sound_builder_ = &soundBuilder;
    }

    uint8_t version = 5;
    std::unique_ptr<CTagDefineSprite> jpegSprite = MakeExternalJpegSprite();
    if (jpegSprite) version = 6;
    CPath output = target;
    // The plain movie a compressed export writes first: a scratch file of
    // the work folder, gone with the process where the file system allows.
    platform::PendingFile temporary;
    if (compress) {
        version = 6;
        if (!MakeWorkScratchFile(temporary, "_r00p_wtvr", ".dat"))
            return FailExport(kExportCannotOpen, TemporaryWriteFailure(errno));
        output = CPath(temporary.GetPath());
    }

    CSwfMovie movie;
    movie_ = &movie;
    movie.SetHeader(int(GetWidth()) * kTwips, int(GetHeight()) * kTwips, GetFps(), version);
    if (!movie.Open(output, compress || replace))
        return FailExport(kExportCannotOpen, compress ? TemporaryWriteFailure(errno)
                                                      : "cannot create " + target.GetFullPath() + ": " +
                                                            std::strerror(errno));
    // Whatever fails from here leaves no movie behind, and what stood there.
    auto abandon = [&](uint32_t code, const std::string& why) {
        movie.Discard();
        return FailExport(code, why);
    };
    // A failed write of the plain movie is the temporary folder's.
    auto writeFailure = [&] {
        return compress && movie.GetSystemError() ? TemporaryWriteFailure(movie.GetSystemError()) : movie.GetError();
    };
    // True, with the movie abandoned, once a write failed or the counters ran out.
    auto broken = [&] {
        if (movie.Failed())
            abandon(kExportWriteFailed, writeFailure());
        else if (!CheckExportCounters())
            abandon(last_error_, last_error_text_);
        else
            return false;
        return true;
    };
    movie.frameSignal.Connect(Callback::BindMember(this, &CSlideShow::ExportTimeline));

    if (protect) movie.AddTag(new CTagProtect);
    movie.AddTag(new CTagSetBackgroundColor(bg_color & 0xFF, (bg_color >> 8) & 0xFF, (bg_color >> 16) & 0xFF));
    if (alwaysNoPrint || disable_print) movie.AddTag(new CTagFrameLabel("!#p"));
    font_table_.BuildFontTags(movie, id_counter_);
    if (movie_settings_.preload) BuildPreloader(&movie, &id_counter_, &depth_counter_);
    BuildHitAreaShape(&movie, &id_counter_);

    auto* mask = new CTagPlaceObject2;
    mask->SetCharacterId(hit_area_shape_id_);
    mask->depth = ++depth_counter_;
    mask->clipDepth = kMaskClipDepth;
    mask->hasClipDepth = true;
    movie.SetRecordClipDepths(true);
    movie.AddTag(mask);
    movie.SetRecordClipDepths(false);

    auto showAction = std::make_unique<CTagDoAction>();
    if (controls) BuildPlaybackFunctions(showAction.get());
    if (BuildStartAction(&movie, showAction.get()) || controls) {
        ++frames_before_first_;
        movie.AddTag(showAction.release());
        movie.AddTag(new CTagShowFrame);
    }
    BuildClickButton(&movie, &id_counter_, &depth_counter_);
    BuildBgImage(&movie, &id_counter_, &depth_counter_);
    if (controls) controls_clip_.Build(*this, movie, &id_counter_, &depth_counter_);
    if (mute_control) mute_clip_.Build(*this, movie, &id_counter_, &depth_counter_);
    if (bg_frame != 0) BuildBgFrame(&movie, &id_counter_);
    if (anyBlank) BuildBackgroundShape(&movie, &id_counter_);
    if (jpegSprite) {
        external_jpeg_sprite_id_ = ++id_counter_;
        jpegSprite->SetCharacterId(external_jpeg_sprite_id_);
        movie.AddTag(jpegSprite.release());
    }
    if (broken()) return false;

    auto cancelled = [&] {
        if (!sink || !sink->IsCancelled()) return false;
        // The movie so far stays playable: it ends here.
        movie.AddTag(new CTagEnd);
        movie.PatchRecorded(depth_counter_);
        const bool closed = movie.Close() != 0;
        if (compress) {
            if (closed) CompressSwfFile(output, target, true);
            temporary.Discard();
        }
        return true;
    };
    int progressCount = 0;
    for (int i = 1; i <= count; ++i) {
        if (cancelled()) return FailExport(kExportCancelled, "the export was cancelled");
        if (sink) {
            std::string message = "Processing " + std::to_string(i) + " of " + std::to_string(count);
            sink->SetMessage(message.substr(0, 31).c_str());
            sink->SetDetail("Writing slide...");
        }
        WriteSlide(slides_[size_t(i - 1)].get(), i);
        if (broken()) return false;
        if (cancelled()) return FailExport(kExportCancelled, "the export was cancelled");
        if (sink) sink->SetPosition(++progressCount);
    }

    auto endAction = std::make_unique<CTagDoAction>();
    bool keep = controls;
    if (BuildEndAction(endAction.get())) keep = true;
    if (BuildLoopActions(endAction.get(), &movie, &id_counter_, &depth_counter_)) keep = true;
    if (keep) movie.AddTag(endAction.release());
    movie.AddTag(new CTagShowFrame);
    movie.AddTag(new CTagEnd);
    if (broken()) return false;
    if (!movie.PatchRecorded(depth_counter_) || movie.Close() == 0) {
        movie.Discard();
        return FailExport(kExportWriteFailed, writeFailure());
    }
    if (compress) {
        const bool done = CompressSwfFile(output, target, replace);
        temporary.Discard();
        // The reason once: the caller names the movie.
        const int err = GetSwfFileLastSystemError();
        if (!done)
            return FailExport(kExportCompressionFailed, "cannot write the compressed movie" +
                                                            (err ? ": " + std::string(std::strerror(err)) : ""));
    }
    return true;
}

bool CSlideShow::RunExportSlide(const CPath& path)
{
    ExportScope scope(*this);
    ClearExportReport();
    id_counter_ = depth_counter_ = 0;
    frames_before_first_ = 0;
    current_slide_ = previous_slide_ = first_written_ = last_written_ = nullptr;
    written_count_ = 0;
    first_written_index_ = 1;
    used_effects_.Clear();
    PlanExport();
    CSwfMovie movie;
    movie_ = &movie;
    movie.SetHeader(int(GetWidth()) * kTwips, int(GetHeight()) * kTwips, GetFps(), 4);
    if (!movie.Open(path, true))
        return FailExport(kExportCannotOpen, "cannot create " + path.GetFullPath() + ": " + std::strerror(errno));
    movie.AddTag(new CTagSetBackgroundColor(bg_color & 0xFF, (bg_color >> 8) & 0xFF, (bg_color >> 16) & 0xFF));
    // The slides' click areas and blank slides draw on these.
    BuildHitAreaShape(&movie, &id_counter_);
    bool anyBlank = false;
    for (const auto& slide : slides_) anyBlank = anyBlank || slide->GetType() == CSlide::kBlank;
    if (anyBlank) BuildBackgroundShape(&movie, &id_counter_);
    for (int i = 1; i <= GetSlideCount(); ++i) {
        WriteSlide(slides_[size_t(i - 1)].get(), i);
        if (movie.Failed() || !CheckExportCounters()) break;
    }
    movie.AddTag(new CTagShowFrame);
    movie.AddTag(new CTagEnd);
    const bool fits = last_error_ == 0;
    if (!fits || movie.Failed() || movie.Close() == 0) {
        movie.Discard();
        return fits ? FailExport(kExportWriteFailed, movie.GetError()) : false;
    }
    return true;
}
