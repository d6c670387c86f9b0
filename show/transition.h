#pragma once
// The transition into a slide and the registry of transition kinds. The
// base class is itself the plain cut, "None"; the kinds live in
// transitions/ and enter a registry through CTransitionList::CreateAll.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "foundation/signal.h"
#include "foundation/xml_reader.h"
#include "foundation/xml_writer.h"
#include "platform/qd_types.h"
#include "platform/toolbox_types.h"
#include "show/xml_io.h"

class CDialogWindow;
class CSlide;
class CSwfMovie;
class CSwfCxformWithAlpha;

class CTransition {
public:
    // The longest transition the show's times allow, in ms.
    static constexpr long kMaxDuration = 1000000;

    explicit CTransition(int generate = 1);
    CTransition(const char* name, uint32_t duration);
    // A copy of the fields; the copy's change signal starts empty.
    CTransition(const CTransition& other);
    CTransition& operator=(const CTransition&) = delete;
    virtual ~CTransition();

    // Every parameter of other, which is of the same class; true.
    virtual bool CopyFrom(const CTransition* other);
    virtual std::unique_ptr<CTransition> Clone() const;
    // Writes the way from previous (null for none) into slide: places the
    // slide, writes the transition's frames and removes the previous slide.
    // The cut places and removes and shows no frame of its own; with its
    // generate flag off it writes nothing.
    virtual bool GenerateSwf(CSlide* slide, CSlide* previous, CSwfMovie* movie, uint16_t* characterIdCounter,
                             uint16_t* depthCounter);
    virtual void SetDefaults() {}
    // A new transition of this kind for a slide. The plain cut gives a fresh
    // "None" of 2000 ms; every kind gives a copy of itself.
    virtual std::unique_ptr<CTransition> CreateInstance() const;

    // The settings controls shown in the effects pane, laid out from the
    // area's top-left corner; ids from 10000 up.
    virtual bool CreateSettingsControls(CDialogWindow* window, ControlRef parent, const Rect* area);
    // Stores the controls' values into this transition, then disposes of them.
    virtual bool DisposeSettingsControls();
    virtual void UpdateSettingsControls() {}
    // The controls' values into target; true when any field changed.
    virtual bool ReadSettingsControls(CTransition* target) const;
    // True when controlId is one of this kind's controls and its field took the value.
    virtual bool OnControlChanged(uint32_t controlId);

    // Attributes of the kind beyond name and duration, read from the
    // transition element, which reports what it refuses; each written piece
    // begins with the quote that closes the value before it.
    virtual bool ReadXmlAttributes(const CElementReader& reader);
    virtual bool WriteXmlAttributes(CXMLOutputFile& out) const;

    // fps × duration / 1000 + 0.5, truncated.
    unsigned DurationFrames(double frameRate) const;
    // The frames GenerateSwf writes at the rate, coming from a slide or from
    // none; the export counts its movie with it. The cut writes none, every
    // other kind its duration in frames.
    virtual unsigned CountFrames(double frameRate, bool fromSlide) const;
    // The slide's picture at its own depth, with the colour transform when given.
    void PlaceNext(CSlide* slide, CSwfMovie* movie, CSwfCxformWithAlpha* cxform);
    // Takes the previous slide's picture off its depth; nothing for null.
    void RemovePrevious(CSlide* previous, CSwfMovie* movie);
    // Another copy of the slide's picture on a fresh depth above everything
    // placed so far; the depth, 0 for a null slide or when depths ran out.
    uint16_t PlaceSlideAtNextDepth(CSlide* slide, CSwfMovie* movie, uint16_t* depthCounter);

    CTransition& Assign(const CTransition& other);
    bool GetGenerate() const { return generate_ != 0; }
    void SetGenerate(bool on) { generate_ = on ? 1 : 0; }

    const std::string& GetName() const { return name_; }
    uint32_t GetDuration() const { return duration_; }
    // Emits changed once when the value differs. A value outside
    // 0..kMaxDuration is refused (false) and the duration kept.
    bool SetDuration(long ms);
    static bool IsDurationInRange(long ms) { return ms >= 0 && ms <= kMaxDuration; }
    // A cut has no length of its own (exact, case-sensitive name).
    bool IsNone() const { return name_ == "None"; }

    // Reads "duration" (kept when out of range) and the kind's own
    // attributes; what is refused goes to the context's report.
    bool ReadXml(const CXMLNode& element, const CReadContext* context = nullptr);
    bool WriteXml(CXMLOutputFile& out) const;

    // Emitted with the transition whenever SetDuration changes the duration.
    Signal changed;

protected:
    // Hooks around the settings controls; empty here.
    void OnCreateControls(CDialogWindow*, const Rect*) {}
    void OnDisposeControls() {}
    void SetName(const char* name) { name_ = name; }

    uint32_t duration_ = 2000;
    std::string name_ = "None";
    int generate_ = 1;
};

// Declares, in a kind's class, the overrides of a kind with settings of its
// own: its controls in the effects pane and its attributes in the file.
#define TAVREL_TRANSITION_SETTINGS_OVERRIDES                                                          \
    bool CreateSettingsControls(CDialogWindow* window, ControlRef parent, const Rect* area) override; \
    bool DisposeSettingsControls() override;                                                          \
    void UpdateSettingsControls() override;                                                           \
    bool ReadSettingsControls(CTransition* target) const override;                                    \
    bool OnControlChanged(uint32_t controlId) override;                                               \
    bool ReadXmlAttributes(const CElementReader& reader) override;                                    \
    bool WriteXmlAttributes(CXMLOutputFile& out) const override

// A registered kind on Base (its family's shared class, or the transition
// itself): its clone and its instance for a slide are both a copy of
// itself, made through CopyFrom.
template <class Kind, class Base = CTransition>
class CTransitionKind : public Base {
public:
    using Base::Base;
    std::unique_ptr<CTransition> Clone() const override
    {
        auto copy = std::make_unique<Kind>();
        copy->CopyFrom(this);
        return copy;
    }
    std::unique_ptr<CTransition> CreateInstance() const override { return Clone(); }
};

// A registry of transition prototypes sorted by name. The first list made
// takes the first process-wide cell, a list made while it is taken the
// second; CreateFromXml searches both.
class CTransitionList {
public:
    CTransitionList();
    // Deletes the prototypes and clears the cell that holds this list.
    ~CTransitionList();
    CTransitionList(const CTransitionList&) = delete;
    CTransitionList& operator=(const CTransitionList&) = delete;

    // One prototype of every kind built, in the registry's rows; a second
    // call adds a second set. Defined with the kinds.
    bool CreateAll();
    // Before the first entry whose name sorts after t's (byte order); false for null.
    bool AddSorted(std::unique_ptr<CTransition> t);
    // Null out of range.
    CTransition* Get(int index) const;
    int GetCount() const { return static_cast<int>(entries_.size()); }
    // Any entry, by rand(); the list must not be empty.
    CTransition* GetRandom() const;
    // The first entry of that name, ignoring case; null when none.
    CTransition* FindByName(const char* name) const;

    // The list in the first cell; null when none exists.
    static CTransitionList* Instance();
    // A new transition of the element's kind (the prototype's
    // CreateInstance), with its duration and attributes; null when no list
    // exists, the element has no name or no list holds the kind. Refused
    // attributes are reported to the context, once each.
    static std::unique_ptr<CTransition> CreateFromXml(const CXMLNode& element, const CReadContext* context = nullptr);

private:
    std::vector<std::unique_ptr<CTransition>> entries_;
};
