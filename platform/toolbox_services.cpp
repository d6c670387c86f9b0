#include "platform/toolbox_services.h"

#include <pugixml.hpp>
#include <unistd.h>

#include <chrono>
#include <cstdint>

#include <deque>
#include <map>
#include <unordered_map>

#include "platform/bundle.h"
#include "platform/resource_store.h"
#include "platform/toolbox_events.h"
#include "platform/toolbox_objects.h"
#include "platform/toolbox_observer.h"
#include "platform/toolbox_script.h"
#include "platform/toolbox_windows.h"

using namespace platform::toolbox;

// ---- Scripted answers

namespace {

std::deque<platform::ScriptedAnswer> g_answers;

const char* KindName(platform::PromptKind kind)
{
    switch (kind) {
        case platform::PromptKind::Alert:
            return "an alert";
        case platform::PromptKind::Sheet:
            return "a sheet";
        case platform::PromptKind::OldAlert:
            return "an alert of the old style";
        case platform::PromptKind::PopupMenu:
            return "a pop-up menu";
        case platform::PromptKind::ColorPicker:
            return "the colour picker";
        case platform::PromptKind::FileDialog:
            return "a file dialog";
    }
    return "a prompt";
}

}  // namespace

namespace platform {

void QueueAnswer(const ScriptedAnswer& answer)
{
    g_answers.push_back(answer);
}

bool TakeAnswer(PromptKind kind, ScriptedAnswer* out)
{
    if (g_answers.empty()) {
        ReportToolboxFault(std::string("no scripted answer for ") + KindName(kind));
        return false;
    }
    if (g_answers.front().kind != kind) {
        ReportToolboxFault(std::string("the script answers ") + KindName(g_answers.front().kind) + " but " +
                           KindName(kind) + " was shown");
        return false;
    }
    *out = g_answers.front();
    g_answers.pop_front();
    return true;
}

size_t PendingAnswers()
{
    return g_answers.size();
}

void ClearScript()
{
    g_answers.clear();
}

}  // namespace platform

// ---- Standard alerts

namespace {

// Alerts and sheets made but not yet shown, by window id.
std::unordered_map<uintptr_t, platform::ShownPrompt> g_pendingAlerts;

std::string ButtonText(CFStringRef text)
{
    if (text == kAlertDefaultOKText) return "OK";
    return text ? Utf8(text) : std::string();
}

const MenuCommand kButtonCommands[3] = {FourCC("ok  "), FourCC("not!"), FourCC("othr")};

OSStatus MakeAlertWindow(WindowClass windowClass, AlertType type, CFStringRef error, CFStringRef explanation,
                         const AlertStdCFStringAlertParamRec* params, platform::PromptKind kind, DialogRef* out)
{
    if (!out || type < kAlertStopAlert || type > kAlertPlainAlert) return paramErr;
    AlertStdCFStringAlertParamRec defaults;
    GetStandardAlertDefaultParams(&defaults, kStdCFStringAlertVersionOne);
    const AlertStdCFStringAlertParamRec& p = params ? *params : defaults;
    platform::ShownPrompt prompt;
    prompt.kind = kind;
    prompt.alertType = type;
    prompt.title = Utf8(error);
    prompt.message = Utf8(explanation);
    // Without a text the default button still says OK.
    prompt.buttons = {p.defaultText ? ButtonText(p.defaultText) : "OK", ButtonText(p.cancelText),
                      ButtonText(p.otherText)};
    prompt.movable = p.movable;
    Rect bounds{100, 100, 230, 520};
    OSStatus status = CreateNewWindow(windowClass, kWindowStandardHandlerAttribute, &bounds, out);
    if (status != noErr) return status;
    for (int i = 0; i < 3; ++i) {
        if (prompt.buttons[i].empty()) continue;
        Rect r{100, static_cast<int16_t>(330 - 90 * i), 120, static_cast<int16_t>(410 - 90 * i)};
        CFStringRef title = CFStringCreateWithCString(prompt.buttons[i].c_str(), kCFStringEncodingUTF8);
        ControlRef button = nullptr;
        CreatePushButtonControl(*out, &r, title, &button);
        if (title) CFRelease(title);
        ControlID cid{kButtonCommands[i], i + 1};
        SetControlID(button, &cid);
        SetControlCommandID(button, kButtonCommands[i]);
    }
    g_pendingAlerts[reinterpret_cast<uintptr_t>(*out)] = prompt;
    return noErr;
}

}  // namespace

OSStatus GetStandardAlertDefaultParams(AlertStdCFStringAlertParamRec* params, UInt32 version)
{
    if (!params || version != kStdCFStringAlertVersionOne) return paramErr;
    *params = AlertStdCFStringAlertParamRec{};
    params->version = version;
    params->movable = false;
    params->defaultText = kAlertDefaultOKText;
    params->defaultButton = kAlertStdAlertOKButton;
    params->position = kWindowDefaultPosition;
    return noErr;
}

OSStatus CreateStandardAlert(AlertType type, CFStringRef error, CFStringRef explanation,
                             const AlertStdCFStringAlertParamRec* params, DialogRef* out)
{
    bool movable = params && params->movable;
    return MakeAlertWindow(movable ? kMovableAlertWindowClass : kAlertWindowClass, type, error, explanation, params,
                           platform::PromptKind::Alert, out);
}

OSStatus RunStandardAlert(DialogRef alert, void*, DialogItemIndex* itemHit)
{
    auto it = g_pendingAlerts.find(reinterpret_cast<uintptr_t>(alert));
    if (!FindWindow(alert) || it == g_pendingAlerts.end()) return paramErr;
    platform::ShownPrompt prompt = it->second;
    g_pendingAlerts.erase(it);
    int index = platform::LogPrompt(prompt);
    platform::ScriptedAnswer answer;
    OSStatus status = paramErr;
    if (platform::TakeAnswer(platform::PromptKind::Alert, &answer)) {
        if (answer.item >= 1 && answer.item <= 3 && !prompt.buttons[answer.item - 1].empty()) {
            platform::SetPromptAnswer(index, answer.item);
            if (itemHit) *itemHit = static_cast<DialogItemIndex>(answer.item);
            status = noErr;
        } else {
            platform::ReportToolboxFault("the script presses a button the alert does not have");
        }
    }
    DisposeWindow(alert);
    return status;
}

OSStatus CreateStandardSheet(AlertType type, CFStringRef error, CFStringRef explanation,
                             const AlertStdCFStringAlertParamRec* params, EventTargetRef, DialogRef* out)
{
    return MakeAlertWindow(kSheetWindowClass, type, error, explanation, params, platform::PromptKind::Sheet, out);
}

WindowRef GetDialogWindow(DialogRef dialog)
{
    return dialog;
}

namespace platform::toolbox {

void SheetShown(WindowRef sheet, WindowRef parent)
{
    auto it = g_pendingAlerts.find(reinterpret_cast<uintptr_t>(sheet));
    if (it == g_pendingAlerts.end()) return;  // a sheet of our own, answered by the user
    platform::ShownPrompt prompt = it->second;
    g_pendingAlerts.erase(it);
    prompt.parent = parent;
    int index = platform::LogPrompt(prompt);
    platform::ScriptedAnswer answer;
    if (!platform::TakeAnswer(platform::PromptKind::Sheet, &answer)) return;
    ControlID cid{answer.item >= 1 && answer.item <= 3 ? kButtonCommands[answer.item - 1] : 0, answer.item};
    ControlRef button = nullptr;
    if (GetControlByID(sheet, &cid, &button) != noErr) {
        platform::ReportToolboxFault("the script presses a button the sheet does not have");
        return;
    }
    platform::SetPromptAnswer(index, answer.item);
    EventRef hit = nullptr;
    CreateEvent(nullptr, kEventClassControl, kEventControlHit, GetCurrentEventTime(), 0, &hit);
    SetEventParameter(hit, kEventParamDirectObject, typeControlRef, sizeof button, &button);
    platform::PostEventTo(hit, GetControlEventTarget(button), answer.delaySeconds);
    ReleaseEvent(hit);
}

void WindowDisposed(WindowRef window)
{
    g_pendingAlerts.erase(reinterpret_cast<uintptr_t>(window));
}

}  // namespace platform::toolbox

OSErr StandardAlert(AlertType type, const unsigned char* error, const unsigned char* explanation,
                    const AlertStdAlertParamRec* params, SInt16* itemHit)
{
    if (type < kAlertStopAlert || type > kAlertPlainAlert) return paramErr;
    auto pascal = [](const unsigned char* p) {
        if (p == kAlertDefaultOKTextPascal) return std::string("OK");
        if (!p) return std::string();
        std::string roman(reinterpret_cast<const char*>(p + 1), p[0]), utf8;
        platform::MacRomanToUtf8(roman, utf8);
        return utf8;
    };
    platform::ShownPrompt prompt;
    prompt.kind = platform::PromptKind::OldAlert;
    prompt.alertType = type;
    prompt.title = pascal(error);
    prompt.message = pascal(explanation);
    AlertStdAlertParamRec defaults;
    const AlertStdAlertParamRec& p = params ? *params : defaults;
    prompt.buttons = {p.defaultText ? pascal(p.defaultText) : "OK", pascal(p.cancelText), pascal(p.otherText)};
    prompt.movable = p.movable;
    int index = platform::LogPrompt(prompt);
    platform::ScriptedAnswer answer;
    if (!platform::TakeAnswer(platform::PromptKind::OldAlert, &answer)) return paramErr;
    if (answer.item < 1 || answer.item > 3 || prompt.buttons[answer.item - 1].empty()) {
        platform::ReportToolboxFault("the script presses a button the alert does not have");
        return paramErr;
    }
    platform::SetPromptAnswer(index, answer.item);
    if (itemHit) *itemHit = static_cast<SInt16>(answer.item);
    return noErr;
}

// ---- Apple events

namespace {

struct DescObj : Object {
    std::vector<platform::DocumentItem> items;                       // for a list
    std::map<AEKeyword, std::vector<platform::DocumentItem>> lists;  // an event's list parameters
};

std::map<std::pair<AEEventClass, AEEventID>, std::pair<AEEventHandlerUPP, long>> g_aeHandlers;

std::shared_ptr<DescObj> FindDesc(const AEDesc* desc)
{
    return desc ? Find<DescObj>(Kind::Desc, desc->dataHandle) : nullptr;
}

}  // namespace

AEEventHandlerUPP NewAEEventHandlerUPP(AEEventHandlerProcPtr proc)
{
    return proc;
}

OSErr AEInstallEventHandler(AEEventClass eventClass, AEEventID id, AEEventHandlerUPP handler, long refCon, bool)
{
    if (!handler) return paramErr;
    g_aeHandlers[{eventClass, id}] = {handler, refCon};
    return noErr;
}

OSErr AERemoveEventHandler(AEEventClass eventClass, AEEventID id, AEEventHandlerUPP handler, bool)
{
    auto it = g_aeHandlers.find({eventClass, id});
    if (it == g_aeHandlers.end() || it->second.first != handler) return errAEEventNotHandled;
    g_aeHandlers.erase(it);
    return noErr;
}

OSErr AEGetParamDesc(const AppleEvent* event, AEKeyword key, DescType desiredType, AEDesc* out)
{
    auto e = FindDesc(event);
    if (!e || !out) return paramErr;
    auto it = e->lists.find(key);
    if (it == e->lists.end()) return errAEDescNotFound;
    if (desiredType != typeAEList && desiredType != typeWildCard) return errAECoercionFail;
    auto list = std::make_shared<DescObj>();
    list->items = it->second;
    out->descriptorType = typeAEList;
    out->dataHandle = RefOf<void*>(Register(Kind::Desc, list));
    return noErr;
}

OSErr AECountItems(const AEDescList* list, long* count)
{
    auto l = FindDesc(list);
    if (!l) return paramErr;
    if (count) *count = static_cast<long>(l->items.size());
    return noErr;
}

OSErr AESizeOfNthItem(const AEDescList* list, long index, DescType* typeCode, long* size)
{
    auto l = FindDesc(list);
    if (!l) return paramErr;
    if (index < 1 || static_cast<size_t>(index) > l->items.size()) return errAEIllegalIndex;
    const auto& item = l->items[index - 1];
    if (typeCode) *typeCode = item.isFile ? typeFSRef : typeChar;
    if (size) *size = static_cast<long>(item.path.size());
    return noErr;
}

OSErr AEGetNthFSRef(const AEDescList* list, long index, platform::FSRef* out)
{
    auto l = FindDesc(list);
    if (!l || !out) return paramErr;
    if (index < 1 || static_cast<size_t>(index) > l->items.size()) return errAEIllegalIndex;
    const auto& item = l->items[index - 1];
    if (!item.isFile) return errAECoercionFail;
    return static_cast<OSErr>(platform::MakeRef(item.path, out));
}

OSErr AEDisposeDesc(AEDesc* desc)
{
    if (!desc) return paramErr;
    if (FindDesc(desc)) Unregister(reinterpret_cast<uintptr_t>(desc->dataHandle));
    desc->descriptorType = 0;
    desc->dataHandle = nullptr;
    return noErr;
}

// ---- Help, icons, appearance, cursors, memory

namespace {

platform::ServiceRecord g_services;

struct IconObj : Object {
    OSType creator = 0;
    OSType type = 0;
};

}  // namespace

OSStatus AHRegisterHelpBook(const platform::FSRef* bundle)
{
    if (!bundle || bundle->IsNull()) return paramErr;
    platform::CatalogInfo info;
    if (platform::GetCatalogInfo(*bundle, &info) != noErr || !info.isFolder) return fnfErr;
    g_services.helpBook = bundle->path;
    return noErr;
}

OSStatus AHGotoPage(CFStringRef book, CFStringRef page, CFStringRef anchor)
{
    if (!book || g_services.helpBook.empty()) return paramErr;
    g_services.helpPages.push_back(Utf8(book) + "|" + Utf8(page) + "|" + Utf8(anchor));
    return noErr;
}

OSErr RegisterIconRefFromResource(OSType creator, OSType iconType, const platform::FSSpec* file, SInt16 resourceId,
                                  IconRef* out)
{
    if (!file || file->IsNull() || !out) return paramErr;
    platform::ResourceStore store;
    if (!store.Open(file->Path())) return fnfErr;
    std::vector<uint8_t> bytes;
    if (!store.Read(FourCC("icns"), resourceId, bytes)) return resNotFound;
    auto icon = std::make_shared<IconObj>();
    icon->creator = creator;
    icon->type = iconType;
    *out = RefOf<IconRef>(Register(Kind::Icon, icon));
    std::erase_if(g_services.icons, [&](const auto& i) { return i.creator == creator && i.type == iconType; });
    g_services.icons.push_back({creator, iconType, resourceId});
    return noErr;
}

OSErr ReleaseIconRef(IconRef icon)
{
    if (!Find<IconObj>(Kind::Icon, icon)) return paramErr;
    Unregister(reinterpret_cast<uintptr_t>(icon));
    return noErr;
}

OSErr UnregisterIconRef(OSType creator, OSType iconType)
{
    auto before = g_services.icons.size();
    std::erase_if(g_services.icons, [&](const auto& i) { return i.creator == creator && i.type == iconType; });
    return before == g_services.icons.size() ? paramErr : noErr;
}

OSStatus RegisterAppearanceClient()
{
    ++g_services.appearanceClients;
    return noErr;
}

OSStatus UnregisterAppearanceClient()
{
    --g_services.appearanceClients;
    return noErr;
}

void InitCursor()
{
    ++g_services.cursorResets;
}
OSStatus SetThemeCursor(ThemeCursor cursor)
{
    g_services.themeCursors.push_back(cursor);
    return noErr;
}
void MoreMasterPointers(UInt32 count)
{
    g_services.masterPointers += count;
}
void SetQDGlobalsRandomSeed(long seed)
{
    g_services.randomSeed = seed;
}
unsigned StartupSeed()
{
    // The clock to the nanosecond and the process id, mixed so that runs a
    // moment apart get seeds far apart.
    uint64_t x = uint64_t(std::chrono::system_clock::now().time_since_epoch().count()) ^
                 uint64_t(std::chrono::steady_clock::now().time_since_epoch().count()) ^
                 (uint64_t(::getpid()) << 40);
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    x ^= x >> 31;
    // The C library takes 0 and 1 alike for the generator's unseeded state.
    const auto seed = unsigned(x ^ (x >> 32));
    return seed < 2 ? seed + 2 : seed;
}

namespace platform {

OSErr MakeItemList(const std::vector<DocumentItem>& items, AEDescList* out)
{
    if (!out) return paramErr;
    auto list = std::make_shared<DescObj>();
    list->items = items;
    out->descriptorType = typeAEList;
    out->dataHandle = RefOf<void*>(Register(Kind::Desc, list));
    return noErr;
}

OSErr SendOpenDocuments(const std::vector<DocumentItem>& items)
{
    auto it = g_aeHandlers.find({kCoreEventClass, kAEOpenDocuments});
    if (it == g_aeHandlers.end()) return errAEEventNotHandled;
    auto event = std::make_shared<DescObj>();
    event->lists[keyDirectObject] = items;
    AppleEvent ae{FourCC("aevt"), RefOf<void*>(Register(Kind::Desc, event))};
    AppleEvent reply{};
    OSErr status = it->second.first(&ae, &reply, it->second.second);
    AEDisposeDesc(&ae);
    return status;
}

const ServiceRecord& Services()
{
    return g_services;
}
void ResetServices()
{
    g_services = ServiceRecord{};
}

bool GetMainBundleInfoString(const std::string& key, std::string* out)
{
    pugi::xml_document doc;
    std::string path = MainBundlePath() + "/Contents/Info.plist";
    if (!doc.load_file(path.c_str())) return false;
    pugi::xml_node dict = doc.child("plist").child("dict");
    for (pugi::xml_node k = dict.child("key"); k; k = k.next_sibling("key")) {
        if (key != k.text().get()) continue;
        pugi::xml_node value = k.next_sibling();
        if (std::string(value.name()) != "string") return false;
        if (out) *out = value.text().get();
        return true;
    }
    return false;
}

}  // namespace platform

OSStatus FPShowHideFontPanel()
{
    g_services.fontPanelVisible = !g_services.fontPanelVisible;
    return noErr;
}

bool FPIsFontPanelVisible()
{
    return g_services.fontPanelVisible;
}

OSStatus SetFontInfoForSelection(OSType styleType, UInt32 numStyles, const FontPanelStyle* styles,
                                 EventTargetRef target)
{
    if (styleType != kFontSelectionATSUIType || (numStyles && !styles)) return paramErr;
    g_services.fontSelection.assign(styles, styles + numStyles);
    g_services.fontPanelTarget = target;
    return noErr;
}

namespace platform {

OSStatus PostFontPanelPick(const SInt16* family, const SInt16* style, const SInt16* size)
{
    if (!g_services.fontPanelVisible || !g_services.fontPanelTarget) return paramErr;
    EventRef event = nullptr;
    OSStatus status = CreateEvent(nullptr, kEventClassFont, kEventFontSelection, GetCurrentEventTime(), 0, &event);
    if (status != noErr) return status;
    const std::pair<EventParamName, const SInt16*> params[] = {
        {kEventParamFMFontFamily, family}, {kEventParamFMFontStyle, style}, {kEventParamFMFontSize, size}};
    for (const auto& [name, value] : params)
        if (value) SetEventParameter(event, name, typeSInt16Param, sizeof *value, value);
    status = PostEventTo(event, g_services.fontPanelTarget);
    ReleaseEvent(event);
    return status;
}

}  // namespace platform
