#include "transitions/fade_transitions.h"

#include <cmath>

#include "show/slide.h"
#include "show/slide_export.h"
#include "swf/display_tags.h"
#include "swf/movie.h"
#include "swf/records.h"
#include "swf/shapes.h"
#include "swf/styles.h"
#include "transitions/clip_layers.h"
#include "transitions/motion_steps.h"

namespace {

// 256 × p rounded half up, in 8.8 alpha.
int FadeAlpha(double p)
{
    return static_cast<int16_t>(static_cast<int32_t>(std::fma(p, 256.0, 0.5)));
}

// Multiply terms only: colours kept, alpha scaled.
void MoveAlpha(CSwfMovie* movie, uint16_t depth, double p)
{
    clip_layers::Move(movie, depth, nullptr, motion::Opacity(FadeAlpha(p)));
}

}  // namespace

CFadeInTransition::CFadeInTransition()
{
    SetName("Fade In");
}

bool CFadeInTransition::GenerateSwf(CSlide* slide, CSlide* previous, CSwfMovie* movie, uint16_t*, uint16_t*)
{
    if (!slide || !movie) return true;
    PlaceNext(slide, movie, nullptr);
    const int n = static_cast<int>(DurationFrames(movie->GetFrameRate()));
    motion::Progress p{0.0, 1.0 / n};
    for (int k = 1; k <= n; ++k) {
        MoveAlpha(movie, slide->GetDepth(), p.Rise());
        clip_layers::ShowFrame(movie);
    }
    RemovePrevious(previous, movie);
    return true;
}

CFadeOutTransition::CFadeOutTransition()
{
    SetName("Fade Out");
}

bool CFadeOutTransition::GenerateSwf(CSlide* slide, CSlide* previous, CSwfMovie* movie, uint16_t*,
                                     uint16_t* depthCounter)
{
    if (!slide || !movie) return true;
    PlaceNext(slide, movie, nullptr);
    RemovePrevious(previous, movie);
    if (!previous) return true;
    // The old slide leaves from a copy on top of the new one.
    const uint16_t copy = PlaceSlideAtNextDepth(previous, movie, depthCounter);
    if (!copy) return true;
    const int n = static_cast<int>(DurationFrames(movie->GetFrameRate()));
    motion::Progress q{1.0, 1.0 / n};
    for (int k = 1; k <= n; ++k) {
        MoveAlpha(movie, copy, q.Fall());
        clip_layers::ShowFrame(movie);
    }
    motion::Remove(movie, copy);
    return true;
}

CCrossFadeTransition::CCrossFadeTransition()
{
    SetName("Cross Fade");
}

bool CCrossFadeTransition::GenerateSwf(CSlide* slide, CSlide* previous, CSwfMovie* movie, uint16_t*, uint16_t*)
{
    if (!slide || !movie) return true;
    PlaceNext(slide, movie, nullptr);
    const int n = static_cast<int>(DurationFrames(movie->GetFrameRate()));
    motion::Progress p{0.0, 1.0 / n};
    motion::Progress q{1.0, 1.0 / n};
    for (int k = 1; k <= n; ++k) {
        MoveAlpha(movie, slide->GetDepth(), p.Rise());
        q.Fall();
        if (previous) MoveAlpha(movie, previous->GetDepth(), q.value);
        clip_layers::ShowFrame(movie);
    }
    RemovePrevious(previous, movie);
    return true;
}

CColorFadeTransition::CColorFadeTransition()
{
    SetName("Color Fade");
    CColorFadeTransition::SetDefaults();
}

bool CColorFadeTransition::CopyFrom(const CTransition* other)
{
    if (!CTransition::CopyFrom(other)) return false;
    if (auto* o = dynamic_cast<const CColorFadeTransition*>(other)) fadeColor = o->fadeColor;
    return true;
}

bool CColorFadeTransition::GenerateSwf(CSlide* slide, CSlide* previous, CSwfMovie* movie,
                                       uint16_t* characterIdCounter, uint16_t* depthCounter)
{
    if (!slide || !movie) return true;
    // A full-frame rectangle of the colour, defined anew on every call.
    const uint16_t id = NextExportValue(characterIdCounter, movie);
    const uint16_t depth = id ? NextExportValue(depthCounter, movie) : 0;
    if (!depth) {
        PlaceNext(slide, movie, nullptr);
        RemovePrevious(previous, movie);
        return true;
    }
    auto* rect = new CTagDefineShape;
    rect->SetCharacterId(id);
    rect->BuildRect(0, 0, movie->GetWidth(), movie->GetHeight(), CFillStyle::MakeSolid(fadeColor & 0xFFFFFF),
                    nullptr);
    movie->AddTag(rect);

    auto* place = new CTagPlaceObject2;
    place->SetCharacterId(id);
    place->depth = depth;
    place->SetCxform(motion::Alpha(0.0));
    movie->AddTag(place);

    const unsigned h = DurationFrames(movie->GetFrameRate()) / 2;
    auto moveRect = [&](double a) {
        clip_layers::Move(movie, depth, nullptr, motion::Alpha(a));
        clip_layers::ShowFrame(movie);
    };
    motion::Progress p{0.0, 1.0 / h};
    for (unsigned k = 1; k <= h; ++k) moveRect(p.Rise());
    // The slides change under the opaque colour.
    PlaceNext(slide, movie, nullptr);
    RemovePrevious(previous, movie);
    motion::Progress q{1.0, 1.0 / h};
    for (unsigned k = 1; k <= h; ++k) moveRect(q.Fall());
    motion::Remove(movie, depth);
    return true;
}

bool CColorFadeTransition::CreateSettingsControls(CDialogWindow* window, ControlRef parent, const Rect* area)
{
    if (!area) return false;
    const short top = static_cast<short>(area->top + 8);
    const Rect labelBounds{top, area->left, static_cast<short>(top + 16), static_cast<short>(area->left + 33)};
    const Rect swatchBounds{top, static_cast<short>(area->left + 49), static_cast<short>(top + 16),
                            static_cast<short>(area->left + 81)};
    colorLabel_.Create(window, kLabelId, labelBounds, "Color:");
    colorSwatch_.Create(window, kSwatchId, swatchBounds, "");
    if (parent) colorSwatch_.EmbedIn(parent);
    OnCreateControls(window, area);
    UpdateSettingsControls();
    colorLabel_.Show(true);
    colorSwatch_.Show(true);
    return true;
}

bool CColorFadeTransition::DisposeSettingsControls()
{
    ReadSettingsControls(this);
    OnDisposeControls();
    colorLabel_.Dispose();
    colorSwatch_.Dispose();
    return true;
}

void CColorFadeTransition::UpdateSettingsControls()
{
    colorSwatch_.SetColor(fadeColor, true);
}

bool CColorFadeTransition::ReadSettingsControls(CTransition* target) const
{
    auto* t = dynamic_cast<CColorFadeTransition*>(target);
    if (!t || !colorSwatch_.GetControlRef()) return false;
    const uint32_t c = colorSwatch_.GetColor();
    if (t->fadeColor == c) return false;
    t->fadeColor = c;
    return true;
}

bool CColorFadeTransition::OnControlChanged(uint32_t controlId)
{
    if (controlId != kSwatchId) return false;
    fadeColor = colorSwatch_.GetColor();
    return true;
}

bool CColorFadeTransition::ReadXmlAttributes(const CElementReader& reader)
{
    reader.Colour("fade_color", &fadeColor);
    return true;
}

bool CColorFadeTransition::WriteXmlAttributes(CXMLOutputFile& out) const
{
    out.Write("\" fade_color=\"").WriteUInt(fadeColor);
    return true;
}
