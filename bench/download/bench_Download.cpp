// Download benchmark: one song (5 MB unless given in bytes) from
// tools/music-site on loopback, in a child process, through the whole engine
// (probe, three segments, writer), at the designed pace and without pauses.
// Prints the time against the two designed rates, three segments at the
// workers' pace (each at most one 2048-byte chunk per 10 ms) and the writer's
// pace (one block per 10 ms for all downloads), and the engine's CPU share
// meanwhile.
//
// Then full speed ("全速下载"): a 50 MB song (or FULL_BYTES) from the same
// site, fetched by the engine at full speed, by curl and, when installed, by
// aria2c -x3 -s3, each in a process of its own: wall time, CPU (user +
// system) and peak resident memory of each, and the engine's ratios against
// curl (goals: wall <= 1.5x, CPU <= 2x, RSS < 100 MB).
// Usage: build/bin/bench_Download [BYTES [FULL_BYTES]]
#include "download/FileServer.h"
#include "download/untTaskThread.h"

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace zv2::download;

namespace {

double CpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct TRun {
    double Seconds = 0;
    double CpuShare = 0;
    bool Ok = false;
};

// Downloads `url` to `target` with a task thread of its own; true when the
// song was saved.
bool FetchWithEngine(const std::string& url, const std::string& target, const TEngineTiming& timing) {
    std::mutex mutex;
    std::condition_variable changed;
    int outcome = 0; // 1 done, 2 failed
    TTaskCallbacks callbacks;
    callbacks.OnTaskDone = [&](std::uint32_t, const std::string&) {
        std::lock_guard lock(mutex);
        outcome = 1;
        changed.notify_all();
    };
    callbacks.OnTaskError = [&](std::uint32_t) {
        std::lock_guard lock(mutex);
        outcome = 2;
        changed.notify_all();
    };
    TTaskThread engine(callbacks, 5, 3, timing);
    engine.AddTask(1, target, url);
    std::unique_lock lock(mutex);
    changed.wait(lock, [&] { return outcome != 0; });
    return outcome == 1;
}

TRun Download(const std::string& url, const std::string& folder, const TEngineTiming& timing, std::size_t size) {
    const std::string target = folder + "/song.mp3";
    std::filesystem::remove(target);
    const double cpu0 = CpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    const bool saved = FetchWithEngine(url, target, timing);
    TRun run;
    run.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    run.CpuShare = (CpuSeconds() - cpu0) / run.Seconds;
    run.Ok = saved && std::filesystem::file_size(target) == size;
    return run;
}

// One run in a process of its own, measured by the system.
struct TMeasure {
    double Seconds = 0;
    double CpuSeconds = 0;
    double PeakMb = 0;
    bool Ok = false;
};

// Runs `body` in a child (its exit code tells success) and measures it. The
// caller has no other threads.
template <typename TBody> TMeasure Measure(TBody body) {
    const auto t0 = std::chrono::steady_clock::now();
    const pid_t child = ::fork();
    if (child == 0)
        std::_Exit(body());
    int status = 0;
    rusage usage{};
    ::wait4(child, &status, 0, &usage);
    TMeasure m;
    m.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    m.CpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                   static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    m.PeakMb = static_cast<double>(usage.ru_maxrss) / 1024.0;
    m.Ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return m;
}

int Exec(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    ::execvp(argv[0], argv.data());
    return 127;
}

bool SameBytes(const std::string& path, const std::string& bytes) {
    std::ifstream in(path, std::ios::binary);
    const std::string got{std::istreambuf_iterator<char>(in), {}};
    return got == bytes;
}

bool Installed(const char* program) {
    return std::system((std::string("command -v ") + program + " >/dev/null 2>&1").c_str()) == 0;
}

void PrintMeasure(const char* who, const TMeasure& m, std::size_t size) {
    std::printf("  %-22s %6.3f s  %6.1f MB/s  CPU %6.3f s  peak RSS %6.1f MB  (%s)\n", who, m.Seconds,
                static_cast<double>(size) / 1e6 / m.Seconds, m.CpuSeconds, m.PeakMb, m.Ok ? "whole" : "FAILED");
}

// Starts music-site over `music` in a child process (`site`); its address
// "http://127.0.0.1:PORT", or "" when it does not listen.
std::string StartMusicSite(const std::string& music, pid_t& site) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        return "";
    site = ::fork();
    if (site == 0) {
        ::dup2(pipeFds[1], STDOUT_FILENO);
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDERR_FILENO); // the request log
        std::_Exit(Exec({ZV2_MUSIC_SITE_PROGRAM, "--music", music, "--port", "0"}));
    }
    ::close(pipeFds[1]);
    std::string line;
    char c = 0;
    while (::read(pipeFds[0], &c, 1) == 1 && c != '\n')
        line += c;
    ::close(pipeFds[0]);
    const std::size_t colon = line.rfind(':');
    if (line.rfind("music-site: listening on ", 0) != 0 || colon == std::string::npos) {
        ::kill(site, SIGTERM);
        ::waitpid(site, nullptr, 0);
        return "";
    }
    return "http://127.0.0.1:" + line.substr(colon + 1);
}

// The full-speed comparison against curl and aria2c, of the site's song of `size` bytes at `url`.
bool CompareFullSpeed(const std::string& url, std::size_t size, const std::string& folder) {
    const std::string out = folder + "/out";
    std::filesystem::create_directories(out);
    const TMeasure engine =
        Measure([&] { return FetchWithEngine(url, out + "/engine.mp3", TEngineTiming::FullSpeed()) ? 0 : 1; });
    const bool engineWhole = engine.Ok && SameBytes(out + "/engine.mp3", zv2::test::SongBytes(size, 7));
    const TMeasure curl = Measure([&] { return Exec({"curl", "-s", "-o", out + "/curl.mp3", url}); });
    const bool aria = Installed("aria2c");
    TMeasure aria2;
    if (aria)
        aria2 = Measure([&] {
            return Exec({"aria2c", "-q", "-x3", "-s3", "--allow-overwrite=true", "--file-allocation=none", "--dir", out,
                         "-o", "aria2.mp3", url});
        });

    std::printf("full speed: %.2f MB from music-site on loopback, each fetcher in its own process\n",
                static_cast<double>(size) / 1e6);
    PrintMeasure("engine (全速下载)", engine, size);
    std::printf("  %-22s %s\n", "", engineWhole ? "saved byte for byte" : "NOT the served bytes");
    PrintMeasure("curl", curl, size);
    if (aria)
        PrintMeasure("aria2c -x3 -s3", aria2, size);
    else
        std::printf("  aria2c not installed\n");
    std::printf("  engine / curl: wall %.2f (goal <= 1.5), CPU %.2f (goal <= 2); engine peak RSS %.1f MB (goal < "
                "100)\n",
                engine.Seconds / curl.Seconds, engine.CpuSeconds / curl.CpuSeconds, engine.PeakMb);
    return engineWhole && curl.Ok;
}

} // namespace

int main(int argc, char** argv) {
    ::setenv("ZV2_LOOPBACK_ONLY", "1", 1); // the engine reaches the loopback server only
    const std::size_t size = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 5u * 1024 * 1024;
    const std::size_t fullSize = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 50u * 1000 * 1000;
    const std::string folder = std::filesystem::temp_directory_path() / ("zv2-bench-" + std::to_string(::getpid()));
    const std::string music = folder + "/music";
    std::filesystem::create_directories(music);
    std::ofstream(music + "/song.mp3", std::ios::binary) << zv2::test::SongBytes(size);
    // Not kept in memory here: each fetcher's process starts as a copy of this one.
    std::ofstream(music + "/big.mp3", std::ios::binary) << zv2::test::SongBytes(fullSize, 7);
    // The site runs in a child, so the CPU measured here is the engine's alone.
    pid_t site = -1;
    const std::string address = StartMusicSite(music, site);
    if (address.empty()) {
        std::fprintf(stderr, "music-site did not start\n");
        std::filesystem::remove_all(folder);
        return 1;
    }

    const TRun paced = Download(address + "/file/song.mp3", folder, TEngineTiming{}, size);
    const TRun unpaced = Download(address + "/file/song.mp3", folder, TEngineTiming::Fast(), size);
    const double mb = static_cast<double>(size) / 1e6;
    const double workersPace = static_cast<double>(size) / (3 * 2048 / 0.010); // three segments, a chunk per 10 ms
    const double writerPace = static_cast<double>(size) / (2048 / 0.010);      // one block per 10 ms
    std::printf("song: %.2f MB from music-site on loopback\n", mb);
    std::printf("designed pace: %6.2f s  (%s)  time / three segments at the workers' pace (%.2f s): %.2f  "
                "time / the writer's pace (%.2f s): %.2f\n",
                paced.Seconds, paced.Ok ? "saved whole" : "FAILED", workersPace, paced.Seconds / workersPace,
                writerPace, paced.Seconds / writerPace);
    std::printf("               engine CPU share while downloading: %.3f (of one core)\n", paced.CpuShare);
    std::printf("without pauses: %5.2f s  (%s)  %.1f MB/s, engine CPU share %.3f; paced / unpaced: %.1f\n",
                unpaced.Seconds, unpaced.Ok ? "saved whole" : "FAILED", mb / unpaced.Seconds, unpaced.CpuShare,
                paced.Seconds / unpaced.Seconds);
    // Every engine thread has ended: the comparison forks its fetchers.
    const bool full = CompareFullSpeed(address + "/file/big.mp3", fullSize, folder);
    ::kill(site, SIGTERM);
    ::waitpid(site, nullptr, 0);
    std::filesystem::remove_all(folder);
    return paced.Ok && unpaced.Ok && full ? 0 : 1;
}
