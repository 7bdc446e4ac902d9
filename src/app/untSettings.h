#pragma once
// The program's persistent state as it is kept in Download.ini: what
// LoadSettings reads (with every default and correction applied) and what
// SaveSettings writes, in the file's read and write orders. The window applies
// these values to its controls and objects; this unit only knows the file.

#include "app/untSpeakerList.h"
#include "platform/IniFile.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace zv2::app {

// The settings file, in the program folder.
inline constexpr char kSettingsFileName[] = "Download.ini";
// The speaker address used until the user picks one (a private LAN address).
inline constexpr char kDefaultSpeakerAddress[] = "10.10.100.254";
// The last item of the search history box: choosing it clears the history.
inline constexpr char kClearHistoryItem[] = "====清除搜索历史====";

struct TSettingsData {
    std::string IP = kDefaultSpeakerAddress;
    std::string SearchURL;          // never written back
    std::string SavePath;           // an existing folder, or the program folder + "Music"
    std::vector<std::string> Music; // playlist paths, files that exist, in order
    // Read: the playlist's section holds exactly what WriteSettings writes for
    // Music, so a file that keeps this list need not have it written again.
    bool MusicAsWritten = false;
    std::vector<std::string> SearchItems; // history, without the clear-history item
    std::int32_t LastPlayed = 0;
    bool AutoPlay = true;
    std::int32_t Filter = 0; // 0..3
    bool QuitConfirm = false;
    std::uint8_t MaxTasks = 5;        // 1..5
    std::uint8_t ThreadsPeerTask = 3; // 1..3
    bool FullSpeed = false;           // "全速下载": downloads without the designed pauses, written to file
    std::string LRCPath;
    bool AutoLyrics = true;  // a song without a lyric file asks the lyric site for one
    bool SpeakerMode = true; // the output chosen last: the speaker ("ZV2播放"), else the sound card ("本地播放")
    std::int32_t Volume = 1500; // as stored; the volume slider limits it to 0..3000
    TSpeakerList Speakers{IP};  // section "ZV2Speakers"; row 0 is the speaker at IP
};

// The default search address for a music site host ("host[:port]").
std::string DefaultSearchURL(const std::string& musicSiteHost);

// Reads every key in the load order. `programFolder` ends with "/";
// `fileExists` decides which playlist paths are kept.
TSettingsData ReadSettings(const platform::TIniFile& ini, const std::string& programFolder,
                           const std::string& musicSiteHost, const std::function<bool(const std::string&)>& fileExists);

// Removes what settings saves cut short by a crash or a kill left in the
// program folder: their temporary files, and the "Download.ini.tmp<pid>" files
// of earlier versions. Download.ini itself is always whole. For the start,
// once this copy is the running one (no other copy saves there then).
void RemoveUnfinishedSaves(const std::string& programFolder);

// Writes every key in the save order (erasing "ZV2Address", "MusicList" and
// "SearchList" first). "SearchURL" is never written. Without `withMusic` the
// playlist's section stays as it stands (for a file that holds the list already).
void WriteSettings(platform::TIniFile& ini, const TSettingsData& data, bool withMusic = true);

} // namespace zv2::app
