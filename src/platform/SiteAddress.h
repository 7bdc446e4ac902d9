#pragma once
// Where the music site and the lyric site are: "host[:port]", taken from
// ZV2_MUSIC_SITE and ZV2_LYRIC_SITE when set (tests and the demo point them at
// loopback), else the public sites.

#include <string>

namespace zv2::platform {

std::string MusicSiteHost();
std::string LyricSiteHost();

} // namespace zv2::platform
