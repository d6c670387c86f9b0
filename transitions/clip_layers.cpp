#include "transitions/clip_layers.h"

#include <memory>

#include "show/slide.h"
#include "show/slide_export.h"
#include "show/transition.h"
#include "swf/display_tags.h"
#include "swf/movie.h"
#include "swf/shapes.h"
#include "swf/styles.h"

namespace clip_layers {

uint16_t DefineOutlineShape(const MaskRect& bounds, CShapeWithStyle* outline, CSwfMovie* movie,
                            uint16_t* characterIdCounter, uint32_t fill)
{
    std::unique_ptr<CShapeWithStyle> shape(outline);
    if (!shape || !movie || !characterIdCounter) return 0;
    const uint16_t id = NextExportValue(characterIdCounter, movie);
    if (!id) return 0;
    auto* tag = new CTagDefineShape;
    tag->SetCharacterId(id);
    tag->bounds = std::make_unique<CSwfRect>();
    tag->bounds->Set(bounds.left, bounds.top, bounds.right, bounds.bottom, false);
    shape->fillStyles = std::make_unique<CFillStyleArray>();
    shape->fillStyles->Append(CFillStyle::MakeSolid(fill));
    // Masks write their fill indices 15 bits wide and have no lines.
    shape->SetFillBits(15);
    shape->SetLineBits(0);
    tag->shape = std::move(shape);
    movie->AddTag(tag);
    return id;
}

CShapeWithStyle* StartOutline(int32_t x, int32_t y)
{
    auto* shape = new CShapeWithStyle;
    CShapeRecordStyleChange* start = shape->AddMoveTo(x, y);
    start->fillStyle1 = 1;
    start->SetFlags(swf_shape::kMoveTo | swf_shape::kFillStyle1);
    return shape;
}

uint16_t DefineMaskShape(const MaskRect& r, CSwfMovie* movie, uint16_t* characterIdCounter, uint32_t fill)
{
    CShapeWithStyle* shape = StartOutline(r.right, r.bottom);
    shape->AddHorizontalLine(-(r.right - r.left));
    shape->AddVerticalLine(r.top - r.bottom);
    shape->AddHorizontalLine(r.right - r.left);
    shape->AddVerticalLine(r.bottom - r.top);
    shape->AddEnd();
    return DefineOutlineShape(r, shape, movie, characterIdCounter, fill);
}

CSwfMatrix* Translation(int32_t x, int32_t y)
{
    auto* m = new CSwfMatrix;
    m->SetIdentity();
    m->hasScale = false;
    m->translateX = x;
    m->translateY = y;
    return m;
}

CSwfMatrix* SlideMatrix(const CSlide& slide, bool withScale)
{
    const CSlide::CameraPlacement& at = slide.GetCameraPlacement();
    CSwfMatrix* m = Translation(at.centerX, at.centerY);
    if (withScale) {
        m->hasScale = true;
        m->scaleX = at.scaleX;
        m->scaleY = at.scaleY;
    }
    return m;
}

namespace {

void PlaceMask(CSwfMovie* movie, uint16_t maskId, uint16_t depth, CSwfMatrix* matrix)
{
    PlaceClipMask(movie, maskId, depth, static_cast<uint16_t>(depth + 1), matrix);
}

// Two adjacent depths, or none: a pair cut in half would leave a mask
// clipping whatever comes next.
bool TakeTwoDepths(uint16_t* depthCounter, CSwfMovie* movie, uint16_t* first)
{
    const uint16_t d = NextExportValue(depthCounter, movie);
    if (!d) return false;
    if (!NextExportValue(depthCounter, movie)) return false;
    *first = d;
    return true;
}

}  // namespace

ClipPair PlaceCopyPair(CSwfMovie* movie, uint16_t* depthCounter, uint16_t maskId, CSwfMatrix* maskMatrix,
                       const CSlide& content, bool withScale)
{
    return PlaceCopyPairWithCxform(movie, depthCounter, maskId, maskMatrix, content, withScale, nullptr);
}

ClipPair PlaceCopyPairWithCxform(CSwfMovie* movie, uint16_t* depthCounter, uint16_t maskId, CSwfMatrix* maskMatrix,
                                 const CSlide& content, bool withScale, CSwfCxformWithAlpha* copyCxform)
{
    std::unique_ptr<CSwfMatrix> own(maskMatrix);
    std::unique_ptr<CSwfCxformWithAlpha> ownCxform(copyCxform);
    uint16_t d = 0;
    if (!movie || !depthCounter || !TakeTwoDepths(depthCounter, movie, &d)) return {};
    PlaceMask(movie, maskId, d, own.release());
    PlaceCopy(movie, content, static_cast<uint16_t>(d + 1), withScale, ownCxform.release());
    return {d, static_cast<uint16_t>(d + 1)};
}

uint16_t PlaceOwnSlidePair(CTransition& transition, CSlide* slide, CSwfMovie* movie, uint16_t* depthCounter,
                           uint16_t maskId, CSwfMatrix* maskMatrix)
{
    std::unique_ptr<CSwfMatrix> own(maskMatrix);
    if (!slide || !movie) return 0;
    uint16_t d = 0;
    if (!depthCounter || !TakeTwoDepths(depthCounter, movie, &d)) {
        transition.PlaceNext(slide, movie, nullptr);
        return 0;
    }
    PlaceMask(movie, maskId, d, own.release());
    slide->SetDepth(static_cast<uint16_t>(d + 1));
    transition.PlaceNext(slide, movie, nullptr);
    return d;
}

namespace {

CTagPlaceObject2* NewPlacement(uint16_t id, uint16_t depth, CSwfMatrix* matrix, CSwfCxformWithAlpha* cxform)
{
    auto* place = new CTagPlaceObject2;
    place->SetCharacterId(id);
    place->depth = depth;
    place->SetMatrix(matrix);
    place->SetCxform(cxform);
    return place;
}

}  // namespace

void PlaceClipMask(CSwfMovie* movie, uint16_t maskId, uint16_t depth, uint16_t clipDepth, CSwfMatrix* matrix)
{
    CTagPlaceObject2* mask = NewPlacement(maskId, depth, matrix, nullptr);
    mask->clipDepth = clipDepth;
    mask->hasClipDepth = true;
    movie->AddTag(mask);
}

void Place(CSwfMovie* movie, uint16_t id, uint16_t depth, CSwfMatrix* matrix, CSwfCxformWithAlpha* cxform)
{
    movie->AddTag(NewPlacement(id, depth, matrix, cxform));
}

void PlaceCopy(CSwfMovie* movie, const CSlide& slide, uint16_t depth, bool withScale, CSwfCxformWithAlpha* cxform)
{
    Place(movie, slide.GetCharacterId(), depth, SlideMatrix(slide, withScale), cxform);
}

void Move(CSwfMovie* movie, uint16_t depth, CSwfMatrix* matrix, CSwfCxformWithAlpha* cxform)
{
    auto* move = new CTagPlaceObject2;
    move->move = true;
    move->depth = depth;
    move->SetMatrix(matrix);
    if (cxform) move->SetCxform(cxform);
    movie->AddTag(move);
}

void ShowFrame(CSwfMovie* movie)
{
    movie->AddTag(new CTagShowFrame);
}

void RemoveDepths(CSwfMovie* movie, const std::vector<uint16_t>& depths)
{
    for (uint16_t d : depths)
        if (d) movie->AddTag(new CTagRemoveObject2(d));
}

void Finish(CTransition& transition, CSlide* slide, CSlide* previous, CSwfMovie* movie, const DepthLists& lists,
            bool placeSlide)
{
    RemoveDepths(movie, lists.masks);
    RemoveDepths(movie, lists.copies);
    if (placeSlide) transition.PlaceNext(slide, movie, nullptr);
    transition.RemovePrevious(previous, movie);
}

}  // namespace clip_layers
