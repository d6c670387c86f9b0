#include "ui/file_relocation.h"

#include <strings.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "foundation/cfstring.h"

namespace {

std::vector<std::unique_ptr<CPath>>& RelocationFolders()
{
    static std::vector<std::unique_ptr<CPath>> folders;
    return folders;
}

constexpr SInt32 kCodeControlIdNumber = 20000;

}  // namespace

void ClearRelocationFolders()
{
    RelocationFolders().clear();
}

void AddRelocationFolder(const CPath& file)
{
    RelocationFolders().push_back(std::make_unique<CPath>(file.GetParent(false)));
}

bool FindInRelocationFolders(const CPath& missing, CPath* found)
{
    std::string name = missing.GetFileName();
    if (name.empty()) return false;
    for (const auto& folder : RelocationFolders()) {
        CPath candidate;
        CPath::CombineRaw(candidate, name, CPath(folder->GetFullPath()));
        if (candidate.Exists()) {
            if (found) found->Assign(candidate);
            return true;
        }
    }
    return false;
}

namespace {

void IgnoreNavEvent(NavEventCallbackMessage, NavCBRec*, void*) {}

bool RelocateFilter(AEDesc* item, void* info, void* userData, NavFilterModes)
{
    auto* entry = static_cast<CRelocationEntry*>(userData);
    auto* itemInfo = static_cast<NavFileOrFolderInfo*>(info);
    if (itemInfo && itemInfo->isFolder) return true;
    if (!entry || !item || item->descriptorType != typeFSRef || !item->dataHandle) return false;
    CPath path(*static_cast<const platform::FSRef*>(item->dataHandle));
    return strcasecmp(path.GetFileName().c_str(), entry->missing.GetFileName().c_str()) == 0;
}

}  // namespace

bool RelocateFile(CRelocationEntry* entry, WindowRef parent, const CPath& missing, CPath* chosen)
{
    if (!entry) return false;
    entry->missing.Assign(missing);
    SInt16 resFile = CurResFile();
    NavDialogCreationOptions options;
    if (NavGetDefaultDialogCreationOptions(&options) != noErr) return false;
    std::string title = "Please Relocate: " + missing.GetFileName();
    CCFString windowTitle(title.c_str());
    options.windowTitle = windowTitle;
    options.parentWindow = parent;
    NavEventUPP event = NewNavEventUPP(IgnoreNavEvent);
    NavObjectFilterUPP filter = NewNavObjectFilterUPP(RelocateFilter);
    bool result = false;
    if (NavCreateChooseFileDialog(&options, nullptr, event, nullptr, filter, entry, &entry->dialog) == noErr) {
        if (NavDialogRun(entry->dialog) == noErr) {
            NavReplyRecord reply;
            if (NavDialogGetReply(entry->dialog, &reply) == noErr) {
                long count = 0;
                platform::FSRef ref;
                if (reply.validRecord && AECountItems(&reply.selection, &count) == noErr && count >= 1 &&
                    AEGetNthFSRef(&reply.selection, 1, &ref) == noErr) {
                    if (chosen) chosen->AssignFSRef(ref);
                    result = true;
                }
                NavDisposeReply(&reply);
            }
        }
        NavDialogDispose(entry->dialog);
        entry->dialog = nullptr;
    }
    DisposeNavEventUPP(event);
    DisposeNavObjectFilterUPP(filter);
    UseResFile(resFile);
    return result;
}

// ---- CRelocateDialog

int CRelocateDialog::Run(WindowRef parent)
{
    if (!CreateNew(100, 100, 440, 140, kDialogMovableModal, parent, kCodeControlIdNumber)) return -1;
    return ShowModal();
}

bool CRelocateDialog::OnInitDialog()
{
    const char* title = texts_ ? texts_[0] : nullptr;
    const char* message = texts_ ? texts_[1] : nullptr;
    if (title) SetTitle(title);
    message_.Create(this, FourCC("sMsg"), LTRB(20, 20, 420, 95), message ? message : "");
    dontRelocate_.Create(this, FourCC("bDnt"), LTRB(21, 102, 125, 119), "Don't Relocate");
    cancel_.Create(this, FourCC("bCan"), LTRB(135, 102, 205, 119), "Cancel");
    replace_.Create(this, FourCC("bRep"), LTRB(269, 102, 339, 119), "Replace");
    relocate_.Create(this, FourCC("ok  "), LTRB(349, 102, 419, 119), "Relocate");
    return true;
}

bool CRelocateDialog::OnCommand(UInt32 command, EventRef*)
{
    switch (command) {
        case FourCC("ok  "):
            return EndDialog(static_cast<int>(FourCC("ok  ")));
        case FourCC("bDnt"):
            return EndDialog(kRelocateDontRelocate);
        case FourCC("bRep"):
            return EndDialog(kRelocateReplace);
        case FourCC("bCan"):
            return EndDialog(static_cast<int>(FourCC("not!")));
    }
    return false;
}

// ---- CReplaceDialog

int CReplaceDialog::Run(WindowRef parent)
{
    // A sheet needs a window to hang from.
    UInt32 options = parent ? kDialogSheet : kDialogMovableModal;
    if (!CreateNew(100, 100, 390, 131, options, parent, kCodeControlIdNumber)) return -1;
    return ShowModal();
}

bool CReplaceDialog::OnInitDialog()
{
    char text[256];
    std::snprintf(text, sizeof text, "The item \"%s\" in %s already exists. Replace it?", item_.GetFileName().c_str(),
                  item_.GetParent(false).c_str());
    message_.Create(this, FourCC("sMsg"), LTRB(20, 20, 370, 59), text);
    if (mode_ == 1) {
        applyToAll_.Create(this, FourCC("cAll"), LTRB(20, 95, 104, 109), "Apply To All");
        dontReplace_.Create(this, FourCC("bDnt"), LTRB(123, 94, 222, 111), "Don't Replace");
        stop_.Create(this, FourCC("bStp"), LTRB(245, 94, 293, 111), "Stop");
    } else {
        dontReplace_.Create(this, FourCC("bDnt"), LTRB(194, 94, 293, 111), "Don't Replace");
    }
    replace_.Create(this, FourCC("ok  "), LTRB(307, 94, 370, 111), "Replace");
    for (CControl* control :
         {static_cast<CControl*>(&message_), static_cast<CControl*>(&applyToAll_),
          static_cast<CControl*>(&dontReplace_), static_cast<CControl*>(&stop_), static_cast<CControl*>(&replace_)})
        if (control->GetControlRef()) control->SetFontStyle();
    return true;
}

bool CReplaceDialog::OnCommand(UInt32 command, EventRef*)
{
    bool all = applyToAll_.GetControlRef() && applyToAll_.GetValue();
    switch (command) {
        case FourCC("ok  "):
            return EndDialog(all ? kReplaceAll : kReplaceOne);
        case FourCC("bDnt"):
            return EndDialog(all ? kReplaceSkipAll : kReplaceSkip);
        case FourCC("bStp"):
            return EndDialog(kReplaceStop);
    }
    return false;
}

// ---- File types

namespace {

struct FileTypeRow {
    OSType type;
    const char* extensions;  // null when the type has none
    const char* name;
};

constexpr FileTypeRow kFileTypes[] = {
    {FourCC("AIFC"), "aiff;aif", "AIFF"},
    {FourCC("JPEG"), "jpg;jpeg", "JPEG"},
    {FourCC("MPG "), "mpg;mpeg;mpe", "MPEG"},
    {FourCC("PICT"), "pct;pict", "PICT"},
    {FourCC("TIFF"), "tif;tiff", "TIFF"},
    {FourCC("TPIC"), "tga;targa", "Targa"},
    {FourCC("8BPS"), "psd", "Photoshop"},
    {FourCC("APPL"), "prj", "Flash Projector"},
    {FourCC("ASF_"), "wmv", "Windows Media Video"},
    {FourCC("BMPf"), "bmp", "Bitmap"},
    {FourCC("FLV2"), "flv", "FLV"},
    {FourCC("GIFf"), "gif", "GIF"},
    {FourCC("ICNS"), "icns", "Icon"},
    {FourCC("ICO "), "ico", "Windows Icon"},
    {FourCC("MooV"), "mov", "MOV"},
    {FourCC("Mp3 "), "mp3", "MP3"},
    {FourCC("PDF "), "pdf", "PDF"},
    {FourCC("PNGf"), "png", "PNG"},
    {FourCC("SPA "), "fla", "Flash Movie"},
    {FourCC("SWFL"), "swf", "Flash Animation"},
    {FourCC("TEXT"), "txt", "Text"},
    {FourCC("VfW "), "avi", "AVI"},
    {FourCC("WAVE"), "wav", "Wave"},
    {FourCC("WDBN"), "doc", "Microsoft Word Document"},
    {FourCC("bina"), "bin", "Binary"},
    {FourCC("mpg4"), "mp4", "MPEG-4"},
    {FourCC("osas"), "script", "Apple Script"},
    {FourCC("svg "), "svg", "Scalable Vector Graphics"},
    {FourCC("svgz"), "svgz", "Compressed Scalable Vector Graphics"},
    {FourCC("pTvr"), "tvr", "Tavrel Project"},
    {FourCC("FLC "), nullptr, "FLC"},
    {FourCC("Midi"), nullptr, "Midi"},
    {FourCC("dvc!"), nullptr, "DVC"},
};

const FileTypeRow* FindType(OSType type)
{
    for (const FileTypeRow& row : kFileTypes)
        if (row.type == type) return &row;
    return nullptr;
}

}  // namespace

bool GetTypeExtensions(OSType type, char* out)
{
    const FileTypeRow* row = FindType(type);
    if (!row || !row->extensions || !out) return false;
    std::strcpy(out, row->extensions);
    return true;
}

bool GetTypeName(OSType type, char* out)
{
    const FileTypeRow* row = FindType(type);
    if (!row || !out) return false;
    std::strcpy(out, row->name);
    return true;
}

// ---- CTextFileStream

bool CTextFileStream::Open(const CPath& path, const CFileInfo* info, bool replace)
{
    Close();
    CFileInfo text;
    text.creator = FourCC("ttex");
    text.type = FourCC("TEXT");
    if (!file_.Open(path, info ? info : &text, replace)) return false;
    buffer_ = std::make_unique<__gnu_cxx::stdio_filebuf<char>>(file_.GetStream(), std::ios::out);
    rdbuf(buffer_.get());
    clear();
    return true;
}

bool CTextFileStream::Close()
{
    if (!file_.GetStream()) return true;
    flush();  // a full disk shows here or in the commit
    const bool ok = !fail();
    rdbuf(nullptr);
    buffer_.reset();
    if (!ok) {
        file_.Discard();
        return false;
    }
    return file_.Commit();
}

CTextFileStream& CTextFileStream::WriteString(const char* text)
{
    if (text) *this << text;
    return *this;
}

CTextFileStream& CTextFileStream::WriteInt(long value)
{
    *this << value;
    return *this;
}
