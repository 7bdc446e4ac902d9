#pragma once
// What the player shows of itself on the desktop's media interface (MPRIS2:
// media keys, panels, the sound menu), decided without D-Bus. The window
// reads its objects into a TMprisInput; MprisStateOf turns that into the
// values of the interface's properties; ChangedMprisProperties names those a
// PropertiesChanged signal must carry. The D-Bus side (untMprisService) only
// marshals these values and calls playback control.
//
// Units: MPRIS times in microseconds, the player's positions in bytes of the
// MP3 file; MPRIS volume 0.0 .. 1.0, the program's 0 .. 3000.

#include "lyrics/untLRCDisplay.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zv2::app {

inline constexpr char MprisBusName[] = "org.mpris.MediaPlayer2.zv2player";
inline constexpr char MprisObjectPath[] = "/org/mpris/MediaPlayer2";
inline constexpr char MprisRootInterface[] = "org.mpris.MediaPlayer2";
inline constexpr char MprisPlayerInterface[] = "org.mpris.MediaPlayer2.Player";
// The track id while no song has been started.
inline constexpr char MprisNoTrack[] = "/org/mpris/MediaPlayer2/TrackList/NoTrack";

// The player as the window has it at one moment.
struct TMprisInput {
    std::uint8_t PlayerState = 5;   // the player facade's state code (1 playing, 2 paused, ...)
    std::uint32_t SongsStarted = 0; // songs playback control has started so far
    std::string FileName;           // of the song last started
    std::uint32_t Position = 0;     // bytes into the file
    std::uint32_t Length = 0;       // the file's size in bytes
    int BitRate = 0;                // bits per second of the file; 0 unknown
    int Volume = 0;                 // 0..3000
    std::string LyricLine;          // the lyric line shown last, or empty
    std::size_t Rows = 0;           // playlist rows
    int LastPlayed = -1;            // the playlist row last played
};

// The values of the Player interface's properties (Position aside).
struct TMprisState {
    std::string PlaybackStatus = "Stopped"; // "Playing", "Paused" or "Stopped"
    // Metadata: mpris:trackid, xesam:title, mpris:length (µs, 0 unknown), xesam:comment.
    std::string TrackId = MprisNoTrack;
    std::string Title; // TitleOf the song's path
    std::int64_t LengthUs = 0;
    std::string Comment;
    double Volume = 0;
    bool CanPlay = false, CanPause = false, CanSeek = false, CanGoNext = false, CanGoPrevious = false;
    bool operator==(const TMprisState&) const = default;
};

TMprisState MprisStateOf(const TMprisInput& input);

// The names of the Player properties whose values differ between `before`
// and `after`, in a fixed order ("PlaybackStatus", "Metadata", "Volume", then
// the Can... properties). Position is never among them: clients keep it
// running from the status and learn of jumps by the Seeked signal.
std::vector<std::string> ChangedMprisProperties(const TMprisState& before, const TMprisState& after);

// The track id of the n-th song started (n from 1): a new id for each start,
// also when a song is started again, so that a SetPosition meant for the
// song before never moves this one.
std::string MprisTrackId(std::uint32_t songsStarted);

// Volume: 0..3000 as 0.0..1.0, and back (held to 0..3000, to the nearest step).
double MprisVolume(int volume);
int ProgramVolume(double mprisVolume);

// Byte offsets of the file as play time and back, at `bitRate` bits per
// second (0 when the rate is unknown).
std::int64_t MprisMicroseconds(std::uint32_t bytes, int bitRate);
std::int64_t FileBytes(std::int64_t microseconds, int bitRate);

// What a Play asks of playback control in the player's state.
enum class TMprisPlay {
    Nothing,   // already playing, or nothing to play
    Toggle,    // the play button: resume a pause, or start the list
    PlayAgain, // after a Stop: the song last played, from its start
};
TMprisPlay MprisPlayAction(const TMprisInput& input);

// Where a Seek or SetPosition moves the song: a byte offset, or the next song
// (a Seek past the end), or nothing (no song, unknown rate, a SetPosition for
// another track or outside the song).
struct TMprisSeek {
    enum { Nothing, Move, Next } Action = Nothing;
    std::uint32_t Position = 0; // bytes, for Move
};
TMprisSeek MprisSeekBy(const TMprisInput& input, std::int64_t offsetUs);
TMprisSeek MprisSetPosition(const TMprisInput& input, const std::string& trackId, std::int64_t positionUs);

// The lyric line a display has shown last (empty before its first line).
std::string ShownLyricLine(const lyrics::TLRCDisplay& display);

// The session bus to use: DBUS_SESSION_BUS_ADDRESS when set, else the
// per-user bus socket in XDG_RUNTIME_DIR when `busSocketExists` says it is
// there, else empty (no bus: the program runs without MPRIS). Never starts a
// bus of its own.
std::string SessionBusAddress(const char* busAddressVariable, const char* runtimeDirVariable,
                              bool (*busSocketExists)(const std::string& path));

// Whether the bus at `address` may be used: always, but with the network
// guard on (`loopbackOnly`) only when every address it lists is a local
// socket ("unix:..."): a TCP bus could lie beyond the machine.
bool SessionBusAllowed(const std::string& address, bool loopbackOnly);

} // namespace zv2::app
