// Download benchmark: one song (5 MB unless given in bytes) from a loopback
// file server in a child process, through the whole engine (probe, three
// segments, writer), at the designed pace and without pauses. Prints the
// time against the two designed rates, three segments at the workers' pace
// (each at most one 2048-byte chunk per 10 ms) and the writer's pace (one
// block per 10 ms for all downloads), and the engine's CPU share meanwhile.
// Usage: build/bin/bench_Download [BYTES]
#include "download/FileServer.h"
#include "download/untTaskThread.h"

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

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

TRun Download(std::uint16_t port, const std::string& folder, const TEngineTiming& timing, std::size_t size) {
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
    const std::string target = folder + "/song.mp3";
    std::filesystem::remove(target);
    TTaskThread engine(callbacks, 5, 3, timing);
    const double cpu0 = CpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    engine.AddTask(1, target, "http://127.0.0.1:" + std::to_string(port) + "/song.mp3");
    std::unique_lock lock(mutex);
    changed.wait(lock, [&] { return outcome != 0; });
    TRun run;
    run.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    run.CpuShare = (CpuSeconds() - cpu0) / run.Seconds;
    run.Ok = outcome == 1 && std::filesystem::file_size(target) == size;
    return run;
}

} // namespace

int main(int argc, char** argv) {
    ::setenv("ZV2_LOOPBACK_ONLY", "1", 1); // the engine reaches the loopback server only
    const std::size_t size = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 5u * 1024 * 1024;
    // The server runs in a child, so the CPU measured here is the engine's alone.
    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        return 1;
    const pid_t child = ::fork();
    if (child == 0) {
        zv2::test::TFileServer server;
        server.AddFile("/song.mp3", zv2::test::SongBytes(size));
        const std::uint16_t port = server.Port();
        if (::write(pipeFds[1], &port, sizeof port) != sizeof port)
            std::_Exit(1);
        ::pause();
        std::_Exit(0);
    }
    std::uint16_t port = 0;
    if (::read(pipeFds[0], &port, sizeof port) != sizeof port)
        return 1;
    const std::string folder = std::filesystem::temp_directory_path() / ("zv2-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);

    const TRun paced = Download(port, folder, TEngineTiming{}, size);
    const TRun unpaced = Download(port, folder, TEngineTiming::Fast(), size);
    ::kill(child, SIGTERM);
    ::waitpid(child, nullptr, 0);
    std::filesystem::remove_all(folder);

    const double mb = static_cast<double>(size) / 1e6;
    const double workersPace = static_cast<double>(size) / (3 * 2048 / 0.010); // three segments, a chunk per 10 ms
    const double writerPace = static_cast<double>(size) / (2048 / 0.010);      // one block per 10 ms
    std::printf("song: %.2f MB from a loopback server\n", mb);
    std::printf("designed pace: %6.2f s  (%s)  time / three segments at the workers' pace (%.2f s): %.2f  "
                "time / the writer's pace (%.2f s): %.2f\n",
                paced.Seconds, paced.Ok ? "saved whole" : "FAILED", workersPace, paced.Seconds / workersPace,
                writerPace, paced.Seconds / writerPace);
    std::printf("               engine CPU share while downloading: %.3f (of one core)\n", paced.CpuShare);
    std::printf("without pauses: %5.2f s  (%s)  %.1f MB/s, engine CPU share %.3f; paced / unpaced: %.1f\n",
                unpaced.Seconds, unpaced.Ok ? "saved whole" : "FAILED", mb / unpaced.Seconds, unpaced.CpuShare,
                paced.Seconds / unpaced.Seconds);
    return paced.Ok && unpaced.Ok ? 0 : 1;
}
