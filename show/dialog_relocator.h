#pragma once
// The relocator the editor uses: asks the user about each missing file
// with the relocation dialogs.
#include "platform/toolbox_windows.h"
#include "show/xml_io.h"

class CDialogRelocator : public CRelocator {
public:
    explicit CDialogRelocator(WindowRef parent = nullptr) : parent_(parent) {}
    // Relocate, Replace, Don't Relocate or Cancel; a file dialog left
    // without a choice drops the slide.
    CRelocation RelocateImage(const CPath& missing) override;
    // A Yes/No question, then the relocation file dialog; empty when the
    // user declines or chooses nothing.
    CPath RelocateSound(const CPath& missing) override;

private:
    WindowRef parent_;
};
