#pragma once
// The program's side of the ZV2 speaker: discovery, the start request, the
// volume datagrams, and the PCM stream. The playback engine owns one.
//
// Sockets and threads of a link:
//   - one UDP socket on all interfaces, local port `LocalPort` (48899 by
//     default), broadcast and address sharing on; a listening thread waits up
//     to 1000 ms per receive and hands each datagram to the UI thread. It
//     listens for the life of the link: after a failed receive it waits
//     `ReceiveRetryMs` and listens again;
//   - one TCP stream to the speaker's stream port, opened by ConnectStream();
//     its connect, disconnect and error notices reach the UI thread;
//   - a sender thread that writes queued blocks on the stream, so SendBlock()
//     never waits for the network.
//
// Datagrams from the speaker (UI thread): a discovery answer calls
// OnDeviceFound(sender address); exactly "SOUND OK" or "SOUND NOK" calls
// ConnectStream() and then OnSoundReply(text, size); anything else is ignored.
//
// Stream state: idle -> (ConnectStream) pending -> (connected) connected ->
// (disconnect, error, or lost) idle. "Lost": the sender made no progress for
// `StallTimeoutMs` while a block waited, that is, the speaker stopped reading;
// the connection is then dropped and reported like a disconnect, so the
// engine repeats the start request. Blocks handed over while the stream is not
// connected, or while the queue is full, are not sent (lost to the speaker,
// never sent later); blocks that are queued reach the stream whole and in the
// order given, each connection starting at a block boundary.
//
// Threads: construct and destroy on the UI thread; bind the events before
// the first datagram can arrive (right after construction, on the UI thread).
// Events run on the UI thread only. ConnectStream() and SearchDevices() are
// for the UI thread; SetDevice(), SendStartRequest(), SendVolume(),
// SendBlock() and the getters may be called from any thread. The destructor
// stops the listening thread, the stream and the sender thread, in that order,
// and waits for each; every one of their waits is woken by it.

#include "platform/Dispatcher.h"
#include "platform/net/NetAddress.h"
#include "speaker/untSpeakerProtocol.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

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

    // Closes an open or opening stream (reporting OnStreamDisconnect when it
    // was connected), drops the queued blocks, and starts a connect to the
    // device address. ConnectPending() is true until it succeeds or fails.
    void ConnectStream();

    bool StreamConnected() const { return StreamConnected_.load(); }
    bool ConnectPending() const { return ConnectPending_.load(); }

    // Queues a copy of one whole block (`size` bytes) for the stream. Never
    // waits. Returns false when the block will not be sent: the stream is
    // not connected or the queue is full.
    bool SendBlock(const std::uint8_t* data, std::size_t size);

    // Blocks accepted by SendBlock() and not yet written or dropped (any thread).
    std::size_t PendingBlocks() const;

private:
    struct TImpl;
    void HandleDatagram(const TMybuf& data, const std::string& sender);
    void HandleConnected();
    void HandleDisconnected();

    std::atomic<bool> StreamConnected_{false};
    std::atomic<bool> ConnectPending_{false};
    std::unique_ptr<TImpl> Impl_;
};

} // namespace zv2::speaker
