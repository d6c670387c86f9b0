#pragma once
// The editor's preference record: the slide defaults a new slide takes (the
// process-wide CPrefsRecord) and the recently opened documents, kept in the
// program's preferences domain between runs.
#include "ui/recent_items.h"

class CEditorPrefs {
public:
    static constexpr const char* kRecentDocuments = "recent_documents";

    // Reads the domain. A missing or damaged record, and values out of
    // range, give the defaults; false when the domain cannot be read at all.
    bool Load();
    // Writes the record; only a record that was loaded, so that a run that
    // never read the user's settings cannot replace them with defaults.
    bool Save() const;
    bool IsLoaded() const { return loaded_; }

    CRecentItems& RecentDocuments() { return recentDocuments_; }

private:
    CRecentItems recentDocuments_;
    bool loaded_ = false;
};

CEditorPrefs& GetEditorPrefs();
