#include "show/transition.h"

#include <strings.h>

#include <cmath>

#include "show/registry.h"
#include "show/slide.h"
#include "show/slide_export.h"
#include "swf/display_tags.h"
#include "swf/movie.h"

bool CTransition::ReadXmlAttributes(const CXMLNode&, const CXMLAttributes&)
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
    return static_cast<unsigned>(std::fma(frameRate, duration_ / 1000.0, 0.5));
}

void CTransition::PlaceNext(CSlide* slide, CSwfMovie* movie, CSwfCxformWithAlpha* cxform)
{
    PlaceSlide(slide, movie, cxform);
}

void CTransition::RemovePrevious(CSlide* previous, CSwfMovie* movie)
{
    if (previous && movie) movie->AddTag(new CTagRemoveObject2(previous->GetDepth()));
}

bool CTransition::ReadXml(const CXMLNode& element)
{
    CXMLAttributes attributes;
    if (!element.GetAttributes(attributes) || !element.HasAttributes()) return true;
    CXMLNode duration;
    if (attributes.Get("duration", duration)) duration_ = static_cast<uint32_t>(duration.GetInt(0));
    return ReadXmlAttributes(element, attributes);
}

bool CTransition::WriteXml(CXMLOutputFile& out) const
{
    // Names are registry names: written as they stand.
    out.Write("<transition name=\"").Write(std::string_view(name_)).Write("\" duration=\"").WriteUInt(duration_);
    WriteXmlAttributes(out);
    out.Write("\" />\n");
    return true;
}

CTransitionList& CTransitionList::Get()
{
    static CTransitionList list;
    return list;
}

CTransitionList::CTransitionList()
{
    prototypes_.push_back(std::make_unique<CTransition>());
}

void CTransitionList::Register(std::unique_ptr<CTransition> prototype)
{
    RegisterPrototype(prototypes_, std::move(prototype));
}

const CTransition* CTransitionList::FindByName(const std::string& name) const
{
    for (const auto& p : prototypes_)
        if (strcasecmp(p->GetName().c_str(), name.c_str()) == 0) return p.get();
    return nullptr;
}

std::unique_ptr<CTransition> CTransitionList::CreateFromXml(const CXMLNode& element) const
{
    CXMLAttributes attributes;
    CXMLNode name;
    if (!element.GetAttributes(attributes) || !attributes.Get("name", name)) return nullptr;
    const CTransition* prototype = FindByName(name.GetString(""));
    if (!prototype) return nullptr;
    std::unique_ptr<CTransition> t = prototype->Clone();
    t->ReadXml(element);
    return t;
}
