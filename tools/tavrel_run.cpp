#include "tools/tavrel_run.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "fonts/text_renderer.h"
#include "foundation/code_bundle.h"
#include "foundation/sibling_bundle.h"
#include "foundation/system_utils.h"
#include "media/image.h"
#include "media/jpeg_sections.h"
#include "media/mp3_encoder.h"
#include "media/picture_file.h"
#include "media/qt_movie.h"
#include "platform/bundle.h"
#include "platform/cfstring.h"
#include "platform/files.h"
#include "platform/regular_file.h"
#include "show/preloader.h"
#include "swf/display_tags.h"
#include "swf/reader_primitives.h"
#include "swf/template_import.h"
#include "show/project_file.h"
#include "tools/atomic_output.h"
#include "tools/cancel_signal.h"
#include "tools/console_progress.h"
#include "tools/console_report.h"
#include "tools/export_command.h"

namespace {

// Movies past this many frames play badly; the editor warns about them too.
constexpr uint64_t kFrameWarningLimit = 16000;
// A SWF movie counts its frames in 16 bits: the export refuses a show past it.
constexpr uint64_t kMostMovieFrames = 65535;

// Paths as the user typed them are relative to the working folder; the
// library takes relative paths from the bundle, so they are made absolute.
std::string Absolute(const std::string& path)
{
    std::error_code ec;
    auto abs = std::filesystem::absolute(path, ec);
    return ec ? path : abs.lexically_normal().string();
}

bool SameFile(const std::string& a, const std::string& b)
{
    std::error_code ec;
    if (std::filesystem::equivalent(a, b, ec)) return true;
    return std::filesystem::weakly_canonical(a, ec) == std::filesystem::weakly_canonical(b, ec) && !ec;
}

// Why path is no folder to look in: "" when it is one.
std::string NotAFolder(const std::string& path)
{
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return errno == ENOENT ? "no such folder" : std::strerror(errno);
    return S_ISDIR(st.st_mode) ? "" : "not a folder";
}

// Frame count of a written movie, from its header (inflated when compressed).
bool ReadFrameCount(const std::string& path, unsigned* frames)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    unsigned char head[8], body[64];
    const size_t got = std::fread(head, 1, sizeof head, file);
    size_t have = 0;
    if (got == 8 && head[1] == 'W' && head[2] == 'S') {
        if (head[0] == 'F') {
            have = std::fread(body, 1, sizeof body, file);
        } else if (head[0] == 'C') {
            unsigned char packed[4096];
            const size_t n = std::fread(packed, 1, sizeof packed, file);
            z_stream z{};
            if (inflateInit(&z) == Z_OK) {
                z.next_in = packed;
                z.avail_in = unsigned(n);
                z.next_out = body;
                z.avail_out = sizeof body;
                inflate(&z, Z_SYNC_FLUSH);
                have = sizeof body - z.avail_out;
                inflateEnd(&z);
            }
        }
    }
    std::fclose(file);
    if (have == 0) return false;
    // RECT: 5 bits of field width, then four fields; rate (2 bytes), count (2).
    const unsigned bits = body[0] >> 3;
    const size_t at = (5 + 4 * bits + 7) / 8 + 2;
    if (at + 2 > have) return false;
    *frames = body[at] | (body[at + 1] << 8);
    return true;
}

// "1 frame", "4 frames".
std::string Counted(long long n, const std::string& thing)
{
    return std::to_string(n) + " " + thing + (n == 1 ? "" : "s");
}

std::string PictureTrouble(const CPath& path, int* width = nullptr, int* height = nullptr);
std::string SlidePictureTrouble(const CPath& path);

class Runner {
public:
    Runner(const CliOptions& options, std::FILE* out, std::FILE* err)
        : o_(options), out_(out), err_(err), report_(options.project, err, !options.quiet)
    {
    }

    int Run()
    {
        const int code = Steps();
        report_.SayUnshown();
        return code;
    }

private:
    int Steps();
    int Fail(int code, const std::string& message)
    {
        report_.SayUnshown();
        std::fprintf(err_, "tavrel: %s\n", message.c_str());
        return code;
    }
    int Read();
    void LoadSkins(const std::string& resources);
    void CheckMedia();
    void CheckFonts();
    void CheckStart(bool controlsMade);
    void CheckJumps();
    void FindSiblingBundles();
    bool StrictStop() const { return o_.strict && report_.GetCount() > 0; }
    int StrictFailure()
    {
        // Once the project was written back only the movie is not; a run
        // that exports nothing writes nothing at all.
        const bool exporting = !o_.output.empty() && (o_.resave.empty() || projectWritten_);
        return Fail(kExitStrictWarning, Counted(report_.GetCount(), "warning") + " under --strict; nothing " +
                                            (exporting ? "exported" : "written"));
    }
    int Export(const std::string& output);
    // Where the line saying what was written goes: not into the file itself
    // when that is standard output.
    std::FILE* SummaryStream(const std::string& written) const
    {
        return platform::IsStandardOutput(written) ? err_ : out_;
    }

    // A slide whose picture the movie goes without, and why.
    void WarnSlideLeftOut(int n)
    {
        const CSlide* slide = show_.GetSlide(n - 1);
        saidLeftOut_.push_back(n);
        // The reader said a missing picture where it stands.
        if (!slide || slide->IsPictureMissing()) return;
        // Drawn at its stored size, a side of 0 leaves nothing to draw: the
        // picture is not to blame.
        if (!slide->GetScaleToFit() && (slide->GetWidth() == 0 || slide->GetHeight() == 0)) {
            const char* side = slide->GetWidth() == 0 ? "width" : "height";
            report_.Report(slide->GetPlace().Issue("slide", side, slide->GetPlace().Written(side, "0"),
                                                   "the slide's size is empty (scale_to_fit is off): slide left "
                                                   "out of the movie"));
            return;
        }
        const std::string why = SlidePictureTrouble(slide->GetSrc());
        report_.Warn(slide->GetPlace(), "picture \"" + ProjectFileName(slide->GetSrc()) +
                                            "\" cannot be read or encoded" + (why.empty() ? "" : " (" + why + ")") +
                                            ": slide left out of the movie");
    }

    // A file the run replaces keeps its owner and group only where the run
    // may set them: said when it may not, before anything is replaced.
    void WarnOwnerNotKept(const std::string& shown, const std::string& target, const std::string& replacement)
    {
        const std::string words = platform::OwnerNotKept(target, replacement);
        if (!words.empty()) report_.Warn({}, shown + ": " + words);
    }

    void WarnSoundLeftOut(const CFilePlace& place, const CPath& src, const std::string& why)
    {
        report_.Warn(place,
                     "sound \"" + ProjectFileName(src) + "\" cannot be read (" + why + "): the movie goes without it");
    }

    const CliOptions& o_;
    std::FILE* out_;
    std::FILE* err_;
    CConsoleReport report_;
    CEditorSlideShow show_;
    CPublishSettings publish_;
    bool skinFound_[2] = {false, false};  // controls, mute
    std::vector<std::string> unreadSounds_;  // said before the export: not said again
    bool encoderFailed_ = false;             // said once before the export, for every sound
    std::vector<int> saidLeftOut_;           // slides said left out by the plan
    bool projectWritten_ = false;            // the --resave file is in place
    CAtomicOutput resaveTarget_;             // the project written back, until in place
};

int Runner::Read()
{
    const std::string project = Absolute(o_.project);
    const std::string trouble = platform::RegularFileTrouble(project);
    if (!trouble.empty()) return Fail(kExitUnreadable, o_.project + ": " + trouble);
    // The system's reason where the file cannot be read at all.
    std::FILE* file = CPath(project).Fopen("rb");
    if (!file) return Fail(kExitUnreadable, o_.project + ": " + std::strerror(errno));
    std::fclose(file);
    CXMLDocument document;
    if (!document.Load(CPath(project)))
        return Fail(kExitUnreadable, o_.project + ": not an XML file: " + document.GetLastError());

    std::vector<CPath> folders;
    for (const auto& dir : o_.searchFolders) folders.emplace_back(Absolute(dir));
    CFolderRelocator relocator(folders);
    CReadContext context;
    context.report = &report_;
    context.relocator = &relocator;
    context.documentPath = CPath(project);
    context.movieFollows = !o_.output.empty();
    // Nobody is asked, and a project written back keeps what it named.
    context.keepMissing = true;
    // A cancel stops the read at the next slide.
    context.cancelRequested = platform::CancelRequested;
    // As the editor opens a file: a fresh document and publish settings.
    show_.Reset();
    publish_.Clear();
    std::string why;
    if (!ReadProjectFile(document, show_, publish_, &context, &why))
        return Fail(kExitUnreadable, o_.project + ": not a project file (" + why + ")");
    return kExitDone;
}

void Runner::LoadSkins(const std::string& resources)
{
    struct Kind {
        bool on;
        const CControlsSkin& skin;
        const char* folder;
        const char* attribute;
        bool mute;
    };
    const Kind kinds[] = {
        {show_.controls, show_.GetControlsSkin(), "Controls", "control_set", false},
        {show_.mute_control, show_.GetMuteSkin(), "Mute Controls", "mute_control_set", true},
    };
    for (const Kind& k : kinds) {
        // A clip that is off needs no skin.
        if (!k.on) continue;
        const std::string name = k.skin.fileName;
        const CFilePlace place = show_.GetPlace().At(k.attribute);
        if (name.empty()) {
            report_.Warn(place, std::string(k.attribute) + " is empty: the movie has no " +
                                    (k.mute ? "mute control" : "playback controls"));
            continue;
        }
        const std::string file = resources + "/" + k.folder + "/" + name + ".dll";
        skinFound_[k.mute] =
            name.find('/') == std::string::npos && name != "." && name != ".." && LoadShowSkin(show_, k.mute, file);
        if (skinFound_[k.mute]) continue;
        struct stat st;
        const bool there = name.find('/') == std::string::npos && ::stat(file.c_str(), &st) == 0;
        const std::string why = !there                ? "no such skin in " + resources + "/" + k.folder
                                : S_ISREG(st.st_mode) ? file + " is not a movie (SWF)"
                                                      : file + " is " + platform::NotRegularFileReason(st.st_mode);
        report_.Warn(place, std::string(k.attribute) + "=\"" + platform::MacRomanForTerminal(name, false) +
                                "\": " + why + ": the movie has no " + (k.mute ? "mute control" : "playback controls"));
    }
}

// Why a sound file gives the movie no sound: it does not open, holds no
// sound, or its first tenth of a second does not decode. Empty when it does.
std::string SoundTrouble(const CPath& path)
{
    CQTMovie movie;
    if (!movie.OpenFile(path, platform::MediaWanted::kSound)) return movie.GetLastError();
    if (!movie.HasSoundTrack() || movie.GetDuration() <= 0) return platform::kNoSoundWords;
    uint32_t size = 0;
    std::unique_ptr<uint8_t[]> piece;
    if (movie.OpenSoundExporter({}))
        piece.reset(movie.ExportSoundToHandle(0, std::max(movie.GetTimeScale() / 10, 1), &size, nullptr));
    return piece ? "" : "its sound cannot be decoded";
}

// The show's own pictures by the attribute that names them, and what of
// the movie they make.
struct ShowPicture {
    const char* attribute;
    CPath CSlideShow::*path;
    const char* what;
};
constexpr ShowPicture kShowPictures[] = {{"bg_image", &CSlideShow::bg_image, "background image"},
                                         {"bg_frame_pattern", &CSlideShow::bg_frame_pattern, "frame"},
                                         {"bg_frame_custom_pattern", &CSlideShow::bg_frame_custom_pattern, "frame"}};

const ShowPicture& ShowPictureNamed(const char* attribute)
{
    for (const ShowPicture& picture : kShowPictures)
        if (std::strcmp(picture.attribute, attribute) == 0) return picture;
    return kShowPictures[0];
}

// Why a picture or movie file gives the movie no picture: it does not open,
// holds no picture, or its first frame does not draw. Empty when it draws;
// width and height then get its size.
std::string PictureTrouble(const CPath& path, int* width, int* height)
{
    CQTMovie movie;
    if (!movie.OpenFile(path, platform::MediaWanted::kPicture)) return movie.GetLastError();
    if (!movie.HasVideoTrack()) return "it holds no picture";
    if (width && height) movie.GetSize(width, height);
    // A picture's decoder says why it does not draw; a movie's reason is the movie's.
    return movie.DrawsFirstFrame() ? "" : movie.GetLastError();
}

// Why the export leaves a slide's picture out, as its plan judged it: a
// picture file by its structure, anything else by its first frame.
std::string SlidePictureTrouble(const CPath& path)
{
    const PictureProbe probe = ProbePicture(path);
    if (probe.kind != PictureKind::kNone && !probe.readable) return probe.error;
    return PictureTrouble(path);
}

// What a JPEG slide's file holds that the player would not show as it
// stands: "" when it shows. jpeg_external files the player loads itself;
// jpeg_import_data puts the file's own stream in the movie. A JPEG this
// program does not decode either is left out, and said so, by the export.
std::string PlayerJpegTrouble(const CSlide& slide)
{
    const int type = slide.GetImageType();
    if (slide.GetType() != CSlide::kImage || (type != CSlide::kJpegExternal && type != CSlide::kJpegImportData))
        return "";
    // Only the head up to the frame header is read.
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(platform::OpenRegularStream(slide.GetSrc().GetFullPath()),
                                                         std::fclose);
    struct stat st {};
    if (!file || ::fstat(::fileno(file.get()), &st) != 0) return "";
    uint8_t head[32] = {};
    const PictureKind sniffed = SniffPictureKind(head, std::fread(head, 1, sizeof head, file.get()));
    const bool jpeg = sniffed == PictureKind::kJpeg;
    // As the export finds the stream: in a JPEG, or in a file of no kind read here.
    const JpegFrameKind kind = jpeg || sniffed == PictureKind::kNone ? ReadJpegFrameKind(file.get(), uint64_t(st.st_size))
                                                                     : JpegFrameKind{};
    if (jpeg && kind.DecoderRefuses()) return "";
    if (type == CSlide::kJpegExternal && !jpeg) return "jpeg_external: the player loads only JPEG files, and this is none";
    if (!kind.PlayersRefuse()) return "";
    const std::string refused = "the file's JPEG is " + kind.Words() + ", which players do not show";
    if (type == CSlide::kJpegExternal) return "jpeg_external: " + refused;
    return "jpeg_import_data: " + refused + ": encoded again at quality " + std::to_string(slide.GetQuality());
}

// What the export would leave out without a word: sounds, a background
// image or a frame pattern that cannot be read, filters on pictures the
// player loads itself, JPEG files the player would not show as they stand,
// a preloader bar template without its bar.
void Runner::CheckMedia()
{
    // Every sound goes through the one encoder: one that cannot be loaded
    // is said once, for them all, and no sound is blamed for it.
    bool anySound = false;
    auto takesSound = [&](CSoundList& sounds) {
        for (int i = 0; sounds.HasInclude() && i < sounds.GetCount(); ++i)
            anySound = anySound || (sounds.Get(i) && sounds.Get(i)->HasFile());
    };
    takesSound(show_.GetSounds());
    for (int i = 0; i < show_.GetSlideCount(); ++i) takesSound(show_.GetSlide(i)->GetSounds());
    CMp3Encoder encoder;
    if (anySound && !encoder.LoadBundle()) {
        encoderFailed_ = true;
        report_.Warn({}, "the MP3 encoder lame_encU.bundle cannot be loaded (" + encoder.GetLoadFailure() +
                             "): the movie goes without its sounds");
    }
    auto checkSounds = [&](CSoundList& sounds) {
        if (!sounds.HasInclude()) return;
        for (int i = 0; i < sounds.GetCount(); ++i) {
            const CSoundItem* item = sounds.Get(i);
            // A missing file was said by the reader.
            if (!item || !item->HasFile()) continue;
            const std::string why = SoundTrouble(item->GetSrc());
            if (why.empty()) continue;
            unreadSounds_.push_back(item->GetSrc().GetFullPath());
            WarnSoundLeftOut(item->GetPlace(), item->GetSrc(), why);
        }
    };
    checkSounds(show_.GetSounds());
    for (int i = 0; i < show_.GetSlideCount(); ++i) {
        CSlide* slide = show_.GetSlide(i);
        checkSounds(slide->GetSounds());
        const CFilePlace& place = slide->GetPlace();
        const std::string picture = "picture \"" + ProjectFileName(slide->GetSrc()) + "\"";
        // The player loads such a picture itself, as the file stands.
        if (slide->GetType() == CSlide::kImage && !slide->IsPictureMissing() &&
            slide->GetImageType() == CSlide::kJpegExternal && slide->GetFilterCount() > 0)
            report_.Warn(
                place, picture + " is loaded by the player as it stands (jpeg_external): its filters are not applied");
        const std::string jpeg = PlayerJpegTrouble(*slide);
        if (!jpeg.empty()) report_.Warn(place, picture + ": " + jpeg);
    }

    // The show's own pictures: the export goes without them unsaid. Each
    // is drawn at the size stored, or at its own where that is 0.
    auto checkPicture = [&](const char* attribute, bool stored = false, uint32_t width = 0, uint32_t height = 0) {
        const CPath& path = show_.*ShowPictureNamed(attribute).path;
        const std::string tail = std::string(": the movie has no ") + ShowPictureNamed(attribute).what;
        const CFilePlace place = show_.GetPlace().At(attribute);
        // A size past what is drawn is said by the attribute that holds it.
        const std::pair<const char*, uint32_t> sides[] = {{"bg_image_width", width}, {"bg_image_height", height}};
        const bool sized = width && height;
        bool refused = false;
        for (const auto& [name, side] : sides)
            if (sized && side > kMaxDrawnPictureSide) {
                report_.Report(
                    show_.GetPlace().Issue("slide_show", name, show_.GetPlace().Written(name, std::to_string(side)),
                                           "out of range (1 to " + std::to_string(kMaxDrawnPictureSide) + ")" + tail));
                refused = true;
            }
        int naturalWidth = 0, naturalHeight = 0, w = 0, h = 0;
        const std::string why =
            path.IsEmpty() ? "" : PictureTrouble(CPath(path.GetFullPath()), &naturalWidth, &naturalHeight);
        if (!why.empty()) {
            report_.Warn(place, std::string(attribute) + "=\"" + ProjectFileName(path) + "\" cannot be read (" + why +
                                    ")" + tail);
            return;
        }
        if (path.IsEmpty() || sized || refused) return;
        const std::string own = std::to_string(naturalWidth) + " x " + std::to_string(naturalHeight);
        if (!DrawnPictureSize(width, height, naturalWidth, naturalHeight, &w, &h))
            report_.Warn(place, std::string(attribute) + "=\"" + ProjectFileName(path) + "\": its " + own +
                                    " pixels are more than it is drawn at (" + std::to_string(kMaxDrawnPictureSide) +
                                    " a side)" + tail);
        else if (stored) {
            const char* zero = width ? "bg_image_height" : "bg_image_width";
            report_.Report(show_.GetPlace().Issue("slide_show", zero, show_.GetPlace().Written(zero, "0"),
                                                  "drawn at the picture's own size, " + own));
        }
    };
    if (show_.use_bg_image) checkPicture("bg_image", true, show_.bg_image_width, show_.bg_image_height);
    constexpr uint32_t kPatternFrame = 5, kCustomPatternFrame = 6;
    if (show_.bg_frame == kPatternFrame) checkPicture("bg_frame_pattern");
    if (show_.bg_frame == kCustomPatternFrame) checkPicture("bg_frame_custom_pattern");

    const CMovieSettings& settings = show_.GetMovieSettings();
    if (!settings.preload || settings.preload_creator != 0) return;
    ResourceHandle bar;
    if (!LoadMainResource(FourCC(kPreloaderBarResType), kPreloaderBarResId, &bar, nullptr) || !bar)
        return;
    CSwfReader reader;
    const bool found = reader.OpenMemory(bar->data(), bar->size(), true, 0, true) &&
                       FindPlacementByName("PreloadBar", reader.GetTags(nullptr));
    reader.ClearTags(true);
    if (!found)
        report_.Warn(settings.GetPlace().At("preload"),
                     "the preloader bar template ('Prld' 1000) has no PreloadBar: the preloader has no bar");
}

// The fonts the movie's text is drawn in, once the plan has left slides
// out. A font the show names that is not installed is said once a name,
// where it is first asked for, with the font drawn instead; characters a
// caption's font cannot draw keep their room in the movie but show nothing
// there.
void Runner::CheckFonts()
{
    struct Asked {
        CReadIssue issue;  // said when the font is not installed
        std::string name;
    };
    std::vector<Asked> asked;
    // The show's text is Mac Roman; the terminal reads UTF-8.
    auto shown = [](const std::string& text) { return platform::MacRomanForTerminal(text, false); };
    auto drawnInstead = [&](const CFont& font) { return "\"" + shown(font.GetName()) + "\" is drawn instead"; };
    std::vector<const CCaption*> captions;
    auto take = [&](const CCaptionList& list) {
        for (int c = 0; c < list.GetCount(); ++c) {
            const CCaption* caption = list.Get(c);
            // Only the captions this program draws.
            if (!caption || caption->GetType() != CCaption::kTvr || caption->GetFont().GetSize() <= 0 ||
                ExpandFilenameVar(*caption).empty())
                continue;
            captions.push_back(caption);
            asked.push_back({caption->GetPlace()
                                 .At("fnt_name")
                                 .Issue("caption", "", "",
                                        "the font \"" + shown(caption->GetFontName()) +
                                            "\" is not installed: " + drawnInstead(caption->GetFont())),
                             caption->GetFontName()});
        }
    };
    // A slide the movie leaves out draws none of its captions.
    const std::vector<int> out = show_.GetPlannedOutSlides();
    for (int i = 0; i < show_.GetSlideCount(); ++i)
        if (std::find(out.begin(), out.end(), i + 1) == out.end()) take(show_.GetSlide(i)->GetCaptions());
    take(show_.GetCaptions());
    const CMovieSettings& settings = show_.GetMovieSettings();
    if (settings.preload && settings.preload_creator == 0)
        asked.push_back({settings.GetPlace()
                             .At("preload_font_name")
                             .Issue("swf_data", "", "",
                                    "the preloader's font \"" + shown(settings.PreloadFontName()) +
                                        "\" is not installed: " + drawnInstead(settings.preload_font)),
                         settings.PreloadFontName()});
    // The first in the file that asks for a name says it; no name given is
    // the system font.
    std::stable_sort(asked.begin(), asked.end(),
                     [](const Asked& a, const Asked& b) { return a.issue.line < b.issue.line; });
    std::vector<std::string> judged;
    for (const Asked& a : asked) {
        std::string key = a.name;
        for (char& c : key) c = char(std::tolower(static_cast<unsigned char>(c)));
        if (key.empty() || std::find(judged.begin(), judged.end(), key) != judged.end()) continue;
        judged.push_back(key);
        if (CFont::FindFamily(a.name) == 0) report_.Report(a.issue);
    }

    for (const CCaption* caption : captions) {
        CTextRenderer renderer;
        const bool found = renderer.Create(caption->GetFont());
        bool seen[256] = {};
        std::string missing;
        for (unsigned char ch : ExpandFilenameVar(*caption)) {
            if (ch == '\r' || ch == '\n' || seen[ch]) continue;
            seen[ch] = true;
            if (found && renderer.GetGlyphOutline(ch)) continue;
            char name[16];
            std::snprintf(name, sizeof name, "U+%04X", unsigned(FontCharacterUnit(ch)));
            missing += (missing.empty() ? "" : ", ") + std::string(name);
        }
        if (missing.empty()) continue;
        report_.Report(caption->GetPlace().Issue(
            "caption", "txt", shown(caption->GetText()),
            "not in the font \"" + shown(caption->GetFont().GetName()) + "\": " + missing + " left blank"));
    }
}

// A movie that stops on its first frame waits there for its playback
// controls: a click on the movie opens its address, the slides' own clicks
// come later, so without the controls nothing in the movie starts it.
void Runner::CheckStart(bool controlsMade)
{
    constexpr int kStopOnFirstFrame = 2;
    const CMovieSettings& settings = show_.GetMovieSettings();
    if (settings.start_action != kStopOnFirstFrame || controlsMade) return;
    report_.Report(settings.GetPlace().Issue(
        "swf_data", "movie_start_action", settings.GetPlace().Written("movie_start_action", "stop_on_first_frame"),
        "the movie stops before its first slide, and without playback controls nothing in it starts it"));
}

// Clicks that jump to a slide the movie goes without: to one the show lacks
// (the slide then takes no click), or to one the plan leaves out.
void Runner::CheckJumps()
{
    const std::vector<int> out = show_.GetPlannedOutSlides();
    auto leftOut = [&](int n) { return std::find(out.begin(), out.end(), n) != out.end(); };
    const int count = show_.GetSlideCount();
    for (int i = 1; i <= count; ++i) {
        const CSlide* slide = show_.GetSlide(i - 1);
        if (!slide->GetClickEnabled() || slide->GetClickType() != CSlide::kJumpToSlide || leftOut(i)) continue;
        const int to = slide->GetJumpTo();
        const int target = show_.GetJumpTarget(to);
        std::string what;
        if (!target)
            what = "out of range (1 to " + std::to_string(count) + "): the slide takes no click";
        else if (target != to)
            what = "slide " + std::to_string(report_.FileSlideNumber(to)) +
                   " is left out of the movie: the click goes to slide " +
                   std::to_string(report_.FileSlideNumber(target));
        if (what.empty()) continue;
        report_.Report(slide->GetClickPlace().Issue("click_actions", "jump_to",
                                                    slide->GetClickPlace().Written("jump_to", std::to_string(to)), what));
    }
}

// The sibling products' bundles the show calls on, where they are
// installed; one warning for each that is not there or will not load.
void Runner::FindSiblingBundles()
{
    auto usable = [](bool found, const CPath& path, std::string* why) {
        if (!found) {
            *why = path.IsEmpty() ? "not installed" : "not installed (looked for " + path.GetText() + ")";
            return false;
        }
        CBundle bundle;
        if (bundle.Load(path)) return true;
        *why = "cannot be loaded from " + path.GetText() + ": " + bundle.GetLoadError();
        return false;
    };
    std::vector<const CCaption*> captions;
    auto noteCaptions = [&](const CCaptionList& list) {
        for (int c = 0; c < list.GetCount(); ++c)
            if (list.Get(c)->GetType() == CCaption::kLfx) captions.push_back(list.Get(c));
    };
    noteCaptions(show_.GetCaptions());
    for (int i = 0; i < show_.GetSlideCount(); ++i) noteCaptions(show_.GetSlide(i)->GetCaptions());
    std::string why;
    if (!captions.empty()) {
        CPath path;
        const bool found = SiblingBundle::FindTextEffect(path);
        if (usable(found, path, &why)) {
            show_.SetTextEffectBundlePath(path);
        } else {
            // Each caption where it stands: the bundle is said in every line.
            report_.SayUnshown();
            for (const CCaption* caption : captions)
                report_.Report(
                    caption->GetPlace().Issue("caption", "type", caption->GetPlace().Written("type", "lfx"),
                                              "the text-effect bundle lfx.bundle is " + why +
                                                  ": the caption is left out: the movie shows no text for it"));
        }
    }
    const CMovieSettings& settings = show_.GetMovieSettings();
    if (settings.preload && settings.preload_creator != 0) {
        CPath path;
        const bool found = CLockBundle::Locate(path);
        if (usable(found, path, &why))
            show_.SetLockBundlePath(path);
        else
            report_.Warn(settings.GetPlace().At("preload_creator"),
                         "the SWF-protection bundle vtx.bundle is " + why +
                             ": the \"rwp\" preloader is left out: the movie starts without a preloader");
    }
}

int Runner::Export(const std::string& output)
{
    CAtomicOutput target;
    std::string why;
    if (!target.Create(output, &why)) return Fail(kExitExportFailed, o_.output + ": cannot create: " + why);
    if (!target.IsInPlace()) WarnOwnerNotKept(o_.output, target.GetTargetPath(), target.GetTempPath());
    const bool bar = !o_.quiet && ::isatty(::fileno(err_));
    CConsoleProgress progress(err_, bar, CancelFlag());
    ProgressParams params;
    InitProgressParams(&params);
    CProgressInfo info;
    progress.Open(0, &params, &info);
    const bool done = ExportShow(show_, CPath(target.GetTempPath()), &progress, &why);
    progress.End();
    // A cancel that came too late for the export's own checks still counts.
    if (platform::CancelRequested()) {
        target.Discard();
        return Fail(kExitCancelled, "cancelled; " + o_.output + " was not written");
    }
    if (!done) {
        // The reason names the file as the user gave it, not the new one beside it.
        for (size_t at; (at = why.find(target.GetTempPath())) != std::string::npos;)
            why.replace(at, target.GetTempPath().size(), o_.output);
        target.Discard();
        return Fail(kExitExportFailed, "export to " + o_.output + " failed: " + why);
    }
    // What the export passed over beyond the plan: slides whose pictures
    // it could not read, skins without their clip.
    for (int n : show_.GetSkippedSlides())
        if (std::find(saidLeftOut_.begin(), saidLeftOut_.end(), n) == saidLeftOut_.end()) WarnSlideLeftOut(n);
    for (const CSlideShow::PictureWarning& w : show_.GetPictureWarnings()) {
        if (w.attribute) {
            const ShowPicture& picture = ShowPictureNamed(w.attribute);
            report_.Warn(show_.GetPlace().At(w.attribute),
                         std::string(w.attribute) + "=\"" + ProjectFileName(show_.*picture.path) + "\" is damaged (" +
                             w.text + "): the " + picture.what + " shows what could be decoded");
            continue;
        }
        if (std::find(show_.GetSkippedSlides().begin(), show_.GetSkippedSlides().end(), w.slide) !=
            show_.GetSkippedSlides().end())
            continue;
        const CSlide* slide = show_.GetSlide(w.slide - 1);
        if (!slide) continue;
        report_.Warn(slide->GetPlace(),
                     "picture \"" + ProjectFileName(slide->GetSrc()) +
                         (w.unread ? "\" cannot be read (" : "\" is damaged (") + w.text +
                         (w.black ? "): the slide shows black" : "): the slide shows what could be decoded"));
    }
    // Sounds the export found damaged, or could not encode after all.
    for (const CSlideShow::SoundWarning& w : show_.GetSoundWarnings()) {
        if (!w.leftOut)
            report_.Warn(w.place, "sound \"" + ProjectFileName(w.src) + "\" is damaged (" + w.text +
                                      "): the movie keeps what could be decoded");
        else if (!encoderFailed_ &&
                 std::find(unreadSounds_.begin(), unreadSounds_.end(), w.src.GetFullPath()) == unreadSounds_.end())
            WarnSoundLeftOut(w.place, w.src, w.text);
    }
    // A skin that was found but has no clip to copy, said as a skin not found is.
    const struct {
        const CSkinClip& clip;
        const char* attribute;
        const std::string& name;
        const char* without;
    } clips[] = {{show_.GetControlsClip(), "control_set", show_.GetControlsSkin().fileName, "playback controls"},
                 {show_.GetMuteClip(), "mute_control_set", show_.GetMuteSkin().fileName, "mute control"}};
    for (size_t i = 0; i < 2; ++i)
        if (skinFound_[i] && !clips[i].clip.GetError().empty())
            report_.Warn(show_.GetPlace().At(clips[i].attribute),
                         std::string(clips[i].attribute) + "=\"" + platform::MacRomanForTerminal(clips[i].name, false) +
                             "\": " + clips[i].clip.GetError() + ": the movie has no " + clips[i].without);
    // Controls found but not made: said as controls not found are.
    if (skinFound_[0] && !show_.GetControlsClip().GetError().empty()) CheckStart(false);
    if (StrictStop()) {
        target.Discard();
        return StrictFailure();
    }
    const std::string written = target.GetTempPath();
    struct stat st {};
    ::stat(written.c_str(), &st);
    unsigned frames = 0;
    const bool counted = ReadFrameCount(written, &frames);
    std::FILE* said = SummaryStream(output);
    // Once the movie takes its name it stays, and the run says so: a
    // signal meanwhile waits. One written into a FIFO waits on its reader,
    // and a signal still stops that.
    std::optional<CancelHold> hold;
    if (!target.IsInPlace()) hold.emplace();
    if (platform::CancelRequested()) {
        target.Discard();
        return Fail(kExitCancelled, "cancelled; " + o_.output + " was not written");
    }
    if (!target.Commit(&why)) {
        hold.reset();
        const std::string part = target.PartlyWritten() ? " got only part of the movie" : " was not written";
        if (platform::CancelRequested()) return Fail(kExitCancelled, "cancelled; " + o_.output + part);
        if (!target.IsInPlace()) return Fail(kExitExportFailed, o_.output + ": cannot put in place: " + why);
        return Fail(kExitExportFailed,
                    o_.output + ": cannot write: " + why + (target.PartlyWritten() ? "; it" + part : ""));
    }
    EndCancels();
    // Said under --quiet too: a script reads it.
    const int left = int(show_.GetSkippedSlides().size());
    std::fprintf(said, "%s: %s%s, %s, %d skipped\n", o_.output.c_str(), Counted(st.st_size, "byte").c_str(),
                 counted ? (", " + Counted(frames, "frame")).c_str() : "",
                 Counted(show_.GetSlideCount() - left, "slide").c_str(), report_.GetDroppedSlides() + left);
    return kExitDone;
}

int Runner::Steps()
{
    const std::string output = o_.output.empty() ? "" : Absolute(o_.output);
    const std::string resave = o_.resave.empty() ? "" : Absolute(o_.resave);
    const std::string project = Absolute(o_.project);
    if (!output.empty() && SameFile(output, project))
        return Fail(kExitUsage, o_.output + ": OUTPUT is the project file itself: refused");
    if (!output.empty() && !resave.empty() && SameFile(output, resave))
        return Fail(kExitUsage, "OUTPUT and the --resave file are the same file: refused");
    for (const auto& dir : o_.searchFolders)
        if (const std::string why = NotAFolder(Absolute(dir)); !why.empty())
            return Fail(kExitUsage, "--search " + dir + ": " + why);
    std::string resources = o_.resources.empty() ? std::string() : Absolute(o_.resources);
    if (!resources.empty()) {
        if (const std::string why = NotAFolder(resources); !why.empty())
            return Fail(kExitUsage, "--resources " + o_.resources + ": " + why);
        OpenMainResourceFile(CPath(resources + "/main.rsrc"));
    } else {
        resources = platform::MainBundleResourcesPath();
    }

    // What the editor sets up before any document is opened.
    SetWorkFolderName("_tavrel");
    RegisterShowKinds();

    if (int code = Read()) return code;
    // A cancel stops every stage: the read, the --resave write, the export.
    const std::string notWritten = o_.resave.empty() || o_.output.empty()
                                       ? o_.resave + o_.output + " was not written"
                                       : o_.resave + " and " + o_.output + " were not written";
    if (platform::CancelRequested()) return Fail(kExitCancelled, "cancelled; " + notWritten);
    // The project written back is made beside its file, as the movie is,
    // and said before anything is replaced when its owner is not kept.
    std::string why;
    if (!resave.empty()) {
        if (!resaveTarget_.Create(resave, &why))
            return Fail(kExitExportFailed, o_.resave + ": cannot write the project: " + why);
        if (!resaveTarget_.IsInPlace())
            WarnOwnerNotKept(o_.resave, resaveTarget_.GetTargetPath(), resaveTarget_.GetTempPath());
    }
    if (StrictStop()) return StrictFailure();
    if (!resave.empty()) {
        std::FILE* said = SummaryStream(resave);
        if (!SaveProject(CPath(resaveTarget_.GetTempPath()), show_, publish_, platform::CancelRequested)) {
            if (platform::CancelRequested()) return Fail(kExitCancelled, "cancelled; " + notWritten);
            return Fail(kExitExportFailed, o_.resave + ": cannot write the project: " + std::strerror(errno));
        }
        std::optional<CancelHold> hold;
        if (!resaveTarget_.IsInPlace()) hold.emplace();
        if (platform::CancelRequested()) return Fail(kExitCancelled, "cancelled; " + notWritten);
        if (!resaveTarget_.Commit(&why)) {
            hold.reset();
            if (platform::CancelRequested()) return Fail(kExitCancelled, "cancelled; " + notWritten);
            return Fail(kExitExportFailed, o_.resave + ": cannot write the project: " + why);
        }
        projectWritten_ = true;
        // With no movie to follow this is the run's result.
        if (output.empty()) EndCancels();
        std::fprintf(said, "%s: project written\n", o_.resave.c_str());
    }
    // Past a finished --resave write, the export's cancel.
    if (!output.empty() && platform::CancelRequested())
        return Fail(kExitCancelled, "cancelled; " + o_.output + " was not written");
    if (output.empty()) return kExitDone;

    LoadSkins(resources);
    CheckStart(show_.controls && skinFound_[0]);
    CheckMedia();
    FindSiblingBundles();
    const uint64_t frames = show_.CountExportFrames();
    if (frames > kFrameWarningLimit && frames <= kMostMovieFrames)
        report_.Warn({}, "the movie has " + std::to_string(frames) + " frames, more than " +
                             std::to_string(kFrameWarningLimit) + ": players may play it badly");
    // The plan has decided which slides the movie goes without: each is
    // said now, so that --strict, which stops here, says why too.
    for (int n : show_.GetPlannedOutSlides()) WarnSlideLeftOut(n);
    CheckFonts();
    CheckJumps();
    // Counted after the plan: slides dropped or left out are not in it.
    if (show_.GetExportSlideCount() == 0) report_.Warn({}, "the movie has no slides");
    if (StrictStop()) return StrictFailure();
    if (o_.compress) show_.use_compression = *o_.compress;
    PrepareForExport(show_);
    if (platform::CancelRequested()) return Fail(kExitCancelled, "cancelled; " + o_.output + " was not written");
    return Export(output);
}

}  // namespace

int RunTavrel(const CliOptions& options, std::FILE* out, std::FILE* err)
{
    // What a library might still print on standard error itself (the sound
    // decoders' words are caught where they are called) goes to /dev/null
    // under --quiet, while the program's own errors keep the real standard
    // error.
    std::FILE* ours = err;
    if (options.quiet && err && ::fileno(err) == STDERR_FILENO) {
        std::fflush(err);
        const int kept = ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
        const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        std::FILE* copy = kept >= 0 && null >= 0 ? ::fdopen(kept, "w") : nullptr;
        if (copy && ::dup2(null, STDERR_FILENO) >= 0) {
            ours = copy;
        } else if (copy) {
            std::fclose(copy);
        } else if (kept >= 0) {
            ::close(kept);
        }
        if (null >= 0) ::close(null);
    }
    int code;
    {
        Runner runner(options, out, ours);
        code = runner.Run();
    }
    if (ours != err) {
        std::fflush(ours);
        ::dup2(::fileno(ours), STDERR_FILENO);
        std::fclose(ours);
    }
    return code;
}
