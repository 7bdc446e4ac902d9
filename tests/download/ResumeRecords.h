#pragma once
// Waiting for a download's resume record to say something, as another
// process or the writer's thread writes it: each record moved into place is
// read and judged, never a fixed time waited.

#include "TempDir.h"
#include "download/untResumeRecord.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/inotify.h>
#include <unistd.h>

namespace zv2::test {

// The first sound record in `folder` for which `done` holds, with its
// temporary file; nullopt when none did within `limitMs`.
inline std::optional<download::TUnfinishedSong>
WaitForRecord(const std::string& folder, const std::function<bool(const download::TResumeRecord&)>& done,
              int limitMs = 60000) {
    std::filesystem::create_directories(folder);
    const int watch = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    // Watched before the first look: no record written in between is missed.
    ::inotify_add_watch(watch, folder.c_str(), IN_MOVED_TO | IN_CLOSE_WRITE);
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    std::optional<download::TUnfinishedSong> found;
    for (;;) {
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            const std::string path = entry.path().string();
            if (!path.ends_with(download::kResumeRecordSuffix))
                continue;
            std::string why;
            const auto record = download::ParseResumeRecord(ReadFile(path), why);
            if (record && done(*record)) {
                found = download::TUnfinishedSong{
                    path.substr(0, path.size() - (sizeof download::kResumeRecordSuffix - 1)), *record};
                break;
            }
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
        if (found || left <= 0)
            break;
        pollfd ready{watch, POLLIN, 0};
        if (::poll(&ready, 1, static_cast<int>(left)) > 0) {
            char events[4096];
            while (::read(watch, events, sizeof events) > 0) {
            }
        }
    }
    ::close(watch);
    return found;
}

} // namespace zv2::test
