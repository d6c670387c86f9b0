#pragma once
// The settings dialog of one image filter: a live preview of the filter on
// the picture, the filter's own controls below it, OK and Cancel.
#include "media/image.h"
#include "media/image_filter.h"
#include "media/image_pane.h"
#include "ui/buttons.h"
#include "ui/dialog_window.h"

class CImageFilterDialog : public CDialogWindow {
public:
    static constexpr int kWidth = 339;
    static constexpr int kHeight = 248;

    CImageFilterDialog() = default;
    ~CImageFilterDialog() override;

    // Runs the dialog modally at the parent's top-left corner: 'ok  ' or
    // 'not!', or -1 when the window cannot be made. The source is never
    // changed; the filter keeps whatever the controls gave it.
    int Run(WindowRef parent, const CImage& source, CImageFilter* filter);

    bool OnInitDialog() override;
    bool OnCommand(UInt32 command, EventRef* event) override;
    bool OnEvent(UInt32 eventClass, UInt32 eventKind, EventRef* event) override;
    // The live preview: the source filtered afresh.
    void OnFilterChanged(CImageFilter* filter);

    const CImage& GetPreview() const { return preview_; }
    CImagePane& GetPane() { return pane_; }

private:
    CImageFilter* filter_ = nullptr;
    CImage preview_;
    const CImage* source_ = nullptr;
    CPushButton ok_;
    CPushButton cancel_;
    CImagePane pane_;
};
