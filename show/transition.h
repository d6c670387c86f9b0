#pragma once
// The transition into a slide and the registry of transition kinds. Only
// the plain cut, "None", is registered here; the transition kinds register
// themselves on top of it.
#include <memory>
#include <string>
#include <vector>

#include "foundation/xml_reader.h"
#include "foundation/xml_writer.h"

class CSlide;
class CSwfMovie;
class CSwfCxformWithAlpha;

class CTransition {
public:
    CTransition() = default;
    CTransition(const char* name, uint32_t duration) : name_(name), duration_(duration) {}
    virtual ~CTransition() = default;

    virtual std::unique_ptr<CTransition> Clone() const { return std::make_unique<CTransition>(*this); }
    // Attributes of the kind beyond name and duration.
    virtual bool ReadXmlAttributes(const CXMLNode& element, const CXMLAttributes& attributes);
    virtual bool WriteXmlAttributes(CXMLOutputFile& out) const;
    // Writes the way from previous (null for none) into slide: places the
    // slide, writes the transition's frames and removes the previous slide.
    // The cut places and removes and shows no frame of its own; with its
    // generate flag off it writes nothing.
    virtual bool GenerateSwf(CSlide* slide, CSlide* previous, CSwfMovie* movie, uint16_t* characterIdCounter,
                             uint16_t* depthCounter);

    // fps × duration / 1000 + 0.5, truncated.
    unsigned DurationFrames(double frameRate) const;
    // The slide's picture at its own depth, with the colour transform when given.
    void PlaceNext(CSlide* slide, CSwfMovie* movie, CSwfCxformWithAlpha* cxform);
    // Takes the previous slide's picture off its depth; nothing for null.
    void RemovePrevious(CSlide* previous, CSwfMovie* movie);
    bool GetGenerate() const { return generate_; }
    void SetGenerate(bool on) { generate_ = on; }

    const std::string& GetName() const { return name_; }
    uint32_t GetDuration() const { return duration_; }
    void SetDuration(uint32_t ms) { duration_ = ms; }
    // A cut has no length of its own (exact, case-sensitive name).
    bool IsNone() const { return name_ == "None"; }

    bool ReadXml(const CXMLNode& element);
    bool WriteXml(CXMLOutputFile& out) const;

protected:
    std::string name_ = "None";
    uint32_t duration_ = 2000;
    bool generate_ = true;
};

class CTransitionList {
public:
    // The process-wide registry.
    static CTransitionList& Get();
    // Prototypes keep their place; a name already registered is replaced.
    void Register(std::unique_ptr<CTransition> prototype);
    // By name without regard to case; null when none.
    const CTransition* FindByName(const std::string& name) const;
    // A transition of the element's kind with its duration and attributes;
    // null when the element has no name or the kind is not registered.
    std::unique_ptr<CTransition> CreateFromXml(const CXMLNode& element) const;

private:
    CTransitionList();
    std::vector<std::unique_ptr<CTransition>> prototypes_;
};
