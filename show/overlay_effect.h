#pragma once
// The overlay effect drawn over a slide, the registry of effect kinds and the
// list of effects already defined in the movie being written. The base class
// is the effect "None"; the kinds live in effects/ and enter the registry
// through CreateAll, which that library defines.
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
    // A fresh object of the same kind: its name, no sprite. "None" here.
    virtual std::unique_ptr<COverlayEffect> Clone() const { return std::make_unique<COverlayEffect>(); }
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

// Prototypes of the effect kinds in the order the user sees them. The first
// list constructed while none is registered becomes the registry that the
// project reader looks names up in.
class COverlayEffectList {
public:
    COverlayEffectList();
    // Leaves the registration to another list that holds it.
    ~COverlayEffectList();
    COverlayEffectList(const COverlayEffectList&) = delete;
    COverlayEffectList& operator=(const COverlayEffectList&) = delete;

    // Appends a prototype, which the list owns from then on; false for null.
    bool Add(COverlayEffect* effect);
    bool Add(std::unique_ptr<COverlayEffect> effect) { return Add(effect.release()); }
    // The prototype at index; null outside 0 .. count - 1.
    COverlayEffect* GetAt(int index) const;
    int GetCount() const { return static_cast<int>(prototypes_.size()); }
    // One prototype of every kind, "None" first (defined by the effects library).
    bool CreateAll();

    // The registered list, or null.
    static COverlayEffectList* GetCurrent();
    // A new copy of the registered prototype of exactly this name (byte for
    // byte); null when nothing matches or no list is registered.
    static std::unique_ptr<COverlayEffect> FindByName(const char* name);
    static std::unique_ptr<COverlayEffect> FindByName(const std::string& name) { return FindByName(name.c_str()); }

private:
    std::vector<std::unique_ptr<COverlayEffect>> prototypes_;
};
