#include "audio/untFFmpegLog.h"

#include "CapturedErrors.h"
#include "DebugViewer.h"
#include "audio/AudioFixtures.h"
#include "audio/untMpegAudioDecoder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <unistd.h>

extern "C" {
#include <libavutil/log.h>
}

namespace zv2::audio {
namespace {

// Diagnostic lines to a viewer of this test's own.
class FFmpegLog : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("ZV2_DEBUGWIN", ("DebugWin-ffmpeg-" + std::to_string(::getpid())).c_str(), 1);
        Viewer = std::make_unique<zv2::test::TDebugViewer>();
        ASSERT_TRUE(Viewer->Bound());
    }
    void TearDown() override { ::unsetenv("ZV2_DEBUGWIN"); }
    std::unique_ptr<zv2::test::TDebugViewer> Viewer;
};

// Every fifth frame of the song with its side information overwritten: the
// decoder refuses those frames and says why.
test::TBytes DamagedSong() {
    test::TBytes song =
        test::ReadBytes(test::MakeSine("plain.mp3", "-ac 2 -c:a libmp3lame -b:a 128k -id3v2_version 0 -write_xing 0"));
    std::size_t frame = 0;
    for (std::size_t at = 0; at + 4 <= song.size(); ++frame) {
        const auto header = ParseMpegFrameHeader(std::uint32_t(song[at]) << 24 | std::uint32_t(song[at + 1]) << 16 |
                                                 std::uint32_t(song[at + 2]) << 8 | song[at + 3]);
        if (!header || header->FrameBytes == 0)
            break;
        if (frame % 5 == 3)
            std::fill_n(song.begin() + std::ptrdiff_t(at + 4), 32, 0xFF);
        at += header->FrameBytes;
    }
    return song;
}

} // namespace

TEST_F(FFmpegLog, WarningsAndWorseGoToTheDiagnosticOutputAndMilderNotesNowhere) {
    RouteFFmpegLog();
    std::string errors;
    {
        zv2::test::TCapturedErrors captured;
        av_log(nullptr, AV_LOG_INFO, "a note\n");
        av_log(nullptr, AV_LOG_WARNING, "a warning %d\n", 1);
        av_log(nullptr, AV_LOG_VERBOSE, "a detail\n");
        av_log(nullptr, AV_LOG_ERROR, "an error\n");
        errors = captured.Text();
    }
    EXPECT_EQ(Viewer->Receive(), "a warning 1");
    EXPECT_EQ(Viewer->Receive(), "an error");
    EXPECT_FALSE(Viewer->ReceiveNow());
    EXPECT_EQ(errors, "");
}

TEST_F(FFmpegLog, TheDecodersOwnComplaintsAboutADamagedSongReachTheViewerWithTheDecodersName) {
    const test::TBytes song = DamagedSong();
    std::string errors;
    int failed = 0;
    {
        zv2::test::TCapturedErrors captured;
        TMpegAudioDecoder decoder;
        ASSERT_EQ(decoder.Open(), 0);
        std::uint8_t pcm[TMpegAudioDecoder::MaxPcmBytes];
        for (std::size_t at = 0; at < song.size();) {
            int pcmBytes = 0;
            at += decoder.DecodeFrame(song.data() + at, std::min<std::size_t>(4096, song.size() - at), pcm, pcmBytes);
            failed += pcmBytes < 0;
        }
        errors = captured.Text();
    }
    ASSERT_GT(failed, 0) << "the damage must reach the decoder";
    const auto line = Viewer->Receive();
    ASSERT_TRUE(line);
    EXPECT_EQ(line->rfind("[mp3float @ ", 0), 0u) << *line;
    EXPECT_EQ(errors.find("mp3float"), std::string::npos) << errors;
}

} // namespace zv2::audio
