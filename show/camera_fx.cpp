#include "show/camera_fx.h"

#include <cmath>
#include <cstdio>

#include "show/caption.h"
#include "show/slide.h"
#include "swf/display_tags.h"
#include "swf/movie.h"

int32_t ClampToSwfMatrix(double value)
{
    if (std::isnan(value)) return 0;
    if (value > kSwfMatrixMax) return kSwfMatrixMax;
    if (value < -kSwfMatrixMax) return -kSwfMatrixMax;
    return static_cast<int32_t>(value);
}

int CCameraFx::DurationFrames(float fps) const
{
    double frames = static_cast<double>(fps) * (duration_ / 1000.0) + 0.5;
    return frames >= 1.0 && frames < 2147483647.0 ? static_cast<int>(frames) : 0;
}

std::string CCameraFx::FormatTime() const
{
    return FormatTimeText(duration_);
}

bool CCameraFx::BuildSwf(CSlide&, CSwfMovie& movie) const
{
    int n = DurationFrames(movie.GetFrameRate());
    for (int i = 0; i < n; ++i) movie.AddTag(new CTagShowFrame);
    return true;
}

bool CCameraFx::ReadXml(const CXMLNode& element, const CReadContext* context)
{
    CElementReader(element, context).NumberIn("duration", &duration_);
    return true;
}

bool CCameraFx::WriteXml(CXMLOutputFile& out) const
{
    out.Write("<camera_fx");
    CAttrWriter(out).Raw("name", "none").UInt("duration", duration_);
    out.Write(" />\n");
    return true;
}

std::string CPanZoomFx::Describe() const
{
    char text[64];
    int px = pan_x_ / 20, py = pan_y_ / 20;
    int percent = ClampToSwfMatrix(zoom_ * 100);
    bool pan = pan_x_ != 0 || pan_y_ != 0;
    if (pan && zoom_ != 1.0)
        std::snprintf(text, sizeof text, "Pan (%d, %d); Zoom (%d)", px, py, percent);
    else if (pan)
        std::snprintf(text, sizeof text, "Pan (%d, %d)", px, py);
    else if (zoom_ != 1.0)
        std::snprintf(text, sizeof text, "Zoom (%d)", percent);
    else
        std::snprintf(text, sizeof text, "None");
    return text;
}

bool CPanZoomFx::BuildSwf(CSlide& slide, CSwfMovie& movie) const
{
    CSlide::CameraPlacement& p = slide.GetCameraPlacement();
    int n = DurationFrames(movie.GetFrameRate());
    if (n < 1) return true;
    double x = p.scaleX / 65536.0, y = p.scaleY / 65536.0;
    const double dz = (zoom_ - x) / n;
    // Each frame's centre stands at its share of the whole pan from where the
    // move began, so the move ends where its values say however slow it is.
    // Kept wide: a position and a pan can pass what 32 bits hold.
    const int64_t fromX = p.centerX, fromY = p.centerY;
    int64_t cx = fromX, cy = fromY;
    for (int i = 0; i < n; ++i) {
        x += dz;
        y += dz;
        cx = fromX + int64_t(pan_x_) * (i + 1) / n;
        cy = fromY + int64_t(pan_y_) * (i + 1) / n;
        auto* place = new CTagPlaceObject2;
        place->move = true;
        place->depth = slide.GetDepth();
        auto* m = new CSwfMatrix;
        m->hasScale = true;
        m->scaleX = ClampToSwfMatrix(x * 65536 + 0.5);
        m->scaleY = ClampToSwfMatrix(y * 65536 + 0.5);
        m->translateX = ClampToSwfMatrix(double(cx));
        m->translateY = ClampToSwfMatrix(double(cy));
        place->SetMatrix(m);
        movie.AddTag(place);
        movie.AddTag(new CTagShowFrame);
    }
    p.centerX = ClampToSwfMatrix(double(cx));
    p.centerY = ClampToSwfMatrix(double(cy));
    p.scaleX = ClampToSwfMatrix(x * 65536 + 0.5);
    p.scaleY = ClampToSwfMatrix(y * 65536 + 0.5);
    return true;
}

bool CPanZoomFx::ReadXml(const CXMLNode& element, const CReadContext* context)
{
    // A value its field cannot hold is refused and leaves the field as it
    // was; a fresh effect's 0 ms, no pan and zoom 1.0.
    CElementReader r(element, context);
    r.NumberIn("duration", &duration_);
    r.NumberIn("pan_x", &pan_x_);
    r.NumberIn("pan_y", &pan_y_);
    double zoom;
    if (r.Double("zoom", &zoom)) {
        if (std::isfinite(zoom))
            zoom_ = zoom;
        else
            r.Refused("zoom", ("not a finite number: " + CElementReader::NumberText(zoom_) + " kept").c_str());
    }
    return true;
}

bool CPanZoomFx::WriteXml(CXMLOutputFile& out) const
{
    out.Write("<camera_fx");
    CAttrWriter(out)
        .Raw("name", "pan_zoom")
        .UInt("duration", duration_)
        .Int("pan_x", pan_x_)
        .Int("pan_y", pan_y_)
        .Double("zoom", zoom_);
    out.Write(" />\n");
    return true;
}
