#include "media/image_filter_dialog.h"

#include "media/progress.h"
#include "ui/small_windows.h"

namespace {

const OSType kPaneSignature = FourCC("uPrv");

}  // namespace

CImageFilterDialog::~CImageFilterDialog()
{
    if (filter_) filter_->GetChangeSignal().DisconnectAll();
}

int CImageFilterDialog::Run(WindowRef parent, const CImage& source, CImageFilter* filter)
{
    if (!filter) return -1;
    preview_.CopyFrom(source);
    filter_ = filter;
    source_ = &source;
    Rect structure{};
    if (parent) GetWindowBounds(parent, kWindowStructureRgn, &structure);
    if (!CreateNew(structure.left, structure.top, kWidth, kHeight, kDialogMovableModal, parent, 0)) return -1;
    return ShowModal();
}

bool CImageFilterDialog::OnInitDialog()
{
    pane_.Create(this, kPaneSignature, Rect{20, 20, 228, 228}, "");
    ok_.Create(this, kResultOk, Rect{20, 236, 37, 319}, "OK");
    cancel_.Create(this, kResultCancel, Rect{52, 236, 69, 319}, "Cancel");
    SetWindowDefaultButton(GetWindow(), ok_.GetControlRef());
    SetWindowCancelButton(GetWindow(), cancel_.GetControlRef());
    SetTitle(filter_->GetName().c_str());
    // The filter's controls start below the preview and grow the window.
    filter_->CreateControls(this, Rect{255, 20, 400, 228});
    pane_.Show(true);
    SetWatchCursor();
    filter_->Apply(preview_);
    pane_.SetImage(preview_);
    filter_->GetChangeSignal().Connect(Callback::BindMember(this, &CImageFilterDialog::OnFilterChanged));
    SetArrowCursor();
    return true;
}

void CImageFilterDialog::OnFilterChanged(CImageFilter* filter)
{
    if (!filter || !source_) return;
    SetWatchCursor();
    // Always from the source: filtering the last preview would compound.
    preview_.CopyFrom(*source_);
    filter->Apply(preview_);
    pane_.SetImage(preview_);
    SetArrowCursor();
}

bool CImageFilterDialog::OnCommand(UInt32 command, EventRef* event)
{
    if (filter_ && filter_->HandleControl(command, event)) return true;
    if (command != kResultOk && command != kResultCancel) return false;
    if (filter_) {
        filter_->GetChangeSignal().DisconnectAll();
        // The filter outlives the window: its controls go with it, so that
        // the filter holds none it could touch later.
        filter_->DisposeControls();
    }
    EndDialog(static_cast<int>(command));
    return true;
}

bool CImageFilterDialog::OnEvent(UInt32, UInt32 eventKind, EventRef*)
{
    return filter_ && filter_->DialogHook(this, static_cast<intptr_t>(eventKind)) > 0;
}
