// music-site: a local music site and lyric site, for tests, the demo and
// anyone who wants to browse and download their own library with the player.

#include "untMusicSite.h"

#include "platform/net/NetAddress.h"
#include <arpa/inet.h>

#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

const char* const Usage = "Usage: music-site --music DIR [options]\n"
                          "A music site and a lyric site in one small HTTP server, made from a folder of\n"
                          "MP3 files. It serves what the player reads: search result pages, song download\n"
                          "pages, the chart overview \"/top\" with 17 charts and the chart pages with 50\n"
                          "songs each, the MP3 files themselves (HEAD, GET, GET with Range), and the\n"
                          "lyric site's search (\"/m?...&word=...\", a GBK page) and LRC files.\n"
                          "\n"
                          "Options:\n"
                          "  --music DIR        folder of MP3 files (with its subfolders); required\n"
                          "  --lyrics DIR       folder of LRC files named after the songs (\"Title.lrc\")\n"
                          "  --catalogue FILE   titles and artists for some or all files (see below)\n"
                          "  --bind ADDR        IPv4 address to listen on (default 127.0.0.1; 0.0.0.0 for\n"
                          "                     every interface, to serve other machines)\n"
                          "  --port N           TCP port (default 0: one the system picks)\n"
                          "  --stall-at N       file replies send the bytes before offset N of the file,\n"
                          "                     then nothing more until the site ends (a site that stops\n"
                          "                     half way, for trying interrupted downloads)\n"
                          "  --help             show this text\n"
                          "\n"
                          "Titles and artists come from the file names, \"Artist - Title.mp3\" (a name\n"
                          "without \" - \" is a title with no artist). The catalogue file, UTF-8, names them\n"
                          "instead, one song per line, fields separated by tabs:\n"
                          "    FILE<TAB>TITLE[<TAB>ARTIST]\n"
                          "FILE is the path below the music folder; lines beginning with \"#\" are skipped.\n"
                          "\n"
                          "The first line on standard output is \"music-site: listening on ADDR:PORT\".\n"
                          "Each request is logged on standard error. SIGINT or SIGTERM ends the server.\n"
                          "Point the player at it with ZV2_MUSIC_SITE=ADDR:PORT and ZV2_LYRIC_SITE=ADDR:PORT.\n";

int Fail(const std::string& message) {
    std::fprintf(stderr, "music-site: %s\n", message.c_str());
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    std::string address = "127.0.0.1", musicDir, lyricsDir, catalogue;
    std::uint16_t port = 0;
    std::int64_t stallAt = -1;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--help" || arg == "-h") {
            std::fputs(Usage, stdout);
            return 0;
        } else if (arg == "--bind" && hasValue) {
            // A numeric address only: a name would be looked up on the network.
            in_addr parsed{};
            address = argv[++i];
            if (inet_pton(AF_INET, address.c_str(), &parsed) != 1) {
                return Fail("not an IPv4 address: " + address);
            }
        } else if (arg == "--port" && hasValue) {
            if (!zv2::platform::ParsePort(argv[++i], port)) {
                return Fail("bad port: " + std::string(argv[i]));
            }
        } else if (arg == "--stall-at" && hasValue) {
            const std::string value = argv[++i];
            const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), stallAt);
            if (error != std::errc() || end != value.data() + value.size() || stallAt < 0) {
                return Fail("bad offset: " + value);
            }
        } else if (arg == "--music" && hasValue) {
            musicDir = argv[++i];
        } else if (arg == "--lyrics" && hasValue) {
            lyricsDir = argv[++i];
        } else if (arg == "--catalogue" && hasValue) {
            catalogue = argv[++i];
        } else {
            std::fputs(Usage, stderr);
            return Fail("unknown option or missing value: " + arg);
        }
    }
    if (musicDir.empty()) {
        std::fputs(Usage, stderr);
        return Fail("--music DIR is required");
    }
    if (!std::filesystem::is_directory(musicDir)) {
        return Fail("not a folder: " + musicDir);
    }

    zv2::site::TSiteLibrary library;
    std::vector<std::string> warnings;
    library.Load(musicDir, catalogue, lyricsDir, warnings);
    for (const std::string& warning : warnings) {
        std::fprintf(stderr, "music-site: %s\n", warning.c_str());
    }

    // The signals are taken by sigwait below, never by a handler; block them
    // before any thread starts, so every thread inherits the mask.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    zv2::site::TMusicSite site(library,
                               [](const std::string& line) { std::fprintf(stderr, "music-site: %s\n", line.c_str()); });
    if (stallAt >= 0) {
        site.StallAt(stallAt);
    }
    std::string error;
    if (!site.Start(address, port, error)) {
        return Fail(error);
    }
    std::printf("music-site: listening on %s:%u\n", address.c_str(), static_cast<unsigned>(site.Port()));
    std::fflush(stdout);
    std::fprintf(stderr, "music-site: %zu songs, lyrics in %s\n", library.Songs().size(),
                 lyricsDir.empty() ? "no folder" : lyricsDir.c_str());

    int taken = 0;
    sigwait(&signals, &taken);
    site.Stop();
    return 0;
}
