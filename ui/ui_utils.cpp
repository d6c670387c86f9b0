#include "ui/ui_utils.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "foundation/cfstring.h"
#include "foundation/system_utils.h"
#include "platform/bundle.h"
#include "platform/toolbox_events.h"
#include "platform/toolbox_menus.h"

namespace {

CPath g_helpFile;
OSType g_lastIconCreator = 0;
constexpr OSType kTemporaryIconType = FourCC("TEMP");

}  // namespace

bool RegisterHelpBook(const CPath& helpFile)
{
    g_helpFile = helpFile;
    if (!g_helpFile.IsEmpty() && g_helpFile.Exists()) return true;
    platform::FSRef bundle;
    if (platform::MakeRef(platform::MainBundlePath(), &bundle) != noErr) return false;
    return AHRegisterHelpBook(&bundle) == noErr;
}

bool ShowHelpPage(const char* page, const char* anchor)
{
    if (!g_helpFile.IsEmpty() && g_helpFile.Exists() && OpenWithFinder(g_helpFile)) return true;
    std::string bookName;
    if (!platform::GetMainBundleInfoString("CFBundleHelpBookName", &bookName)) return false;
    CCFString book(bookName.c_str());
    CCFString cfPage, cfAnchor;
    if (page) {
        cfPage.SetCString(page);
        if (anchor) cfAnchor.SetCString(anchor);
    }
    return AHGotoPage(book, cfPage, cfAnchor) == noErr;
}

bool RegisterIconFromResource(SInt16 resourceId, OSType creator, IconRef* icon)
{
    if (creator == 0) {
        // Two icons within one tick still need creators of their own.
        creator = TickCount();
        if (creator == g_lastIconCreator) creator = g_lastIconCreator + 1;
        g_lastIconCreator = creator;
    }
    CPath resources;
    if (!GetBundleResourcePath(resources, "main.rsrc")) return false;
    platform::FSSpec spec;
    if (platform::MakeSpec(resources.c_str(), &spec) != noErr) return false;
    return RegisterIconRefFromResource(creator, kTemporaryIconType, &spec, resourceId, icon) == noErr;
}

bool UnregisterIconFromResource(OSType creator, IconRef* icon)
{
    if (icon) ReleaseIconRef(*icon);
    UnregisterIconRef(creator, kTemporaryIconType);
    return true;
}

OSType GetLastIconCreator()
{
    return g_lastIconCreator;
}

void GetKeyName(UInt16 keyCode, char* name)
{
    static const struct {
        UInt16 code;
        const char* name;
    } kNames[] = {
        {36, "Return"},       {48, "Tab"},         {49, "Space"},      {51, "Backspace"}, {55, "Command"},
        {56, "Shift"},        {57, "Caps Lock"},   {58, "Option"},     {59, "Control"},   {71, "Clear"},
        {76, "Enter"},        {96, "F5"},          {97, "F6"},         {98, "F7"},        {99, "F3"},
        {100, "F8"},          {101, "F9"},         {103, "F11"},       {109, "F10"},      {111, "F12"},
        {114, "Help"},        {115, "Home"},       {116, "Page Up"},   {117, "Delete"},   {118, "F4"},
        {119, "End"},         {120, "F2"},         {121, "Page Down"}, {122, "F1"},       {123, "Left Arrow"},
        {124, "Right Arrow"}, {125, "Down Arrow"}, {126, "Up Arrow"},
    };
    if (!name) return;
    for (const auto& entry : kNames)
        if (entry.code == keyCode) {
            std::strncpy(name, entry.name, 11);
            name[11] = 0;
            return;
        }
    UInt32 state = 0;
    const void* layout = reinterpret_cast<const void*>(GetScriptManagerVariable(smKCHRCache));
    name[0] = static_cast<char>(KeyTranslate(layout, keyCode, &state) & 0xFF);
    name[1] = 0;
}

int RandomInRange(int high, int low)
{
    // Wide arithmetic: the span of the whole int range must not overflow, and
    // an empty range must not divide by zero.
    int64_t span = int64_t(high) - int64_t(low) + 1;
    if (span <= 0) return low;
    return static_cast<int>(low + std::rand() % span);
}

double EaseOutQuad(double t, double start, double change, double duration)
{
    if (duration == 0) return start + change;  // no time to ease over: already there
    double f = t / duration;
    return -change * f * (f - 2) + start;
}

double PointLineDistance(double px, double py, double x1, double y1, double x2, double y2)
{
    float length = std::sqrt(static_cast<float>((x2 - x1) * (x2 - x1) + (y2 - y1) * (y2 - y1)));
    if (length == 0) return std::hypot(px - x1, py - y1);
    return ((y1 - y2) * px + (x2 - x1) * py + x1 * y2 - x2 * y1) / length;
}
