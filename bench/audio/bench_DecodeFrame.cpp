// Decoding a 10-minute MP3 the way the engine does (4096-byte reads at the
// position, one frame per DecodeFrame call) against ffmpeg decoding the same
// file to raw signed 16-bit PCM. Prints the ratio of the two.
//   build/bin/bench_DecodeFrame [--benchmark_repetitions=N]
#include "audio/untMpegAudioDecoder.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <string>
#include <unistd.h>

namespace {

std::string Song;

std::size_t DecodeFile(const std::string& path) {
    using zv2::audio::TMpegAudioDecoder;
    const int fd = ::open(path.c_str(), O_RDONLY);
    TMpegAudioDecoder decoder;
    decoder.Open();
    std::uint8_t input[4096];
    std::uint8_t pcm[TMpegAudioDecoder::MaxPcmBytes];
    std::size_t position = 0;
    std::size_t produced = 0;
    for (;;) {
        const ssize_t got = ::pread(fd, input, sizeof input, off_t(position));
        int pcmBytes = 0;
        const std::size_t taken = decoder.DecodeFrame(input, got > 0 ? std::size_t(got) : 0, pcm, pcmBytes);
        position += taken;
        if (pcmBytes > 0)
            produced += std::size_t(pcmBytes);
        if (got <= 0 && pcmBytes == 0)
            break;
    }
    ::close(fd);
    return produced;
}

void BM_DecodeFrame(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(DecodeFile(Song));
}
BENCHMARK(BM_DecodeFrame)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

void BM_FfmpegS16le(benchmark::State& state) {
    const std::string command =
        "ffmpeg -hide_banner -loglevel error -nostdin -threads 1 -i '" + Song + "' -f s16le -y /dev/null";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0)
            state.SkipWithError("ffmpeg failed");
    }
}
BENCHMARK(BM_FfmpegS16le)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

// Keeps each benchmark's mean time per iteration to print the ratio at the end.
class TRatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration && run.iterations > 0)
                Seconds[run.run_name.function_name] = run.real_accumulated_time / double(run.iterations);
    }
    std::map<std::string, double> Seconds;
};

} // namespace

int main(int argc, char** argv) {
    const auto folder = std::filesystem::temp_directory_path() / ("zv2-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    Song = (folder / "ten-minutes.mp3").string();
    const std::string make = "ffmpeg -hide_banner -loglevel error -nostdin -y -f lavfi -i "
                             "\"sine=frequency=440:duration=600\" -ac 2 -c:a libmp3lame -b:a 192k "
                             "-id3v2_version 0 -write_xing 0 '" +
                             Song + "'";
    if (std::system(make.c_str()) != 0) {
        std::fprintf(stderr, "could not make the test file with ffmpeg\n");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    TRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    std::filesystem::remove_all(folder);

    const double ours = reporter.Seconds["BM_DecodeFrame"];
    const double reference = reporter.Seconds["BM_FfmpegS16le"];
    if (ours > 0 && reference > 0)
        std::printf("DecodeFrame / ffmpeg -f s16le: %.2f (%.0f ms vs %.0f ms for 10 minutes of 192 kbit/s stereo)\n",
                    ours / reference, ours * 1000, reference * 1000);
    return 0;
}
