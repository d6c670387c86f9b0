#pragma once
// A private bundle with the message strings and a nib "test" of windows
// placed away from (0, 0), so that global and local points differ; a fake
// user; the reported system restored afterwards.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/bundle_fixture.h"
#include "support/fake_user.h"
#include "foundation/cfstring.h"
#include "platform/gestalt.h"
#include "ui/dialog_window.h"

namespace tavrel_test {

inline const char* kTestStrings = R"(
"11100" = "OK";
"11101" = "Cancel";
"11102" = "Yes";
"11103" = "No";
"500" = "Disk %s is %d%% full";
"501" = "Problem";
)";

inline const char* kTestNib = R"(<nib>
  <window name="IDD_TEST" class="movablemodal" left="100" top="120" width="300" height="200" closebox="true">
    <control kind="push" signature="bEnd" id="7" command="bEnd" title="End" left="10" top="150" width="80" height="20"/>
    <control kind="push" signature="bFre" id="7" command="bFre" title="Free" left="100" top="150" width="80" height="20"/>
    <control kind="push" signature="bOff" id="7" command="bOff" left="190" top="150" width="80" height="20" enabled="false"/>
  </window>
  <window name="IDD_PANES" class="document" left="200" top="50" width="400" height="300">
    <control kind="upan" id="1000" left="20" top="20" width="200" height="200">
      <control kind="push" signature="bIn " id="1000" command="bIn " left="30" top="30" width="60" height="20"/>
    </control>
    <control kind="push" signature="bOut" id="0" command="bOut" left="300" top="260" width="60" height="20"/>
  </window>
</nib>
)";

class UiTest : public ::testing::Test {
protected:
    UiTest() : bundle_(kTestStrings)
    {
        WriteFile(bundle_.Resources() + "/test.nib.xml", kTestNib);
        EXPECT_TRUE(nib_.Open("test"));
    }
    ~UiTest() override { platform::ResetGestalt(); }

    ScopedBundle bundle_;
    CNibRef nib_;
    FakeUser user_;
};

// A window that writes down every call it gets.
class LoggingWindow : public CDialogWindow {
public:
    std::vector<std::string> log;
    std::function<bool(UInt32)> onCommand = [](UInt32) { return false; };

    bool OnCommand(UInt32 command, EventRef*) override
    {
        log.push_back("command " + Code(command));
        return onCommand(command);
    }
    // Mouse clicks are noted but left to the standard handling, which hits controls.
    bool OnMouseDown(int h, int v, UInt32) override { return !Note("down", h, v); }
    bool OnMouseUp(int h, int v, UInt32) override { return !Note("up", h, v); }
    bool OnRightMouseDown(int h, int v, UInt32) override { return !Note("rightdown", h, v); }
    bool OnRightMouseUp(int h, int v, UInt32) override { return !Note("rightup", h, v); }
    bool OnMove(int left, int top) override { return Note("move", left, top); }
    bool OnSize(int width, int height) override { return Note("size", width, height); }
    bool OnDraw() override { return Note("draw", 0, 0); }
    bool OnSizing(Rect* bounds) override { return Note("sizing", bounds->left, bounds->top); }
    bool OnKeyDown(EventRef* e) override { return Note("keydown", Char(*e), Modifiers(*e)); }
    bool OnKeyUp(EventRef* e) override { return Note("keyup", Char(*e), Modifiers(*e)); }
    bool OnEvent(UInt32 cls, UInt32 kind, EventRef*) override { return Note("event " + Code(cls), kind, 0); }
    bool OnDropFile(const CPath& path, const Point* where) override
    {
        std::string name = path.c_str();
        name = name.substr(name.rfind('/') + 1);
        return Note("drop " + name, where->h, where->v);
    }

    static std::string Code(UInt32 c) { return {char(c >> 24), char(c >> 16), char(c >> 8), char(c)}; }

private:
    static int Char(EventRef e)
    {
        char c = 0;
        GetEventParameter(e, kEventParamKeyMacCharCodes, typeChar, nullptr, 1, nullptr, &c);
        return c;
    }
    static int Modifiers(EventRef e)
    {
        UInt32 m = 0;
        GetEventParameter(e, kEventParamKeyModifiers, typeUInt32, nullptr, sizeof m, nullptr, &m);
        return static_cast<int>(m);
    }
    bool Note(const std::string& what, int a, int b)
    {
        log.push_back(what + " " + std::to_string(a) + "," + std::to_string(b));
        return true;
    }
};

}  // namespace tavrel_test
