// zv2-speaker: a ZV2 speaker in software, for tests and for any Linux machine
// that should play what the player streams.

#include "untSoftSpeaker.h"

#include "platform/net/NetAddress.h"

#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

namespace {

const char* const Usage = "Usage: zv2-speaker [options]\n"
                          "A ZV2 WiFi speaker in software. It answers discovery on its UDP control port,\n"
                          "answers the start request (\"SOUND LRCLK 44100\", \"SOUND START\") with\n"
                          "\"SOUND OK\", takes the PCM stream (44100 Hz, stereo, 16-bit) on its TCP stream\n"
                          "port, where a new connection replaces the current one, and plays it.\n"
                          "\n"
                          "Options:\n"
                          "  --bind ADDR          IPv4 address to use (default 0.0.0.0, all). Bound to one\n"
                          "                       address it still answers broadcast discovery, from ADDR.\n"
                          "                       All sockets share their addresses, so the player may run\n"
                          "                       on 127.0.0.1 and the speaker on 127.0.0.2 on one machine.\n"
                          "  --control-port N     UDP port for discovery, start and volume (default 48899)\n"
                          "  --stream-port N      TCP port for the PCM stream (default 48898)\n"
                          "  --wav FILE           write the received stream to FILE as WAV, unscaled: the\n"
                          "                       exact bytes that arrived (the header is completed at exit)\n"
                          "  --block-times FILE   record when each block boundary of the stream arrived:\n"
                          "                       one line per 52100-byte block, \"CONN BLOCK US FNV\": the\n"
                          "                       connection (1, 2, ...), the block within it (0, 1, ...),\n"
                          "                       CLOCK_MONOTONIC in microseconds when its first byte came,\n"
                          "                       and the FNV-1a hash of its bytes (the same block at\n"
                          "                       several speakers has the same hash), so the step between\n"
                          "                       speakers can be measured\n"
                          "  --no-sound           do not play on the sound card\n"
                          "  --seconds N          end after N seconds (default: run until SIGINT/SIGTERM)\n"
                          "  --help               show this text\n"
                          "\n"
                          "Volume datagrams (0..4095, initially 4095) scale what is played by level/4095;\n"
                          "the WAV file is never scaled. ZV2_AUDIO=null plays on a silent real-time device.\n"
                          "It listens for broadcasts: bound to all addresses (the default) it hears the\n"
                          "discovery broadcasts of every network the machine is on and answers each\n"
                          "sender. With ZV2_LOOPBACK_ONLY=1 it answers only senders on 127.0.0.0/8;\n"
                          "tests run it that way or inside network namespaces of their own.\n"
                          "\n"
                          "At the end it prints one line: bytes, seconds of audio, connections, the\n"
                          "largest gap between two receives (ms), the volume in effect and counters.\n";

bool ParseSeconds(const char* text, double& seconds) {
    char* end = nullptr;
    errno = 0;
    seconds = std::strtod(text, &end);
    return errno == 0 && end != text && *end == '\0' && std::isfinite(seconds) && seconds > 0;
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "zv2-speaker: %s\n", message.c_str());
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    zv2::speaker::TSoftSpeakerOptions options;
    double seconds = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--help" || arg == "-h") {
            std::fputs(Usage, stdout);
            return 0;
        } else if (arg == "--no-sound") {
            options.Sound = false;
        } else if (arg == "--bind" && hasValue) {
            options.BindAddress = argv[++i];
        } else if (arg == "--block-times" && hasValue) {
            options.BlockTimesPath = argv[++i];
        } else if (arg == "--wav" && hasValue) {
            options.WavPath = argv[++i];
        } else if (arg == "--control-port" && hasValue) {
            if (!zv2::platform::ParsePort(argv[++i], options.ControlPort)) {
                return Fail("bad port: " + std::string(argv[i]));
            }
        } else if (arg == "--stream-port" && hasValue) {
            if (!zv2::platform::ParsePort(argv[++i], options.StreamPort)) {
                return Fail("bad port: " + std::string(argv[i]));
            }
        } else if (arg == "--seconds" && hasValue) {
            if (!ParseSeconds(argv[++i], seconds)) {
                return Fail("bad number of seconds: " + std::string(argv[i]));
            }
        } else {
            std::fputs(Usage, stderr);
            return Fail("unknown option or missing value: " + arg);
        }
    }

    // The signals are taken by sigtimedwait below, never by a handler; block
    // them before any thread starts, so every thread inherits the mask.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    zv2::speaker::TSoftSpeaker speaker(options);
    speaker.OnLog = [](const std::string& line) { std::fprintf(stderr, "zv2-speaker: %s\n", line.c_str()); };
    std::string error;
    if (!speaker.Start(error)) {
        return Fail(error);
    }

    if (seconds > 0) {
        timespec limit{};
        limit.tv_sec = static_cast<time_t>(seconds);
        limit.tv_nsec = static_cast<long>((seconds - static_cast<double>(limit.tv_sec)) * 1e9);
        while (sigtimedwait(&signals, nullptr, &limit) < 0 && errno == EINTR) {
        }
    } else {
        int taken = 0;
        sigwait(&signals, &taken);
    }
    speaker.Stop();
    std::printf("%s\n", zv2::speaker::FormatSummary(speaker.Summary()).c_str());
    return 0;
}
