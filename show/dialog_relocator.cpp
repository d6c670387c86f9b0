#include "show/dialog_relocator.h"

#include <string>

#include "foundation/str.h"
#include "ui/file_dialogs.h"
#include "ui/file_relocation.h"
#include "ui/message_box.h"

namespace {

constexpr int kImageMissingTitle = 115;
constexpr int kImageMissingText = 116;
constexpr int kImageNotChosenText = 118;
constexpr int kSoundMissingTitle = 119;
constexpr int kSoundMissingText = 120;
constexpr int kSoundNotChosenText = 122;

std::string Localized(int id)
{
    CStr text;
    return GetLocalizedString(text, id) ? std::string(text.c_str()) : std::string();
}

// The message with the missing file's path in place of its "%s"; the path
// alone when the table lacks the message. The text is not used as a format:
// a table entry cannot make it read arguments that are not there.
std::string MissingText(int id, const CPath& missing)
{
    std::string path = missing.GetFullPath();
    std::string text = Localized(id);
    size_t at = text.find("%s");
    if (at == std::string::npos) return text.empty() ? path : text + " " + path;
    return text.replace(at, 2, path);
}

}  // namespace

CRelocation CDialogRelocator::RelocateImage(const CPath& missing)
{
    std::string title = Localized(kImageMissingTitle);
    std::string message = MissingText(kImageMissingText, missing);
    const char* texts[] = {title.c_str(), message.c_str()};
    CRelocateDialog dialog(texts);
    int answer = dialog.Run(parent_);
    CRelocation result;
    if (answer == static_cast<int>(kAnswerOk)) {
        CRelocationEntry entry;
        CPath chosen;
        if (RelocateFile(&entry, parent_, missing, &chosen)) return {CRelocation::kRelocate, chosen};
        MessageBox(parent_, kImageMissingTitle, kImageNotChosenText);
    } else if (answer == kRelocateReplace) {
        CFileTypeList types;
        types.AddImageTypes();
        CFileFilter settings;
        settings.typeList = &types;
        settings.windowTitle = "Choose an image";
        CFileDialog choose(CFileDialog::kChooseFile);
        CFileDialogResult chosen;
        if (choose.DoModal(chosen, parent_, &settings) && !chosen.path.IsEmpty())
            return {CRelocation::kReplace, chosen.path};
    } else if (answer == static_cast<int>(kAnswerCancel)) {
        result.action = CRelocation::kCancel;
    }
    return result;
}

CPath CDialogRelocator::RelocateSound(const CPath& missing)
{
    std::string title = Localized(kSoundMissingTitle);
    std::string message = MissingText(kSoundMissingText, missing);
    CPath chosen;
    if (MessageBoxF(parent_, kMBNote | kMBYesNo, title.c_str(), "%s", message.c_str()) == kAnswerOk) {
        CRelocationEntry entry;
        if (RelocateFile(&entry, parent_, missing, &chosen)) return chosen;
    }
    MessageBox(parent_, kSoundMissingTitle, kSoundNotChosenText);
    return CPath();
}
