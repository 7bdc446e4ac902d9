#include "app/untSettings.h"

#include "platform/FileSystem.h"

#include <algorithm>

namespace zv2::app {

namespace {

bool IsBlankText(const std::string& s) {
    return s.find_first_not_of(" \t") == std::string::npos;
}

// The task limits live in 8-bit fields: the low byte of what was read, with 0
// and anything above the limit replaced by the limit.
std::uint8_t LimitCount(std::int32_t stored, std::uint8_t limit) {
    const auto low = static_cast<std::uint8_t>(stored & 0xFF);
    return (low == 0 || low > limit) ? limit : low;
}

} // namespace

std::string DefaultSearchURL(const std::string& musicSiteHost) {
    return "http://" + musicSiteHost + "/search?key=";
}

TSettingsData ReadSettings(const platform::TIniFile& ini, const std::string& programFolder,
                           const std::string& musicSiteHost,
                           const std::function<bool(const std::string&)>& fileExists) {
    TSettingsData d;
    d.IP = ini.ReadString("ZV2Address", "IP", kDefaultSpeakerAddress);
    d.Speakers.Read(ini, d.IP);
    d.SearchURL = ini.ReadString("Search", "SearchURL", DefaultSearchURL(musicSiteHost));

    d.SavePath = ini.ReadString("General", "SavePath", "");
    if (!platform::DirectoryExists(d.SavePath))
        d.SavePath = programFolder + "Music";

    const std::int32_t musicCount = ini.ReadInteger("MusicList", "MusicCount", 0);
    // A missing key reads as an empty path, which never exists. Once every key
    // of the section was seen the rest are missing, so a huge count ends early.
    std::size_t keysLeft = ini.KeyCount("MusicList") - (ini.Find("MusicList", "MusicCount") ? 1 : 0);
    d.Music.reserve(std::min(static_cast<std::size_t>(std::max(musicCount, 0)), keysLeft));
    for (std::int32_t i = 0; i < musicCount && keysLeft > 0; ++i) {
        auto path = ini.Find("MusicList", "Music" + std::to_string(i));
        if (!path)
            continue;
        --keysLeft;
        if (fileExists(*path))
            d.Music.push_back(std::move(*path));
    }
    // Music0.. up to the count, each kept, and no other key than the count.
    d.MusicAsWritten = musicCount >= 0 && d.Music.size() == static_cast<std::size_t>(musicCount) &&
                       ini.KeyCount("MusicList") == d.Music.size() + 1;

    const std::int32_t searchCount = ini.ReadInteger("SearchList", "SearchCount", 0);
    keysLeft = ini.KeyCount("SearchList") - (ini.Find("SearchList", "SearchCount") ? 1 : 0);
    for (std::int32_t i = 0; i < searchCount && keysLeft > 0; ++i) {
        auto item = ini.Find("SearchList", "SearchItem" + std::to_string(i));
        if (!item)
            continue;
        --keysLeft;
        if (!IsBlankText(*item))
            d.SearchItems.push_back(*item);
    }

    d.LastPlayed = ini.ReadInteger("History", "LastPlayed", 0);
    d.AutoPlay = ini.ReadBool("History", "AutoPlay", true);
    const std::int32_t filter = ini.ReadInteger("Search", "Filter", 0);
    if (filter >= 0 && filter <= 3)
        d.Filter = filter;
    d.QuitConfirm = ini.ReadBool("General", "QuitConfirm", false);
    d.MaxTasks = LimitCount(ini.ReadInteger("Download", "MaxTasks", 5), 5);
    d.ThreadsPeerTask = LimitCount(ini.ReadInteger("Download", "ThreadsPeerTask", 3), 3);
    d.FullSpeed = ini.ReadBool("Download", "FullSpeed", false);
    d.LRCPath = ini.ReadString("General", "LRCPath", programFolder + "LRCs/");
    d.AutoLyrics = ini.ReadBool("General", "AutoLyrics", true);
    d.SpeakerMode = ini.ReadBool("General", "SpeakerMode", true);
    d.Volume = ini.ReadInteger("History", "Volume", 1500);
    return d;
}

void RemoveUnfinishedSaves(const std::string& programFolder) {
    // One pass over the folder, which may hold a whole music collection.
    const std::string earlier = std::string(kSettingsFileName) + ".tmp";
    platform::RemoveStaleTemporaryFiles(programFolder, [&earlier](std::string_view name) {
        return name.size() > earlier.size() && name.starts_with(earlier) &&
               name.find_first_not_of("0123456789", earlier.size()) == std::string_view::npos;
    });
}

void WriteSettings(platform::TIniFile& ini, const TSettingsData& d, bool withMusic) {
    ini.EraseSection("ZV2Address");
    ini.WriteString("ZV2Address", "IP", d.IP);
    d.Speakers.Write(ini);

    if (withMusic) {
        ini.EraseSection("MusicList");
        ini.WriteInteger("MusicList", "MusicCount", static_cast<std::int64_t>(d.Music.size()));
        for (std::size_t i = 0; i < d.Music.size(); ++i)
            ini.WriteString("MusicList", "Music" + std::to_string(i), d.Music[i]);
    }

    ini.EraseSection("SearchList");
    ini.WriteInteger("SearchList", "SearchCount", static_cast<std::int64_t>(d.SearchItems.size()));
    for (std::size_t i = 0; i < d.SearchItems.size(); ++i)
        ini.WriteString("SearchList", "SearchItem" + std::to_string(i), d.SearchItems[i]);

    ini.WriteString("General", "SavePath", d.SavePath);
    ini.WriteInteger("History", "LastPlayed", d.LastPlayed);
    ini.WriteInteger("Search", "Filter", d.Filter);
    ini.WriteBool("History", "AutoPlay", d.AutoPlay);
    ini.WriteBool("General", "QuitConfirm", d.QuitConfirm);
    ini.WriteInteger("Download", "MaxTasks", d.MaxTasks);
    ini.WriteInteger("Download", "ThreadsPeerTask", d.ThreadsPeerTask);
    ini.WriteBool("Download", "FullSpeed", d.FullSpeed);
    ini.WriteString("General", "LRCPath", d.LRCPath);
    ini.WriteBool("General", "AutoLyrics", d.AutoLyrics);
    ini.WriteBool("General", "SpeakerMode", d.SpeakerMode);
    ini.WriteInteger("History", "Volume", d.Volume);
}

} // namespace zv2::app
