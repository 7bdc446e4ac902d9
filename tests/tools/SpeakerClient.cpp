// zv2-speaker-client: the program's side of the speaker protocol, driven from
// the command line, for tests that run it in a network namespace of their own.
//   --find N        BROADCAST one discovery request to 255.255.255.255, wait for N answers, print
//                   "found ADDR" per answer. Refused (exit 2) unless every interface that is up is
//                   loopback or on the tests' LAN 192.168.77.0/24, that is, outside a network
//                   namespace that a test made (and by the socket layer under ZV2_LOOPBACK_ONLY=1)
//   --device ADDR   the speaker (default: the first one found); outside a test's own network
//                   namespace only loopback addresses (ZV2_LOOPBACK_ONLY=1 is switched on there)
//   --blocks K      start the speaker, wait for the stream, send K numbered blocks of 52100 bytes
//   --volume V      speaker volume sent after the start request (default 2047)
// Exits 0 when everything asked for happened within GiveUpMs per step.

#include "speaker/PrivateNetwork.h"
#include "speaker/SpeakerPeer.h"
#include "speaker/untSpeakerLink.h"

#include <cstdio>
#include <cstdlib>
#include <string>

using namespace zv2;

int main(int argc, char** argv) {
    // Run by hand beside a real network, it sends to loopback only.
    if (!test::OnlyTestNetworks())
        ::setenv("ZV2_LOOPBACK_ONLY", "1", 1);
    int find = 0;
    int blocks = 0;
    int volume = 2047;
    std::string device;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string arg = argv[i];
        if (arg == "--find") {
            find = std::atoi(argv[i + 1]);
        } else if (arg == "--blocks") {
            blocks = std::atoi(argv[i + 1]);
        } else if (arg == "--volume") {
            volume = std::atoi(argv[i + 1]);
        } else if (arg == "--device") {
            device = argv[i + 1];
        } else {
            std::fprintf(stderr, "unknown option %s\n", arg.c_str());
            return 2;
        }
    }

    if (find > 0 && !test::OnlyTestNetworks()) {
        std::fprintf(stderr, "--find broadcasts: refused outside a test's own network namespace\n");
        return 2;
    }

    platform::TQueueDispatcher ui;
    speaker::TSpeakerLink link(ui);
    if (!link.Listening()) {
        std::fprintf(stderr, "no UDP socket\n");
        return 1;
    }
    std::vector<std::string> found;
    link.OnDeviceFound = [&](const std::string& address) {
        found.push_back(address);
        std::printf("found %s\n", address.c_str());
    };
    link.OnSoundReply = [](const std::string& text, int) { std::printf("reply %s\n", text.c_str()); };
    link.OnStreamConnect = [] { std::printf("connected\n"); };

    if (find > 0) {
        link.SearchDevices();
        if (!test::PumpUntil(ui, [&] { return found.size() >= static_cast<std::size_t>(find); })) {
            std::fprintf(stderr, "found %zu of %d speakers\n", found.size(), find);
            return 1;
        }
        if (device.empty()) {
            device = found.front();
        }
    }
    if (blocks > 0) {
        link.SetDevice(device, "44100");
        link.SendStartRequest();
        link.SendVolume(static_cast<std::uint16_t>(volume));
        if (!test::PumpUntil(ui, [&] { return link.StreamConnected(); })) {
            std::fprintf(stderr, "no stream connection to %s\n", device.c_str());
            return 1;
        }
        for (int i = 0; i < blocks; ++i) {
            const auto block = test::NumberedBlock(i);
            if (!test::PumpUntil(ui, [&] { return link.SendBlock(block.data(), block.size()); })) {
                return 1;
            }
        }
        if (!test::PumpUntil(ui, [&] { return link.PendingBlocks() == 0; })) {
            return 1;
        }
        std::printf("sent %d\n", blocks);
    }
    std::fflush(stdout);
    return 0;
}
