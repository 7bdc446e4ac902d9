#include "audio/FFmpegObjects.h"

#include "platform/LoadedLibrary.h"

#include <string>

namespace zv2::audio {

namespace {

#define ZV2_STRINGIFY(x) #x
#define ZV2_SONAME(name, major) "lib" name ".so." ZV2_STRINGIFY(major)

std::unique_ptr<TFFmpeg> Load() {
    // Kept loaded for the rest of the run, as linked libraries would be.
    void* codec = ::dlopen(ZV2_SONAME("avcodec", LIBAVCODEC_VERSION_MAJOR), RTLD_NOW | RTLD_LOCAL);
    void* util = ::dlopen(ZV2_SONAME("avutil", LIBAVUTIL_VERSION_MAJOR), RTLD_NOW | RTLD_LOCAL);
    void* resample = ::dlopen(ZV2_SONAME("swresample", LIBSWRESAMPLE_VERSION_MAJOR), RTLD_NOW | RTLD_LOCAL);
    if (!codec || !util || !resample)
        return nullptr;
    auto f = std::make_unique<TFFmpeg>();
#define ZV2_BIND(library, name) platform::BindFunction(library, #name, f->name)
    const bool bound =
        ZV2_BIND(codec, avcodec_find_decoder) && ZV2_BIND(codec, avcodec_alloc_context3) &&
        ZV2_BIND(codec, avcodec_open2) && ZV2_BIND(codec, avcodec_free_context) &&
        ZV2_BIND(codec, avcodec_send_packet) && ZV2_BIND(codec, avcodec_receive_frame) &&
        ZV2_BIND(codec, av_packet_alloc) && ZV2_BIND(codec, av_packet_free) && ZV2_BIND(codec, av_new_packet) &&
        ZV2_BIND(codec, av_packet_unref) && ZV2_BIND(util, av_frame_alloc) && ZV2_BIND(util, av_frame_free) &&
        ZV2_BIND(util, av_frame_unref) && ZV2_BIND(resample, swr_alloc_set_opts2) && ZV2_BIND(resample, swr_init) &&
        ZV2_BIND(resample, swr_convert) && ZV2_BIND(resample, swr_free) && ZV2_BIND(util, av_log_set_callback) &&
        ZV2_BIND(util, av_log_format_line2);
#undef ZV2_BIND
    return bound ? std::move(f) : nullptr;
}

} // namespace

const TFFmpeg* FFmpeg() {
    static const std::unique_ptr<TFFmpeg> functions = Load(); // thread-safe, once
    return functions.get();
}

} // namespace zv2::audio
