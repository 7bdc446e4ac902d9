#include "app/untMpris.h"

#include "app/untCommandLine.h"
#include "app/untPlayList.h"

#include <algorithm>
#include <cmath>
#include <string_view>

namespace zv2::app {

namespace {
constexpr std::uint8_t kStopped = 0;
constexpr std::uint8_t kPlaying = 1;
constexpr std::uint8_t kPaused = 2;
constexpr int kMaxVolume = 3000;
} // namespace

std::string MprisTrackId(std::uint32_t songsStarted) {
    // Track ids must not lie under /org/mpris; this program's own prefix.
    return songsStarted == 0 ? std::string(MprisNoTrack) : "/zv2player/track/" + std::to_string(songsStarted);
}

double MprisVolume(int volume) {
    return double(std::clamp(volume, 0, kMaxVolume)) / kMaxVolume;
}

int ProgramVolume(double mprisVolume) {
    if (!(mprisVolume > 0)) // NaN too
        return 0;
    return int(std::lround(std::min(mprisVolume, 1.0) * kMaxVolume));
}

namespace {

// Bytes of audio in the file; 0 when there is none or the play time is unknown.
std::int64_t AudioBytes(const TMprisInput& in) {
    return in.DurationUs > 0 && in.Length > in.AudioStart ? std::int64_t(in.Length) - in.AudioStart : 0;
}

} // namespace

std::int64_t MprisMicroseconds(const TMprisInput& in, std::uint32_t bytes) {
    const std::int64_t audio = AudioBytes(in);
    if (audio == 0)
        return 0;
    const std::int64_t played = std::clamp<std::int64_t>(std::int64_t(bytes) - in.AudioStart, 0, audio);
    return std::llround(double(played) * double(in.DurationUs) / double(audio));
}

std::int64_t FileBytes(const TMprisInput& in, std::int64_t microseconds) {
    const std::int64_t audio = AudioBytes(in);
    if (audio == 0)
        return 0;
    const std::int64_t time = std::clamp<std::int64_t>(microseconds, 0, in.DurationUs);
    return in.AudioStart + std::llround(double(time) * double(audio) / double(in.DurationUs));
}

TMprisState MprisStateOf(const TMprisInput& in) {
    TMprisState s;
    s.PlaybackStatus = in.PlayerState == kPlaying ? "Playing" : in.PlayerState == kPaused ? "Paused" : "Stopped";
    s.TrackId = MprisTrackId(in.SongsStarted);
    if (in.SongsStarted > 0) {
        s.Title = in.TagTitle.empty() ? TitleOf(in.FileName) : in.TagTitle;
        s.Artists = in.Artists;
        s.Album = in.Album;
        s.LengthUs = AudioBytes(in) > 0 ? in.DurationUs : 0;
        s.ArtUrl = in.ArtUrl;
        s.Url = FileUri(in.FileName);
        s.Comment = in.LyricLine;
    }
    s.Volume = MprisVolume(in.Volume);
    s.CanPlay = s.CanPause = s.CanGoNext = in.Rows > 0;
    s.CanGoPrevious = in.Rows > 0 && in.LastPlayed > 0;
    // The player moves its position only while it plays.
    s.CanSeek = in.SongsStarted > 0 && in.PlayerState == kPlaying && s.LengthUs > 0;
    return s;
}

std::vector<std::string> ChangedMprisProperties(const TMprisState& a, const TMprisState& b) {
    std::vector<std::string> names;
    auto check = [&names](bool differs, const char* name) {
        if (differs)
            names.emplace_back(name);
    };
    check(a.PlaybackStatus != b.PlaybackStatus, "PlaybackStatus");
    check(a.TrackId != b.TrackId || a.Title != b.Title || a.Artists != b.Artists || a.Album != b.Album ||
              a.LengthUs != b.LengthUs || a.ArtUrl != b.ArtUrl || a.Url != b.Url || a.Comment != b.Comment,
          "Metadata");
    check(a.Volume != b.Volume, "Volume");
    check(a.CanPlay != b.CanPlay, "CanPlay");
    check(a.CanPause != b.CanPause, "CanPause");
    check(a.CanSeek != b.CanSeek, "CanSeek");
    check(a.CanGoNext != b.CanGoNext, "CanGoNext");
    check(a.CanGoPrevious != b.CanGoPrevious, "CanGoPrevious");
    return names;
}

TMprisPlay MprisPlayAction(const TMprisInput& in) {
    if (in.PlayerState == kPlaying || in.Rows == 0)
        return TMprisPlay::Nothing;
    if (in.PlayerState == kStopped && in.SongsStarted > 0 && in.LastPlayed >= 0 && std::size_t(in.LastPlayed) < in.Rows)
        return TMprisPlay::PlayAgain;
    return TMprisPlay::Toggle;
}

namespace {

TMprisSeek MoveTo(const TMprisInput& in, std::int64_t positionUs) {
    const std::int64_t bytes = std::min<std::int64_t>(FileBytes(in, positionUs), in.Length);
    return {TMprisSeek::Move, std::uint32_t(bytes)};
}

} // namespace

TMprisSeek MprisSeekBy(const TMprisInput& in, std::int64_t offsetUs) {
    const TMprisState s = MprisStateOf(in);
    if (!s.CanSeek)
        return {};
    const std::int64_t target = MprisMicroseconds(in, in.Position) + offsetUs;
    if (target >= s.LengthUs)
        return {TMprisSeek::Next, 0};
    return MoveTo(in, std::max<std::int64_t>(target, 0));
}

TMprisSeek MprisSetPosition(const TMprisInput& in, const std::string& trackId, std::int64_t positionUs) {
    const TMprisState s = MprisStateOf(in);
    if (!s.CanSeek || trackId != s.TrackId || positionUs < 0 || positionUs > s.LengthUs)
        return {};
    return MoveTo(in, positionUs);
}

std::string ShownLyricLine(const lyrics::TLRCDisplay& display) {
    const auto& lines = display.Lines();
    const std::int32_t shown = display.NextLine() - 1;
    if (shown < 0 || std::size_t(shown) >= lines.size() || !lines[std::size_t(shown)].Text)
        return {};
    return *lines[std::size_t(shown)].Text;
}

std::string SessionBusAddress(const char* busAddressVariable, const char* runtimeDirVariable,
                              bool (*busSocketExists)(const std::string& path)) {
    if (busAddressVariable && *busAddressVariable)
        return busAddressVariable;
    if (runtimeDirVariable && *runtimeDirVariable) {
        const std::string socket = std::string(runtimeDirVariable) + "/bus";
        if (busSocketExists(socket))
            return "unix:path=" + socket;
    }
    return {};
}

bool SessionBusAllowed(const std::string& address, bool loopbackOnly) {
    if (!loopbackOnly)
        return true;
    std::size_t from = 0;
    while (from <= address.size()) {
        const std::size_t end = std::min(address.find(';', from), address.size());
        const std::string_view one = std::string_view(address).substr(from, end - from);
        if (!one.empty() && !one.starts_with("unix:"))
            return false;
        from = end + 1;
    }
    return true;
}

} // namespace zv2::app
