#pragma once
// The block queue shared by the real backends. Blocks go from the writer into
// a play ring, from the playing side (a sound-card callback or the null
// device's thread) into a done ring, and from there back to the owner on a
// completion thread of the queue. Both rings are single-producer,
// single-consumer and lock-free, so the playing side never waits and never
// allocates.
//
// Roles: Push() is the writer; Front(), FinishFront() and ReturnAll() are the
// playing side (one thread at a time: the backend makes sure that ReturnAll
// never overlaps its player); WaitHandedBack() and Start()/Stop() belong to
// the controlling thread.

#include "platform/waveout/WaveOut.h"

#include <array>
#include <atomic>
#include <semaphore>
#include <thread>

namespace zv2::platform {

class TWaveQueue {
public:
    TWaveQueue() = default;
    ~TWaveQueue();
    TWaveQueue(const TWaveQueue&) = delete;
    TWaveQueue& operator=(const TWaveQueue&) = delete;

    // Starts the completion thread that hands blocks to `onDone`.
    void Start(TWaveDoneHandler onDone);
    // Hands back whatever is still queued, then ends the completion thread.
    // Call only when the playing side has stopped.
    void Stop();

    // False (and the block dropped) when MaxQueuedBlocks blocks are out.
    bool Push(TWaveBlockPtr block);

    // The block playing now, or null.
    TWaveBlock* Front();
    // The front block has finished: off to the completion thread.
    void FinishFront();
    // Every queued block to the completion thread, in order.
    void ReturnAll();
    // Waits until every block finished so far has been handed back.
    void WaitHandedBack();

private:
    static constexpr std::size_t Capacity = IWaveOut::MaxQueuedBlocks;

    class TRing {
    public:
        bool Push(TWaveBlock* block);
        TWaveBlock* Front() const;
        void Pop();

    private:
        std::array<TWaveBlock*, Capacity> Items_{};
        std::atomic<std::size_t> Head_{0};
        std::atomic<std::size_t> Tail_{0};
    };

    void Run();

    TRing Play_;
    TRing Done_;
    std::counting_semaphore<Capacity + 1> DoneSignal_{0};
    std::atomic<std::uint64_t> Pushed_{0};     // writer
    std::atomic<std::uint64_t> Finished_{0};   // playing side
    std::atomic<std::uint64_t> HandedBack_{0}; // completion thread
    std::atomic<bool> Stopping_{false};
    TWaveDoneHandler OnDone_;
    std::thread Thread_;
};

} // namespace zv2::platform
