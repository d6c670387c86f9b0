#pragma once
// Two user-pane views that show a picture and let the mouse edit a
// rectangle over it (a crop rectangle with eight handles; a pan and zoom
// rectangle), and a wrapper of the image-well control. Each view draws
// through a picture world and a composite world of its own size.
#include <cstdint>

#include "platform/toolbox_controls.h"
#include "ui/control.h"

class CImageCropView : public CControl {
public:
    using ChangeHandler = void (*)(const Rect* crop, intptr_t context);

    CImageCropView() = default;
    ~CImageCropView() override;
    bool OnAttach() override;
    // The source's rectangle s (from 0, 0) is a preview of a picture of
    // picture.right × picture.bottom pixels; crop is in picture pixels.
    // An empty source or picture clears the view and gives false.
    bool SetImage(CGrafPtr source, const Rect& s, const Rect& picture, const Rect& crop);
    void SetCropRect(const Rect& crop, bool redraw);
    void SetState(int editing);
    void Clear();
    void SetChangeHandler(ChangeHandler handler, intptr_t context);
    void Redraw();
    bool HandleMouseDown(int h, int v);

    const Rect& GetCropRect() const { return cropPixels_; }
    const Rect& GetViewCropRect() const { return cropView_; }
    const Rect& GetPictureRect() const { return picture_; }

private:
    static void DrawProc(ControlRef control, SInt16 part);
    static ControlPartCode HitTestProc(ControlRef control, Point where);
    void DrawCropFrame();
    void Report();

    ControlUserPaneHitTestUPP hitTestUPP_ = nullptr;
    ControlUserPaneDrawUPP drawUPP_ = nullptr;
    GWorldPtr composite_ = nullptr;
    GWorldPtr pictureWorld_ = nullptr;
    Rect view_;
    Rect bounds_;
    Point origin_;
    Rect picture_;
    Rect cropView_;
    Rect cropPixels_;
    double hScale_ = 0;
    double vScale_ = 0;
    ChangeHandler handler_ = nullptr;
    intptr_t context_ = 0;
    int editing_ = 0;
};

class CPanZoomView : public CControl {
public:
    using ChangeHandler = void (*)(int dx, int dy, int final, intptr_t context);

    CPanZoomView() = default;
    ~CPanZoomView() override;
    bool OnAttach() override;
    // Fits the view to the frame's shape within the size it had when
    // attached; an empty source or frame clears the view and gives false.
    bool SetImage(CGrafPtr source, const Rect& s, const Rect& frame);
    void SetZoom(double zoom, bool redraw);
    void SetCenter(int dx, int dy, bool redraw);
    void SetOrigin(int x, int y, double zoom, bool redraw);
    void SetMode(UInt32 mode) { mode_ = mode; }
    void Clear();
    void SetChangeHandler(ChangeHandler handler, intptr_t context);
    void Redraw();

    const Rect& GetZoomRect() const { return zoom_; }
    const Rect& GetHomeRect() const { return home_; }
    const Rect& GetViewRect() const { return view_; }

private:
    static void DrawProc(ControlRef control, SInt16 part);
    static ControlPartCode HitTestProc(ControlRef control, Point where);
    void Drag();
    void Report(int final);

    ControlUserPaneHitTestUPP hitTestUPP_ = nullptr;
    ControlUserPaneDrawUPP drawUPP_ = nullptr;
    GWorldPtr composite_ = nullptr;
    GWorldPtr pictureWorld_ = nullptr;
    Rect view_;
    Rect bounds_;
    Point origin_;
    Rect picture_;
    Rect home_;
    Rect zoom_;
    Rect frame_;
    double hScale_ = 0;
    double vScale_ = 0;
    ChangeHandler handler_ = nullptr;
    intptr_t context_ = 0;
    double zoomFactor_ = 1.0;
    UInt32 mode_ = 0;
    int dragDx_ = 0;
    int dragDy_ = 0;
    int attachWidth_ = 0;
    int attachHeight_ = 0;
};

class CImageWell : public CControl {
public:
    ~CImageWell() override;
    using CControl::Create;
    bool Create(CDialogWindow* owner, OSType signature, const Rect& bounds, const char* title) override;
    bool OnAttach() override;
    bool ClearImage();
    PicHandle GetPicture() const { return picture_; }

private:
    PicHandle picture_ = nullptr;
};
