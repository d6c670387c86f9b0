#pragma once
// The overlay effect drawn over a slide and the registry of effect kinds;
// only "None" is registered here, the effect kinds add themselves.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CSwfMovie;

class COverlayEffect {
public:
    COverlayEffect() = default;
    explicit COverlayEffect(const char* name) : name_(name) {}
    virtual ~COverlayEffect() = default;
    virtual std::unique_ptr<COverlayEffect> Clone() const { return std::make_unique<COverlayEffect>(*this); }
    const std::string& GetName() const { return name_; }

    // Defines the effect's characters (taking ids from the counter; depths
    // inside the effect are its own) and returns the sprite to place, 0 when
    // there is nothing to place, as for "None".
    virtual uint16_t Build(CSwfMovie* movie, uint16_t* characterIdCounter, uint16_t* depthCounter);
    // Places the sprite that Build defined at depth; "None" places nothing.
    virtual bool Place(CSwfMovie* movie, uint16_t depth);
    // The sprite the last Build defined; 0 before one.
    uint16_t GetSpriteId() const { return spriteId_; }

protected:
    // One placement of the built sprite at depth, identity matrix.
    bool PlaceSprite(CSwfMovie* movie, uint16_t depth) const;

    std::string name_ = "None";
    uint16_t spriteId_ = 0;
};

// The effects already defined in the movie being written, one per name. It
// points at the slides' own effects and owns none of them.
class CUsedEffectList {
public:
    // Forgets every entry; a new movie begins.
    void Clear() { entries_.clear(); }
    // The entry of effect's name; effect itself, appended, when the name is
    // new. Null for null.
    COverlayEffect* AddUnique(COverlayEffect* effect);
    size_t GetCount() const { return entries_.size(); }

private:
    std::vector<COverlayEffect*> entries_;
};

class COverlayEffectList {
public:
    static COverlayEffectList& Get();
    void Register(std::unique_ptr<COverlayEffect> prototype);
    // A new copy of the effect of exactly this name; null when none.
    std::unique_ptr<COverlayEffect> FindByName(const std::string& name) const;

private:
    COverlayEffectList();
    std::vector<std::unique_ptr<COverlayEffect>> prototypes_;
};
