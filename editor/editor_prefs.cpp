#include "editor/editor_prefs.h"

#include "foundation/preferences.h"
#include "show/prefs_record.h"

namespace {

struct IntField {
    const char* key;
    int CPrefsRecord::*field;
    int low, high;
};

constexpr IntField kFields[] = {
    {"default_image_quality", &CPrefsRecord::default_image_quality, 1, 100},
    {"default_image_halign", &CPrefsRecord::default_image_halign, 0, 2},
    {"default_image_valign", &CPrefsRecord::default_image_valign, 0, 2},
    {"default_image_scale_to_fit", &CPrefsRecord::default_image_scale_to_fit, 0, 1},
    {"default_image_keep_aspect_ratio", &CPrefsRecord::default_image_keep_aspect_ratio, 0, 1},
    {"default_image_align", &CPrefsRecord::default_image_align, 0, 1},
    {"default_image_adjust_bitmap_shift", &CPrefsRecord::default_image_adjust_bitmap_shift, 0, 1},
    {"read_exif_data", &CPrefsRecord::read_exif_data, 0, 1},
};

}  // namespace

bool CEditorPrefs::Load()
{
    CPrefsRecord& record = GetPrefsRecord();
    record = CPrefsRecord{};
    recentDocuments_.Clear();
    CPreferences prefs;
    // A damaged file is set aside by the store and the domain starts empty.
    if (!prefs.Open(nullptr, CPreferences::kScopeCurrentUserAnyHost)) return false;
    for (const IntField& f : kFields) {
        int32_t value = 0;
        if (prefs.GetInt(f.key, value) && value >= f.low && value <= f.high) record.*f.field = value;
    }
    recentDocuments_.Load(prefs, kRecentDocuments);
    loaded_ = true;
    return true;
}

bool CEditorPrefs::Save() const
{
    if (!loaded_) return false;
    CPreferences prefs;
    if (!prefs.Open(nullptr, CPreferences::kScopeCurrentUserAnyHost)) return false;
    const CPrefsRecord& record = GetPrefsRecord();
    for (const IntField& f : kFields) prefs.SetInt(f.key, record.*f.field);
    recentDocuments_.Save(prefs, kRecentDocuments);
    return prefs.Synchronize();
}

CEditorPrefs& GetEditorPrefs()
{
    static CEditorPrefs prefs;
    return prefs;
}
