#include "transitions/motion_steps.h"

#include <cmath>
#include <limits>

#include "show/camera_fx.h"
#include "swf/display_tags.h"
#include "swf/movie.h"
#include "swf/records.h"

namespace motion {

int32_t Fixed(double v)
{
    return ClampToSwfMatrix(v * 65536.0 + 0.5);
}

int32_t Saturated(double v)
{
    if (!(v > double(INT32_MIN))) return INT32_MIN;
    return v >= double(INT32_MAX) ? INT32_MAX : int32_t(v);
}

CSwfMatrix* ScaleMatrix(double s, double t, int32_t x, int32_t y)
{
    auto* m = new CSwfMatrix;
    m->SetIdentity();
    m->scaleX = Fixed(s);
    m->scaleY = Fixed(t);
    m->translateX = x;
    m->translateY = y;
    return m;
}

CSwfCxformWithAlpha* Alpha(double a)
{
    auto* cxform = new CSwfCxformWithAlpha;
    cxform->SetAlpha(a);
    return cxform;
}

CSwfCxformWithAlpha* Opacity(int alpha)
{
    auto* cxform = new CSwfCxformWithAlpha;
    cxform->SetMult(256, 256, 256, alpha);
    return cxform;
}

void Remove(CSwfMovie* movie, uint16_t depth)
{
    movie->AddTag(new CTagRemoveObject2(depth));
}

int64_t Along(int64_t travel, int64_t i, int64_t n)
{
    if (n <= 0) return travel;
    return static_cast<int64_t>(static_cast<__int128>(travel) * i / n);
}

int Frames(const CTransition& t, const CSwfMovie* movie)
{
    const unsigned n = t.DurationFrames(movie->GetFrameRate());
    return static_cast<int>(std::min<unsigned>(n, std::numeric_limits<int>::max()));
}

int32_t Twips(long pixels)
{
    return ClampToSwfMatrix(double(pixels) * 20.0);
}

int32_t Offset(int64_t position, int64_t delta)
{
    return ClampToSwfMatrix(double(position + delta));
}

double Finite(double v)
{
    return std::isfinite(v) ? v : 0.0;
}

float Single(double v)
{
    if (std::isnan(v)) return 0.0f;
    const double most = std::numeric_limits<float>::max();
    return static_cast<float>(std::clamp(v, -most, most));
}

}  // namespace motion
