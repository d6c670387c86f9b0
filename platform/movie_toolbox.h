#pragma once
// Stand-in for the parts of the Movie Toolbox and the classic event calls
// that the movie panes use. Nothing plays here: a movie is a box with an
// update count, and a movie controller is a record of its bounds, its
// visibility and what was asked of it (actions, events offered, disposal),
// written to a log that tests read.
#include <string>
#include <vector>

#include "platform/quickdraw.h"
#include "platform/toolbox_events.h"

// ---- Classic event records
constexpr UInt16 nullEvent = 0;
constexpr UInt16 mouseDown = 1;
constexpr UInt16 mouseUp = 2;
constexpr UInt16 keyDown = 3;
constexpr UInt16 updateEvt = 6;
constexpr UInt16 activateEvt = 8;
constexpr UInt16 osEvt = 15;
constexpr UInt16 mDownMask = 0x0002;
constexpr UInt16 keyDownMask = 0x0008;

struct EventRecord {
    UInt16 what = nullEvent;
    UInt32 message = 0;
    UInt32 when = 0;
    Point where;
    UInt16 modifiers = 0;
};

// The record an old-style handler would see for the event; false (a null
// event) for events without one.
bool ConvertEventRefToEventRecord(EventRef event, EventRecord* out);
// Takes one due mouse-down (mDownMask) or key-down (keyDownMask) out of the
// queue without dispatching it; false when none is waiting.
bool WaitNextEvent(UInt16 mask, EventRecord* out, UInt32 sleep, RgnHandle mouseRegion);

// The whole port: windows here are never covered.
RgnHandle GetPortVisibleRegion(CGrafPtr port, RgnHandle region);
struct OpaqueGDevice;
using GDHandle = OpaqueGDevice*;
GDHandle GetMainDevice();
void SetGWorld(CGrafPtr port, GDHandle device);

// ---- Movies
struct OpaqueMovie;
using Movie = OpaqueMovie*;
struct OpaqueMovieController;
using MovieController = OpaqueMovieController*;
using ComponentResult = long;
constexpr short mcActionSuspend = 46;

Movie NewMovie(long flags);
void DisposeMovie(Movie movie);
void SetMovieBox(Movie movie, const Rect* box);
void GetMovieBox(Movie movie, Rect* box);
OSErr UpdateMovie(Movie movie);
// Services every active movie (null) or one.
void MoviesTask(Movie movie, long maxMilliseconds);

// A controller for movie in box, visible or not.
MovieController NewMovieController(Movie movie, const Rect* box, bool visible);
void DisposeMovieController(MovieController controller);
ComponentResult MCIsPlayerEvent(MovieController controller, const EventRecord* event);
ComponentResult MCDoAction(MovieController controller, short action, void* params);
ComponentResult MCGetVisible(MovieController controller);
ComponentResult MCSetVisible(MovieController controller, bool visible);
ComponentResult MCGetControllerBoundsRect(MovieController controller, Rect* bounds);
ComponentResult MCSetControllerBoundsRect(MovieController controller, const Rect* bounds);

namespace platform {

int MovieUpdateCount(Movie movie);
int MoviesTaskCount();
// One line per call on a controller: "mc<N> action <a>", "mc<N> event <what>",
// "mc<N> bounds <t>,<l>,<b>,<r>", "mc<N> dispose".
const std::vector<std::string>& MovieControllerLog();
void ClearMovieControllerLog();
int MovieControllerNumber(MovieController controller);

}  // namespace platform
