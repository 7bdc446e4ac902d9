#include "audio/untMpegAudioDecoder.h"

#include "audio/FFmpegObjects.h"
#include "audio/untFFmpegLog.h"

#include <algorithm>
#include <cstring>

namespace zv2::audio {

namespace {

// Kilobits per second by [MPEG-2][layer - 1][index]; index 0 is free format, 15 invalid.
constexpr int BitRates[2][3][15] = {
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}},
};
constexpr int SampleRates[2][3] = {{44100, 48000, 32000}, {22050, 24000, 16000}};
constexpr AVCodecID CodecIds[3] = {AV_CODEC_ID_MP1, AV_CODEC_ID_MP2, AV_CODEC_ID_MP3};

std::uint32_t ReadBigEndian32(const std::uint8_t* p) {
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}

// libavcodec refuses free-format headers. It reads the bit rate only to
// bound the frame, so the header handed to it names the smallest standard
// rate whose frame holds the assembled one (or the largest rate there is).
void MarkFreeFormatFrame(std::uint8_t* frame, std::size_t frameSize) {
    std::uint32_t header = ReadBigEndian32(frame);
    for (std::uint32_t index = 1; index <= 14; ++index) {
        header = (header & ~0xF000u) | (index << 12);
        if (ParseMpegFrameHeader(header)->FrameBytes >= frameSize)
            break;
    }
    frame[2] = std::uint8_t(header >> 8);
}

} // namespace

std::optional<TMpegFrameHeader> ParseMpegFrameHeader(std::uint32_t header) {
    // 12 sync bits and the ID bit: MPEG-1 (ID 1) or MPEG-2 (ID 0); the
    // unofficial MPEG-2.5 shares the sync pattern with a cleared 12th bit.
    if ((header & 0xFFE00000u) != 0xFFE00000u || (header & 0x00100000u) == 0)
        return std::nullopt;
    const int layerBits = int(header >> 17) & 3;
    const int bitRateIndex = int(header >> 12) & 15;
    const int sampleRateIndex = int(header >> 10) & 3;
    if (layerBits == 0 || bitRateIndex == 15 || sampleRateIndex == 3)
        return std::nullopt;

    TMpegFrameHeader h;
    h.Mpeg1 = (header & 0x00080000u) != 0;
    h.Layer = 4 - layerBits;
    h.BitRateIndex = bitRateIndex;
    h.BitRate = BitRates[h.Mpeg1 ? 0 : 1][h.Layer - 1][bitRateIndex] * 1000;
    h.SampleRate = SampleRates[h.Mpeg1 ? 0 : 1][sampleRateIndex];
    h.Channels = ((header >> 6) & 3) == 3 ? 1 : 2;
    h.Padding = (header & 0x200u) != 0;
    h.SamplesPerFrame = h.Layer == 1 ? 384 : (h.Layer == 3 && !h.Mpeg1 ? 576 : 1152);
    if (h.BitRate > 0) {
        const std::size_t slots =
            std::size_t(h.SamplesPerFrame / 8) * std::size_t(h.BitRate) / std::size_t(h.SampleRate);
        h.FrameBytes = h.Layer == 1 ? (slots / 4) * 4 : slots;
        h.FrameBytes += h.PaddingBytes();
    }
    return h;
}

struct TMpegAudioDecoder::TCodec {
    explicit TCodec(const TFFmpeg& f) : F(f) {}
    const TFFmpeg& F;
    TCodecContextPtr Contexts[3];
    TFramePtr Frame;
    TPacketPtr Packet;
    TSwrContextPtr Swr;
    int SwrFormat = -1;
    int SwrRate = 0;
    int SwrChannels = 0;
};

TMpegAudioDecoder::TMpegAudioDecoder() = default;
TMpegAudioDecoder::~TMpegAudioDecoder() = default;

int TMpegAudioDecoder::Open() {
    Close();
    const TFFmpeg* f = FFmpeg();
    if (!f)
        return -1;
    RouteFFmpegLog();
    auto codec = std::make_unique<TCodec>(*f);
    for (int layer = 0; layer < 3; ++layer) {
        const AVCodec* decoder = f->avcodec_find_decoder(CodecIds[layer]);
        if (!decoder)
            return -1;
        codec->Contexts[layer].reset(f->avcodec_alloc_context3(decoder));
        if (!codec->Contexts[layer])
            return -1;
        codec->Contexts[layer]->thread_count = 1;
        if (f->avcodec_open2(codec->Contexts[layer].get(), decoder, nullptr) < 0)
            return -1;
    }
    codec->Frame.reset(f->av_frame_alloc());
    codec->Packet.reset(f->av_packet_alloc());
    if (!codec->Frame || !codec->Packet)
        return -1;
    Codec_ = std::move(codec);
    return 0;
}

void TMpegAudioDecoder::Close() {
    Codec_.reset();
    BufferSize_ = 0;
    Header_.reset();
    FrameSize_ = 0;
    SearchOffset_ = 4;
    FreeFormatBase_ = 0;
    Info_ = {};
}

void TMpegAudioDecoder::Take(const std::uint8_t* input, std::size_t length, std::size_t& taken, std::size_t wanted) {
    const std::size_t n = std::min(wanted, length - taken);
    std::memcpy(Buffer_ + BufferSize_, input + taken, n);
    BufferSize_ += n;
    taken += n;
}

void TMpegAudioDecoder::DropOldestByte() {
    std::memmove(Buffer_, Buffer_ + 1, BufferSize_ - 1);
    --BufferSize_;
    Header_.reset();
    FrameSize_ = 0;
    SearchOffset_ = 4;
}

bool TMpegAudioDecoder::MatchesFreeFormatHeader(std::size_t offset) const {
    // Same first byte; same sync, version and layer bits; same bit-rate index
    // (free format) and sample-rate bits.
    return Buffer_[offset] == Buffer_[0] && (Buffer_[offset + 1] & 0xFE) == (Buffer_[1] & 0xFE) &&
           (Buffer_[offset + 2] & 0xFC) == (Buffer_[2] & 0xFC);
}

std::size_t TMpegAudioDecoder::DecodeFrame(const std::uint8_t* input, std::size_t length, std::uint8_t* output,
                                           int& pcmBytes) {
    pcmBytes = 0;
    if (!Codec_)
        return 0;
    std::size_t taken = 0;
    for (;;) {
        if (!Header_) {
            if (BufferSize_ < 4) {
                if (taken == length)
                    break;
                Take(input, length, taken, 4 - BufferSize_);
                continue;
            }
            Header_ = ParseMpegFrameHeader(ReadBigEndian32(Buffer_));
            if (!Header_) {
                DropOldestByte();
                FreeFormatBase_ = 0;
                continue;
            }
            Info_ = {Header_->BitRate, Header_->Layer, Header_->SampleRate, Header_->Channels,
                     Header_->SamplesPerFrame};
            if (Header_->FrameBytes > 0)
                FrameSize_ = std::min(Header_->FrameBytes, MaxFrameBytes);
            else if (FreeFormatBase_ > 0)
                FrameSize_ = std::min(FreeFormatBase_ + Header_->PaddingBytes(), MaxFrameBytes);
        }
        if (FrameSize_ == 0) {
            // Free format without a known length: the next matching header ends
            // the frame. Bytes are taken one at a time so that nothing after
            // that header is taken early.
            while (SearchOffset_ + 4 <= BufferSize_ && !MatchesFreeFormatHeader(SearchOffset_))
                ++SearchOffset_;
            if (SearchOffset_ + 4 <= BufferSize_) {
                FrameSize_ = SearchOffset_;
                FreeFormatBase_ = FrameSize_ > Header_->PaddingBytes() ? FrameSize_ - Header_->PaddingBytes() : 0;
            } else if (BufferSize_ >= MaxFrameBytes) {
                DropOldestByte();
                continue;
            } else {
                if (taken == length)
                    break;
                Take(input, length, taken, 1);
                continue;
            }
        }
        if (BufferSize_ < FrameSize_) {
            if (taken == length)
                break;
            Take(input, length, taken, FrameSize_ - BufferSize_);
            continue;
        }
        pcmBytes = DecodeAssembledFrame(output);
        // A free-format search leaves the next frame's header behind the frame.
        std::memmove(Buffer_, Buffer_ + FrameSize_, BufferSize_ - FrameSize_);
        BufferSize_ -= FrameSize_;
        Header_.reset();
        FrameSize_ = 0;
        SearchOffset_ = 4;
        break;
    }
    return taken;
}

int TMpegAudioDecoder::DecodeAssembledFrame(std::uint8_t* output) {
    TCodec& c = *Codec_;
    const TFFmpeg& f = c.F;
    AVCodecContext* context = c.Contexts[Header_->Layer - 1].get();
    AVPacket* packet = c.Packet.get();
    // av_new_packet adds AV_INPUT_BUFFER_PADDING_SIZE zero bytes after the frame.
    if (f.av_new_packet(packet, int(FrameSize_)) < 0)
        return -1;
    std::memcpy(packet->data, Buffer_, FrameSize_);
    if (Header_->BitRateIndex == 0)
        MarkFreeFormatFrame(packet->data, FrameSize_);
    const int sent = f.avcodec_send_packet(context, packet);
    f.av_packet_unref(packet);
    if (sent < 0)
        return -1;
    AVFrame* frame = c.Frame.get();
    if (f.avcodec_receive_frame(context, frame) < 0)
        return -1;

    const int channels = frame->ch_layout.nb_channels;
    int result = -1;
    if (channels >= 1 && channels <= 2) {
        if (!c.Swr || c.SwrFormat != frame->format || c.SwrRate != frame->sample_rate || c.SwrChannels != channels) {
            c.Swr.reset();
            SwrContext* swr = nullptr;
            if (f.swr_alloc_set_opts2(&swr, &frame->ch_layout, AV_SAMPLE_FMT_S16, frame->sample_rate, &frame->ch_layout,
                                      AVSampleFormat(frame->format), frame->sample_rate, 0, nullptr) == 0)
                c.Swr.reset(swr);
            if (c.Swr && f.swr_init(c.Swr.get()) < 0)
                c.Swr.reset();
            c.SwrFormat = frame->format;
            c.SwrRate = frame->sample_rate;
            c.SwrChannels = channels;
        }
        if (c.Swr) {
            const int room = int(MaxPcmBytes) / (2 * channels);
            std::uint8_t* planes[1] = {output};
            const int samples = f.swr_convert(
                c.Swr.get(), planes, room, const_cast<const std::uint8_t**>(frame->extended_data), frame->nb_samples);
            if (samples >= 0)
                result = samples * channels * 2;
        }
    }
    f.av_frame_unref(frame);
    return result;
}

} // namespace zv2::audio
