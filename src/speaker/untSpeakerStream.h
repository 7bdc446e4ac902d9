#pragma once
// One speaker's PCM stream: a TCP connection to the speaker's stream port, a
// small queue of blocks, a sender thread of its own that writes them, and the
// speaker's statistics. A speaker that is slow, stops reading or is gone only
// fills its own queue: SendBlock() never waits, and a block that finds the
// queue full (or no connection) is dropped and counted.
//
// Connection state: idle -> (Connect) pending -> (connected) connected ->
// (disconnect, error, or lost) idle. "Lost": the sender made no progress for
// `StallTimeoutMs` while a block waited; the connection is then dropped and
// reported like a disconnect. Blocks that are queued reach the stream whole
// and in the order given, each connection starting at a block boundary; what
// was queued for a connection that ended is dropped, never sent later.
//
// Threads: construct, Connect(), Close() and destroy on the UI thread (the
// dispatcher's); OnConnect and OnDisconnect run there. SendBlock(),
// CountDropped(), the state getters and Stats() from any thread. The
// destructor closes the connection, then wakes and joins the sender.

#include "platform/Dispatcher.h"
#include "speaker/untSpeakerProtocol.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace zv2::speaker {

struct TSpeakerStreamOptions {
    std::uint16_t RemoteStreamPort = StreamPort; // the speaker's TCP port
    std::size_t QueueBlocks = 4;                 // blocks waiting for the sender
    int StallTimeoutMs = 3000;                   // no send progress this long: lost
    int ConnectTimeoutMs = 5000;                 // a connect ends in an error after this
    // The connection's send buffer: with the queue, what a speaker that stops
    // reading can fall behind before its blocks are dropped (about 0.4 s of
    // audio here, 1.2 s in the queue), so that it comes back at the live
    // position instead of seconds late. 0: the system's own, growing one.
    int SendBufferBytes = 64 * 1024;
};

// What a speaker took, for the settings tab. Counted from the stream's creation.
struct TSpeakerStats {
    std::uint64_t BytesSent = 0;     // PCM written whole on the stream
    std::uint64_t BlocksDropped = 0; // blocks handed over that never reached the stream
    // The longest time between the writes of two consecutive blocks of one
    // playing run (see SendBlock's `run`), in ms; 0 before the second block.
    std::int64_t LargestGapMs = 0;
};

class TSpeakerStream {
public:
    TSpeakerStream(platform::IDispatcher& dispatcher, const TSpeakerStreamOptions& options);
    ~TSpeakerStream();
    TSpeakerStream(const TSpeakerStream&) = delete;
    TSpeakerStream& operator=(const TSpeakerStream&) = delete;

    std::function<void()> OnConnect;
    std::function<void()> OnDisconnect;

    // Closes an open or opening connection (reporting OnDisconnect when it was
    // connected), drops its queued blocks, and starts a connect to `address`.
    // ConnectPending() is true until it succeeds or fails.
    void Connect(const std::string& address);
    // Closes the connection, if any, the same way, and opens none.
    void Close();

    bool Connected() const;
    bool ConnectPending() const;

    // Queues a copy of one whole block (`size` bytes) for the stream. Never
    // waits. False, and the block counted as dropped, when the stream is not
    // connected or the queue is full. `run` names the playing run the block
    // belongs to: the gap statistics compare only blocks of one run.
    bool SendBlock(const std::uint8_t* data, std::size_t size, std::uint64_t run = 0);
    // Counts a block that was not even handed over (the speaker was not connected).
    void CountDropped();

    // Blocks accepted by SendBlock() and not yet written or dropped.
    std::size_t PendingBlocks() const;
    TSpeakerStats Stats() const;

private:
    struct TImpl;
    void EndConnection();
    std::unique_ptr<TImpl> Impl_;
};

} // namespace zv2::speaker
