#include "ui/file_dialogs.h"

#include <strings.h>

#include <cstring>

#include "foundation/cfstring.h"
#include "foundation/file_services.h"
#include "ui/file_relocation.h"

// ---- Filters

bool CFileTypeFilter::MatchesType(OSType type) const
{
    for (const auto& entry : entries)
        if (entry->type == type || entry->type == kAnyFileType) return true;
    return false;
}

bool CFileTypeFilter::MatchesExtension(const char* extension) const
{
    if (!extension) return false;
    for (const auto& entry : entries)
        for (const std::string& candidate : entry->extensions)
            if (strcasecmp(candidate.c_str(), extension) == 0) return true;
    return false;
}

namespace {

std::unique_ptr<CFileTypeEntry> EntryFor(OSType type)
{
    auto entry = std::make_unique<CFileTypeEntry>();
    entry->type = type;
    char list[256] = {};
    if (GetTypeExtensions(type, list)) {
        std::string text(list, strnlen(list, sizeof list - 1));
        size_t start = 0;
        for (;;) {
            size_t end = text.find(';', start);
            std::string piece = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
            if (!piece.empty()) entry->extensions.push_back(piece);
            if (end == std::string::npos) break;
            start = end + 1;
        }
    }
    return entry;
}

constexpr OSType kImageTypes[] = {FourCC("BMPf"), FourCC("GIFf"), FourCC("JPEG"), FourCC("PICT"),
                                  FourCC("PNGf"), FourCC("8BPS"), FourCC("TIFF"), FourCC("TPIC")};
constexpr OSType kSoundTypes[] = {FourCC("AIFC"), FourCC("Mp3 "), FourCC("WAVE")};

}  // namespace

void CFileTypeList::Insert(std::unique_ptr<CFileTypeFilter> filter, int position)
{
    if (position < 0)
        filters_.insert(filters_.begin(), std::move(filter));
    else if (position >= GetCount())
        filters_.push_back(std::move(filter));
    else
        filters_.insert(filters_.begin() + position, std::move(filter));
}

bool CFileTypeList::AddType(OSType type, const char* name, int, int position)
{
    auto filter = std::make_unique<CFileTypeFilter>();
    char known[256] = {};
    if (name)
        filter->name = name;
    else if (GetTypeName(type, known))
        filter->name = known;
    filter->entries.push_back(EntryFor(type));
    Insert(std::move(filter), position);
    return true;
}

bool CFileTypeList::AddGroup(const char* name, int count, const OSType* types, int position)
{
    auto filter = std::make_unique<CFileTypeFilter>();
    if (name) filter->name = name;
    for (int i = 0; types && i < count; ++i) filter->entries.push_back(EntryFor(types[i]));
    Insert(std::move(filter), position);
    return true;
}

bool CFileTypeList::AddAllFiles(int position)
{
    auto filter = std::make_unique<CFileTypeFilter>();
    filter->name = "All Files";
    auto entry = std::make_unique<CFileTypeEntry>();
    entry->extensions.push_back("*");
    entry->type = kAnyFileType;
    filter->entries.push_back(std::move(entry));
    Insert(std::move(filter), position);
    return true;
}

bool CFileTypeList::AddImageTypes()
{
    AddGroup("All Images", static_cast<int>(std::size(kImageTypes)), kImageTypes, kAppendFilter);
    for (OSType type : kImageTypes) AddType(type, nullptr, 0, kAppendFilter);
    return AddAllFiles(kAppendFilter);
}

bool CFileTypeList::AddSoundTypes()
{
    AddGroup("All Sounds", static_cast<int>(std::size(kSoundTypes)), kSoundTypes, kAppendFilter);
    for (OSType type : kSoundTypes) AddType(type, nullptr, 0, kAppendFilter);
    return AddAllFiles(kAppendFilter);
}

bool CFileTypeList::AddTextType()
{
    AddType(FourCC("TEXT"), nullptr, 0, kAppendFilter);
    return AddAllFiles(kAppendFilter);
}

CFileTypeFilter* CFileTypeList::GetFilter(int index) const
{
    if (index < 0 || index >= GetCount()) return nullptr;
    return filters_[static_cast<size_t>(index)].get();
}

void CFileTypeList::CopyNames(CFMutableArrayRef names) const
{
    for (const auto& filter : filters_) {
        CCFString name(filter->name.c_str());
        CFArrayAppendValue(names, name);
    }
}

// ---- Dialogs

void CFileDialog::EventProc(NavEventCallbackMessage message, NavCBRec* params, void* userData)
{
    auto* self = static_cast<CFileDialog*>(userData);
    if (!self || message != kNavCBPopupMenuSelect || !params || !params->menuItem) return;
    const NavMenuItemSpec& item = *params->menuItem;
    self->filterIndex_ = item.menuCreator == FourCC("extn") ? static_cast<int>(item.menuType) : -1;
    if (self->mode_ != kSave) return;
    unsigned char name[256] = {};
    if (NavCustomControl(params->context, kNavCtlGetEditFileName, name) != noErr) return;
    if (self->filterIndex_ == -1 && self->settings_.defaultExtension &&
        ChangeExtension(name, self->settings_.defaultExtension))
        NavCustomControl(params->context, kNavCtlSetEditFileName, name);
}

bool CFileDialog::FilterProc(AEDesc* item, void* info, void* userData, NavFilterModes)
{
    auto* self = static_cast<CFileDialog*>(userData);
    return !self || self->Shows(item, static_cast<const NavFileOrFolderInfo*>(info));
}

bool CFileDialog::Shows(AEDesc* item, const NavFileOrFolderInfo* info) const
{
    if (!info || info->isFolder || !settings_.typeList) return true;
    const CFileTypeFilter* filter = settings_.typeList->GetFilter(filterIndex_);
    if (!filter) return false;
    if (filter->MatchesType(info->fileType)) return true;
    if (!item || item->descriptorType != typeFSRef || !item->dataHandle) return false;
    CPath path(*static_cast<const platform::FSRef*>(item->dataHandle));
    return filter->MatchesExtension(path.GetExtension(false).c_str());
}

bool CFileDialog::DoModal(CFileDialogResult& result, WindowRef parent, const CFileFilter* settings)
{
    result.success = false;
    result.count = 0;
    result.path = CPath();
    result.morePaths.clear();
    if (settings) settings_ = *settings;
    SInt16 resFile = CurResFile();
    NavDialogCreationOptions options;
    if (NavGetDefaultDialogCreationOptions(&options) != noErr) return false;
    if (settings_.allowMultiple)
        options.optionFlags |= kNavAllowMultipleFiles;
    else
        options.optionFlags &= ~kNavAllowMultipleFiles;
    options.parentWindow = parent;
    CCFString title(settings_.windowTitle), message(settings_.message), action(settings_.actionButton),
        cancel(settings_.cancelButton), saveName(settings_.defaultFileName);
    options.windowTitle = title;
    options.message = message;
    options.actionButtonLabel = action;
    options.cancelButtonLabel = cancel;
    options.saveFileName = saveName;
    NavEventUPP event = NewNavEventUPP(EventProc);
    NavObjectFilterUPP filter = NewNavObjectFilterUPP(FilterProc);
    bool hasList = settings_.typeList && settings_.typeList->GetCount() > 0;
    CFMutableArrayRef popup = nullptr;
    if ((mode_ == kSave || mode_ == kOpen) && hasList) {
        popup = CFArrayCreateMutable();
        settings_.typeList->CopyNames(popup);
        options.popupExtension = popup;
    }
    // The popup shows the first filter until the user picks another.
    filterIndex_ = hasList ? 0 : -1;
    OSStatus status = paramErr;
    switch (mode_) {
        case kSave:
            status = NavCreatePutFileDialog(&options, settings_.type, settings_.creator, event, this, &dialog_);
            break;
        case kOpen:
            status = NavCreateGetFileDialog(&options, nullptr, event, nullptr, filter, this, &dialog_);
            break;
        case kChooseFile:
            status = NavCreateChooseFileDialog(&options, nullptr, event, nullptr, filter, this, &dialog_);
            break;
        case kChooseFolder:
            status = NavCreateChooseFolderDialog(&options, event, nullptr, this, &dialog_);
            break;
    }
    bool answer = false;
    if (status == noErr) {
        OSStatus run = NavDialogRun(dialog_);
        if (popup) CFRelease(popup);
        popup = nullptr;
        NavReplyRecord reply;
        if (run == noErr && NavDialogGetReply(dialog_, &reply) == noErr) {
            if (reply.validRecord) {
                result.filterIndex = filterIndex_;
                long count = 0;
                AECountItems(&reply.selection, &count);
                answer = count > 0;
                char name[1024] = {};
                if (mode_ == kSave &&
                    (!reply.saveFileName || !CFStringGetCString(reply.saveFileName, name, sizeof name, 0) || !*name))
                    answer = false;
                // A name is one entry of the chosen folder, never a way out of it.
                if (mode_ == kSave && (std::strchr(name, '/') || !std::strcmp(name, ".") || !std::strcmp(name, "..")))
                    answer = false;
                for (long i = 1; answer && i <= count; ++i) {
                    platform::FSRef ref;
                    if (AEGetNthFSRef(&reply.selection, i, &ref) != noErr) {
                        answer = false;
                        break;
                    }
                    CPath path(ref);
                    if (mode_ == kSave) CPath::CombineRaw(path, name, CPath(ref));
                    if (result.count == 0)
                        result.path = path;
                    else
                        result.morePaths.push_back(path);
                    ++result.count;
                }
                result.success = answer;
            }
            NavDisposeReply(&reply);
        }
        NavDialogDispose(dialog_);
        dialog_ = nullptr;
    }
    if (popup) CFRelease(popup);
    DisposeNavEventUPP(event);
    DisposeNavObjectFilterUPP(filter);
    UseResFile(resFile);
    return answer;
}

int AskReplaceFile(const CPath& path, WindowRef parent, int option)
{
    if (!path.Exists()) return -1;
    CReplaceDialog dialog(&path, option);
    return dialog.Run(parent);
}
