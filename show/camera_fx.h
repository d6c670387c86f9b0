#pragma once
// Camera effects: timed pans and zooms over an image slide, each starting
// where the one before it ended.
#include <memory>
#include <string>

#include "show/xml_io.h"

class CSlide;
class CSwfMovie;

// What SWF matrix fields hold (signed, at most 31 bits); wider values are
// clamped to it rather than wrapped.
constexpr int32_t kSwfMatrixMax = (1 << 30) - 1;
int32_t ClampToSwfMatrix(double value);

class CCameraFx {
public:
    explicit CCameraFx(uint32_t duration = 0) : duration_(duration) {}
    virtual ~CCameraFx() = default;

    // The effect's label for lists; empty for the base.
    virtual std::string Describe() const { return std::string(); }
    virtual std::unique_ptr<CCameraFx> Clone() const { return std::make_unique<CCameraFx>(*this); }
    // A still picture for the duration.
    virtual bool BuildSwf(CSlide& slide, CSwfMovie& movie) const;
    virtual bool ReadXml(const CXMLNode& element, const CReadContext* context = nullptr);
    virtual bool WriteXml(CXMLOutputFile& out) const;

    uint32_t GetDuration() const { return duration_; }
    void SetDuration(uint32_t ms) { duration_ = ms; }
    // fps × duration / 1000 + 0.5, truncated.
    int DurationFrames(float fps) const;
    std::string FormatTime() const;

protected:
    uint32_t duration_;
};

class CPanZoomFx : public CCameraFx {
public:
    CPanZoomFx(int panX = 0, int panY = 0, double zoom = 1.0, uint32_t duration = 0)
        : CCameraFx(duration), zoom_(zoom), pan_x_(panX), pan_y_(panY)
    {
    }

    std::string Describe() const override;
    std::unique_ptr<CCameraFx> Clone() const override { return std::make_unique<CPanZoomFx>(*this); }
    bool BuildSwf(CSlide& slide, CSwfMovie& movie) const override;
    bool ReadXml(const CXMLNode& element, const CReadContext* context = nullptr) override;
    bool WriteXml(CXMLOutputFile& out) const override;

    double GetZoom() const { return zoom_; }
    int GetPanX() const { return pan_x_; }
    int GetPanY() const { return pan_y_; }
    void SetZoom(double z) { zoom_ = z; }
    void SetPanX(int v) { pan_x_ = v; }
    void SetPanY(int v) { pan_y_ = v; }

private:
    double zoom_;
    int pan_x_;
    int pan_y_;
};
