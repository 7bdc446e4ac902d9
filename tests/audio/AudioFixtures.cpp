#include "audio/AudioFixtures.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

namespace zv2::audio::test {

namespace {

struct TTempFolder {
    std::string Path;
    TTempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "zv2-audio-XXXXXX").string();
        Path = mkdtemp(pattern.data()) ? pattern : std::string();
    }
    ~TTempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(Path, ec);
    }
};

TBytes ReadCommandOutput(const std::string& command) {
    TBytes out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return out;
    std::uint8_t chunk[65536];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;)
        out.insert(out.end(), chunk, chunk + n);
    pclose(pipe);
    return out;
}

} // namespace

const std::string& TempDir() {
    static TTempFolder folder;
    return folder.Path;
}

std::string MakeSine(const std::string& name, const std::string& outputOptions, double seconds) {
    static std::map<std::string, std::string> made;
    const std::string path = TempDir() + "/" + name;
    if (made.count(path))
        return path;
    const std::string command =
        "ffmpeg -hide_banner -loglevel error -nostdin -y -f lavfi -i \"sine=frequency=440:duration=" +
        std::to_string(seconds) + "\" " + outputOptions + " '" + path + "'";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    made[path] = path;
    return path;
}

TBytes FfmpegPcm(const std::string& path) {
    return ReadCommandOutput("ffmpeg -hide_banner -loglevel error -nostdin -i '" + path + "' -f s16le -");
}

TBytes ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return TBytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const TBytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

} // namespace zv2::audio::test
