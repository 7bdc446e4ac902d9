#pragma once
// The desktop's media interface: MPRIS2 (org.mpris.MediaPlayer2 and
// org.mpris.MediaPlayer2.Player) on the session bus, name
// org.mpris.MediaPlayer2.zv2player, object /org/mpris/MediaPlayer2. Media
// keys, panels and sound menus play, pause, step, seek and set the volume
// through it, also where global X11 hot keys do not work (Wayland).
//
// A thin binding: the values and decisions come from untMpris.h; calls go to
// the window's playback control and sliders as a click would; the window's
// OnPlayerChanged makes it send PropertiesChanged (once per turn of the event
// loop, for whatever changed).
//
// Without a session bus, or when the bus cannot be reached or the name had,
// Start says so in one line on standard error and the program runs without it.
// Window thread only; made after the window, destroyed before it.

#include <memory>

namespace zv2::app {

class Tfrm_Main;

class TMprisService {
public:
    explicit TMprisService(Tfrm_Main& window);
    ~TMprisService();
    TMprisService(const TMprisService&) = delete;
    TMprisService& operator=(const TMprisService&) = delete;

    // Connects, serves the object and takes the name (another running copy
    // holding it: the name with ".instance<pid>" appended). True when served.
    bool Start();

private:
    class TObject;
    Tfrm_Main& Window_;
    std::unique_ptr<TObject> Object_;
};

} // namespace zv2::app
