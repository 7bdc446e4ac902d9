#pragma once
// The program's side of the ZV2 speakers: discovery, the start requests, the
// volume datagrams, and the PCM streams of the speaker set. The playback
// engine owns one.
//
// The speaker set: speaker 0 is the main speaker, at the device address
// (SetDevice); the others are added by SetSpeakers(). Each has its own
// volume (0..3000, scaling the volume datagrams it gets by volume / 3000),
// its check (it plays or not) and its own TSpeakerStream: connection, small
// queue, sender thread and statistics. A slow or gone speaker only fills its
// own queue, so it never holds back the caller or the others.
//
// Sockets and threads of a link:
//   - one UDP socket on all interfaces, local port `LocalPort` (48899 by
//     default), broadcast and address sharing on; a listening thread waits up
//     to 1000 ms per receive and hands each datagram to the UI thread. It
//     listens for the life of the link: after a failed receive it waits
//     `ReceiveRetryMs` and listens again;
//   - per speaker, a TCP stream to its stream port with a sender thread
//     (TSpeakerStream); its connect, disconnect and error notices reach the
//     UI thread.
//
// Datagrams from the speakers (UI thread): a discovery answer calls
// OnDeviceFound(sender address); exactly "SOUND OK" or "SOUND NOK" connects
// the stream of the checked speaker at the sender's address, or, from any
// other sender, the main speaker's stream (ConnectStream()), and then calls
// OnSoundReply(text, size); anything else is ignored.
//
// Main stream state: idle -> (ConnectStream) pending -> (connected) connected
// -> (disconnect, error, or lost) idle; see TSpeakerStream. The single-speaker
// calls (SendStartRequest, SendVolume, ConnectStream, StreamConnected,
// ConnectPending, SendBlock, PendingBlocks) are about the main speaker.
//
// Threads: construct and destroy on the UI thread; bind the events before
// the first datagram can arrive (right after construction, on the UI thread).
// Events run on the UI thread only. ConnectStream(), SearchDevices() and
// SetSpeakers() are for the UI thread; SetDevice(), SendStartRequest(),
// SendVolume(), SendVolumes(), SendBlock(), FanOut(), Speakers() and the
// getters may be called from any thread. The destructor stops the listening
// thread, then every speaker's stream and sender thread, in that order, and
// waits for each; every one of their waits is woken by it.

#include "platform/Dispatcher.h"
#include "platform/net/NetAddress.h"
#include "speaker/untSpeakerProtocol.h"
#include "speaker/untSpeakerStream.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace zv2::speaker {

struct TSpeakerLinkOptions {
    std::uint16_t LocalPort = ControlPort;         // 0: any free port (tests)
    std::uint16_t RemoteControlPort = ControlPort; // the speaker's UDP port
    std::uint16_t RemoteStreamPort = StreamPort;   // the speaker's TCP port
    std::size_t QueueBlocks = 4;                   // blocks waiting for the sender
    int StallTimeoutMs = 3000;                     // no send progress this long: lost
    int ConnectTimeoutMs = 5000;                   // a stream connect ends in an error after this
    int ReceiveRetryMs = 200;                      // pause after a failed receive
    // Tests only: asked before each receive of the listening thread; a result
    // other than Ok stands for that receive's failure.
    std::function<platform::TNetResult()> ReceiveFault{};
};

// The highest own volume of a speaker: its datagrams carry the master level unchanged.
inline constexpr int MaxOwnVolume = 3000;

// One speaker of the set as the speaker list keeps it.
struct TSpeakerRow {
    std::string Address;       // dotted IPv4
    int Volume = MaxOwnVolume; // 0..3000
    bool On = true;            // it plays
    bool operator==(const TSpeakerRow&) const = default;
};

// A speaker's row with how its stream is doing, for the settings tab.
struct TSpeakerState {
    TSpeakerRow Row;
    bool Connected = false;
    TSpeakerStats Stats;
};

// The level a speaker with own volume `ownVolume` (clamped to 0..3000) gets
// for the master speaker level `level` (0..4095): level * ownVolume / 3000, truncated.
std::uint16_t OwnSpeakerLevel(std::uint16_t level, int ownVolume);

class TSpeakerLink {
public:
    explicit TSpeakerLink(platform::IDispatcher& dispatcher, std::uint16_t localPort = ControlPort);
    TSpeakerLink(platform::IDispatcher& dispatcher, const TSpeakerLinkOptions& options);
    ~TSpeakerLink();
    TSpeakerLink(const TSpeakerLink&) = delete;
    TSpeakerLink& operator=(const TSpeakerLink&) = delete;

    std::function<void(const std::string& address)> OnDeviceFound;
    std::function<void()> OnStreamConnect;
    std::function<void()> OnStreamDisconnect;
    std::function<void(const std::string& text, int size)> OnSoundReply;

    // False when the UDP socket could not be opened (port taken without
    // sharing, no network at all); the link then sends and hears nothing.
    bool Listening() const;
    // The UDP socket's local port (the chosen one when 0 was asked for).
    std::uint16_t LocalPort() const;

    // One discovery request to 255.255.255.255 on the remote control port.
    // Returns at once; answers arrive through OnDeviceFound for as long as
    // the link lives.
    void SearchDevices();

    // The speaker's address (dotted IPv4 text) and the rate text of the start
    // request. Initially DefaultDeviceAddress and DefaultRateText.
    void SetDevice(const std::string& address, const std::string& rateText);
    std::string DeviceAddress() const;
    std::string RateText() const;

    // "SOUND LRCLK <rate text>" then "SOUND START" to the device address.
    // The caller sends the volume datagram itself afterwards.
    void SendStartRequest();
    // The volume datagram, `speakerVolume` 0..4095, to the device address.
    void SendVolume(std::uint16_t speakerVolume);

    // Closes the main speaker's open or opening stream (reporting
    // OnStreamDisconnect when it was connected), drops its queued blocks, and
    // starts a connect to the device address. ConnectPending() is true until
    // it succeeds or fails.
    void ConnectStream();

    bool StreamConnected() const;
    bool ConnectPending() const;

    // Queues a copy of one whole block (`size` bytes) for the main stream.
    // Never waits. Returns false when the block will not be sent: the stream
    // is not connected or the queue is full.
    bool SendBlock(const std::uint8_t* data, std::size_t size);

    // Blocks accepted by SendBlock() and not yet written or dropped (any thread).
    std::size_t PendingBlocks() const;

    // The speaker set (UI thread). rows[0] is the main speaker: its volume and
    // check apply to the device address (its address is SetDevice()'s). The
    // other rows are matched by address: a new checked speaker gets the start
    // request and its volume datagram; one checked again likewise; one
    // unchecked or gone has its stream closed; a changed volume of a checked
    // speaker sends a volume datagram to that speaker only. Empty `rows`
    // change nothing.
    void SetSpeakers(const std::vector<TSpeakerRow>& rows);
    // Every speaker of the set, the main one first (any thread).
    std::vector<TSpeakerState> Speakers() const;
    // Called on the UI thread when a speaker other than the main one connects or disconnects.
    std::function<void()> OnSpeakersChanged;

    // One block for every checked speaker, handed over at the same moment
    // (any thread; never waits). A connected speaker gets a copy queued (or
    // counts it as dropped when its queue is full); one that is not connected
    // counts it as dropped and, when no connect of its own is under way, gets
    // the start request and a volume datagram with its share of `level`
    // (0..4095). `run` names the playing run, for the gap statistics.
    void FanOut(const std::uint8_t* data, std::size_t size, std::uint64_t run, std::uint16_t level);
    // A volume datagram to every checked speaker with its share of `level`
    // (0..4095). The level is kept for speakers checked or changed later.
    void SendVolumes(std::uint16_t level);

private:
    struct TImpl;
    void HandleDatagram(const TMybuf& data, const std::string& sender);

    std::unique_ptr<TImpl> Impl_;
};

} // namespace zv2::speaker
