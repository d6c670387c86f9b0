#pragma once
// The overlay effect drawn over a slide and the registry of effect kinds;
// only "None" is registered here, the effect kinds add themselves.
#include <memory>
#include <string>
#include <vector>

class COverlayEffect {
public:
    COverlayEffect() = default;
    explicit COverlayEffect(const char* name) : name_(name) {}
    virtual ~COverlayEffect() = default;
    virtual std::unique_ptr<COverlayEffect> Clone() const { return std::make_unique<COverlayEffect>(*this); }
    const std::string& GetName() const { return name_; }

protected:
    std::string name_ = "None";
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
