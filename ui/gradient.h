#pragma once
// A gradient of two to eight colour stops and the control that edits it:
// a preview box, a bar with the stops' markers below it, and a box with the
// selected stop's colour that opens the colour picker.
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/toolbox_controls.h"
#include "platform/toolbox_events.h"
#include "ui/control.h"

struct CGradientStop {
    float position = 0;  // 0 to 1
    uint32_t color = 0;  // 0x00BBGGRR
};

class CGradientStops {
public:
    static constexpr size_t kMinStops = 2;
    static constexpr size_t kMaxStops = 8;

    // Black at 0 to white at 1, linear.
    CGradientStops();
    CGradientStops(const CGradientStops&) = delete;
    CGradientStops& operator=(const CGradientStops&) = delete;

    size_t GetCount() const { return stops_.size(); }
    CGradientStop* GetAt(size_t index) const { return index < stops_.size() ? stops_[index].get() : nullptr; }
    int IndexOf(const CGradientStop* stop) const;
    bool IsLinear() const { return kind_ != 0; }
    void SetKind(int kind) { kind_ = kind; }
    // Replaces every stop; false, nothing changed, for fewer than two or
    // more than eight.
    bool Assign(const std::vector<CGradientStop>& stops);
    // The colour a new stop at position takes from its neighbours.
    uint32_t ColorAt(float position) const;
    // Null when eight stops exist.
    CGradientStop* Add(float position);
    // Only while more than two exist; returns the stop that takes the
    // selection (the one before, or the first).
    CGradientStop* Remove(CGradientStop* stop);
    void Sort();

    // The n colours of the ramp that renders the stops (n >= 1).
    std::vector<uint32_t> Ramp(int n) const;

private:
    std::vector<std::unique_ptr<CGradientStop>> stops_;
    int kind_ = 1;
};

class CGradientControl : public CControl {
public:
    // Redraw parts.
    enum : unsigned { kPreview = 1, kBar = 2, kMarkers = 4, kAll = 255 };

    CGradientControl();
    ~CGradientControl() override;

    // bounds is the bar's size; the control is 84 pixels wider and 16 taller.
    bool Create(CDialogWindow* owner, OSType signature, const Rect& bounds, const char* title) override;
    bool OnAttach() override;

    CGradientStop* AddStop(float position);
    // Replaces the stops (two to eight), selects the first and redraws.
    bool SetStops(const std::vector<CGradientStop>& stops, int kind);
    // point is global; true when the click hit a marker, the strip or the colour box.
    bool HandleClick(Point point);
    void Redraw(unsigned parts);

    const CGradientStops& GetStops() const { return stops_; }
    CGradientStop* GetSelected() const { return selected_; }
    // The finished picture, in control coordinates.
    GWorldPtr GetComposite() const { return composite_; }
    const Rect& GetBarRect() const { return bar_; }
    const Rect& GetPreviewRect() const { return preview_; }
    const Rect& GetColorRect() const { return colorBox_; }
    // Where a stop's marker is drawn and hit.
    Rect MarkerRect(const CGradientStop& stop) const;

private:
    bool Setup(const Rect& bounds);
    void ReleaseWorlds();
    void DrawBackground();
    void BuildMarker();
    void RenderLinear(const Rect& rect);
    void RenderRadial(const Rect& rect);
    void DragStop(CGradientStop* stop);
    void PickColor();
    Point ToControl(Point global) const;
    static void DrawProc(ControlRef control, SInt16 part);
    static OSStatus HitProc(EventHandlerCallRef call, EventRef event, void* userData);

    CGradientStops stops_;
    CGradientStop* selected_ = nullptr;
    bool showSelected_ = true;
    Rect preview_, bar_, colorBox_, whole_;
    float barWidth_ = 0;
    Point origin_;
    GWorldPtr background_ = nullptr;
    GWorldPtr composite_ = nullptr;
    GWorldPtr marker_ = nullptr;
    GWorldPtr markerMask_ = nullptr;
    GWorldPtr work_ = nullptr;
    ControlUserPaneDrawUPP drawUPP_ = nullptr;
    EventHandlerUPP handlerUPP_ = nullptr;
    EventHandlerRef handlerRef_ = nullptr;
};
