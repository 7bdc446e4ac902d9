#pragma once
// tools/music-site in the test's own process (link music_site_lib), on
// 127.0.0.1 and a port the system picks, over a music folder (and a lyric
// folder) of the test's own: the site of every test that needs a plain one,
// its search, chart and download pages, its files with ranges and its lyric
// search and LRC files. Servers that misbehave on purpose are
// http/PageServer.h and download/FileServer.h.

#include "TempDir.h"
#include "untMusicSite.h"
#include "untSitePages.h"

#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

namespace zv2::test {

class TLocalMusicSite {
public:
    // File name → bytes. Song files are named "Artist - Title.mp3" and become
    // songs 1.. in the order of their names; lyric files "Title.lrc".
    using TFiles = std::map<std::string, std::string>;

    explicit TLocalMusicSite(const TFiles& songs, const TFiles& lyrics = {})
        : Site_(Load(songs, lyrics), [this](const std::string& line) { Logged(line); }) {
        std::string error;
        if (!Site_.Start("127.0.0.1", 0, error))
            throw std::runtime_error(error);
    }

    std::uint16_t Port() const { return Site_.Port(); }
    std::string Site() const { return "127.0.0.1:" + std::to_string(Port()); }
    const site::TSiteLibrary& Library() const { return Library_; }
    const site::TSong& Song(int id) const { return *Library_.SongById(id); }
    // The address of a song's file, as its download page leads to it.
    std::string FileUrl(const std::string& name) const {
        const site::TSong* song = Library_.SongByRelative(name);
        return song ? "http://" + Site() + site::FilePath(*song) : "";
    }

    // The request lines answered so far ("GET /search?key=x HTTP/1.1"), each
    // added once its reply has gone out, before the site closes the
    // connection: a client that has read a reply to its end finds it here.
    std::vector<std::string> Requests() const {
        std::lock_guard lock(Mutex_);
        return Requests_;
    }
    int RequestsFor(const std::string& needle) const {
        int n = 0;
        for (const std::string& request : Requests())
            n += request.find(needle) != std::string::npos ? 1 : 0;
        return n;
    }

private:
    static void Write(const std::string& folder, const TFiles& files) {
        std::filesystem::create_directory(folder);
        for (const auto& [name, bytes] : files)
            std::ofstream(folder + "/" + name, std::ios::binary) << bytes;
    }
    const site::TSiteLibrary& Load(const TFiles& songs, const TFiles& lyrics) {
        Write(Dir_.File("music"), songs);
        Write(Dir_.File("lyrics"), lyrics);
        std::vector<std::string> warnings;
        Library_.Load(Dir_.File("music"), "", Dir_.File("lyrics"), warnings);
        return Library_;
    }
    // The tool's log line: ADDRESS "REQUEST LINE" STATUS LENGTH ["Range: ..."].
    void Logged(const std::string& line) {
        const auto from = line.find('"') + 1;
        std::lock_guard lock(Mutex_);
        Requests_.push_back(line.substr(from, line.find('"', from) - from));
    }

    TTempDir Dir_;
    site::TSiteLibrary Library_;
    mutable std::mutex Mutex_;
    std::vector<std::string> Requests_;
    site::TMusicSite Site_; // last: it stops before the rest goes
};

} // namespace zv2::test
