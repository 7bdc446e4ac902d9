#pragma once
// TMpegAudioDecoder: MPEG audio bytes in, at most one frame of PCM out per
// call. Our own header scan finds and assembles each frame (MPEG-1 and the
// MPEG-2 half sample rates, Layers I, II and III, free format); libavcodec
// decodes the whole frame. One instance per open file, used by one thread at a
// time; consecutive calls must feed consecutive bytes of one stream, because
// the decoder keeps state between frames (the Layer III bit reservoir).
//
// Lifecycle: Open(), any number of DecodeFrame(), Close(); Open() again after
// Close() starts a fresh stream.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

namespace zv2::audio {

// One 4-byte frame header, read big-endian.
struct TMpegFrameHeader {
    bool Mpeg1 = true;       // false: MPEG-2 half sample rates
    int Layer = 0;           // 1, 2 or 3
    int BitRateIndex = 0;    // 0: free format
    int BitRate = 0;         // bits per second, 0 for free format
    int SampleRate = 0;      // samples per second
    int Channels = 0;        // 1 or 2
    int SamplesPerFrame = 0; // 384, 1152 or 576
    bool Padding = false;
    std::size_t FrameBytes = 0; // whole frame with header; 0 for free format
    std::size_t PaddingBytes() const { return Padding ? (Layer == 1 ? 4 : 1) : 0; }
};

// A valid header, or nothing for a header the decoder does not accept.
std::optional<TMpegFrameHeader> ParseMpegFrameHeader(std::uint32_t header);

class TMpegAudioDecoder {
public:
    // The largest frame assembled; a longer frame is cut here.
    static constexpr std::size_t MaxFrameBytes = 1792;
    // Room the caller gives DecodeFrame: one stereo frame of 1152 samples.
    static constexpr std::size_t MaxPcmBytes = 4608;

    // Parameters of the last valid header.
    struct TStreamInfo {
        int BitRate = 0;
        int Layer = 0;
        int SampleRate = 0;
        int Channels = 0;
        int SamplesPerFrame = 0;
    };

    TMpegAudioDecoder();
    ~TMpegAudioDecoder();
    TMpegAudioDecoder(const TMpegAudioDecoder&) = delete;
    TMpegAudioDecoder& operator=(const TMpegAudioDecoder&) = delete;

    // 0 on success, -1 when the decoder state cannot be allocated (DecodeFrame
    // then takes nothing and yields nothing). Starts with an empty assembly buffer.
    int Open();

    // Takes bytes from the front of `input` until one frame is complete or
    // the input is used up; a completed frame is decoded into `output`
    // (room for MaxPcmBytes) as interleaved signed 16-bit native-endian PCM,
    // left first. Returns the bytes taken; bytes after the completed frame
    // stay untaken. `pcmBytes` is always written: the PCM bytes produced, 0
    // when no frame was completed, -1 when the completed frame failed to decode.
    // Bytes that are no audio (tags, junk) are taken one at a time without PCM.
    std::size_t DecodeFrame(const std::uint8_t* input, std::size_t length, std::uint8_t* output, int& pcmBytes);

    // Releases the decoder state. Safe to call when not open.
    void Close();

    const TStreamInfo& StreamInfo() const { return Info_; }

private:
    struct TCodec;
    // Appends up to `wanted` bytes of the input to the assembly buffer.
    void Take(const std::uint8_t* input, std::size_t length, std::size_t& taken, std::size_t wanted);
    void DropOldestByte();
    bool MatchesFreeFormatHeader(std::size_t offset) const;
    int DecodeAssembledFrame(std::uint8_t* output);

    std::unique_ptr<TCodec> Codec_;
    std::uint8_t Buffer_[MaxFrameBytes];
    std::size_t BufferSize_ = 0;
    std::optional<TMpegFrameHeader> Header_; // header of the frame being assembled
    std::size_t FrameSize_ = 0;              // 0: unknown (no header yet, or free-format search running)
    std::size_t SearchOffset_ = 4;           // next offset the free-format search tries
    std::size_t FreeFormatBase_ = 0;         // free-format frame length without padding; 0: unknown
    TStreamInfo Info_;
};

} // namespace zv2::audio
