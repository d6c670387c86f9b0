#include "foundation/system_utils.h"

#include <unistd.h>

#include <algorithm>

#include "foundation/system.h"
#include "platform/shared_code.h"

// ---- Offscreen worlds and pixels

bool CreateGWorld(GWorldPtr* world, int width, int height, int depth)
{
    if (!world) return false;
    *world = nullptr;
    if (width < 0 || height < 0 || width > INT16_MAX || height > INT16_MAX) return false;
    const Rect bounds{0, 0, int16_t(height), int16_t(width)};
    if (NewGWorld(world, depth, bounds) != 0) return false;
    // A fresh world has no port state worth saving; nothing here changes the current port.
    (*world)->SetForeColor(RGBColor{0, 0, 0});
    (*world)->SetBackColor(RGBColor{0xFFFF, 0xFFFF, 0xFFFF});
    return true;
}

bool DisposeGWorldSafe(GWorldPtr* world)
{
    if (world) {
        DisposeGWorld(*world);
        *world = nullptr;
    }
    return true;
}

void ClearPixels(uint8_t* base, size_t rowBytes, int width, int height)
{
    if (!base || width <= 0 || height <= 0) return;
    const size_t span = size_t(width) * 4;
    for (int y = 0; y < height; ++y) std::fill_n(base + size_t(y) * rowBytes, span, uint8_t(0));
}

void ClearGWorld(GWorldPtr world, int width, int height)
{
    if (!world || world->GetPixDepth() != 32) return;
    // Never past the world's own rows and pixels.
    width = std::min(width, world->Width());
    height = std::min(height, world->Height());
    world->LockPixels();
    ClearPixels(world->GetPixBaseAddr(), world->GetPixRowBytes(), width, height);
    world->UnlockPixels();
}

namespace {

bool Fits32(GWorldPtr world, const Rect& r)
{
    return world && world->GetPixDepth() == 32 && RectWidth(r) > 0 && RectHeight(r) > 0 &&
           RectWidth(r) <= world->Width() && RectHeight(r) <= world->Height();
}

}  // namespace

bool RotateGWorld32(GWorldPtr source, const Rect& sourceRect, GWorldPtr destination, const Rect& destinationRect,
                    int angle)
{
    const int w = RectWidth(sourceRect);
    const int h = RectHeight(sourceRect);
    const bool quarter = angle == 90 || angle == -270 || angle == 270 || angle == -90;
    const bool half = angle == 180 || angle == -180;
    if (!quarter && !half) return false;
    if (!Fits32(source, sourceRect) || !Fits32(destination, destinationRect)) return false;
    const int dw = quarter ? h : w;
    const int dh = quarter ? w : h;
    if (RectWidth(destinationRect) != dw || RectHeight(destinationRect) != dh) return false;
    if (source == destination) return false;  // the copy would read what it has just written

    const uint8_t* src = source->GetPixBaseAddr();
    uint8_t* dst = destination->GetPixBaseAddr();
    const size_t srcRow = source->GetPixRowBytes();
    const size_t dstRow = destination->GetPixRowBytes();
    for (int r = 0; r < h; ++r) {
        for (int c = 0; c < w; ++c) {
            int x, y;
            if (angle == 90 || angle == -270) {
                x = dw - 1 - r;  // row r becomes column dw-1-r, read top to bottom
                y = c;
            } else if (half) {
                x = w - 1 - c;
                y = h - 1 - r;
            } else {
                x = r;  // row r becomes column r, written bottom to top
                y = dh - 1 - c;
            }
            std::copy_n(src + size_t(r) * srcRow + size_t(c) * 4, 4, dst + size_t(y) * dstRow + size_t(x) * 4);
        }
    }
    return true;
}

void DrawPixelBuffer(const uint8_t* pixels, int width, int height, int depth, GWorldPtr port)
{
    if (!pixels || !port || width <= 0 || height <= 0 || (depth != 24 && depth != 1)) return;
    const uint8_t* p = pixels;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            RGBColor c;
            if (depth == 24) {
                c = RGBColor{uint16_t(p[0] * 65535 / 255), uint16_t(p[1] * 65535 / 255), uint16_t(p[2] * 65535 / 255)};
                p += 3;
            } else {
                const uint16_t v = *p++ ? 0xFFFF : 0;
                c = RGBColor{v, v, v};
            }
            port->SetCPixel(x, y, c);
        }
    }
}

void DrawTextAt(int x, int y, const char* text, int length)
{
    GWorldPtr port = GetGWorld();
    if (!port || !text || length <= 0) return;
    port->MoveTo(x, y);
    port->DrawText(text, size_t(length));
}

bool LoadPicture(int id, ResourceHandle* picture)
{
    return GetCachedMainResource(FourCC("PICT"), id, picture, nullptr);
}

// ---- Processes and launching

bool GetCurrentPSN(ProcessSerialNumber* psn)
{
    if (!psn) return false;
    *psn = platform::PsnFromPid(getpid());
    return true;
}

bool BringProcessToFront(const ProcessSerialNumber& psn)
{
    // Window stacking belongs to the desktop here; a live process is as far as we go.
    return platform::IsProcessAlive(platform::PidFromPsn(psn));
}

bool IsProcessRunning(const ProcessSerialNumber& psn)
{
    return platform::IsProcessAlive(platform::PidFromPsn(psn));
}

bool LaunchApp(const CPath& path, ProcessSerialNumber* psn)
{
    ProcessSerialNumber none;
    if (psn) *psn = none;
    if (path.IsEmpty() || !path.Exists()) return false;
    const std::string absolute = path.GetFullPath();
    const std::string program = platform::BundleCodeFile(absolute, true);
    pid_t pid = -1;
    if (!program.empty() && platform::SpawnProgram({program}, &pid)) {
        if (psn) *psn = platform::PsnFromPid(pid);
        return true;
    }
    return platform::OpenWithDesktop(absolute);
}

bool QuitApplicationAtPath(const CPath& path, const ProcessSerialNumber& psn)
{
    if (path.IsEmpty()) return false;
    const pid_t pid = platform::PidFromPsn(psn);
    if (pid == getpid() || !platform::ProcessRunsProgram(pid, path.GetFullPath())) return false;
    return platform::RequestQuit(pid);
}

bool OpenFileWithApp(const CPath& document, const CPath& application)
{
    if (document.IsEmpty()) return false;
    if (!IsOSXAtLeast()) return OpenWithFinder(document);
    if (application.IsEmpty()) return false;
    const std::string program = platform::BundleCodeFile(application.GetFullPath(), true);
    if (program.empty()) return false;
    pid_t pid = -1;
    return platform::SpawnProgram({program, document.GetFullPath()}, &pid);
}

bool OpenWithFinder(const CPath& path)
{
    return !path.IsEmpty() && platform::OpenWithDesktop(path.GetFullPath());
}

bool SetAppMemorySize(const CPath& application, uint32_t preferredSize, uint32_t minimumSize)
{
    if (application.IsEmpty()) return false;
    const std::string folder = application.GetFullPath() + "/Contents/Resources/main.rsrc";
    const ResType sizeType = FourCC("SIZE");
    std::vector<uint8_t> bytes;
    {
        platform::ResourceStore store;
        if (!store.Open(folder) || !store.Read(sizeType, -1, bytes) || bytes.size() < 10) return false;
    }
    // Big-endian, as the resource's published layout stores them.
    for (int i = 0; i < 4; ++i) {
        bytes[2 + i] = uint8_t(preferredSize >> (24 - 8 * i));
        bytes[6 + i] = uint8_t(minimumSize >> (24 - 8 * i));
    }
    return platform::WriteResource(folder, sizeType, -1, bytes);
}

// ---- Resources

bool CResFile::Open(const CPath& path)
{
    Close();
    return !path.IsEmpty() && store_.Open(path.GetFullPath());
}

void CResFile::Close()
{
    store_.Close();
}

bool CResFile::GetResource(ResType type, int id, ResourceHandle* handle, size_t* size) const
{
    if (!handle) return false;
    handle->reset();
    auto bytes = std::make_unique<std::vector<uint8_t>>();
    if (!store_.Read(type, id, *bytes)) return false;
    if (size) *size = bytes->size();
    *handle = std::move(bytes);
    return true;
}

namespace {

std::unique_ptr<CResFile>& MainResourceFile()
{
    static std::unique_ptr<CResFile> file;
    return file;
}

}  // namespace

bool GetCachedMainResource(ResType type, int id, ResourceHandle* handle, size_t* size)
{
    if (handle) handle->reset();
    std::unique_ptr<CResFile>& file = MainResourceFile();
    if (!file) {
        auto opened = std::make_unique<CResFile>();
        CPath path;
        if (!GetBundleResourcePath(path, "main.rsrc") || !opened->Open(path)) return false;
        file = std::move(opened);
    }
    return file->GetResource(type, id, handle, size);
}

void CloseMainResourceFile()
{
    MainResourceFile().reset();
}

bool OpenMainResourceFile(const CPath& path)
{
    auto opened = std::make_unique<CResFile>();
    if (!opened->Open(path)) return false;
    MainResourceFile() = std::move(opened);
    return true;
}

bool LoadMainResource(ResType type, int id, ResourceHandle* handle, size_t* size)
{
    // One open file serves every call instead of a new one left open per call.
    return GetCachedMainResource(type, id, handle, size);
}

bool ReleaseMainResource(ResourceHandle* handle)
{
    if (handle) handle->reset();
    return true;
}

// ---- System

bool IsOSXAtLeast()
{
    return System::GetVersion() > 0x0FFF;
}
