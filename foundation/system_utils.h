#pragma once
// Small services over the platform: offscreen worlds and 32-bit pixels,
// processes and launching, the application's resource file "main.rsrc",
// the system version and text drawing.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "foundation/path.h"
#include "platform/gworld.h"
#include "platform/process.h"
#include "platform/resource_store.h"

// ---- Offscreen worlds and pixels

// A world of (0, 0, width, height) at depth, foreground black and
// background white; the current port is left as it was.
bool CreateGWorld(GWorldPtr* world, int width, int height, int depth);
// Disposes of *world (null allowed) and clears the reference; true.
bool DisposeGWorldSafe(GWorldPtr* world);
// Zeroes the first width × 4 bytes of the first height rows; what lies
// outside the world is never written.
void ClearGWorld(GWorldPtr world, int width, int height);
void ClearPixels(uint8_t* base, size_t rowBytes, int width, int height);
// Copies the source rectangle's 32-bit pixels into the destination turned by
// angle degrees: 90 or -270 clockwise, 180 or -180 half round, 270 or -90
// anticlockwise. Only the rectangles' sizes count; both copies start at each
// world's first pixel. Nothing is copied, and false returned, for any other
// angle, a destination rectangle without the turned size, or a rectangle
// larger than its world.
bool RotateGWorld32(GWorldPtr source, const Rect& sourceRect, GWorldPtr destination, const Rect& destinationRect,
                    int angle);
// Draws width × height pixels into port: depth 24 as R, G, B bytes, depth 1
// as one byte per pixel (nonzero white, zero black). Other depths draw nothing.
void DrawPixelBuffer(const uint8_t* pixels, int width, int height, int depth, GWorldPtr port);
// Draws length bytes of text with its baseline starting at (x, y) of the current port.
void DrawTextAt(int x, int y, const char* text, int length);
// Picture id from the application's resource file; true when found.
bool LoadPicture(int id, ResourceHandle* picture);

// ---- Processes and launching

bool GetCurrentPSN(ProcessSerialNumber* psn);
bool BringProcessToFront(const ProcessSerialNumber& psn);
bool IsProcessRunning(const ProcessSerialNumber& psn);
// Starts the application (a program file or an "X.app" bundle) and returns
// at once with its serial number; when it cannot be started as a program it
// is handed to the desktop's opener and psn is zeros. true on success.
bool LaunchApp(const CPath& path, ProcessSerialNumber* psn);
// Asks the process to quit when it runs the application at path; true when
// the request was sent.
bool QuitApplicationAtPath(const CPath& path, const ProcessSerialNumber& psn);
// Opens document in application; before Mac OS X, in its own application.
bool OpenFileWithApp(const CPath& document, const CPath& application);
// Opens or reveals the item at path in the desktop's file manager.
bool OpenWithFinder(const CPath& path);
// Sets the preferred and minimum sizes of the application's 'SIZE' -1
// resource (kept in the bundle's Contents/Resources/main.rsrc); true when
// the resource was found and written.
bool SetAppMemorySize(const CPath& application, uint32_t preferredSize, uint32_t minimumSize);

// ---- Resources

class CResFile {
public:
    CResFile() = default;
    ~CResFile() { Close(); }
    CResFile(const CResFile&) = delete;
    CResFile& operator=(const CResFile&) = delete;

    // Opens the resource file read-only (a file already open is closed first).
    bool Open(const CPath& path);
    void Close();
    bool IsOpen() const { return store_.IsOpen(); }
    // The resource's bytes and, when size is given, their count; false when missing.
    bool GetResource(ResType type, int id, ResourceHandle* handle, size_t* size) const;

private:
    platform::ResourceStore store_;
};

// Both read from the one process-wide "main.rsrc" of the application bundle,
// opened on first use and kept open; a failed open is retried on the next call.
bool LoadMainResource(ResType type, int id, ResourceHandle* handle, size_t* size);
bool GetCachedMainResource(ResType type, int id, ResourceHandle* handle, size_t* size);
// Closes the cached file; the next call opens it again.
void CloseMainResourceFile();
// Serves both from the given resource file instead of the bundle's; false,
// and the cache untouched, when it cannot be opened.
bool OpenMainResourceFile(const CPath& path);
// Frees the bytes; true.
bool ReleaseMainResource(ResourceHandle* handle);

// ---- System

// True on Mac OS X or later: Gestalt 'sysv' answers above 0x0FFF.
bool IsOSXAtLeast();
