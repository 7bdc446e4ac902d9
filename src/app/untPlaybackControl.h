#pragma once
// Playback control: what plays next and what the player panel shows. It opens
// and plays playlist entries, pauses and resumes, steps to the next or
// previous entry, loops over the list or one song, notices the end of a song
// from the position timer, marks (and optionally removes) files that fail to
// open, and keeps the lyric display in step. The window binds its buttons,
// sliders, timer, menu items and hot keys to these operations.
// A song's lyric file is "<title>.lrc" in the lyric folder (TitleOf), or else
// the one earlier versions named after the file name up to its first ".".
// A song that starts without a lyric file is named to OnLyricsMissing (once
// per title); when its file arrives while it still plays (LyricsArrived), the
// display loads it and goes on at the current position.
// Main thread only.

#include "app/untPlayList.h"

#include <cstdint>
#include <functional>
#include <set>
#include <string>

namespace zv2::lyrics {
class TLRCDisplay;
}

namespace zv2::app {

// The player as playback control uses it (the player facade in the program).
class IPlaybackPlayer {
public:
    virtual ~IPlaybackPlayer() = default;
    virtual void Open(const std::string& path) = 0;
    virtual void Play() = 0;
    virtual void Pause() = 0;
    virtual void Stop() = 0; // file and position kept; state 0
    // 1 playing, 2 paused, 3 the last open failed; anything else is not playing.
    virtual std::uint8_t State() const = 0;
    virtual std::uint32_t Position() const = 0; // bytes into the file
    virtual std::uint32_t Length() const = 0;   // the file's size in bytes
    virtual void Seek(std::int64_t position) = 0;
    virtual void SetVolume(int volume) = 0;
};

// The player panel and the window as playback control drives them.
class IPlayerPanel {
public:
    virtual ~IPlayerPanel() = default;
    virtual void SetPositionRange(int min, int max) = 0;
    virtual int PositionMax() const = 0;
    virtual int SliderPosition() const = 0;
    // The slider holds the value within its range and, when it changed, calls
    // PositionChanged before returning.
    virtual void SetSliderPosition(int position) = 0;
    // The left mouse button is down (a drag of a slider must not be fought).
    virtual bool LeftButtonDown() const = 0;
    virtual void SetPlayButtonImage(int index) = 0; // 0 play symbol, 1 pause symbol
    virtual void SetPlayerStatus(const std::string& text) = 0;
    virtual void SetCurMusic(const std::string& text) = 0;
    virtual void SetCaption(const std::string& text) = 0;
    virtual void SetPlayerTimer(bool enabled) = 0;
    virtual bool RemoveFailedFiles() const = 0; // "自动移除出错的文件"
    virtual bool FileExists(const std::string& path) const = 0;
};

class TPlaybackControl {
public:
    // `player` may be null (then the operations that need it do nothing).
    TPlaybackControl(TPlayList& list, IPlaybackPlayer* player, IPlayerPanel& panel, lyrics::TLRCDisplay& lyrics);
    // The player from now on, for a control made before its player (the
    // window makes the player once it is shown).
    void SetPlayer(IPlaybackPlayer* player) { Player_ = player; }

    // Opens and plays entry `index` (held to the list). True when it plays, or
    // when the attempt ended in an error; false for an empty list or a file
    // that failed to open.
    bool PlayEntry(int index);
    // The next entry that plays, wrapping after the last.
    void PlayNext();
    // The entry before the last played one; nothing at the first.
    void PlayPrevious();
    // Play, pause or resume.
    void TogglePlay();
    // Double click on the playlist: the selected row, else on to the next that plays.
    void PlaySelected();
    // Stops the player (the panel shows it stopped, the lyrics hold); the
    // play button then starts the list again. For the desktop's media interface.
    void Stop();
    // Moves the playing song to `position` (bytes into the file), the
    // position slider with it. For the desktop's media interface.
    void SeekTo(std::uint32_t position);

    // Handlers of the panel.
    void PlayerTimer();     // every 1000 ms while the timer is enabled
    void PositionChanged(); // every change notification of the position slider
    void VolumeChanged(int volume);

    // A lyric file was saved at `path` (the lyric worker's report, on the UI
    // thread): shown when it is the file of the song that plays or is paused.
    void LyricsArrived(const std::string& path);
    // Called with a song's title when it starts without a lyric file, at most
    // once per title; may be left empty.
    std::function<void(const std::string& title)> OnLyricsMissing;

    std::string LRCPath; // the lyric folder as loaded at start
    std::int32_t ElapsedMs = 0;
    std::uint8_t LoopMode = 0; // 0 loop all, 1 single loop
    bool SeekEnabled = false;
    std::uint32_t SongsStarted = 0; // songs PlayEntry has started so far

private:
    void LoadLyrics(const std::string& path);
    // The lyric file of the song at `path`, "" when there is none.
    std::string FindLyricFile(const std::string& path) const;

    TPlayList& List_;
    IPlaybackPlayer* Player_;
    IPlayerPanel& Panel_;
    lyrics::TLRCDisplay& Lyrics_;
    std::string PlayingTitle_;     // of the song PlayEntry last started
    std::string PlayingLyricFile_; // where that song's lyric file is looked for
    std::set<std::string> LyricsAsked_;
};

} // namespace zv2::app
