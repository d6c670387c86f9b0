#include "show/strip_show.h"

#include <memory>

#include "show/slide_export.h"
#include "swf/actions.h"
#include "swf/control_tags.h"
#include "swf/display_tags.h"
#include "swf/movie.h"
#include "swf/shapes.h"
#include "swf/sprite.h"
#include "swf/styles.h"

namespace {

// Clip event flag: every frame.
constexpr uint32_t kEnterFrame = 2;
// Translations are signed 31-bit fields of the matrix.
constexpr int64_t kMaxTranslation = (int64_t(1) << 30) - 1;

// The script's constant pool, in this order.
enum : uint8_t { kPoolI, kPoolSlide, kPoolSlidePrefix, kPoolX, kPoolWidth };

CActionPush* PushPool(std::initializer_list<uint8_t> entries)
{
    auto* push = new CActionPush;
    for (uint8_t e : entries) push->PushConstant8(e);
    return push;
}

// Pushes slide.<member>.
void PushSlideMember(CTagDoAction& list, uint8_t member)
{
    list.AddAction(PushPool({kPoolSlide}));
    list.AddAction(new CActionGetVariable);
    list.AddAction(PushPool({member}));
    list.AddAction(new CActionGetMember);
}

// slide._x := slide._x <op> amount
template <class Op>
void MoveSlide(CTagDoAction& list, int32_t amount)
{
    list.AddAction(PushPool({kPoolSlide}));
    list.AddAction(new CActionGetVariable);
    list.AddAction(PushPool({kPoolX, kPoolSlide}));
    list.AddAction(new CActionGetVariable);
    list.AddAction(PushPool({kPoolX}));
    list.AddAction(new CActionGetMember);
    list.AddAction(new CActionPush(amount));
    list.AddAction(new Op);
    list.AddAction(new CActionSetMember);
}

// Bytes of the actions [from, to) of the list.
int32_t BytesOf(const CTagDoAction& list, size_t from, size_t to)
{
    int32_t bytes = 0;
    for (size_t i = from; i < to; ++i) bytes += list.actions[i]->GetSize();
    return bytes;
}

}  // namespace

// ---- strip show

void CStripSlideShow::Reset()
{
    SetSize(320, 240);
    SetFps(12.0);
    bg_color = 0;
    strip_top = 0;
    strip_left = 0;
    strip_bottom = 160;
    strip_right = 320;
    scroll_step = 1;
    flag = 0;
}

int64_t CStripSlideShow::GetStripWidth() const
{
    int64_t width = 0;
    for (int i = 0; i < GetSlideCount(); ++i) width += GetSlide(i)->GetWidth();
    return width;
}

uint16_t CStripSlideShow::WriteSlideShape(CSlide* slide, CSwfMovie* movie, int index, uint16_t* ids)
{
    if (slide->GetType() == CSlide::kImage) {
        if (!ExportSlideImages(slide, movie, index, ids)) return 0;
        return slide->GetCharacterId();
    }
    // A blank slide shows the background: the strip has no shared background
    // shape, so each one gets a rectangle of its own.
    if (*ids == 0xFFFF) return 0;
    const uint16_t id = ++*ids;
    auto* shape = new CTagDefineShape;
    shape->SetCharacterId(id);
    const int32_t w = slide->GetWidth() * kTwips, h = slide->GetHeight() * kTwips;
    shape->BuildRect(-w / 2, -h / 2, w, h, CFillStyle::MakeSolid(bg_color & 0xFFFFFF), nullptr);
    movie->AddTag(shape);
    return id;
}

uint16_t CStripSlideShow::BuildSlideClips(CSwfMovie* movie, uint16_t* ids, uint16_t* depths)
{
    FailExport(kExportOk, "");  // no failure yet
    skipped_.clear();
    laid_out_count_ = 0;
    laid_out_width_ = 0;
    // Counters are 16-bit: one more past 65535 would wrap onto ids in use.
    auto take = [this](uint16_t* counter, const char* what) -> uint16_t {
        if (*counter == 0xFFFF) {
            FailExport(kExportTooManyObjects, std::string("the strip needs more than 65535 ") + what);
            return 0;
        }
        return ++*counter;
    };
    const uint16_t stripId = take(ids, "characters");
    if (!stripId) return 0;
    auto strip = std::make_unique<CTagDefineSprite>();
    strip->SetCharacterId(stripId);

    int64_t x = 0;
    for (int i = 1; i <= GetSlideCount(); ++i) {
        CSlide* slide = GetSlide(i - 1);
        const uint16_t before = *ids;
        const uint16_t shapeId = WriteSlideShape(slide, movie, i, ids);
        if (*ids < before) {
            FailExport(kExportTooManyObjects, "the strip needs more than 65535 characters");
            return 0;
        }
        // The slide's own writing ran out of ids or failed to write.
        if (movie->Failed()) {
            FailExport(kExportWriteFailed, movie->GetError());
            return 0;
        }
        if (!shapeId) {
            skipped_.push_back(i);
            continue;
        }
        const int64_t width = int64_t(slide->GetWidth()) * kTwips;
        const int64_t height = int64_t(slide->GetHeight()) * kTwips;
        if (x + width > kMaxTranslation) {
            FailExport(kExportTooManyObjects, "the strip is wider than a movie can place (" + std::to_string(kMaxTranslation / kTwips) +
                 " pixels)");
            return 0;
        }
        const uint16_t spriteId = take(ids, "characters");
        if (!spriteId) return 0;
        auto sprite = std::make_unique<CTagDefineSprite>();
        sprite->SetCharacterId(spriteId);
        auto* picture = new CTagPlaceObject2;
        picture->SetCharacterId(shapeId);
        picture->depth = 1;
        sprite->AddTag(picture);
        sprite->AddTag(new CTagShowFrame);
        movie->AddTag(sprite.release());

        const uint16_t depth = take(depths, "layers");
        if (!depth) return 0;
        ++laid_out_count_;
        auto* place = new CTagPlaceObject2;
        place->SetCharacterId(spriteId);
        place->depth = depth;
        place->name = "slide_" + std::to_string(laid_out_count_);
        place->hasName = true;
        auto* matrix = new CSwfMatrix;
        matrix->translateX = int32_t(x + width / 2);
        matrix->translateY = int32_t(height / 2);
        place->SetMatrix(matrix);
        strip->AddTag(place);
        x += width;
    }
    laid_out_width_ = x / kTwips;
    strip->AddTag(new CTagShowFrame);
    movie->AddTag(strip.release());
    return stripId;
}

void CStripSlideShow::BuildLayoutScript(CTagDoAction* list)
{
    const int32_t count = laid_out_count_ >= 0 ? laid_out_count_ : GetSlideCount();
    const int64_t wrap = laid_out_count_ >= 0 ? laid_out_width_ : GetStripWidth();
    // Branch distances are set from the actions' own sizes below.
    list->SetBranchTracking(false, true);
    auto* pool = new CActionConstantPool;
    for (const char* s : {"i", "slide", "slide_", "_x", "_width"}) pool->Add(s);
    list->AddAction(pool);

    // i := 1
    auto* one = PushPool({kPoolI});
    one->PushInt(1);
    list->AddAction(one);
    list->AddAction(new CActionSetVariable);

    // while not (N < i)
    const size_t head = list->actions.size();
    auto* limit = new CActionPush(count);
    limit->PushConstant8(kPoolI);
    list->AddAction(limit);
    list->AddAction(new CActionGetVariable);
    list->AddAction(new CActionLess2);
    auto* leave = new CActionIf;
    list->AddAction(leave);
    const size_t body = list->actions.size();

    // var slide = eval("slide_" + i)
    list->AddAction(PushPool({kPoolSlide, kPoolSlidePrefix, kPoolI}));
    list->AddAction(new CActionGetVariable);
    list->AddAction(new CActionAdd2);
    list->AddAction(new CActionGetVariable);
    list->AddAction(new CActionDefineLocal);

    MoveSlide<CActionSubtract>(*list, scroll_step);

    // if (slide._x + slide._width < 0) slide._x += W
    PushSlideMember(*list, kPoolX);
    PushSlideMember(*list, kPoolWidth);
    list->AddAction(new CActionAdd2);
    auto* zero = new CActionPush;
    zero->PushDouble(0.0);
    list->AddAction(zero);
    list->AddAction(new CActionLess2);
    list->AddAction(new CActionNot);
    auto* keep = new CActionIf;
    list->AddAction(keep);
    const size_t wrapStart = list->actions.size();
    MoveSlide<CActionAdd2>(*list, int32_t(wrap));
    keep->branchOffset = BytesOf(*list, wrapStart, list->actions.size());

    // i := i + 1
    list->AddAction(PushPool({kPoolI, kPoolI}));
    list->AddAction(new CActionGetVariable);
    list->AddAction(new CActionIncrement);
    list->AddAction(new CActionSetVariable);
    auto* again = new CActionJump;
    list->AddAction(again);
    const size_t end = list->actions.size();
    leave->branchOffset = BytesOf(*list, body, end);
    again->branchOffset = -BytesOf(*list, head, end);
}

bool CStripSlideShow::Export(const CPath& target, bool replace, CProgressDialog*)
{
    FailExport(kExportOk, "");  // no failure yet
    CSwfMovie movie;
    movie.SetHeader(int(GetWidth()) * kTwips, int(GetHeight()) * kTwips, GetFps(), 5);
    if (!movie.Open(target, replace)) return FailExport(kExportCannotOpen, "cannot create " + target.GetFullPath());
    // From here a failure leaves no movie behind, and what stood there.
    auto abandon = [&](uint32_t code, const std::string& why) {
        movie.Discard();
        return FailExport(code, why);
    };
    movie.AddTag(new CTagSetBackgroundColor(bg_color & 0xFF, (bg_color >> 8) & 0xFF, (bg_color >> 16) & 0xFF));

    uint16_t ids = 0, depths = 0;
    const uint16_t stripId = BuildSlideClips(&movie, &ids, &depths);
    if (!stripId) return abandon(GetLastError(), GetLastErrorText());
    if (depths == 0xFFFF) return abandon(kExportTooManyObjects, "the strip needs more than 65535 layers");

    auto* place = new CTagPlaceObject2;
    place->SetCharacterId(stripId);
    place->depth = uint16_t(depths + 1);
    auto* script = new CSwfClipAction(kEnterFrame);
    BuildLayoutScript(script->actions.get());
    place->AddClipAction(script);
    if (strip_top != 0 || strip_left != 0) {
        auto* matrix = new CSwfMatrix;
        matrix->translateX = strip_left * kTwips;
        matrix->translateY = strip_top * kTwips;
        place->SetMatrix(matrix);
    }
    movie.AddTag(place);

    auto* stop = new CTagDoAction;
    stop->AddAction(new CActionStop);
    movie.AddTag(stop);
    movie.AddTag(new CTagShowFrame);
    movie.AddTag(new CTagEnd);
    if (movie.Failed()) return abandon(kExportWriteFailed, movie.GetError());
    if (movie.Close() == 0) {
        return FailExport(kExportWriteFailed, movie.GetError().empty() ? "cannot write " + target.GetFullPath() : movie.GetError());
    }
    return true;
}

// ---- alternative show

void CAltSlideShow::Reset()
{
    value1 = 500;
    value2 = 240;
    value3 = 12.0f;
    value4 = 0;
    value5 = 500;
    value6 = 200;
    value7 = 10;
    value8 = 5;
}
