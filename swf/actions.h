#pragma once
// ActionScript bytecode: the action classes and the action-block tags
// DoAction and DoInitAction with their branch fix-up.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "swf/object.h"

class CSwfAction : public CSwfObject {
public:
    // Appends the code byte; payload actions append length and payload too.
    int Write(CSwfStream& stream) override;
    virtual void Reset() {}
    virtual int GetActionCode() const = 0;
    virtual void OffsetIds(int idDelta, int depthDelta, int frameDelta);
    // Encoded size in bytes, code byte included; always what Write appends.
    virtual int GetSize() const { return 1; }
    // Bytes after this action that it refers to: a branch offset or the length
    // of a function or With body. Blocks that leave actions out on writing
    // adjust it so that it still matches the bytes written.
    virtual bool GetSpan(int32_t& span) const;
    virtual void SetSpan(int32_t span);
};

// One class per one-byte action code; they differ only in the code.
template <int Code>
class CActionOneByte final : public CSwfAction {
public:
    int GetActionCode() const override { return Code; }
};

using CActionPreviousFrame = CActionOneByte<0x05>;
using CActionPlay = CActionOneByte<0x06>;
using CActionStop = CActionOneByte<0x07>;
using CActionAdd = CActionOneByte<0x0A>;
using CActionSubtract = CActionOneByte<0x0B>;
using CActionMultiply = CActionOneByte<0x0C>;
using CActionDivide = CActionOneByte<0x0D>;
using CActionEquals = CActionOneByte<0x0E>;
using CActionLess = CActionOneByte<0x0F>;
using CActionNot = CActionOneByte<0x12>;
using CActionPop = CActionOneByte<0x17>;
using CActionToInteger = CActionOneByte<0x18>;
using CActionGetVariable = CActionOneByte<0x1C>;
using CActionSetVariable = CActionOneByte<0x1D>;
using CActionSetTarget2 = CActionOneByte<0x20>;
using CActionStringAdd = CActionOneByte<0x21>;
using CActionGetProperty = CActionOneByte<0x22>;
using CActionSetProperty = CActionOneByte<0x23>;
using CActionRandomNumber = CActionOneByte<0x30>;
using CActionGetTime = CActionOneByte<0x34>;
using CActionDefineLocal = CActionOneByte<0x3C>;
using CActionCallFunction = CActionOneByte<0x3D>;
using CActionNewObject = CActionOneByte<0x40>;
using CActionAdd2 = CActionOneByte<0x47>;
using CActionLess2 = CActionOneByte<0x48>;
using CActionEquals2 = CActionOneByte<0x49>;
using CActionGetMember = CActionOneByte<0x4E>;
using CActionSetMember = CActionOneByte<0x4F>;
using CActionIncrement = CActionOneByte<0x50>;
using CActionCallMethod = CActionOneByte<0x52>;

// Any action kept as it was read.
class CActionRaw : public CSwfAction {
public:
    explicit CActionRaw(uint8_t code = 0) : code(code) {}
    int Parse(CSwfReader& reader) override;
    int Write(CSwfStream& stream) override;
    int GetActionCode() const override { return code; }
    int GetSize() const override;
    // DefineFunction and DefineFunction2 end their payload with the body size.
    bool GetSpan(int32_t& span) const override;
    void SetSpan(int32_t span) override;

    uint8_t code;
    std::vector<uint8_t> payload;
    uint16_t length = 0;
};

// Base of the actions with a 16-bit length and a payload. The length written
// and the size reported are always those of the payload actually written.
class CSwfPayloadAction : public CSwfAction {
public:
    int Parse(CSwfReader& reader) override;
    int Write(CSwfStream& stream) override;
    int GetSize() const override;

protected:
    virtual void WritePayload(CSwfStream& stream) const = 0;
    virtual void ParsePayload(CSwfReader& reader, uint16_t length) = 0;
};

class CActionGotoFrame : public CSwfPayloadAction {
public:
    explicit CActionGotoFrame(uint16_t frame = 0) : frame(frame) {}
    int GetActionCode() const override { return 0x81; }
    void OffsetIds(int idDelta, int depthDelta, int frameDelta) override;
    uint16_t frame;

protected:
    void WritePayload(CSwfStream& stream) const override;
    void ParsePayload(CSwfReader& reader, uint16_t length) override;
};

class CActionGetURL : public CSwfPayloadAction {
public:
    CActionGetURL() = default;
    CActionGetURL(std::string url, std::string target) : url(std::move(url)), target(std::move(target)) {}
    int GetActionCode() const override { return 0x83; }
    std::string url, target;

protected:
    void WritePayload(CSwfStream& stream) const override;
    void ParsePayload(CSwfReader& reader, uint16_t length) override;
};

class CActionStoreRegister : public CSwfPayloadAction {
public:
    explicit CActionStoreRegister(uint8_t reg = 0) : reg(reg) {}
    int GetActionCode() const override { return 0x87; }
    uint8_t reg;

protected:
    void WritePayload(CSwfStream& stream) const override;
    void ParsePayload(CSwfReader& reader, uint16_t length) override;
};

class CActionConstantPool : public CSwfPayloadAction {
public:
    int GetActionCode() const override { return 0x88; }
    int Find(const char* text) const;
    void Add(const char* text, int index = -1);

    std::vector<std::string> strings;
    // First character is a placeholder, written as "." after each "_root".
    std::string pathPrefix;

protected:
    void WritePayload(CSwfStream& stream) const override;
    void ParsePayload(CSwfReader& reader, uint16_t length) override;
};

class CActionWaitForFrame : public CSwfPayloadAction {
public:
    CActionWaitForFrame(uint16_t frame = 0, uint8_t skipCount = 0) : frame(frame), skipCount(skipCount) {}
    int GetActionCode() const override { return 0x8A; }
    void OffsetIds(int idDelta, int depthDelta, int frameDelta) override;
    uint16_t frame;
    uint8_t skipCount;

protected:
    void WritePayload(CSwfStream& stream) const override;
    void ParsePayload(CSwfReader& reader, uint16_t length) override;
};

class CActionSetTarget : public CSwfPayloadAction {
public:
    CActionSetTarget() = default;
    explicit CActionSetTarget(std::string target) : target(std::move(target)) {}
    int GetActionCode() const override { return 0x8B; }
    std::string target;
    // Written as it stands before the target.
    std::string pathPrefix;

protected:
    void WritePayload(CSwfStream& stream) const override;
    void ParsePayload(CSwfReader& reader, uint16_t length) override;
};

class CActionGotoLabel : public CSwfPayloadAction {
public:
    CActionGotoLabel() = default;
    explicit CActionGotoLabel(std::string label) : label(std::move(label)) {}
    int GetActionCode() const override { return 0x8C; }
    std::string label;

protected:
    void WritePayload(CSwfStream& stream) const override;
    void ParsePayload(CSwfReader& reader, uint16_t length) override;
};

class CActionWaitForFrame2 : public CSwfPayloadAction {
public:
    explicit CActionWaitForFrame2(uint8_t skipCount = 0) : skipCount(skipCount) {}
    int GetActionCode() const override { return 0x8D; }
    uint8_t skipCount;

protected:
    void WritePayload(CSwfStream& stream) const override;
    void ParsePayload(CSwfReader& reader, uint16_t length) override;
};

class CActionWith : public CSwfPayloadAction {
public:
    int GetActionCode() const override { return 0x94; }
    bool GetSpan(int32_t& span) const override;
    void SetSpan(int32_t span) override;
    uint16_t size = 0;
    std::string name;

protected:
    void WritePayload(CSwfStream& stream) const override;
    void ParsePayload(CSwfReader& reader, uint16_t length) override;
};

class CActionPush : public CSwfPayloadAction {
public:
    enum ValueType : uint8_t {
        kString = 0,
        kFloat = 1,
        kNull = 2,
        kUndefined = 3,
        kRegister = 4,
        kBool = 5,
        kDouble = 6,
        kInteger = 7,
        kConstant8 = 8,
        kConstant16 = 9,
    };
    struct PushValue {
        uint8_t type = kNull;
        std::string text;
        float f = 0;
        double d = 0;
        int32_t i = 0;  // register, boolean, integer and constant-pool index
        // Bytes of the value with its type byte, without any path prefix.
        int Size() const;
    };

    CActionPush() = default;
    explicit CActionPush(const char* text);
    explicit CActionPush(float value);
    explicit CActionPush(int32_t value);
    CActionPush(uint8_t type, uint32_t number);

    int GetActionCode() const override { return 0x96; }

    // Each inserts before `index` when it is below the count, else appends;
    // returns the bytes added.
    int PushString(const char* text, int index = -1);
    int PushString(const std::string& text, int index = -1);
    int PushFloat(float value, int index = -1);
    int PushNull(int index = -1);
    int PushUndefined(int index = -1);
    int PushRegister(uint8_t reg, int index = -1);
    int PushBool(uint8_t value, int index = -1);
    int PushDouble(double value, int index = -1);
    int PushInt(int32_t value, int index = -1);
    int PushConstant8(uint8_t index8, int index = -1);
    int PushConstant16(uint16_t index16, int index = -1);

    std::vector<PushValue> values;
    uint16_t payloadSize = 0;
    // First character is a placeholder: written as "/" before every string
    // value that begins with "/" and as "." after every "_root". The bytes it
    // adds are counted from the values, so the length always matches.
    std::string pathPrefix;

protected:
    void WritePayload(CSwfStream& stream) const override;
    void ParsePayload(CSwfReader& reader, uint16_t length) override;

private:
    int Insert(PushValue value, int index);
};

class CSwfBranchAction : public CSwfPayloadAction {
public:
    bool GetSpan(int32_t& span) const override;
    void SetSpan(int32_t span) override;
    // Bytes from the end of this action; written as a signed 16-bit value.
    int32_t branchOffset = 0;

protected:
    void WritePayload(CSwfStream& stream) const override;
    void ParsePayload(CSwfReader& reader, uint16_t length) override;
};

class CActionJump : public CSwfBranchAction {
public:
    int GetActionCode() const override { return 0x99; }
};

class CActionIf : public CSwfBranchAction {
public:
    int GetActionCode() const override { return 0x9D; }
};

class CActionGetURL2 : public CSwfPayloadAction {
public:
    explicit CActionGetURL2(uint8_t flags = 0) : flags(flags) {}
    int GetActionCode() const override { return 0x9A; }
    uint8_t flags;

protected:
    void WritePayload(CSwfStream& stream) const override;
    void ParsePayload(CSwfReader& reader, uint16_t length) override;
};

class CActionDefineFunction : public CSwfPayloadAction {
public:
    explicit CActionDefineFunction(const char* name = nullptr) : name(name ? name : "") {}
    int GetActionCode() const override { return 0x9B; }
    bool GetSpan(int32_t& span) const override;
    void SetSpan(int32_t span) override;

    std::string name;
    std::vector<std::string> params;
    // Sum of the sizes of the body's actions, which follow in the block.
    uint16_t codeSize = 0;

protected:
    void WritePayload(CSwfStream& stream) const override;
    void ParsePayload(CSwfReader& reader, uint16_t length) override;
};

class CActionGotoFrame2 : public CSwfPayloadAction {
public:
    explicit CActionGotoFrame2(bool play = false) : flags(play ? 1 : 0) {}
    int GetActionCode() const override { return 0x9F; }
    int Write(CSwfStream& stream) override;
    int GetSize() const override;
    void SetTagEnd(uint32_t position) { tagEnd = position; }

    uint8_t flags;
    uint16_t sceneBias = 0;
    uint32_t tagEnd = 0;
    bool hasPadByte = false;

protected:
    void WritePayload(CSwfStream& stream) const override;
    void ParsePayload(CSwfReader& reader, uint16_t length) override;
};

// The action object for a code read from a file, empty, ready to parse.
std::unique_ptr<CSwfAction> SwfCreateAction(uint8_t code);

using SwfActionList = std::vector<std::unique_ptr<CSwfAction>>;

class CTagDoAction : public CSwfTag {
public:
    CTagDoAction() = default;
    ~CTagDoAction() override = default;
    CTagDoAction(const CTagDoAction&) = delete;
    CTagDoAction& operator=(const CTagDoAction&) = delete;

    int GetTagCode() const override { return swf_tag::kDoAction; }
    int Parse(CSwfReader& reader) override;
    int Write(CSwfStream& stream) override { return WriteActions(stream, true); }
    void OffsetIds(int idDelta, int depthDelta, int frameDelta) override;

    // Takes ownership; returns the action's size.
    int AddAction(CSwfAction* action);
    int AddAction(std::unique_ptr<CSwfAction> action) { return AddAction(action.release()); }
    // Closes the innermost open Jump or If.
    void EndBlock();
    void SetBranchTracking(bool on, bool clearOpen);
    void Clear();
    int WriteActions(CSwfStream& stream, bool withHeader);

    SwfActionList actions;
    std::vector<CSwfBranchAction*> openBlocks;
    bool branchTracking = true;
    bool suppressHeader = false;
    bool dropStop = false;
    bool dropGotoFrame = false;
    uint32_t dropFrame = 0;
    bool recordTagEnd = true;
};

class CTagDoInitAction : public CSwfTag {
public:
    explicit CTagDoInitAction(uint16_t spriteId = 0) : spriteId(spriteId) {}
    int GetTagCode() const override { return swf_tag::kDoInitAction; }
    int Parse(CSwfReader& reader) override;
    int Write(CSwfStream& stream) override;
    void OffsetIds(int idDelta, int depthDelta, int frameDelta) override;
    void AddAction(CSwfAction* action);

    uint16_t spriteId;
    SwfActionList actions;
};
