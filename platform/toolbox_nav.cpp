#include "platform/toolbox_nav.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>

#include "platform/files.h"
#include "platform/toolbox_events.h"
#include "platform/toolbox_observer.h"
#include "platform/toolbox_script.h"

struct CFArrayObject {
    std::vector<CFStringRef> values;
};

CFMutableArrayRef CFArrayCreateMutable()
{
    return new CFArrayObject;
}

void CFArrayAppendValue(CFMutableArrayRef array, CFStringRef value)
{
    if (array && value) array->values.push_back(CFStringRetain(value));
}

CFIndex CFArrayGetCount(CFArrayRef array)
{
    return array ? static_cast<CFIndex>(array->values.size()) : 0;
}

CFStringRef CFArrayGetValueAtIndex(CFArrayRef array, CFIndex index)
{
    if (!array || index < 0 || static_cast<size_t>(index) >= array->values.size()) return nullptr;
    return array->values[static_cast<size_t>(index)];
}

void CFRelease(CFArrayRef array)
{
    if (!array) return;
    for (CFStringRef value : array->values) CFRelease(value);
    delete array;
}

struct OpaqueNavDialog {
    int mode = 0;
    NavDialogCreationOptions options;
    std::string title;
    std::string message;
    std::vector<std::string> popup;
    std::string editName;  // the put dialog's name field
    NavEventUPP event = nullptr;
    NavObjectFilterUPP filter = nullptr;
    void* userData = nullptr;
    NavUserAction action = 0;
    std::string folder;
    std::vector<std::string> chosen;
};

namespace {

SInt16 g_currentResFile = 0;

std::string TextOf(CFStringRef string)
{
    if (!string) return {};
    char buffer[1024];
    return CFStringGetCString(string, buffer, sizeof buffer, 0) ? buffer : std::string();
}

OSStatus MakeDialog(int mode, const NavDialogCreationOptions* options, NavEventUPP event, NavObjectFilterUPP filter,
                    void* userData, NavDialogRef* out)
{
    if (!options || !out) return paramErr;
    auto dialog = std::make_unique<OpaqueNavDialog>();
    dialog->mode = mode;
    dialog->options = *options;
    dialog->title = TextOf(options->windowTitle);
    dialog->message = TextOf(options->message);
    dialog->editName = TextOf(options->saveFileName);
    for (CFIndex i = 0; i < CFArrayGetCount(options->popupExtension); ++i)
        dialog->popup.push_back(TextOf(CFArrayGetValueAtIndex(options->popupExtension, i)));
    dialog->event = event;
    dialog->filter = filter;
    dialog->userData = userData;
    *out = dialog.release();
    return noErr;
}

// The names of the folder's entries the filter lets through, sorted as a
// file list shows them.
std::vector<std::string> FilterFolder(NavDialogRef dialog)
{
    struct Entry {
        std::string name;
        platform::FSRef ref;
        platform::CatalogInfo info;
    };
    std::vector<Entry> entries;
    platform::FSRef folder;
    platform::FolderIterator it;
    if (platform::MakeRef(dialog->folder, &folder) != noErr || it.Open(folder) != noErr) return {};
    Entry entry;
    while (it.Next(&entry.ref, &entry.name, &entry.info) == noErr) entries.push_back(entry);
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.name < b.name; });
    std::vector<std::string> shown;
    std::error_code ec;
    for (Entry& e : entries) {
        NavFileOrFolderInfo info;
        // A link to a folder shows as the folder it stands for.
        info.isFolder =
            e.info.isFolder || (e.info.isLink && std::filesystem::is_directory(dialog->folder + "/" + e.name, ec));
        const uint8_t* f = e.info.finderInfo;
        info.fileType =
            static_cast<OSType>(f[0]) << 24 | static_cast<OSType>(f[1]) << 16 | static_cast<OSType>(f[2]) << 8 | f[3];
        AEDesc item{typeFSRef, &e.ref};
        if (!dialog->filter || dialog->filter(&item, &info, dialog->userData, 0)) shown.push_back(e.name);
    }
    return shown;
}

void SendPopupChoice(NavDialogRef dialog, int index)
{
    if (!dialog->event) return;
    NavMenuItemSpec item;
    if (index >= 0) {
        item.menuCreator = FourCC("extn");
        item.menuType = static_cast<OSType>(index);
    } else {
        item.menuCreator = kNavStandardCreator;
    }
    NavCBRec record;
    record.context = dialog;
    record.window = dialog->options.parentWindow;
    record.menuItem = &item;
    dialog->event(kNavCBPopupMenuSelect, &record, dialog->userData);
}

}  // namespace

OSStatus NavGetDefaultDialogCreationOptions(NavDialogCreationOptions* options)
{
    if (!options) return paramErr;
    *options = NavDialogCreationOptions();
    return noErr;
}

OSStatus NavCreatePutFileDialog(const NavDialogCreationOptions* options, OSType, OSType, NavEventUPP event,
                                void* userData, NavDialogRef* out)
{
    return MakeDialog(0, options, event, nullptr, userData, out);
}

OSStatus NavCreateGetFileDialog(const NavDialogCreationOptions* options, void*, NavEventUPP event, NavPreviewUPP,
                                NavObjectFilterUPP filter, void* userData, NavDialogRef* out)
{
    return MakeDialog(1, options, event, filter, userData, out);
}

OSStatus NavCreateChooseFileDialog(const NavDialogCreationOptions* options, void*, NavEventUPP event, NavPreviewUPP,
                                   NavObjectFilterUPP filter, void* userData, NavDialogRef* out)
{
    return MakeDialog(2, options, event, filter, userData, out);
}

OSStatus NavCreateChooseFolderDialog(const NavDialogCreationOptions* options, NavEventUPP event,
                                     NavObjectFilterUPP filter, void* userData, NavDialogRef* out)
{
    return MakeDialog(3, options, event, filter, userData, out);
}

namespace {

// Why a save name cannot name a file in the chosen folder; empty when it can.
std::string SaveNameFault(const std::string& name)
{
    if (name.find('/') != std::string::npos) return "The name \"" + name + "\" can't be used: it holds a \"/\".";
    if (name == "." || name == "..") return "The name \"" + name + "\" is reserved by the system.";
    return {};
}

}  // namespace

OSStatus NavDialogRun(NavDialogRef dialog)
{
    if (!dialog) return paramErr;
    platform::ShownPrompt prompt;
    prompt.kind = platform::PromptKind::FileDialog;
    prompt.title = dialog->title;
    prompt.message = dialog->message;
    prompt.parent = dialog->options.parentWindow;
    prompt.movable = true;
    int index = platform::LogPrompt(prompt);
    platform::ScriptedAnswer answer;
    if (!platform::TakeAnswer(platform::PromptKind::FileDialog, &answer)) return paramErr;
    platform::NavShown shown;
    // The put dialog stays open over a name that would leave the folder or
    // name no file, and says why; the user answers again.
    while (dialog->mode == 0 && answer.item == 1 && answer.texts.size() > 1) {
        const std::string fault = SaveNameFault(answer.texts[1]);
        if (fault.empty()) break;
        shown.refusals.push_back(fault);
        if (!platform::TakeAnswer(platform::PromptKind::FileDialog, &answer)) {
            platform::LogFileDialog(shown);
            return paramErr;
        }
    }
    dialog->folder = answer.texts.empty() ? std::string() : platform::StripTrailingSeparators(answer.texts[0]);
    shown.mode = dialog->mode;
    shown.title = dialog->title;
    shown.message = dialog->message;
    shown.popup = dialog->popup;
    shown.multiple = (dialog->options.optionFlags & kNavAllowMultipleFiles) != 0;
    shown.parent = dialog->options.parentWindow;
    if (answer.popupIndex != platform::kNavNoPopupChoice) {
        if (answer.popupIndex >= static_cast<int>(dialog->popup.size())) {
            platform::ReportToolboxFault("the script chooses a format the file dialog does not offer");
            return paramErr;
        }
        SendPopupChoice(dialog, answer.popupIndex < 0 ? -1 : answer.popupIndex);
    }
    if (dialog->mode == 1 || dialog->mode == 2) shown.shown = FilterFolder(dialog);
    bool confirmed = answer.item == 1 && !dialog->folder.empty();
    if (confirmed) {
        if (dialog->mode == 0) {
            if (answer.texts.size() > 1) dialog->editName = answer.texts[1];
            dialog->chosen.push_back(dialog->folder);
        } else if (answer.texts.size() < 2) {
            dialog->chosen.push_back(dialog->folder);  // a folder chosen as it stands
        } else {
            for (size_t i = 1; i < answer.texts.size(); ++i) {
                if (dialog->mode != 3 &&
                    std::find(shown.shown.begin(), shown.shown.end(), answer.texts[i]) == shown.shown.end()) {
                    platform::ReportToolboxFault("the script chooses " + answer.texts[i] +
                                                 ", which the file dialog does not show");
                    return paramErr;
                }
                dialog->chosen.push_back(dialog->folder + "/" + answer.texts[i]);
            }
        }
        if (dialog->chosen.size() > 1 && !shown.multiple) {
            platform::ReportToolboxFault("the script chooses several items in a dialog that takes one");
            return paramErr;
        }
    }
    shown.saveName = dialog->editName;
    platform::LogFileDialog(shown);
    dialog->action = confirmed ? kNavUserActionChoose : kNavUserActionCancel;
    platform::SetPromptAnswer(index, confirmed ? 1 : 2);
    return noErr;
}

NavUserAction NavDialogGetUserAction(NavDialogRef dialog)
{
    return dialog ? dialog->action : 0;
}

OSStatus NavDialogGetReply(NavDialogRef dialog, NavReplyRecord* reply)
{
    if (!dialog || !reply) return paramErr;
    *reply = NavReplyRecord();
    if (dialog->action != kNavUserActionChoose) return userCanceledErr;
    std::vector<platform::DocumentItem> items;
    for (const std::string& path : dialog->chosen) items.push_back({path, true});
    OSErr status = platform::MakeItemList(items, &reply->selection);
    if (status != noErr) return status;
    if (dialog->mode == 0) reply->saveFileName = CFStringCreateWithCString(dialog->editName.c_str(), 0);
    reply->validRecord = true;
    return noErr;
}

OSStatus NavDisposeReply(NavReplyRecord* reply)
{
    if (!reply) return paramErr;
    AEDisposeDesc(&reply->selection);
    if (reply->saveFileName) CFRelease(reply->saveFileName);
    *reply = NavReplyRecord();
    return noErr;
}

void NavDialogDispose(NavDialogRef dialog)
{
    delete dialog;
}

OSErr NavCustomControl(NavDialogRef dialog, NavCustomControlMessage selector, void* parms)
{
    if (!dialog || !parms || dialog->mode != 0) return paramErr;
    auto* pascal = static_cast<unsigned char*>(parms);
    if (selector == kNavCtlGetEditFileName) {
        size_t n = std::min<size_t>(dialog->editName.size(), 255);
        pascal[0] = static_cast<unsigned char>(n);
        std::memcpy(pascal + 1, dialog->editName.data(), n);
        return noErr;
    }
    if (selector == kNavCtlSetEditFileName) {
        dialog->editName.assign(reinterpret_cast<const char*>(pascal + 1), pascal[0]);
        return noErr;
    }
    return paramErr;
}

SInt16 CurResFile()
{
    return g_currentResFile;
}

void UseResFile(SInt16 refNum)
{
    g_currentResFile = refNum;
}

namespace platform {

}  // namespace platform
