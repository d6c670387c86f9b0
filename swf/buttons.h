#pragma once
// Button tags: DefineButton, DefineButton2 (per-condition action lists and
// colour transforms), DefineButtonCxform and DefineButtonSound. A button's
// action lists are DoAction blocks written without their tag header.
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "swf/actions.h"
#include "swf/object.h"
#include "swf/records.h"
#include "swf/sounds.h"

// Button record state flags.
namespace swf_button_state {
enum : uint8_t { kUp = 0x01, kOver = 0x02, kDown = 0x04, kHitTest = 0x08, kHasFilterList = 0x10, kHasBlendMode = 0x20 };
}

// Condition words of DefineButton2 action lists (as the 16-bit value).
namespace swf_button_cond {
enum : uint16_t {
    kIdleToOverUp = 0x0001,
    kOverUpToIdle = 0x0002,
    kOverUpToOverDown = 0x0004,
    kOverDownToOverUp = 0x0008,  // release inside
    kOverDownToOutDown = 0x0010,
    kOutDownToOverDown = 0x0020,
    kOutDownToIdle = 0x0040,
    kIdleToOverDown = 0x0080,
    kOverDownToIdle = 0x0100,
};
}

class CSwfButtonRecord {
public:
    CSwfButtonRecord() = default;
    CSwfButtonRecord(uint8_t flags, uint16_t characterId, uint16_t depth)
        : flags(flags), characterId(characterId), depth(depth)
    {
    }

    uint8_t flags = 0;
    uint16_t characterId = 0;
    uint16_t depth = 1;
    // A missing matrix writes the identity; a missing colour transform (in
    // DefineButton2) writes one that changes nothing.
    std::unique_ptr<CSwfMatrix> matrix;
    std::unique_ptr<CSwfCxformWithAlpha> cxform;
    // DefineButton2 records of newer movies (flags 0x10, 0x20): the filter
    // list as read (count byte first; empty writes none) and the blend mode,
    // kept so that such buttons are written back whole.
    std::vector<uint8_t> filterList;
    uint8_t blendMode = 0;
};

class CTagDefineButton : public CSwfDefineTag {
public:
    CTagDefineButton() = default;
    CTagDefineButton(const CTagDefineButton&) = delete;
    CTagDefineButton& operator=(const CTagDefineButton&) = delete;

    int GetTagCode() const override { return swf_tag::kDefineButton; }
    int Parse(CSwfReader& reader) override;
    // The action list always ends in its end byte, even when it is empty.
    int Write(CSwfStream& stream) override;
    // Ids and depths of the records; the actions only when frameDelta is not 0.
    void OffsetIds(int idDelta, int depthDelta, int frameDelta) override;
    virtual void Clear();

    // Both take ownership.
    void AddRecord(CSwfButtonRecord* record);
    void AddActions(CTagDoAction* actionList);

    std::vector<std::unique_ptr<CSwfButtonRecord>> records;
    std::vector<std::unique_ptr<CTagDoAction>> actions;

protected:
    // Parses one action list bounded by the body; null when it read nothing.
    static std::unique_ptr<CTagDoAction> ParseActionList(CSwfReader& reader, uint64_t bodyEnd);
};

class CTagDefineButton2 : public CTagDefineButton {
public:
    int GetTagCode() const override { return swf_tag::kDefineButton2; }
    int Parse(CSwfReader& reader) override;
    // An action list without a condition word of its own gets 0.
    int Write(CSwfStream& stream) override;
    // Empties the action lists and conditions; the records stay.
    void Clear() override;

    void AddCondition(uint16_t condition) { conditions.push_back(condition); }
    // Takes ownership of the list.
    bool AddCondAction(uint16_t condition, CTagDoAction* actionList);
    void ClearCondActions();

    std::vector<uint16_t> conditions;
    uint8_t trackAsMenu = 0;
};

class CTagDefineButtonCxform : public CSwfDefineTag {
public:
    int GetTagCode() const override { return swf_tag::kDefineButtonCxform; }
    int Parse(CSwfReader& reader) override;
    int Write(CSwfStream& stream) override;
    void OffsetIds(int idDelta, int depthDelta, int frameDelta) override;

    CSwfCxform cxform;
};

class CTagDefineButtonSound : public CSwfDefineTag {
public:
    // Transitions in file order: over-up to idle, idle to over-up, over-up to
    // over-down, over-down to over-up.
    static constexpr int kTransitions = 4;

    int GetTagCode() const override { return swf_tag::kDefineButtonSound; }
    int Parse(CSwfReader& reader) override;
    int Write(CSwfStream& stream) override;
    // The button id and every sound id that is set.
    void OffsetIds(int idDelta, int depthDelta, int frameDelta) override;

    std::array<uint16_t, kTransitions> soundIds{};
    std::array<CSwfSoundInfo, kTransitions> soundInfo{};
};
