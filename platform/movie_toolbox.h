#pragma once
// Stand-in for the parts of the Movie Toolbox and the classic event calls
// that the movie panes use. A movie is a box, a world to draw into, a time
// that runs on the virtual clock while it plays, and a procedure that draws
// its frame at a time: the media code that opened the file gives it one
// (CQTMovie::GetMovie). MoviesTask draws each active movie's frame when its
// time has moved or an update was asked for. A movie controller is a record
// of its bounds, its visibility and what was asked of it (actions, events
// offered, disposal), written to a log that tests read; a null or idle event
// offered to it services its movie, and mcActionPlay starts or stops it.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/fixed_math.h"
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
using TimeValue = int32_t;
using TimeScale = int32_t;
constexpr short mcActionPlay = 8;  // params: the rate as Fixed, 0 stops
constexpr short mcActionSuspend = 46;

// Draws the frame shown at time into world at box; false when it cannot.
using MovieDrawProc = std::function<bool(TimeValue time, GWorldPtr world, const Rect& box)>;

Movie NewMovie(long flags);
void DisposeMovie(Movie movie);
void SetMovieBox(Movie movie, const Rect* box);
void GetMovieBox(Movie movie, Rect* box);
// Asks for the frame to be drawn again at the next MoviesTask.
OSErr UpdateMovie(Movie movie);
// Services every active movie (null) or one: moves a playing movie's time
// on by the clock (stopping at its end) and draws its frame where needed.
void MoviesTask(Movie movie, long maxMilliseconds);

// What a movie made by the media code plays: its frames, its time scale
// and its duration.
void SetMovieDrawProc(Movie movie, MovieDrawProc proc, TimeScale scale, TimeValue duration);
void SetMovieGWorld(Movie movie, CGrafPtr port, GDHandle device);
void GetMovieGWorld(Movie movie, CGrafPtr* port, GDHandle* device);
void SetMovieActive(Movie movie, bool active);
TimeScale GetMovieTimeScale(Movie movie);
TimeValue GetMovieDuration(Movie movie);
TimeValue GetMovieTime(Movie movie, void* timeRecord);
void SetMovieTimeValue(Movie movie, TimeValue time);
void GoToBeginningOfMovie(Movie movie);
// Plays at rate 1 from the current time; stopping keeps the time reached.
void StartMovie(Movie movie);
void StopMovie(Movie movie);
void SetMovieRate(Movie movie, Fixed rate);
Fixed GetMovieRate(Movie movie);
bool IsMovieDone(Movie movie);

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
// How many times the movie's frame was drawn.
int MovieDrawCount(Movie movie);
// One line per call on a controller: "mc<N> action <a>", "mc<N> event <what>",
// "mc<N> bounds <t>,<l>,<b>,<r>", "mc<N> dispose".
const std::vector<std::string>& MovieControllerLog();
void ClearMovieControllerLog();
int MovieControllerNumber(MovieController controller);

}  // namespace platform
