#pragma once
// The engine on a fake wave output, its speaker link pointed at a fake
// speaker on 127.0.0.1 (ports the system picks), and helpers to drive blocks.

#include "audio/AudioFixtures.h"
#include "platform/waveout/FakeWaveOut.h"
#include "speaker/SpeakerPeer.h"
#include "speaker/untSpeakerProtocol.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace zv2::audio::test {

// Ten seconds of a stereo 440 Hz sine, and its PCM as decoded frame by frame.
inline const std::string& SongPath() {
    static const std::string path =
        MakeSine("song.mp3", "-ac 2 -c:a libmp3lame -b:a 128k -id3v2_version 0 -write_xing 0", 10.0);
    return path;
}
inline const TBytes& SongPcm() {
    static const TBytes pcm = FfmpegPcm(SongPath());
    return pcm;
}

constexpr std::size_t Block = 52100;

// What the blocks queued since an Open hold, `size` bytes of it. The two
// dropped blocks took 23 whole frames; the 1784 bytes of the 23rd frame that
// did not fit were carried over while output was still off, so they hold the
// frame buffer's initial silence. From there the song runs on, frame after
// frame, across every block boundary.
inline TBytes ExpectedStreamAfterOpen(std::size_t size) {
    const std::size_t framesDropped = (2 * Block + 4607) / 4608;
    const std::size_t carried = framesDropped * 4608 - 2 * Block;
    TBytes expected(carried, 0);
    const auto from = SongPcm().begin() + long(framesDropped * 4608);
    expected.insert(expected.end(), from, from + long(size - carried));
    return expected;
}

// `size` bytes from the speaker's end of the stream (fewer when it stays quiet for `quietMs`).
inline TBytes ReadStream(platform::TTcpSocket& stream, std::size_t size, int quietMs = zv2::test::GiveUpMs) {
    TBytes bytes(size);
    std::size_t have = 0;
    while (have < size) {
        std::size_t got = 0;
        if (stream.Receive(bytes.data() + have, size - have, got, quietMs) != platform::TNetResult::Ok || got == 0)
            break;
        have += got;
    }
    bytes.resize(have);
    return bytes;
}

inline speaker::TSpeakerLinkOptions PeerLinkOptions(zv2::test::TSpeakerPeer& peer) {
    speaker::TSpeakerLinkOptions options;
    options.LocalPort = 0;
    options.RemoteControlPort = peer.ControlPort();
    options.RemoteStreamPort = peer.StreamPort();
    return options;
}

// The device's calls that change playback, without the volume writes.
inline std::vector<std::string> DeviceCalls(const platform::TFakeWaveOut& device) {
    std::vector<std::string> calls = device.Calls();
    std::erase(calls, "SetVolume");
    return calls;
}

// Waits (up to a bound reached only when something is broken) until `done` holds.
inline bool WaitUntil(const std::function<bool()>& done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(zv2::test::GiveUpMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// The speaker volume of a volume datagram, nothing for any other datagram.
inline std::optional<int> VolumeOf(const zv2::test::TDatagram& d) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(d.Text.data());
    if (speaker::ClassifyDatagram(bytes, d.Text.size()) != speaker::TDatagramKind::Volume)
        return std::nullopt;
    return speaker::DecodeVolume(bytes, d.Text.size());
}

// Every datagram that reaches the fake speaker within `quietMs` of the previous one.
inline std::vector<zv2::test::TDatagram> Drain(zv2::test::TSpeakerPeer& peer, int quietMs = 200) {
    std::vector<zv2::test::TDatagram> all;
    while (auto d = peer.Receive(quietMs))
        all.push_back(*d);
    return all;
}

inline std::vector<int> Volumes(const std::vector<zv2::test::TDatagram>& datagrams) {
    std::vector<int> volumes;
    for (const auto& d : datagrams)
        if (auto v = VolumeOf(d))
            volumes.push_back(*v);
    return volumes;
}

} // namespace zv2::audio::test
