#pragma once
// A ZV2 speaker in software. It answers discovery, answers the start request
// ("SOUND LRCLK 44100", "SOUND START") with "SOUND OK", takes the PCM stream
// on its TCP port (a new connection replaces the current one, which is read
// to its end first, or until it has been quiet for 2 s), applies the
// volume datagrams, and plays the stream on the wave output and/or writes it
// to a WAV file; on request it records when each block boundary arrived.
//
// Volume: the level of the last volume datagram (0..4095, initially 4095)
// scales what is played, by level/4095. The WAV file gets the received bytes
// unchanged, so it can be compared bit for bit with what the program sent.
//
// Sockets: control datagrams on `BindAddress`:`ControlPort`; bound to one
// address, the speaker also listens on 255.255.255.255:`ControlPort` (Linux
// gives broadcasts only to sockets bound to the wildcard or the broadcast
// address) and answers from its own address. Every socket shares its address
// (SO_REUSEADDR), so a speaker on 127.0.0.2 and the program on 127.0.0.1
// can use the same ports on one machine; binding to 255.255.255.255 instead
// of the wildcard keeps the speaker from taking the program's unicast answers.
//
// Threads: a control thread per UDP socket, an accepting thread and a
// reading thread. Start(), Stop() and the destructor from one owning thread;
// Summary() from any thread; OnLog runs on the speaker's threads.

#include "platform/net/TcpSocket.h"
#include "platform/net/UdpSocket.h"
#include "platform/waveout/WaveOut.h"
#include "untBlockTimes.h"
#include "untWavWriter.h"

#include "speaker/untSpeakerProtocol.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zv2::speaker {

struct TSoftSpeakerOptions {
    std::string BindAddress = "0.0.0.0";
    std::uint16_t ControlPort = speaker::ControlPort;
    std::uint16_t StreamPort = speaker::StreamPort;
    std::string WavPath; // empty: no file
    // Empty: none. Else the arrival time of each block boundary (see untBlockTimes.h).
    std::string BlockTimesPath;
    std::size_t BlockBytes = 52100; // the stream's block, for BlockTimesPath
    bool Sound = true;              // play on the wave output
};

struct TSoftSpeakerSummary {
    std::uint64_t Bytes = 0;                 // stream bytes received, all connections
    int Connections = 0;                     // stream connections taken
    std::int64_t LargestGapMs = 0;           // longest wait between two receives on one connection
    std::uint16_t Volume = MaxSpeakerVolume; // level in effect
    int VolumeDatagrams = 0;
    int StartRequests = 0;     // "SOUND START" datagrams answered
    int DiscoveryRequests = 0; // discovery requests answered
};

// "zv2-speaker: bytes=... seconds=... connections=... largest_gap_ms=... volume=... ..." on one line.
std::string FormatSummary(const TSoftSpeakerSummary& summary);

class TSoftSpeaker {
public:
    explicit TSoftSpeaker(TSoftSpeakerOptions options);
    ~TSoftSpeaker();
    TSoftSpeaker(const TSoftSpeaker&) = delete;
    TSoftSpeaker& operator=(const TSoftSpeaker&) = delete;

    std::function<void(const std::string& line)> OnLog;

    // Opens the sockets (and the WAV file and the wave output when asked)
    // and starts the threads. False with `error` set when one cannot be opened.
    bool Start(std::string& error);
    // Wakes and joins every thread, then closes the wave output and finishes the WAV file.
    void Stop();

    TSoftSpeakerSummary Summary() const;

private:
    void Control(platform::TUdpSocket& socket);
    void HandleDatagram(const std::uint8_t* data, std::size_t size, const platform::TSocketAddress& from);
    void AcceptStreams();
    void ReadStreams();
    void ReadOne(platform::TTcpSocket& stream);
    bool Replaced() const;
    void Play(const std::uint8_t* data, std::size_t size, bool flush);
    void Log(const std::string& line);

    const TSoftSpeakerOptions Options_;
    platform::TUdpSocket Control_;
    platform::TUdpSocket Broadcast_;
    platform::TTcpListener Listener_;
    TWavWriter Wav_;
    TBlockTimes BlockTimes_{Options_.BlockBytes}; // reading thread
    std::unique_ptr<platform::IWaveOut> Wave_;
    std::vector<std::uint8_t> Pending_; // received PCM not yet played (reading thread)

    mutable std::mutex Mutex_;
    std::condition_variable StreamChanged_;
    // Taken connections in the order they came: the first is being read, the
    // others replace it in turn. The reading thread alone removes one.
    std::deque<std::unique_ptr<platform::TTcpSocket>> Streams_;
    bool Stopping_ = false;
    TSoftSpeakerSummary Summary_;
    std::string LastRate_;

    std::vector<std::thread> Threads_;
};

} // namespace zv2::speaker
