#include "app/untSettings.h"

#include "platform/FileSystem.h"
#include "platform/TextCodec.h"

#include <algorithm>
#include <charconv>
#include <utility>

namespace zv2::app {

namespace {

bool IsBlankText(std::string_view s) {
    return s.find_first_not_of(" \t") == std::string_view::npos;
}

// The values of the keys "<prefix>0" .. "<prefix><count - 1>" of `section`,
// in the order of their numbers, missing ones left out: what reading the
// keys one by one would give, from one pass over the section. The views
// stand as long as `ini` stays as it is.
std::vector<std::string_view> NumberedValues(const platform::TIniFile& ini, std::string_view section,
                                             std::string_view prefix, std::int32_t count) {
    const std::string lowerPrefix = platform::AsciiLower(prefix);
    std::vector<std::pair<std::int32_t, std::string_view>> numbered;
    ini.ForEachKey(section, [&](std::string_view key, std::string_view value) {
        // Only the number as it is written: digits without a sign or a leading zero.
        const std::string_view digits = key.substr(std::min(prefix.size(), key.size()));
        if (digits.empty() || digits.front() < '0' || digits.front() > '9' ||
            (digits.front() == '0' && digits.size() > 1) ||
            platform::AsciiLower(key.substr(0, prefix.size())) != lowerPrefix)
            return;
        std::int32_t number = 0;
        const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
        if (error == std::errc() && end == digits.data() + digits.size() && number < count)
            numbered.emplace_back(number, value);
    });
    std::sort(numbered.begin(), numbered.end()); // the keys are distinct, and so are their numbers
    std::vector<std::string_view> values;
    values.reserve(numbered.size());
    for (const auto& entry : numbered)
        values.push_back(entry.second);
    return values;
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

    // A missing key reads as an empty path, which never exists: it is left out.
    const std::int32_t musicCount = ini.ReadInteger("MusicList", "MusicCount", 0);
    const std::vector<std::string_view> paths = NumberedValues(ini, "MusicList", "Music", musicCount);
    d.Music.reserve(paths.size());
    for (std::string_view stored : paths) {
        std::string path(stored);
        if (fileExists(path))
            d.Music.push_back(std::move(path));
    }
    // Music0.. up to the count, each kept, and no other key than the count.
    d.MusicAsWritten = musicCount >= 0 && d.Music.size() == static_cast<std::size_t>(musicCount) &&
                       ini.KeyCount("MusicList") == d.Music.size() + 1;

    const std::int32_t searchCount = ini.ReadInteger("SearchList", "SearchCount", 0);
    for (std::string_view item : NumberedValues(ini, "SearchList", "SearchItem", searchCount)) {
        if (!IsBlankText(item))
            d.SearchItems.emplace_back(item);
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
