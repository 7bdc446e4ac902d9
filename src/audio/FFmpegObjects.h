#pragma once
// The one place that includes FFmpeg and owns its objects: every FFmpeg
// object lives in a unique_ptr with its deleter, so no path leaks one.
// libavcodec 5.x (59.x) is what this is written against.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
#include <libswresample/swresample.h>
}

#include <memory>

namespace zv2::audio {

struct TCodecContextDeleter {
    void operator()(AVCodecContext* p) const { avcodec_free_context(&p); }
};
struct TFrameDeleter {
    void operator()(AVFrame* p) const { av_frame_free(&p); }
};
struct TPacketDeleter {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct TSwrContextDeleter {
    void operator()(SwrContext* p) const { swr_free(&p); }
};

using TCodecContextPtr = std::unique_ptr<AVCodecContext, TCodecContextDeleter>;
using TFramePtr = std::unique_ptr<AVFrame, TFrameDeleter>;
using TPacketPtr = std::unique_ptr<AVPacket, TPacketDeleter>;
using TSwrContextPtr = std::unique_ptr<SwrContext, TSwrContextDeleter>;

} // namespace zv2::audio
