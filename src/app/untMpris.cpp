#include "app/untMpris.h"

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

std::int64_t MprisMicroseconds(std::uint32_t bytes, int bitRate) {
    return bitRate > 0 ? std::int64_t(bytes) * 8'000'000 / bitRate : 0;
}

std::int64_t FileBytes(std::int64_t microseconds, int bitRate) {
    return bitRate > 0 && microseconds > 0 ? microseconds * bitRate / 8'000'000 : 0;
}

TMprisState MprisStateOf(const TMprisInput& in) {
    TMprisState s;
    s.PlaybackStatus = in.PlayerState == kPlaying ? "Playing" : in.PlayerState == kPaused ? "Paused" : "Stopped";
    s.TrackId = MprisTrackId(in.SongsStarted);
    if (in.SongsStarted > 0) {
        s.Title = TitleOf(in.FileName);
        s.LengthUs = MprisMicroseconds(in.Length, in.BitRate);
        s.Comment = in.LyricLine;
    }
    s.Volume = MprisVolume(in.Volume);
    s.CanPlay = s.CanPause = s.CanGoNext = in.Rows > 0;
    s.CanGoPrevious = in.Rows > 0 && in.LastPlayed > 0;
    // The player moves its position only while it plays.
    s.CanSeek = in.SongsStarted > 0 && in.PlayerState == kPlaying && in.BitRate > 0;
    return s;
}

std::vector<std::string> ChangedMprisProperties(const TMprisState& a, const TMprisState& b) {
    std::vector<std::string> names;
    auto check = [&names](bool differs, const char* name) {
        if (differs)
            names.emplace_back(name);
    };
    check(a.PlaybackStatus != b.PlaybackStatus, "PlaybackStatus");
    check(a.TrackId != b.TrackId || a.Title != b.Title || a.LengthUs != b.LengthUs || a.Comment != b.Comment,
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
    const std::int64_t bytes = std::min<std::int64_t>(FileBytes(positionUs, in.BitRate), in.Length);
    return {TMprisSeek::Move, std::uint32_t(bytes)};
}

} // namespace

TMprisSeek MprisSeekBy(const TMprisInput& in, std::int64_t offsetUs) {
    const TMprisState s = MprisStateOf(in);
    if (!s.CanSeek)
        return {};
    const std::int64_t target = MprisMicroseconds(in.Position, in.BitRate) + offsetUs;
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
