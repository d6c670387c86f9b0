#pragma once
// Help, icons from the resource file, key names and small numeric helpers.
#include "foundation/path.h"
#include "platform/toolbox_services.h"

// Remembers the help file; when it does not exist the application bundle is
// registered as a help book instead.
bool RegisterHelpBook(const CPath& helpFile);
// Opens the help file, or the help book at page and anchor (both optional).
bool ShowHelpPage(const char* page, const char* anchor);

// Registers icon resourceId of "main.rsrc" under creator; creator 0 draws
// one from the tick count (never the one drawn last), which
// GetLastIconCreator then reports.
bool RegisterIconFromResource(SInt16 resourceId, OSType creator, IconRef* icon);
bool UnregisterIconFromResource(OSType creator, IconRef* icon);
OSType GetLastIconCreator();

// The display name of a virtual key code: at most 11 characters and a NUL.
void GetKeyName(UInt16 keyCode, char* name);

// A number from low to high inclusive (high < low gives low).
int RandomInRange(int high, int low);
double EaseOutQuad(double t, double start, double change, double duration);
// Signed distance of (px, py) from the line through the two points; with
// the points equal, the distance to that point.
double PointLineDistance(double px, double py, double x1, double y1, double x2, double y2);
