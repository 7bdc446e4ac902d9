#pragma once
// Test MP3 files made at run time with ffmpeg (and lame), and small file helpers.

#include <cstdint>
#include <string>
#include <vector>

namespace zv2::audio::test {

using TBytes = std::vector<std::uint8_t>;

// A folder of this test process, removed when the process ends.
const std::string& TempDir();

// Encodes `seconds` of a 440 Hz sine into TempDir()/name with the given
// ffmpeg output options (codec, channels, rate); the file is made once per process.
std::string MakeSine(const std::string& name, const std::string& outputOptions, double seconds = 2.0);

// The whole file as ffmpeg decodes it: interleaved signed 16-bit PCM.
TBytes FfmpegPcm(const std::string& path);

TBytes ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const TBytes& bytes);

} // namespace zv2::audio::test
