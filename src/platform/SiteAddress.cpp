#include "platform/SiteAddress.h"

#include <cstdlib>

namespace zv2::platform {

namespace {
std::string FromEnvironment(const char* name, const char* fallback) {
    const char* value = std::getenv(name);
    return (value && *value) ? value : fallback;
}
} // namespace

std::string MusicSiteHost() {
    return FromEnvironment("ZV2_MUSIC_SITE", "music.baidu.com");
}

std::string LyricSiteHost() {
    return FromEnvironment("ZV2_LYRIC_SITE", "mp3.baidu.com");
}

} // namespace zv2::platform
