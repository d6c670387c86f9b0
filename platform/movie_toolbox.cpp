#include "platform/movie_toolbox.h"

#include <cmath>
#include <map>
#include <memory>

struct OpaqueMovie {
    Rect box;
    int updates = 0;
    int draws = 0;
    bool dirty = true;  // the frame is to be drawn at the next task
    bool active = true;
    CGrafPtr world = nullptr;
    MovieDrawProc draw;
    TimeScale scale = 600;
    TimeValue duration = 0;
    // The time is base at clock time since, moving on at rate.
    TimeValue base = 0;
    double since = 0;
    double rate = 0;
    TimeValue drawn = -1;  // the time last drawn
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

// A field of a live movie; nothing for a stale handle.
template <class T>
T MovieField(Movie movie, T OpaqueMovie::*field)
{
    auto m = FindMovie(movie);
    return m ? m->*field : T{};
}

void Note(const OpaqueMovieController* c, const std::string& what)
{
    g_log.push_back("mc" + std::to_string(c->number) + " " + what);
}

constexpr ComponentResult kBadComponent = -2002;  // badComponentInstance

// Where the movie's time has got to; a movie that reaches its end stops there.
TimeValue CurrentTime(OpaqueMovie* m)
{
    if (m->rate == 0) return m->base;
    const double now = GetCurrentEventTime();
    const double t = double(m->base) + (now - m->since) * m->scale * m->rate;
    const bool atEnd = m->rate > 0 ? t >= m->duration : t <= 0;
    if (atEnd) {
        m->base = m->rate > 0 ? m->duration : 0;
        m->since = now;
        m->rate = 0;
        return m->base;
    }
    return TimeValue(std::floor(t));
}

void Service(OpaqueMovie* m)
{
    if (!m || !m->active) return;
    const TimeValue now = CurrentTime(m);
    if (!m->draw || !m->world || RectWidth(m->box) <= 0 || RectHeight(m->box) <= 0) return;
    if (!m->dirty && now == m->drawn) return;
    m->dirty = false;
    m->drawn = now;
    ++m->draws;
    m->draw(now, m->world, m->box);
}

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
    m->dirty = true;
    return noErr;
}

void MoviesTask(Movie movie, long)
{
    ++g_tasks;
    if (movie) {
        Service(FindMovie(movie));
        return;
    }
    for (auto& [ref, m] : g_movies) Service(m.get());
}

void SetMovieDrawProc(Movie movie, MovieDrawProc proc, TimeScale scale, TimeValue duration)
{
    auto m = FindMovie(movie);
    if (!m) return;
    m->draw = std::move(proc);
    m->scale = scale > 0 ? scale : 600;
    m->duration = duration > 0 ? duration : 0;
    m->dirty = true;
}

void SetMovieGWorld(Movie movie, CGrafPtr port, GDHandle)
{
    if (auto m = FindMovie(movie)) {
        m->world = port;
        m->dirty = true;
    }
}

void GetMovieGWorld(Movie movie, CGrafPtr* port, GDHandle* device)
{
    auto m = FindMovie(movie);
    if (port) *port = m ? m->world : nullptr;
    if (device) *device = GetMainDevice();
}

void SetMovieActive(Movie movie, bool active)
{
    if (auto m = FindMovie(movie)) m->active = active;
}

TimeScale GetMovieTimeScale(Movie movie)
{
    return MovieField(movie, &OpaqueMovie::scale);
}

TimeValue GetMovieDuration(Movie movie)
{
    return MovieField(movie, &OpaqueMovie::duration);
}

TimeValue GetMovieTime(Movie movie, void*)
{
    auto m = FindMovie(movie);
    return m ? CurrentTime(m) : 0;
}

void SetMovieTimeValue(Movie movie, TimeValue time)
{
    auto m = FindMovie(movie);
    if (!m) return;
    m->base = time < 0 ? 0 : time > m->duration ? m->duration : time;
    m->since = GetCurrentEventTime();
}

void GoToBeginningOfMovie(Movie movie)
{
    SetMovieTimeValue(movie, 0);
}

void SetMovieRate(Movie movie, Fixed rate)
{
    auto m = FindMovie(movie);
    if (!m) return;
    m->base = CurrentTime(m);
    m->since = GetCurrentEventTime();
    m->rate = double(rate) / 65536.0;
}

Fixed GetMovieRate(Movie movie)
{
    auto m = FindMovie(movie);
    if (!m) return 0;
    CurrentTime(m);
    return Fixed(std::lround(m->rate * 65536.0));
}

void StartMovie(Movie movie)
{
    SetMovieRate(movie, kFixedOne);
}

void StopMovie(Movie movie)
{
    SetMovieRate(movie, 0);
}

bool IsMovieDone(Movie movie)
{
    auto m = FindMovie(movie);
    return !m || CurrentTime(m) >= m->duration;
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
    // Idle time: the controller services its movie.
    if (event->what == nullEvent || event->what == osEvt) Service(FindMovie(c->movie));
    return 0;  // the controller shows no buttons, so no event is its own
}

ComponentResult MCDoAction(MovieController controller, short action, void* params)
{
    auto c = FindController(controller);
    if (!c) return kBadComponent;
    Note(c, "action " + std::to_string(action));
    if (action == mcActionPlay) SetMovieRate(c->movie, Fixed(reinterpret_cast<intptr_t>(params)));
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
    return MovieField(movie, &OpaqueMovie::updates);
}

int MoviesTaskCount()
{
    return g_tasks;
}

int MovieDrawCount(Movie movie)
{
    return MovieField(movie, &OpaqueMovie::draws);
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
