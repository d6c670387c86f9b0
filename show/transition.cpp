#include "show/transition.h"

#include <strings.h>

#include <cmath>
#include <cstring>

#include "show/slide.h"
#include "show/slide_export.h"
#include "swf/display_tags.h"
#include "swf/movie.h"
#include "ui/ui_utils.h"

CTransition::CTransition(int generate) : generate_(generate)
{
    CTransition::SetDefaults();
}

CTransition::CTransition(const char* name, uint32_t duration) : duration_(duration), name_(name) {}

CTransition::CTransition(const CTransition& other)
    : duration_(other.duration_), name_(other.name_), generate_(other.generate_)
{
}

CTransition::~CTransition()
{
    changed.DisconnectAll();
}

bool CTransition::CopyFrom(const CTransition* other)
{
    if (!other) return false;
    generate_ = other->generate_;
    name_ = other->name_;
    duration_ = other->duration_;
    return true;
}

std::unique_ptr<CTransition> CTransition::Clone() const
{
    auto t = std::make_unique<CTransition>(1);
    t->CopyFrom(this);
    return t;
}

std::unique_ptr<CTransition> CTransition::CreateInstance() const
{
    auto t = std::make_unique<CTransition>(1);
    ReadSettingsControls(t.get());
    return t;
}

bool CTransition::CreateSettingsControls(CDialogWindow* window, ControlRef, const Rect* area)
{
    OnCreateControls(window, area);
    return true;
}

bool CTransition::DisposeSettingsControls()
{
    OnDisposeControls();
    return true;
}

bool CTransition::ReadSettingsControls(CTransition*) const
{
    return false;
}

bool CTransition::OnControlChanged(uint32_t)
{
    return false;
}

bool CTransition::ReadXmlAttributes(const CElementReader&)
{
    return true;
}

bool CTransition::WriteXmlAttributes(CXMLOutputFile&) const
{
    return true;
}

bool CTransition::GenerateSwf(CSlide* slide, CSlide* previous, CSwfMovie* movie, uint16_t*, uint16_t*)
{
    if (!generate_) return true;
    PlaceNext(slide, movie, nullptr);
    RemovePrevious(previous, movie);
    return true;
}

unsigned CTransition::DurationFrames(double frameRate) const
{
    const double frames = std::fma(frameRate, duration_ / 1000.0, 0.5);
    // Durations are kept in range, so only a wild rate could overflow.
    if (!(frames > 0)) return 0;
    if (frames >= 4294967295.0) return UINT32_MAX;
    return static_cast<unsigned>(frames);
}

unsigned CTransition::CountFrames(double frameRate, bool) const
{
    return IsNone() ? 0 : DurationFrames(frameRate);
}

void CTransition::PlaceNext(CSlide* slide, CSwfMovie* movie, CSwfCxformWithAlpha* cxform)
{
    PlaceSlide(slide, movie, cxform);
}

void CTransition::RemovePrevious(CSlide* previous, CSwfMovie* movie)
{
    if (previous && movie) movie->AddTag(new CTagRemoveObject2(previous->GetDepth()));
}

uint16_t CTransition::PlaceSlideAtNextDepth(CSlide* slide, CSwfMovie* movie, uint16_t* depthCounter)
{
    if (!slide || !movie || !depthCounter) return 0;
    const uint16_t depth = NextExportValue(depthCounter, movie);
    if (!depth) return 0;
    auto* place = new CTagPlaceObject2;
    place->depth = depth;
    place->SetCharacterId(slide->GetCharacterId());
    auto* matrix = new CSwfMatrix;
    const CSlide::CameraPlacement& camera = slide->GetCameraPlacement();
    matrix->hasScale = true;
    matrix->scaleX = camera.scaleX;
    matrix->scaleY = camera.scaleY;
    matrix->translateX = camera.centerX;
    matrix->translateY = camera.centerY;
    place->SetMatrix(matrix);
    movie->AddTag(place);
    return depth;
}

CTransition& CTransition::Assign(const CTransition& other)
{
    CopyFrom(&other);
    return *this;
}

bool CTransition::SetDuration(long ms)
{
    if (!IsDurationInRange(ms)) return false;
    if (static_cast<uint32_t>(ms) == duration_) return true;
    duration_ = static_cast<uint32_t>(ms);
    changed.Emit(reinterpret_cast<intptr_t>(this));
    return true;
}

bool CTransition::ReadXml(const CXMLNode& element, const CReadContext* context)
{
    const CElementReader reader(element, context);
    if (!reader.HasAttributes()) return true;
    // Read straight into the field: loading is not an edit.
    long ms = duration_;
    if (reader.NumberIn("duration", 0, kMaxDuration, &ms)) duration_ = static_cast<uint32_t>(ms);
    ReadXmlAttributes(reader);
    return true;
}

bool CTransition::WriteXml(CXMLOutputFile& out) const
{
    // Names are registry names: written as they stand.
    out.Write("<transition name=\"").Write(std::string_view(name_)).Write("\" duration=\"").WriteUInt(duration_);
    WriteXmlAttributes(out);
    out.Write("\" />\n");
    return true;
}

// ---- registry

namespace {
CTransitionList* firstCell = nullptr;
CTransitionList* secondCell = nullptr;

CTransition* FindIn(const CTransitionList* list, const char* name)
{
    return list ? list->FindByName(name) : nullptr;
}
}  // namespace

CTransitionList::CTransitionList()
{
    if (!firstCell)
        firstCell = this;
    else
        secondCell = this;
}

CTransitionList::~CTransitionList()
{
    entries_.clear();
    // Only the cell that holds this list: lists may go in any order.
    if (secondCell == this) secondCell = nullptr;
    if (firstCell == this) firstCell = nullptr;
}

bool CTransitionList::AddSorted(std::unique_ptr<CTransition> t)
{
    if (!t) return false;
    auto at = entries_.begin();
    while (at != entries_.end() && std::strncmp(t->GetName().c_str(), (*at)->GetName().c_str(), 256) >= 0) ++at;
    entries_.insert(at, std::move(t));
    return true;
}

CTransition* CTransitionList::Get(int index) const
{
    if (index < 0 || index >= GetCount()) return nullptr;
    return entries_[static_cast<size_t>(index)].get();
}

CTransition* CTransitionList::GetRandom() const
{
    if (entries_.empty()) return nullptr;
    int index = RandomInRange(GetCount() - 1, 0);
    if (index < 0) index = 0;
    return Get(index);
}

CTransition* CTransitionList::FindByName(const char* name) const
{
    for (const auto& e : entries_)
        if (strcasecmp(e->GetName().c_str(), name) == 0) return e.get();
    return nullptr;
}

CTransitionList* CTransitionList::Instance()
{
    return firstCell;
}

std::unique_ptr<CTransition> CTransitionList::CreateFromXml(const CXMLNode& element, const CReadContext* context)
{
    if (!firstCell && !secondCell) return nullptr;
    CXMLAttributes attributes;
    CXMLNode name;
    if (!element.GetAttributes(attributes) || !attributes.Get("name", name)) return nullptr;
    const std::string wanted = name.GetString("");
    CTransition* prototype = FindIn(firstCell, wanted.c_str());
    if (!prototype) prototype = FindIn(secondCell, wanted.c_str());
    if (!prototype) return nullptr;
    std::unique_ptr<CTransition> t = prototype->CreateInstance();
    // ReadXml takes the duration, and says once what it refuses.
    t->ReadXml(element, context);
    return t;
}
