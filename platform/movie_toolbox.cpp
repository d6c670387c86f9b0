#include "platform/movie_toolbox.h"

#include <map>
#include <memory>

struct OpaqueMovie {
    Rect box;
    int updates = 0;
};

struct OpaqueMovieController {
    int number = 0;
    Movie movie = nullptr;
    Rect bounds;
    bool visible = false;
};

struct OpaqueGDevice {};

namespace {

std::vector<std::string> g_log;
int g_tasks = 0;
int g_nextController = 0;
// Live objects; a stale handle is refused, never followed.
std::map<Movie, std::unique_ptr<OpaqueMovie>> g_movies;
std::map<MovieController, std::unique_ptr<OpaqueMovieController>> g_controllers;

OpaqueMovie* FindMovie(Movie movie)
{
    auto it = g_movies.find(movie);
    return it == g_movies.end() ? nullptr : it->second.get();
}

OpaqueMovieController* FindController(MovieController controller)
{
    auto it = g_controllers.find(controller);
    return it == g_controllers.end() ? nullptr : it->second.get();
}

void Note(const OpaqueMovieController* c, const std::string& what)
{
    g_log.push_back("mc" + std::to_string(c->number) + " " + what);
}

constexpr ComponentResult kBadComponent = -2002;  // badComponentInstance

}  // namespace

bool ConvertEventRefToEventRecord(EventRef event, EventRecord* out)
{
    if (!out) return false;
    *out = EventRecord{};
    if (!event) return false;
    out->when = TickCount();
    const UInt32 cls = GetEventClass(event), kind = GetEventKind(event);
    if (cls == kEventClassMouse && (kind == kEventMouseDown || kind == kEventMouseUp)) {
        out->what = kind == kEventMouseDown ? mouseDown : mouseUp;
        GetEventParameter(event, kEventParamMouseLocation, typeQDPoint, nullptr, sizeof out->where, nullptr,
                          &out->where);
        return true;
    }
    if (cls == kEventClassKeyboard && kind == kEventRawKeyDown) {
        char c = 0;
        GetEventParameter(event, kEventParamKeyMacCharCodes, typeChar, nullptr, 1, nullptr, &c);
        out->what = keyDown;
        out->message = static_cast<unsigned char>(c);
        return true;
    }
    if (cls == kEventClassWindow && (kind == kEventWindowUpdate || kind == kEventWindowActivated)) {
        out->what = kind == kEventWindowUpdate ? updateEvt : activateEvt;
        return true;
    }
    if (cls == kEventClassMouse && kind == kEventMouseMoved) {
        out->what = osEvt;
        return true;
    }
    return false;
}

bool WaitNextEvent(UInt16 mask, EventRecord* out, UInt32, RgnHandle)
{
    EventRef taken = nullptr;
    if (mask & mDownMask) taken = platform::TakeQueuedEvent(kEventClassMouse, kEventMouseDown);
    if (!taken && (mask & keyDownMask)) taken = platform::TakeQueuedEvent(kEventClassKeyboard, kEventRawKeyDown);
    EventRecord record;
    ConvertEventRefToEventRecord(taken, &record);
    if (out) *out = record;
    if (!taken) return false;
    ReleaseEvent(taken);
    return true;
}

RgnHandle GetPortVisibleRegion(CGrafPtr port, RgnHandle region)
{
    if (region) {
        if (port)
            RectRgn(region, &port->GetPortBounds());
        else
            SetEmptyRgn(region);
    }
    return region;
}

GDHandle GetMainDevice()
{
    static OpaqueGDevice device;
    return &device;
}

void SetGWorld(CGrafPtr port, GDHandle)
{
    SetGWorld(port);
}

Movie NewMovie(long)
{
    auto movie = std::make_unique<OpaqueMovie>();
    Movie ref = movie.get();
    g_movies[ref] = std::move(movie);
    return ref;
}

void DisposeMovie(Movie movie)
{
    g_movies.erase(movie);
}

void SetMovieBox(Movie movie, const Rect* box)
{
    if (auto m = FindMovie(movie); m && box) m->box = *box;
}

void GetMovieBox(Movie movie, Rect* box)
{
    if (!box) return;
    auto m = FindMovie(movie);
    *box = m ? m->box : Rect{};
}

OSErr UpdateMovie(Movie movie)
{
    auto m = FindMovie(movie);
    if (!m) return paramErr;
    ++m->updates;
    return noErr;
}

void MoviesTask(Movie, long)
{
    ++g_tasks;
}

MovieController NewMovieController(Movie movie, const Rect* box, bool visible)
{
    auto c = std::make_unique<OpaqueMovieController>();
    c->number = ++g_nextController;
    c->movie = movie;
    if (box) c->bounds = *box;
    c->visible = visible;
    MovieController ref = c.get();
    g_controllers[ref] = std::move(c);
    return ref;
}

void DisposeMovieController(MovieController controller)
{
    if (auto c = FindController(controller)) {
        Note(c, "dispose");
        g_controllers.erase(controller);
    }
}

ComponentResult MCIsPlayerEvent(MovieController controller, const EventRecord* event)
{
    auto c = FindController(controller);
    if (!c || !event) return 0;
    Note(c, "event " + std::to_string(event->what));
    return 0;  // nothing plays, so no event is the controller's
}

ComponentResult MCDoAction(MovieController controller, short action, void*)
{
    auto c = FindController(controller);
    if (!c) return kBadComponent;
    Note(c, "action " + std::to_string(action));
    return noErr;
}

ComponentResult MCGetVisible(MovieController controller)
{
    auto c = FindController(controller);
    return c && c->visible ? 1 : 0;
}

ComponentResult MCSetVisible(MovieController controller, bool visible)
{
    auto c = FindController(controller);
    if (!c) return kBadComponent;
    c->visible = visible;
    return noErr;
}

ComponentResult MCGetControllerBoundsRect(MovieController controller, Rect* bounds)
{
    auto c = FindController(controller);
    if (!c || !bounds) return kBadComponent;
    *bounds = c->bounds;
    return noErr;
}

ComponentResult MCSetControllerBoundsRect(MovieController controller, const Rect* bounds)
{
    auto c = FindController(controller);
    if (!c || !bounds) return kBadComponent;
    c->bounds = *bounds;
    Note(c, "bounds " + std::to_string(bounds->top) + "," + std::to_string(bounds->left) + "," +
                std::to_string(bounds->bottom) + "," + std::to_string(bounds->right));
    return noErr;
}

namespace platform {

int MovieUpdateCount(Movie movie)
{
    auto m = FindMovie(movie);
    return m ? m->updates : 0;
}

int MoviesTaskCount()
{
    return g_tasks;
}

const std::vector<std::string>& MovieControllerLog()
{
    return g_log;
}

void ClearMovieControllerLog()
{
    g_log.clear();
}

int MovieControllerNumber(MovieController controller)
{
    auto c = FindController(controller);
    return c ? c->number : 0;
}

}  // namespace platform
