#include "audio/untMpegAudioDecoder.h"

#include "audio/AudioFixtures.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <numeric>

namespace zv2::audio {
namespace {

using test::TBytes;

struct TFeedResult {
    std::vector<TBytes> Frames; // PCM of every completed frame that decoded
    std::size_t Taken = 0;
    int Failed = 0; // completed frames that did not decode
    std::vector<std::size_t> TakenPerCall;
    std::vector<int> PcmPerCall;
};

// Feeds `data` the way the engine does: each call is offered the untaken
// rest, cut to the next size of `pieces` (used in turn), until the input is
// used up and a call on empty input yields nothing more.
TFeedResult Feed(TMpegAudioDecoder& decoder, const TBytes& data, const std::vector<std::size_t>& pieces) {
    TFeedResult r;
    std::uint8_t pcm[TMpegAudioDecoder::MaxPcmBytes];
    for (std::size_t call = 0;; ++call) {
        const std::size_t offered = std::min(pieces[call % pieces.size()], data.size() - r.Taken);
        int pcmBytes = 12345;
        const std::size_t taken = decoder.DecodeFrame(data.data() + r.Taken, offered, pcm, pcmBytes);
        EXPECT_LE(taken, offered);
        EXPECT_LE(pcmBytes, int(sizeof pcm));
        r.Taken += taken;
        r.TakenPerCall.push_back(taken);
        r.PcmPerCall.push_back(pcmBytes);
        if (pcmBytes > 0)
            r.Frames.emplace_back(pcm, pcm + pcmBytes);
        else if (pcmBytes < 0)
            ++r.Failed;
        if (offered == 0 && pcmBytes == 0)
            return r;
    }
}

TFeedResult FeedWhole(const TBytes& data, std::vector<std::size_t> pieces = {4096}) {
    TMpegAudioDecoder decoder;
    EXPECT_EQ(decoder.Open(), 0);
    return Feed(decoder, data, pieces);
}

TBytes Join(const std::vector<TBytes>& frames) {
    TBytes all;
    for (const auto& f : frames)
        all.insert(all.end(), f.begin(), f.end());
    return all;
}

const std::string& StereoMp3() {
    static const std::string path =
        test::MakeSine("stereo.mp3", "-ac 2 -c:a libmp3lame -b:a 128k -id3v2_version 0 -write_xing 0");
    return path;
}

// An ID3v2.3 tag with one title frame and some zero padding.
TBytes MakeId3v2Tag() {
    const std::string title = "A title";
    TBytes body = {'T', 'I', 'T', '2', 0, 0, 0, std::uint8_t(title.size() + 1), 0, 0, 0};
    body.insert(body.end(), title.begin(), title.end());
    body.resize(body.size() + 2000, 0);
    const std::size_t n = body.size();
    TBytes tag = {'I',
                  'D',
                  '3',
                  3,
                  0,
                  0,
                  std::uint8_t((n >> 21) & 0x7F),
                  std::uint8_t((n >> 14) & 0x7F),
                  std::uint8_t((n >> 7) & 0x7F),
                  std::uint8_t(n & 0x7F)};
    tag.insert(tag.end(), body.begin(), body.end());
    return tag;
}

TEST(MpegFrameHeader, ReadsLengthsAndParametersOfEveryVersionAndLayer) {
    auto l3 = ParseMpegFrameHeader(0xFFFB9064u); // MPEG-1 Layer III 128 kbit/s 44100 Hz joint stereo
    ASSERT_TRUE(l3);
    EXPECT_EQ(l3->Layer, 3);
    EXPECT_EQ(l3->BitRate, 128000);
    EXPECT_EQ(l3->SampleRate, 44100);
    EXPECT_EQ(l3->Channels, 2);
    EXPECT_EQ(l3->SamplesPerFrame, 1152);
    EXPECT_EQ(l3->FrameBytes, 417u);
    EXPECT_EQ(ParseMpegFrameHeader(0xFFFB9264u)->FrameBytes, 418u); // padded

    auto l1 = ParseMpegFrameHeader(0xFFFFEAC0u); // MPEG-1 Layer I 448 kbit/s 32000 Hz mono, padded
    ASSERT_TRUE(l1);
    EXPECT_EQ(l1->Layer, 1);
    EXPECT_EQ(l1->Channels, 1);
    EXPECT_EQ(l1->SamplesPerFrame, 384);
    EXPECT_EQ(l1->FrameBytes, 676u); // (12 * 448000 / 32000 + 1) * 4

    auto half = ParseMpegFrameHeader(0xFFF38000u); // MPEG-2 Layer III 64 kbit/s 22050 Hz
    ASSERT_TRUE(half);
    EXPECT_FALSE(half->Mpeg1);
    EXPECT_EQ(half->SampleRate, 22050);
    EXPECT_EQ(half->SamplesPerFrame, 576);
    EXPECT_EQ(half->FrameBytes, 208u);

    auto l2 = ParseMpegFrameHeader(0xFFF5E000u); // MPEG-2 Layer II 160 kbit/s 22050 Hz
    ASSERT_TRUE(l2);
    EXPECT_EQ(l2->Layer, 2);
    EXPECT_EQ(l2->SamplesPerFrame, 1152);
    EXPECT_EQ(l2->FrameBytes, 1044u);

    auto free = ParseMpegFrameHeader(0xFFFB0064u);
    ASSERT_TRUE(free);
    EXPECT_EQ(free->BitRateIndex, 0);
    EXPECT_EQ(free->FrameBytes, 0u);
}

TEST(MpegFrameHeader, RefusesReservedAndForeignPatterns) {
    EXPECT_FALSE(ParseMpegFrameHeader(0xFFE39064u)); // MPEG-2.5
    EXPECT_FALSE(ParseMpegFrameHeader(0xFFEB9064u)); // reserved version
    EXPECT_FALSE(ParseMpegFrameHeader(0xFFF99064u)); // reserved layer
    EXPECT_FALSE(ParseMpegFrameHeader(0xFFFBF064u)); // bit-rate index 15
    EXPECT_FALSE(ParseMpegFrameHeader(0xFFFB9C64u)); // sample-rate index 3
    EXPECT_FALSE(ParseMpegFrameHeader(0x7FFB9064u)); // broken sync
    EXPECT_FALSE(ParseMpegFrameHeader(0x49443303u)); // "ID3"
}

TEST(MpegAudioDecoder, EmptyInputTakesNothingAndYieldsNothing) {
    TMpegAudioDecoder decoder;
    ASSERT_EQ(decoder.Open(), 0);
    std::uint8_t pcm[TMpegAudioDecoder::MaxPcmBytes];
    int pcmBytes = -7;
    EXPECT_EQ(decoder.DecodeFrame(nullptr, 0, pcm, pcmBytes), 0u);
    EXPECT_EQ(pcmBytes, 0);
}

TEST(MpegAudioDecoder, DecoderThatIsNotOpenTakesNothing) {
    const TBytes data = test::ReadBytes(StereoMp3());
    TMpegAudioDecoder decoder;
    std::uint8_t pcm[TMpegAudioDecoder::MaxPcmBytes];
    int pcmBytes = -7;
    EXPECT_EQ(decoder.DecodeFrame(data.data(), 4096, pcm, pcmBytes), 0u);
    EXPECT_EQ(pcmBytes, 0);

    ASSERT_EQ(decoder.Open(), 0);
    decoder.Close();
    EXPECT_EQ(decoder.DecodeFrame(data.data(), 4096, pcm, pcmBytes), 0u);
    EXPECT_EQ(pcmBytes, 0);
}

TEST(MpegAudioDecoder, StereoLayerThreeDecodesLikeFfmpegOneFramePerCall) {
    const TBytes data = test::ReadBytes(StereoMp3());
    TMpegAudioDecoder decoder;
    ASSERT_EQ(decoder.Open(), 0);
    const TFeedResult r = Feed(decoder, data, {data.size()});

    EXPECT_EQ(r.Taken, data.size());
    EXPECT_EQ(r.Failed, 0);
    // The first call stops right after the first frame.
    EXPECT_EQ(r.TakenPerCall[0], ParseMpegFrameHeader(0xFFFB9064u)->FrameBytes);
    for (const auto& frame : r.Frames)
        EXPECT_EQ(frame.size(), 4608u);
    EXPECT_EQ(Join(r.Frames), test::FfmpegPcm(StereoMp3()));
    EXPECT_EQ(decoder.StreamInfo().Layer, 3);
    EXPECT_EQ(decoder.StreamInfo().SampleRate, 44100);
    EXPECT_EQ(decoder.StreamInfo().Channels, 2);
    EXPECT_EQ(decoder.StreamInfo().BitRate, 128000);
}

TEST(MpegAudioDecoder, PiecesOfAnySizeGiveTheSameFramesAsTheWholeStream) {
    const TBytes data = test::ReadBytes(StereoMp3());
    const TFeedResult whole = FeedWhole(data, {data.size()});
    for (const std::vector<std::size_t>& pieces :
         std::vector<std::vector<std::size_t>>{{1}, {2, 3}, {7, 1000, 1}, {417}, {418}, {4096}, {5000, 3}}) {
        const TFeedResult r = FeedWhole(data, pieces);
        EXPECT_EQ(r.Frames, whole.Frames) << "first piece " << pieces[0];
        EXPECT_EQ(r.Taken, data.size());
    }
}

TEST(MpegAudioDecoder, Id3v2TagInFrontIsTakenWithoutPcm) {
    const TBytes plain = test::ReadBytes(StereoMp3());
    const TBytes tag = MakeId3v2Tag();
    TBytes tagged = tag;
    tagged.insert(tagged.end(), plain.begin(), plain.end());

    const TFeedResult r = FeedWhole(tagged, {100});
    // Every call inside the tag takes all 100 bytes offered and gives no PCM.
    for (std::size_t i = 0; i < tag.size() / 100; ++i) {
        EXPECT_EQ(r.TakenPerCall[i], 100u);
        EXPECT_EQ(r.PcmPerCall[i], 0);
    }
    EXPECT_EQ(r.Frames, FeedWhole(plain).Frames);
}

TEST(MpegAudioDecoder, CutLastFrameIsTakenButNeverDecoded) {
    const TBytes plain = test::ReadBytes(StereoMp3());
    const TFeedResult full = FeedWhole(plain);
    TBytes cut(plain.begin(), plain.end() - 200);

    TMpegAudioDecoder decoder;
    ASSERT_EQ(decoder.Open(), 0);
    const TFeedResult r = Feed(decoder, cut, {4096});
    EXPECT_EQ(r.Taken, cut.size());
    ASSERT_EQ(r.Frames.size(), full.Frames.size() - 1);
    EXPECT_TRUE(std::equal(r.Frames.begin(), r.Frames.end(), full.Frames.begin()));
    // Later calls at the end of the data stay empty.
    std::uint8_t pcm[TMpegAudioDecoder::MaxPcmBytes];
    int pcmBytes = 1;
    EXPECT_EQ(decoder.DecodeFrame(cut.data() + cut.size(), 0, pcm, pcmBytes), 0u);
    EXPECT_EQ(pcmBytes, 0);
}

TEST(MpegAudioDecoder, TrailingTagIsTakenWithoutPcm) {
    TBytes data = test::ReadBytes(StereoMp3());
    const TFeedResult plain = FeedWhole(data);
    TBytes tag(128, ' ');
    tag[0] = 'T', tag[1] = 'A', tag[2] = 'G';
    data.insert(data.end(), tag.begin(), tag.end());
    const TFeedResult r = FeedWhole(data);
    EXPECT_EQ(r.Taken, data.size());
    EXPECT_EQ(r.Frames, plain.Frames);
    EXPECT_EQ(r.Failed, 0);
}

TEST(MpegAudioDecoder, JunkBetweenFramesIsSkipped) {
    const TBytes plain = test::ReadBytes(StereoMp3());
    const std::size_t frame = 417;
    TBytes data(plain.begin(), plain.begin() + 20 * frame);
    // Frame boundaries move with padding; cut at a real header.
    std::size_t cutAt = 20 * frame;
    while (!(plain[cutAt] == 0xFF && (plain[cutAt + 1] & 0xE0) == 0xE0))
        ++cutAt;
    data.assign(plain.begin(), plain.begin() + long(cutAt));
    for (int i = 0; i < 333; ++i)
        data.push_back(std::uint8_t(i * 7 % 251)); // never 0xFF
    data.insert(data.end(), plain.begin() + long(cutAt), plain.end());

    const TFeedResult r = FeedWhole(data);
    EXPECT_EQ(r.Taken, data.size());
    EXPECT_EQ(r.Frames.size(), FeedWhole(plain).Frames.size());
}

// Files of other shapes: each decodes like ffmpeg, one whole frame per call.
struct TShape {
    const char* File;
    const char* Options;
    std::size_t FrameBytes;
    int Layer;
    int Channels;
    int SampleRate;
    int SamplesPerFrame;
};

class MpegAudioDecoderShapes : public ::testing::TestWithParam<TShape> {};

TEST_P(MpegAudioDecoderShapes, DecodeLikeFfmpegWithTheirFrameSize) {
    const TShape& shape = GetParam();
    const std::string path = test::MakeSine(shape.File, shape.Options);
    TMpegAudioDecoder decoder;
    ASSERT_EQ(decoder.Open(), 0);
    const TFeedResult r = Feed(decoder, test::ReadBytes(path), {4096});
    ASSERT_FALSE(r.Frames.empty());
    for (const auto& frame : r.Frames)
        EXPECT_EQ(frame.size(), shape.FrameBytes);
    EXPECT_EQ(decoder.StreamInfo().Layer, shape.Layer);
    EXPECT_EQ(decoder.StreamInfo().Channels, shape.Channels);
    EXPECT_EQ(decoder.StreamInfo().SampleRate, shape.SampleRate);
    EXPECT_EQ(decoder.StreamInfo().SamplesPerFrame, shape.SamplesPerFrame);
    EXPECT_EQ(Join(r.Frames), test::FfmpegPcm(path));
}

INSTANTIATE_TEST_SUITE_P(
    Files, MpegAudioDecoderShapes,
    ::testing::Values(
        // Mono: two bytes per sample.
        TShape{"mono.mp3", "-ac 1 -c:a libmp3lame -id3v2_version 0 -write_xing 0", 2304, 3, 1, 44100, 1152},
        TShape{"layer2.mp2", "-ac 2 -c:a mp2 -b:a 192k", 4608, 2, 2, 44100, 1152},
        // The MPEG-2 half rates: 576 samples per frame.
        TShape{"half.mp3", "-ac 2 -ar 22050 -c:a libmp3lame -b:a 64k -id3v2_version 0 -write_xing 0", 2304, 3, 2, 22050,
               576}));

TEST(MpegAudioDecoder, FreeFormatFramesAreFoundAndDecoded) {
    const std::string wav = test::MakeSine("free.wav", "-ac 2 -ar 44100");
    const std::string path = test::TempDir() + "/free.mp3";
    const std::string command = "lame --quiet --freeformat -b 200 '" + wav + "' '" + path + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const TBytes data = test::ReadBytes(path);
    ASSERT_EQ(data[2] >> 4, 0) << "not a free-format stream";

    const TFeedResult whole = FeedWhole(data, {data.size()});
    EXPECT_EQ(whole.Failed, 0);
    EXPECT_EQ(whole.Taken, data.size());
    // 2 s of sound: about 77 frames of 1152 samples.
    EXPECT_GE(whole.Frames.size(), 76u);
    EXPECT_EQ(FeedWhole(data, {1}).Frames, whole.Frames);
    EXPECT_EQ(FeedWhole(data, {333}).Frames, whole.Frames);

    // lame's own decoder is the reference; it leaves out the encoder delay,
    // so find where its output starts in ours, then compare sample by sample.
    const std::string raw = test::TempDir() + "/free.raw";
    ASSERT_EQ(std::system(("lame --quiet --decode -t '" + path + "' '" + raw + "'").c_str()), 0);
    const TBytes refBytes = test::ReadBytes(raw);
    const TBytes ourBytes = Join(whole.Frames);
    const auto* ref = reinterpret_cast<const std::int16_t*>(refBytes.data());
    const auto* ours = reinterpret_cast<const std::int16_t*>(ourBytes.data());
    const std::size_t refCount = refBytes.size() / 2;
    const std::size_t ourCount = ourBytes.size() / 2;
    ASSERT_GT(ourCount, refCount);
    auto distance = [&](std::size_t shift, std::size_t from, std::size_t to) {
        int worst = 0;
        for (std::size_t i = from; i < to && i + shift < ourCount && i < refCount; ++i)
            worst = std::max(worst, std::abs(int(ours[i + shift]) - int(ref[i])));
        return worst;
    };
    std::size_t shift = 0;
    for (std::size_t s = 0; s < ourCount - refCount; s += 2)
        if (distance(s, 0, 3000) < distance(shift, 0, 3000))
            shift = s;
    EXPECT_LE(distance(shift, 0, refCount), 2) << "shift " << shift << " of " << ourCount - refCount;
}

TEST(MpegAudioDecoder, ReopenStartsAFreshStream) {
    const TBytes data = test::ReadBytes(StereoMp3());
    TMpegAudioDecoder decoder;
    ASSERT_EQ(decoder.Open(), 0);
    std::uint8_t pcm[TMpegAudioDecoder::MaxPcmBytes];
    int pcmBytes = 0;
    decoder.DecodeFrame(data.data(), 100, pcm, pcmBytes); // half a frame in the assembly buffer
    ASSERT_EQ(decoder.Open(), 0);
    EXPECT_EQ(Feed(decoder, data, {4096}).Frames, FeedWhole(data).Frames);
}

} // namespace
} // namespace zv2::audio
