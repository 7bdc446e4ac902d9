#pragma once
// The one place that includes FFmpeg and owns its objects: every FFmpeg
// object lives in a unique_ptr with its deleter, so no path leaks one.
// libavcodec 5.x (59.x) is what this is written against.
//
// The libraries are loaded when the first decoder opens, not when the
// program starts: libavcodec brings some seventy libraries of codecs this
// program never uses, and loading them all would hold up the window. FFmpeg()
// loads libavcodec, libavutil and libswresample of the versions these headers
// name and gives the functions this program calls.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
#include <libswresample/swresample.h>
}

#include <memory>

namespace zv2::audio {

// The FFmpeg functions in use, named as FFmpeg names them.
struct TFFmpeg {
    decltype(&::avcodec_find_decoder) avcodec_find_decoder;
    decltype(&::avcodec_alloc_context3) avcodec_alloc_context3;
    decltype(&::avcodec_open2) avcodec_open2;
    decltype(&::avcodec_free_context) avcodec_free_context;
    decltype(&::avcodec_send_packet) avcodec_send_packet;
    decltype(&::avcodec_receive_frame) avcodec_receive_frame;
    decltype(&::av_packet_alloc) av_packet_alloc;
    decltype(&::av_packet_free) av_packet_free;
    decltype(&::av_new_packet) av_new_packet;
    decltype(&::av_packet_unref) av_packet_unref;
    decltype(&::av_frame_alloc) av_frame_alloc;
    decltype(&::av_frame_free) av_frame_free;
    decltype(&::av_frame_unref) av_frame_unref;
    decltype(&::swr_alloc_set_opts2) swr_alloc_set_opts2;
    decltype(&::swr_init) swr_init;
    decltype(&::swr_convert) swr_convert;
    decltype(&::swr_free) swr_free;
    decltype(&::av_log_set_callback) av_log_set_callback;
    decltype(&::av_log_format_line2) av_log_format_line2;
};

// The functions, the libraries loaded by the first call (from any thread;
// later calls return at once); null when a library or a function is missing.
const TFFmpeg* FFmpeg();

// The deleters run only on objects that FFmpeg() made, so it is loaded then.
struct TCodecContextDeleter {
    void operator()(AVCodecContext* p) const { FFmpeg()->avcodec_free_context(&p); }
};
struct TFrameDeleter {
    void operator()(AVFrame* p) const { FFmpeg()->av_frame_free(&p); }
};
struct TPacketDeleter {
    void operator()(AVPacket* p) const { FFmpeg()->av_packet_free(&p); }
};
struct TSwrContextDeleter {
    void operator()(SwrContext* p) const { FFmpeg()->swr_free(&p); }
};

using TCodecContextPtr = std::unique_ptr<AVCodecContext, TCodecContextDeleter>;
using TFramePtr = std::unique_ptr<AVFrame, TFrameDeleter>;
using TPacketPtr = std::unique_ptr<AVPacket, TPacketDeleter>;
using TSwrContextPtr = std::unique_ptr<SwrContext, TSwrContextDeleter>;

} // namespace zv2::audio
