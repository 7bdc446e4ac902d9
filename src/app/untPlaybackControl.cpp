#include "app/untPlaybackControl.h"

#include "lyrics/untLRCDisplay.h"
#include "lyrics/untLRCSvr.h"

#include <algorithm>
#include <exception>

namespace zv2::app {

namespace {
constexpr std::uint8_t kPlaying = 1;
constexpr std::uint8_t kPaused = 2;
constexpr std::uint8_t kOpenFailed = 3;
} // namespace

TPlaybackControl::TPlaybackControl(TPlayList& list, IPlaybackPlayer* player, IPlayerPanel& panel,
                                   lyrics::TLRCDisplay& lyrics)
    : List_(list), Player_(player), Panel_(panel), Lyrics_(lyrics) {}

bool TPlaybackControl::PlayEntry(int index) {
    if (List_.Count() == 0 || !Player_)
        return false;
    const int rows = static_cast<int>(List_.Count());
    index = std::clamp(index, 0, rows - 1);
    try {
        const std::string path = List_.Row(static_cast<std::size_t>(index)).Path;
        Player_->Open(path);
        if (List_.LastPlayed >= 0 && List_.LastPlayed < rows)
            List_.SetStatus(static_cast<std::size_t>(List_.LastPlayed), psNormal);

        if (Player_->State() == kOpenFailed) {
            List_.SetStatus(static_cast<std::size_t>(index), psFailed);
            if (Panel_.RemoveFailedFiles()) {
                // LastPlayed + 1 must name the next candidate: the row that moves
                // into the failed row's place, or the first row after the last.
                List_.LastPlayed = (index > 0 && index < rows - 1) ? index - 1 : -1;
                List_.RemoveRow(static_cast<std::size_t>(index));
            }
            return false;
        }

        Player_->Play();
        ++SongsStarted;
        List_.SetStatus(static_cast<std::size_t>(index), psPlaying);
        Panel_.SetPositionRange(0, static_cast<int>(std::min<std::uint32_t>(Player_->Length(), INT32_MAX)));
        Panel_.SetPlayerTimer(true);
        const std::string title = TitleOf(path);
        PlayingTitle_ = title;
        Panel_.SetCurMusic(title);
        Panel_.SetPlayerStatus("正在播放");
        List_.LastPlayed = index;
        Panel_.SetPlayButtonImage(1);
        ElapsedMs = 0;
        PlayingLyricFile_ = lyrics::LyricFilePath(LRCPath, title);
        if (const std::string lyricFile = FindLyricFile(path); !lyricFile.empty()) {
            LoadLyrics(lyricFile);
        } else {
            // Without this the previous song's lines would go on over this one.
            Lyrics_.Pause();
            Lyrics_.Clear();
            if (OnLyricsMissing && !title.empty() && LyricsAsked_.insert(title).second)
                OnLyricsMissing(title);
        }
        Panel_.SetCaption("正在播放：" + title);
        return true;
    } catch (const std::exception&) {
        return true;
    }
}

std::string TPlaybackControl::FindLyricFile(const std::string& path) const {
    const std::string file = lyrics::LyricFilePath(LRCPath, TitleOf(path));
    if (Panel_.FileExists(file))
        return file;
    // Earlier versions took the title up to the name's first ".".
    const std::string name = path.substr(path.find_last_of('/') + 1);
    const std::string earlierTitle = name.substr(0, name.find('.'));
    if (earlierTitle.empty() || earlierTitle == TitleOf(path))
        return {};
    const std::string earlier = lyrics::LyricFilePath(LRCPath, earlierTitle);
    return Panel_.FileExists(earlier) ? earlier : std::string();
}

void TPlaybackControl::LoadLyrics(const std::string& path) {
    Lyrics_.LoadFile(path);
    Lyrics_.Start();
    Lyrics_.SetClock(ElapsedMs);
}

void TPlaybackControl::LyricsArrived(const std::string& path) {
    if (!Player_ || path.empty() || path != PlayingLyricFile_)
        return;
    try {
        const std::uint8_t state = Player_->State();
        if (state != kPlaying && state != kPaused)
            return;
        Lyrics_.LoadFile(path);
        if (state == kPlaying)
            Lyrics_.Start(); // a paused song's display starts with the resume
        Lyrics_.SkipTo(ElapsedMs);
    } catch (const std::exception&) {
        // An unreadable file shows nothing; the song plays on.
    }
}

void TPlaybackControl::PlayNext() {
    if (List_.Count() == 0)
        return;
    if (List_.LastPlayed + 1 > static_cast<int>(List_.Count()) - 1) {
        List_.SetStatus(List_.Count() - 1, psNormal);
        List_.LastPlayed = -1;
    }
    int candidate = List_.LastPlayed + 1;
    for (;;) {
        const std::size_t rowsBefore = List_.Count();
        if (PlayEntry(candidate))
            return;
        candidate = List_.Count() < rowsBefore ? List_.LastPlayed + 1 : candidate + 1;
        if (candidate >= static_cast<int>(List_.Count()) - 1)
            return; // the last row is only tried as the first candidate
    }
}

void TPlaybackControl::PlayPrevious() {
    if (List_.Count() > 0 && List_.LastPlayed - 1 >= 0)
        PlayEntry(List_.LastPlayed - 1);
}

void TPlaybackControl::TogglePlay() {
    if (!Player_)
        return;
    switch (Player_->State()) {
    case kPaused:
        Panel_.SetPlayButtonImage(1);
        Player_->Play();
        if (Lyrics_.Lines().empty()) {
            // The display has nothing to go on with and would show "加载歌词失败".
            Panel_.SetCurMusic(PlayingTitle_);
        } else {
            Lyrics_.SetClock(ElapsedMs);
            Lyrics_.Start();
        }
        Panel_.SetPlayerStatus("正在播放:");
        break;
    case kPlaying:
        Panel_.SetPlayButtonImage(0);
        Player_->Pause();
        Lyrics_.Pause();
        Panel_.SetPlayerStatus("暂停播放");
        break;
    default: {
        const int selected = List_.SelectedRow();
        if (!PlayEntry(selected < 0 ? 0 : selected))
            PlayNext();
        Panel_.SetPlayButtonImage(1);
        break;
    }
    }
}

void TPlaybackControl::PlaySelected() {
    const int selected = List_.SelectedRow();
    if (selected < 0 || !Player_)
        return;
    if (!PlayEntry(selected))
        PlayNext();
}

void TPlaybackControl::Stop() {
    if (!Player_)
        return;
    SeekTo(0);
    Player_->Stop();
    Lyrics_.Pause();
    Panel_.SetPlayerTimer(false);
    Panel_.SetPlayButtonImage(0);
    Panel_.SetPlayerStatus("停止播放");
}

void TPlaybackControl::SeekTo(std::uint32_t position) {
    if (!Player_)
        return;
    Player_->Seek(position);
    // The slider follows without a second seek of its own.
    const bool seekEnabled = SeekEnabled;
    SeekEnabled = false;
    Panel_.SetSliderPosition(static_cast<int>(std::min<std::uint32_t>(position, INT32_MAX)));
    SeekEnabled = seekEnabled;
}

void TPlaybackControl::PlayerTimer() {
    if (!Player_ || Panel_.LeftButtonDown())
        return;
    SeekEnabled = false;
    Panel_.SetSliderPosition(static_cast<int>(std::min<std::uint32_t>(Player_->Position(), INT32_MAX)));
    SeekEnabled = true;
    if (Panel_.SliderPosition() < Panel_.PositionMax()) {
        ElapsedMs += 1000;
        return;
    }
    Panel_.SetPlayerTimer(false);
    Panel_.SetSliderPosition(0);
    if (LoopMode == 1)
        --List_.LastPlayed;
    PlayNext();
}

void TPlaybackControl::PositionChanged() {
    if (!Player_)
        return;
    if (SeekEnabled && !Panel_.LeftButtonDown())
        Player_->Seek(static_cast<std::int64_t>(Panel_.SliderPosition()));
    Lyrics_.SetClock(ElapsedMs);
}

void TPlaybackControl::VolumeChanged(int volume) {
    if (Player_)
        Player_->SetVolume(volume);
}

} // namespace zv2::app
