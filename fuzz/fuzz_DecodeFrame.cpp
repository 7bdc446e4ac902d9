// Feeds arbitrary bytes to the MPEG audio decoder twice: in pieces whose size
// the first byte picks, and in the engine's 4096-byte pieces. Nothing may
// crash, no call may take more than offered or give more than one stereo
// frame, and both feeds must give the same frames.
#include "audio/untMpegAudioDecoder.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

std::vector<std::uint8_t> DecodeAll(const std::uint8_t* data, std::size_t size, std::size_t piece) {
    using zv2::audio::TMpegAudioDecoder;
    TMpegAudioDecoder decoder;
    if (decoder.Open() != 0)
        std::abort();
    std::vector<std::uint8_t> frames;
    std::uint8_t pcm[TMpegAudioDecoder::MaxPcmBytes];
    std::size_t at = 0;
    for (;;) {
        const std::size_t offered = std::min(piece, size - at);
        int pcmBytes = 0;
        const std::size_t taken = decoder.DecodeFrame(data + at, offered, pcm, pcmBytes);
        if (taken > offered || pcmBytes > int(sizeof pcm))
            std::abort();
        at += taken;
        if (pcmBytes > 0)
            frames.insert(frames.end(), pcm, pcm + pcmBytes);
        if (offered == 0 && pcmBytes == 0)
            return frames;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::size_t piece = std::size_t(data[0]) + 1;
    if (DecodeAll(data + 1, size - 1, piece) != DecodeAll(data + 1, size - 1, 4096))
        std::abort();
    return 0;
}
