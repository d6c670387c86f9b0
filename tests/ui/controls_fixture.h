#pragma once
// Windows of the control tests: a nib "controls" with bound controls and
// two image-view panes, and a window that writes down the commands and keys
// that reach it without taking them from the standard handling.
#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "platform/quickdraw.h"
#include "platform/toolbox_controls.h"
#include "ui_fixture.h"

namespace tavrel_test {

inline const char* kControlsNib = R"(<nib>
  <window name="IDD_CTL" class="document" left="100" top="100" width="400" height="300">
    <control kind="push" signature="ok  " id="0" command="ok  " title="OK" left="300" top="260" width="80" height="20"/>
    <control kind="popb" signature="mTg1" id="0" command="mTg1" left="200" top="10" width="32" height="20" items="_top|_self|_blank"/>
    <control kind="etxt" signature="eTg1" id="0" command="eTg1" left="100" top="10" width="100" height="20" title="_top"/>
    <control kind="tabs" signature="tTab" id="0" left="10" top="40" width="380" height="30" max="5" value="1"/>
    <control kind="upan" id="101" left="20" top="80" width="50" height="50"/>
    <control kind="upan" id="102" left="20" top="80" width="50" height="50"/>
    <control kind="upan" id="103" left="20" top="80" width="50" height="50"/>
    <control kind="upan" id="104" left="20" top="80" width="50" height="50"/>
    <control kind="upan" id="105" left="20" top="80" width="50" height="50"/>
    <control kind="rdio" signature="rOne" id="0" left="200" top="100" width="80" height="18"/>
    <control kind="rdio" signature="rTwo" id="0" left="200" top="120" width="80" height="18"/>
    <control kind="bevl" signature="cWel" id="0" command="cWel" left="300" top="100" width="40" height="20"/>
  </window>
  <window name="IDD_VIEWS" class="document" left="50" top="60" width="300" height="200">
    <control kind="upan" signature="iCrp" id="0" left="10" top="20" width="100" height="80"/>
    <control kind="upan" signature="iPan" id="0" left="150" top="20" width="100" height="80"/>
  </window>
</nib>
)";

// Commands and keys are noted and left to the standard handling.
class NoteWindow : public CDialogWindow {
public:
    std::vector<std::string> log;
    std::function<bool(int h, int v)> onMouseDown = [](int, int) { return false; };

    bool OnInitDialog() override { return true; }
    bool OnCommand(UInt32 command, EventRef*) override
    {
        log.push_back("command " + LoggingWindow::Code(command));
        return true;
    }
    bool OnKeyDown(EventRef* e) override
    {
        char c = 0;
        GetEventParameter(*e, kEventParamKeyMacCharCodes, typeChar, nullptr, 1, nullptr, &c);
        log.push_back("key " + std::to_string(c));
        return false;
    }
    bool OnMouseDown(int h, int v, UInt32) override { return onMouseDown(h, v); }
    int Count(const std::string& entry) const { return static_cast<int>(std::count(log.begin(), log.end(), entry)); }
};

class ControlsTest : public UiTest {
protected:
    ControlsTest()
    {
        WriteFile(bundle_.Resources() + "/controls.nib.xml", kControlsNib);
        EXPECT_TRUE(controls_.Open("controls"));
    }

    // A shown window of the controls nib.
    bool OpenNib(NoteWindow& window, const char* name)
    {
        if (!window.CreateFromNibName(controls_, name, nullptr, 0)) return false;
        window.Show();
        return true;
    }
    bool OpenNew(NoteWindow& window) { return window.CreateNew(100, 100, 400, 300, kDialogShow, nullptr, 20000); }

    CNibRef controls_;
};

// A 32-bit world filled by paint(h, v).
inline GWorldPtr MakePicture(int width, int height, const std::function<RGBColor(int, int)>& paint)
{
    GWorldPtr world = nullptr;
    Rect r{0, 0, static_cast<int16_t>(height), static_cast<int16_t>(width)};
    NewGWorld(&world, 32, r);
    for (int v = 0; v < height; ++v)
        for (int h = 0; h < width; ++h) world->SetCPixel(h, v, paint(h, v));
    return world;
}

constexpr RGBColor kRed{0xFFFF, 0, 0};
constexpr RGBColor kBlue{0, 0, 0xFFFF};
constexpr RGBColor kGreen{0, 0xFFFF, 0};

// A window pixel as 0xRRGGBB (high bytes).
inline uint32_t WindowPixel(WindowRef window, int h, int v)
{
    RGBColor c = GetWindowPort(window)->GetCPixel(h, v);
    return uint32_t(c.red >> 8) << 16 | uint32_t(c.green >> 8) << 8 | uint32_t(c.blue >> 8);
}

}  // namespace tavrel_test
