#include "platform/font_catalog.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_BBOX_H
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <strings.h>

#include "platform/gworld.h"

struct platform::FontInstance::Face {
    FT_Face face = nullptr;
    ~Face()
    {
        if (face) FT_Done_Face(face);
    }
};

namespace {

using FacePtr = std::shared_ptr<platform::FontInstance::Face>;

// Style slots of a family: plain, bold, italic, bold italic.
constexpr int kSlots = 4;
int SlotOf(bool bold, bool italic)
{
    return (bold ? 1 : 0) | (italic ? 2 : 0);
}

struct FaceSource {
    std::string file;
    int index = 0;
    // How far the face is from the ideal weight of its slot; lower wins.
    int distance = 0;
    bool present = false;
};

struct Family {
    std::string name;
    std::array<FaceSource, kSlots> faces;
};

class Catalogue {
public:
    static Catalogue& Get()
    {
        static Catalogue instance;
        return instance;
    }

    FT_Library Library() const { return library_; }

    FMFontFamily Find(const std::string& name) const
    {
        for (size_t i = 0; i < families_.size(); ++i)
            if (strcasecmp(families_[i].name.c_str(), name.c_str()) == 0) return FMFontFamily(i + 1);
        return 0;
    }

    size_t Count() const { return families_.size(); }

    const Family* At(FMFontFamily number) const
    {
        if (number < 1 || size_t(number) > families_.size()) return nullptr;
        return &families_[size_t(number) - 1];
    }

    // The family fontconfig substitutes for a generic or missing name.
    FMFontFamily Substitute(const char* generic) const
    {
        FMFontFamily found = 0;
        FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(generic));
        if (!pattern) return 0;
        FcConfigSubstitute(config_, pattern, FcMatchPattern);
        FcDefaultSubstitute(pattern);
        FcResult result;
        if (FcPattern* match = FcFontMatch(config_, pattern, &result)) {
            FcChar8* family = nullptr;
            if (FcPatternGetString(match, FC_FAMILY, 0, &family) == FcResultMatch && family)
                found = Find(reinterpret_cast<const char*>(family));
            FcPatternDestroy(match);
        }
        FcPatternDestroy(pattern);
        return found;
    }

    FMFontFamily System()
    {
        if (system_ == 0) {
            system_ = Substitute("sans-serif");
            if (system_ == 0 && !families_.empty()) system_ = 1;
        }
        return system_;
    }

    FMFontFamily AddFile(const std::string& path)
    {
        FMFontFamily family = 0;
        int count = 0;
        FcBlanks* blanks = nullptr;
        for (int index = 0; index < std::max(count, 1); ++index) {
            FcPattern* pattern =
                FcFreeTypeQuery(reinterpret_cast<const FcChar8*>(path.c_str()), unsigned(index), blanks, &count);
            if (!pattern) break;
            // A file registered by hand wins over what the system lists;
            // bitmap fonts have no outlines to give.
            FcBool scalable = FcFalse;
            FcPatternGetBool(pattern, FC_SCALABLE, 0, &scalable);
            const FMFontFamily added = scalable ? AddPattern(pattern, true) : 0;
            if (family == 0) family = added;
            FcPatternDestroy(pattern);
        }
        return family;
    }

    FacePtr Open(const FaceSource& source)
    {
        const std::string key = source.file + "#" + std::to_string(source.index);
        auto it = opened_.find(key);
        if (it != opened_.end()) return it->second;
        FacePtr face;
        FT_Face ft = nullptr;
        if (library_ && FT_New_Face(library_, source.file.c_str(), source.index, &ft) == 0) {
            if (FT_IS_SCALABLE(ft)) {
                face = std::make_shared<platform::FontInstance::Face>();
                face->face = ft;
            } else {
                FT_Done_Face(ft);
            }
        }
        opened_[key] = face;
        return face;
    }

private:
    Catalogue()
    {
        if (FT_Init_FreeType(&library_) != 0) library_ = nullptr;
        config_ = FcInitLoadConfigAndFonts();
        if (!config_) return;
        FcPattern* pattern = FcPatternBuild(nullptr, FC_SCALABLE, FcTypeBool, FcTrue, static_cast<char*>(nullptr));
        FcObjectSet* objects =
            FcObjectSetBuild(FC_FAMILY, FC_WEIGHT, FC_SLANT, FC_WIDTH, FC_FILE, FC_INDEX, static_cast<char*>(nullptr));
        FcFontSet* set = pattern && objects ? FcFontList(config_, pattern, objects) : nullptr;
        if (set) {
            // Sorted by family name so that numbers do not depend on the
            // order fontconfig happens to list files in.
            std::vector<FcPattern*> fonts(set->fonts, set->fonts + set->nfont);
            std::stable_sort(fonts.begin(), fonts.end(), [](FcPattern* a, FcPattern* b) {
                return strcasecmp(FamilyOf(a).c_str(), FamilyOf(b).c_str()) < 0;
            });
            for (FcPattern* font : fonts) AddPattern(font, false);
            FcFontSetDestroy(set);
        }
        if (objects) FcObjectSetDestroy(objects);
        if (pattern) FcPatternDestroy(pattern);
    }

    ~Catalogue()
    {
        opened_.clear();
        if (library_) FT_Done_FreeType(library_);
        if (config_) FcConfigDestroy(config_);
    }

    static std::string FamilyOf(FcPattern* pattern)
    {
        FcChar8* name = nullptr;
        if (FcPatternGetString(pattern, FC_FAMILY, 0, &name) != FcResultMatch || !name) return {};
        return reinterpret_cast<const char*>(name);
    }

    // Variable fonts give some values as real numbers (or ranges: the default).
    static int NumberOf(FcPattern* pattern, const char* object, int fallback)
    {
        int whole = 0;
        if (FcPatternGetInteger(pattern, object, 0, &whole) == FcResultMatch) return whole;
        double real = 0;
        if (FcPatternGetDouble(pattern, object, 0, &real) == FcResultMatch) return int(std::lround(real));
        return fallback;
    }

    FMFontFamily AddPattern(FcPattern* pattern, bool replace)
    {
        const std::string name = FamilyOf(pattern);
        FcChar8* file = nullptr;
        if (name.empty() || FcPatternGetString(pattern, FC_FILE, 0, &file) != FcResultMatch || !file) return 0;
        int index = 0;
        FcPatternGetInteger(pattern, FC_INDEX, 0, &index);
        const int weight = NumberOf(pattern, FC_WEIGHT, FC_WEIGHT_REGULAR);
        const int slant = NumberOf(pattern, FC_SLANT, FC_SLANT_ROMAN);
        const int width = NumberOf(pattern, FC_WIDTH, FC_WIDTH_NORMAL);
        // Condensed, expanded, light and black faces have no QuickDraw style.
        if (width != FC_WIDTH_NORMAL) return 0;
        bool bold;
        if (weight >= FC_WEIGHT_LIGHT && weight <= FC_WEIGHT_MEDIUM)
            bold = false;
        else if (weight >= FC_WEIGHT_DEMIBOLD && weight <= FC_WEIGHT_EXTRABOLD)
            bold = true;
        else
            return 0;
        const int slot = SlotOf(bold, slant != FC_SLANT_ROMAN);
        const int distance = std::abs(weight - (bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR));

        FMFontFamily number = Find(name);
        if (number == 0) {
            if (families_.size() >= 32767) return 0;
            families_.push_back(Family{name, {}});
            number = FMFontFamily(families_.size());
        }
        FaceSource& source = families_[size_t(number) - 1].faces[size_t(slot)];
        if (!source.present || replace || distance < source.distance)
            source = FaceSource{reinterpret_cast<const char*>(file), index, distance, true};
        return number;
    }

    FT_Library library_ = nullptr;
    FcConfig* config_ = nullptr;
    std::vector<Family> families_;
    std::map<std::string, FacePtr> opened_;
    FMFontFamily system_ = 0;
};

Fixed ToFixed(double value)
{
    const double scaled = std::round(value * kFixedOne);
    return Fixed(std::clamp(scaled, -2147483648.0, 2147483647.0));
}

struct DecomposeState {
    GlyphPathSink* sink;
    double scale;
    GlyphPathSink::Point2 current;
    bool open = false;

    GlyphPathSink::Point2 Map(const FT_Vector* v) const
    {
        return {float(double(v->x) * scale), float(double(v->y) * scale)};
    }
};

DecomposeState& StateOf(void* user)
{
    return *static_cast<DecomposeState*>(user);
}

int MoveTo(const FT_Vector* to, void* user)
{
    DecomposeState& s = StateOf(user);
    if (s.open) s.sink->ClosePath();
    s.sink->NewPath();
    s.open = true;
    s.current = s.Map(to);
    return 0;
}

int LineTo(const FT_Vector* to, void* user)
{
    DecomposeState& s = StateOf(user);
    const GlyphPathSink::Point2 end = s.Map(to);
    s.sink->Line(s.current, end);
    s.current = end;
    return 0;
}

int ConicTo(const FT_Vector* control, const FT_Vector* to, void* user)
{
    DecomposeState& s = StateOf(user);
    const GlyphPathSink::Point2 end = s.Map(to);
    s.sink->Curve(s.current, s.Map(control), end);
    s.current = end;
    return 0;
}

int CubicTo(const FT_Vector* c1, const FT_Vector* c2, const FT_Vector* to, void* user)
{
    DecomposeState& s = StateOf(user);
    const GlyphPathSink::Point2 end = s.Map(to);
    platform::CubicToQuadratics(s.current, s.Map(c1), s.Map(c2), end, *s.sink);
    s.current = end;
    return 0;
}

}  // namespace

FMFontFamily GetSysFont()
{
    return Catalogue::Get().System();
}

FMFontFamily GetFNum(const std::string& name)
{
    return name.empty() ? 0 : Catalogue::Get().Find(name);
}

FMFontFamily FMGetFontFamilyFromName(const std::string& name)
{
    if (const FMFontFamily found = GetFNum(name)) return found;
    static const struct {
        const char* name;
        const char* generic;
    } kClassic[] = {{"Geneva", "sans-serif"},
                    {"Helvetica", "sans-serif"},
                    {"Times", "serif"},
                    {"Monaco", "monospace"},
                    {"Courier", "monospace"}};
    for (const auto& c : kClassic)
        if (strcasecmp(c.name, name.c_str()) == 0) return Catalogue::Get().Substitute(c.generic);
    return 0;
}

bool FMGetFontFamilyName(FMFontFamily family, std::string& name)
{
    const Family* f = Catalogue::Get().At(family);
    if (!f) return false;
    name = f->name;
    return true;
}

namespace platform {

std::vector<FamilyFaces> ListFamilies()
{
    Catalogue& catalogue = Catalogue::Get();
    std::vector<FamilyFaces> out;
    for (size_t i = 1; i <= catalogue.Count(); ++i) {
        const Family* f = catalogue.At(FMFontFamily(i));
        FamilyFaces entry{FMFontFamily(i), f->name, {}};
        for (int slot = 0; slot < kSlots; ++slot)
            if (f->faces[size_t(slot)].present) entry.styles.push_back(uint16_t(slot));
        if (!entry.styles.empty()) out.push_back(std::move(entry));
    }
    std::stable_sort(out.begin(), out.end(), [](const FamilyFaces& a, const FamilyFaces& b) {
        return strcasecmp(a.name.c_str(), b.name.c_str()) < 0;
    });
    return out;
}

bool FamilyHasFace(FMFontFamily family, uint16_t style)
{
    const Family* f = Catalogue::Get().At(family);
    if (!f) return false;
    return f->faces[size_t(SlotOf(style & qd_style::kBold, style & qd_style::kItalic))].present;
}

FMFontFamily RegisterFontFile(const std::string& path)
{
    return Catalogue::Get().AddFile(path);
}

void CubicToQuadratics(GlyphPathSink::Point2 p0, GlyphPathSink::Point2 c1, GlyphPathSink::Point2 c2,
                       GlyphPathSink::Point2 p3, GlyphPathSink& sink)
{
    using P = GlyphPathSink::Point2;
    // The error of one quadratic for the whole cubic; n pieces divide it by n³.
    const double ex = double(p3.x) - 3.0 * c2.x + 3.0 * c1.x - p0.x;
    const double ey = double(p3.y) - 3.0 * c2.y + 3.0 * c1.y - p0.y;
    const double error = std::sqrt(ex * ex + ey * ey) * std::sqrt(3.0) / 36.0;
    const int pieces = std::clamp(int(std::ceil(std::cbrt(error / 0.25))), 1, 64);
    auto point = [&](double t) {
        const double u = 1 - t;
        return P{float(u * u * u * p0.x + 3 * u * u * t * c1.x + 3 * u * t * t * c2.x + t * t * t * p3.x),
                 float(u * u * u * p0.y + 3 * u * u * t * c1.y + 3 * u * t * t * c2.y + t * t * t * p3.y)};
    };
    auto derivative = [&](double t) {
        const double u = 1 - t;
        return P{float(3 * u * u * (c1.x - p0.x) + 6 * u * t * (c2.x - c1.x) + 3 * t * t * (p3.x - c2.x)),
                 float(3 * u * u * (c1.y - p0.y) + 6 * u * t * (c2.y - c1.y) + 3 * t * t * (p3.y - c2.y))};
    };
    P start = p0;
    for (int i = 0; i < pieces; ++i) {
        // The piece as a cubic of its own, then the quadratic through its ends
        // whose control point balances the cubic's two.
        const double t0 = double(i) / pieces, t1 = double(i + 1) / pieces, h = (t1 - t0) / 3;
        const P end = i + 1 == pieces ? p3 : point(t1);
        const P d0 = derivative(t0), d1 = derivative(t1);
        const P q1{float(start.x + h * d0.x), float(start.y + h * d0.y)};
        const P q2{float(end.x - h * d1.x), float(end.y - h * d1.y)};
        const P control{float((3.0 * (q1.x + q2.x) - start.x - end.x) / 4),
                        float((3.0 * (q1.y + q2.y) - start.y - end.y) / 4)};
        sink.Curve(start, control, end);
        start = end;
    }
}

FontInstance::FontInstance(FMFontFamily family, Fixed size, std::shared_ptr<Face> face, bool boldToMake,
                           bool italicToMake)
    : family_(family), size_(size), face_(std::move(face)), makeBold_(boldToMake), makeItalic_(italicToMake)
{
}

FontInstance::~FontInstance() = default;

std::unique_ptr<FontInstance> FontInstance::Create(FMFontFamily family, uint16_t style, Fixed size)
{
    Catalogue& catalogue = Catalogue::Get();
    const Family* f = catalogue.At(family);
    if (!f) {
        family = catalogue.System();
        f = catalogue.At(family);
    }
    if (!f) return nullptr;
    const bool bold = style & qd_style::kBold, italic = style & qd_style::kItalic;
    // The nearest face, with what it lacks made by hand.
    const int wanted = SlotOf(bold, italic);
    const int order[kSlots] = {wanted, wanted & ~1, wanted & ~2, 0};
    for (int slot : order) {
        if (!f->faces[size_t(slot)].present) continue;
        FacePtr face = catalogue.Open(f->faces[size_t(slot)]);
        if (!face) continue;
        return std::unique_ptr<FontInstance>(
            new FontInstance(family, size, std::move(face), bold && !(slot & 1), italic && !(slot & 2)));
    }
    for (const FaceSource& source : f->faces) {
        if (!source.present) continue;
        if (FacePtr face = catalogue.Open(source))
            return std::unique_ptr<FontInstance>(new FontInstance(family, size, std::move(face), bold, italic));
    }
    return nullptr;
}

double FontInstance::Scale() const
{
    const FT_Face face = face_->face;
    return face->units_per_EM ? double(size_) / kFixedOne / face->units_per_EM : 0.0;
}

bool FontInstance::LoadOutline(UniChar16 character, float& advanceUnits) const
{
    const FT_Face face = face_->face;
    const FT_UInt glyph = FT_Get_Char_Index(face, character);
    if (glyph == 0) return false;
    if (FT_Load_Glyph(face, glyph, FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) != 0) return false;
    if (face->glyph->format != FT_GLYPH_FORMAT_OUTLINE) return false;
    advanceUnits = float(face->glyph->metrics.horiAdvance);
    FT_Outline& outline = face->glyph->outline;
    if (makeBold_) {
        // FreeType's own synthetic bold: a 24th of the em, added to the advance.
        const FT_Pos strength = face->units_per_EM / 24;
        FT_Outline_EmboldenXY(&outline, strength, strength);
        advanceUnits += float(strength);
    }
    if (makeItalic_) {
        FT_Matrix shear{0x10000, 0x0366A, 0, 0x10000};
        FT_Outline_Transform(&outline, &shear);
    }
    return true;
}

FMetricRec FontInstance::GetFontMetrics() const
{
    const FT_Face face = face_->face;
    const double scale = Scale();
    double ascent = face->ascender, descent = -face->descender, gap = face->height - (ascent + descent);
    if (auto* hhea = static_cast<TT_HoriHeader*>(FT_Get_Sfnt_Table(face, FT_SFNT_HHEA))) {
        ascent = hhea->Ascender;
        descent = -hhea->Descender;
        gap = hhea->Line_Gap;
    }
    double widest = face->max_advance_width;
    if (makeBold_) widest += face->units_per_EM / 24;
    return FMetricRec{ToFixed(ascent * scale), ToFixed(descent * scale), ToFixed(gap * scale), ToFixed(widest * scale)};
}

bool FontInstance::GetGlyphMetrics(UniChar16 character, GlyphOutlineMetrics& out) const
{
    float advance = 0;
    if (!LoadOutline(character, advance)) return false;
    const double scale = Scale();
    FT_BBox box{0, 0, 0, 0};
    if (face_->face->glyph->outline.n_points > 0) FT_Outline_Get_BBox(&face_->face->glyph->outline, &box);
    out.advance = ToFixed(advance * scale);
    out.leftSideBearing = ToFixed(double(box.xMin) * scale);
    auto clamp16 = [](double v) { return int16_t(std::clamp(v, -32768.0, 32767.0)); };
    out.bounds.left = clamp16(std::floor(double(box.xMin) * scale));
    out.bounds.right = clamp16(std::ceil(double(box.xMax) * scale));
    out.bounds.top = clamp16(-std::ceil(double(box.yMax) * scale));
    out.bounds.bottom = clamp16(-std::floor(double(box.yMin) * scale));
    return true;
}

bool FontInstance::GetIdealAdvance(UniChar16 character, float& advance) const
{
    float units = 0;
    if (!LoadOutline(character, units)) return false;
    advance = float(double(units) * Scale());
    return true;
}

bool FontInstance::GetQuadraticPaths(UniChar16 character, GlyphPathSink& sink) const
{
    float advance = 0;
    if (!LoadOutline(character, advance)) return false;
    DecomposeState state{&sink, Scale(), {}, false};
    const FT_Outline_Funcs funcs{MoveTo, LineTo, ConicTo, CubicTo, 0, 0};
    const FT_Error error = FT_Outline_Decompose(&face_->face->glyph->outline, &funcs, &state);
    if (state.open) sink.ClosePath();
    return error == 0;
}

bool FontInstance::RenderGlyph(UniChar16 character, GlyphBitmap& out) const
{
    const FT_Face face = face_->face;
    const FT_UInt glyph = FT_Get_Char_Index(face, character);
    if (glyph == 0) return false;
    if (FT_Set_Char_Size(face, 0, FT_F26Dot6(size_ >> 10), 72, 72) != 0) return false;
    if (FT_Load_Glyph(face, glyph, FT_LOAD_NO_BITMAP) != 0) return false;
    if (makeBold_) FT_GlyphSlot_Embolden(face->glyph);
    if (makeItalic_) FT_GlyphSlot_Oblique(face->glyph);
    if (FT_Render_Glyph(face->glyph, FT_RENDER_MODE_NORMAL) != 0) return false;
    const FT_Bitmap& bitmap = face->glyph->bitmap;
    out.width = int(bitmap.width);
    out.rows = int(bitmap.rows);
    out.left = face->glyph->bitmap_left;
    out.top = face->glyph->bitmap_top;
    out.advance = int(face->glyph->advance.x >> 6);
    out.coverage.assign(size_t(out.width) * size_t(out.rows), 0);
    if (bitmap.pixel_mode != FT_PIXEL_MODE_GRAY) return true;
    for (int row = 0; row < out.rows; ++row)
        for (int col = 0; col < out.width; ++col)
            out.coverage[size_t(row) * size_t(out.width) + size_t(col)] = bitmap.buffer[row * bitmap.pitch + col];
    return true;
}

}  // namespace platform

namespace {

std::unique_ptr<platform::FontInstance> CurrentPortFont()
{
    GWorldPtr port = GetGWorld();
    if (!port) return nullptr;
    // Size 0 is the toolbox's default size.
    const int size = port->TextSizePoints() > 0 ? port->TextSizePoints() : 12;
    return platform::FontInstance::Create(FMFontFamily(port->TextFontId()), port->TextFaceStyle(), Long2Fix(size));
}

}  // namespace

void FontMetrics(FMetricRec* metrics)
{
    if (!metrics) return;
    *metrics = FMetricRec{};
    if (auto font = CurrentPortFont()) *metrics = font->GetFontMetrics();
}

bool OutlineMetrics(UniChar16 character, GlyphOutlineMetrics* metrics)
{
    if (!metrics) return false;
    auto font = CurrentPortFont();
    if (!font || font->GetSize() <= 0) return false;
    return font->GetGlyphMetrics(character, *metrics);
}
