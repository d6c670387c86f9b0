#include "editor/about_window.h"

#include <cstdio>
#include <memory>

#include "foundation/system_utils.h"
#include "media/png_image.h"
#include "platform/quickdraw.h"

namespace {

CAboutWindow* g_instance = nullptr;

constexpr ResType kSplashType = FourCC("GfXX");
constexpr int kSplashId = 128;
// Far beyond any splash picture; a larger file is not one.
constexpr long long kMaxPictureBytes = 64LL << 20;

bool ReadWholeFile(const CPath& path, std::string* bytes)
{
    std::unique_ptr<FILE, int (*)(FILE*)> file(path.Fopen("rb"), std::fclose);
    if (!file) return false;
    if (fseeko(file.get(), 0, SEEK_END) != 0) return false;
    const off_t size = ftello(file.get());
    if (size < 0 || size > kMaxPictureBytes || fseeko(file.get(), 0, SEEK_SET) != 0) return false;
    bytes->resize(static_cast<size_t>(size));
    return std::fread(bytes->data(), 1, bytes->size(), file.get()) == bytes->size();
}

}  // namespace

CAboutWindow::CAboutWindow(const Settings& settings) : settings_(settings)
{
    g_instance = this;
}

CAboutWindow::~CAboutWindow()
{
    DisposeGWorldSafe(&picture_);
    // Nobody may reach a deleted window through the instance.
    if (g_instance == this) g_instance = nullptr;
}

CAboutWindow* CAboutWindow::GetInstance()
{
    return g_instance;
}

bool CAboutWindow::ReadPicture(std::string* bytes) const
{
    CPath path;
    if (!settings_.pictureFile.empty() && GetBundleResourcePath(path, settings_.pictureFile) &&
        ReadWholeFile(path, bytes))
        return true;
    ResourceHandle handle;
    size_t size = 0;
    if (!GetCachedMainResource(kSplashType, kSplashId, &handle, &size) || !handle) return false;
    bytes->assign(reinterpret_cast<const char*>(handle->data()), std::min(size, handle->size()));
    ReleaseMainResource(&handle);
    return true;
}

bool CAboutWindow::OnInitDialog()
{
    Reposition(nullptr);
    std::string bytes;
    if (!ReadPicture(&bytes)) return false;
    CPngImage image;
    if (!image.Decode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size())) return false;
    DisposeGWorldSafe(&picture_);
    if (!CreateGWorld(&picture_, static_cast<int>(image.width), static_cast<int>(image.height), 32)) return false;
    image.ToGWorld(picture_, 0, 0);
    {
        PortSaver saver;
        SetGWorld(picture_);
        picture_->SetTextFont(0);
        picture_->SetTextSize(10);
        char text[32];
        int length =
            std::snprintf(text, sizeof text, "Version %d.%03d", settings_.versionMajor, settings_.versionMinor);
        if (length > 0) DrawTextAt(settings_.textLeft, settings_.textTop, text, std::min<int>(length, 31));
    }
    OnDraw();
    return true;
}

bool CAboutWindow::OnDraw()
{
    if (!picture_ || !GetWindow()) return false;
    PortSaver saver;
    SetPortWindowPort(GetWindow());
    const Rect& bounds = picture_->GetPortBounds();
    CopyBits(GetPortBitMapForCopyBits(picture_), GetPortBitMapForCopyBits(GetWindowPort(GetWindow())), &bounds, &bounds,
             srcCopy, nullptr);
    return false;
}
