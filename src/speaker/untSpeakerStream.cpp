#include "speaker/untSpeakerStream.h"

#include "platform/net/ClientSocket.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace zv2::speaker {

using platform::TNetResult;
using Clock = std::chrono::steady_clock;

struct TSpeakerStream::TImpl {
    TImpl(platform::IDispatcher& dispatcher, const TSpeakerStreamOptions& options)
        : Options(options), Socket(dispatcher) {}

    struct TBlock {
        std::uint64_t Connection = 0;
        std::uint64_t Run = 0;
        std::vector<std::uint8_t> Bytes;
    };

    void DropQueued(std::uint64_t connection) {
        std::lock_guard lock(QueueMutex);
        const auto before = Queue.size();
        std::erase_if(Queue, [&](const TBlock& block) { return block.Connection == connection; });
        Stats.BlocksDropped += before - Queue.size();
    }

    void Send();
    void Sent(const TBlock& block);

    const TSpeakerStreamOptions Options;
    platform::TClientSocket Socket;
    std::atomic<bool> Connected{false};
    std::atomic<bool> Pending{false};

    mutable std::mutex QueueMutex;
    std::condition_variable QueueChanged;
    std::deque<TBlock> Queue;
    bool Sending = false; // the sender holds a block taken from Queue
    bool StopSender = false;
    TSpeakerStats Stats;
    std::optional<Clock::time_point> LastSentAt;
    std::uint64_t LastRun = 0;
    std::thread Sender;
};

TSpeakerStream::TSpeakerStream(platform::IDispatcher& dispatcher, const TSpeakerStreamOptions& options)
    : Impl_(std::make_unique<TImpl>(dispatcher, options)) {
    Impl_->Socket.OnConnect = [this] {
        Impl_->Connected.store(true);
        Impl_->Pending.store(false);
        if (OnConnect) {
            OnConnect();
        }
    };
    Impl_->Socket.OnDisconnect = [this] { EndConnection(); };
    Impl_->Socket.OnError = [this](TNetResult, int) { EndConnection(); };
    Impl_->Sender = std::thread(&TImpl::Send, Impl_.get());
}

TSpeakerStream::~TSpeakerStream() {
    Impl_->Socket.Close();
    {
        std::lock_guard lock(Impl_->QueueMutex);
        Impl_->StopSender = true;
    }
    Impl_->QueueChanged.notify_all();
    Impl_->Sender.join();
}

void TSpeakerStream::EndConnection() {
    Impl_->Connected.store(false);
    Impl_->Pending.store(false);
    if (OnDisconnect) {
        OnDisconnect();
    }
}

void TSpeakerStream::TImpl::Send() {
    for (;;) {
        TBlock block;
        {
            std::unique_lock lock(QueueMutex);
            QueueChanged.wait(lock, [&] { return StopSender || !Queue.empty(); });
            if (StopSender) {
                return;
            }
            block = std::move(Queue.front());
            Queue.pop_front();
            Sending = true;
        }
        const TNetResult result =
            Socket.SendAll(block.Connection, block.Bytes.data(), block.Bytes.size(), Options.StallTimeoutMs);
        if (result == TNetResult::Ok) {
            Sent(block);
            continue;
        }
        {
            std::lock_guard lock(QueueMutex);
            Sending = false;
            ++Stats.BlocksDropped;
        }
        if (result == TNetResult::Timeout) {
            // The speaker has taken nothing for StallTimeoutMs: count the
            // stream as lost, so that the speaker is started again.
            Socket.Drop(block.Connection);
        }
        // Whatever follows this block on the same connection would reach the
        // speaker with a hole before it.
        DropQueued(block.Connection);
    }
}

void TSpeakerStream::TImpl::Sent(const TBlock& block) {
    const auto now = Clock::now();
    std::lock_guard lock(QueueMutex);
    Sending = false;
    Stats.BytesSent += block.Bytes.size();
    if (LastSentAt && LastRun == block.Run) {
        const auto gap = std::chrono::duration_cast<std::chrono::milliseconds>(now - *LastSentAt).count();
        Stats.LargestGapMs = std::max<std::int64_t>(Stats.LargestGapMs, gap);
    }
    LastSentAt = now;
    LastRun = block.Run;
}

void TSpeakerStream::Connect(const std::string& address) {
    Close();
    Impl_->Socket.Open(address, Impl_->Options.RemoteStreamPort, Impl_->Options.ConnectTimeoutMs,
                       Impl_->Options.SendBufferBytes);
    Impl_->Pending.store(true);
}

void TSpeakerStream::Close() {
    const std::uint64_t previous = Impl_->Socket.Connection();
    if (previous == 0) {
        return;
    }
    const bool wasConnected = Impl_->Connected.exchange(false);
    Impl_->Pending.store(false);
    Impl_->Socket.Close();
    Impl_->DropQueued(previous);
    if (wasConnected && OnDisconnect) {
        OnDisconnect();
    }
}

bool TSpeakerStream::Connected() const {
    return Impl_->Connected.load();
}

bool TSpeakerStream::ConnectPending() const {
    return Impl_->Pending.load();
}

bool TSpeakerStream::SendBlock(const std::uint8_t* data, std::size_t size, std::uint64_t run) {
    if (!Impl_->Connected.load()) {
        CountDropped();
        return false;
    }
    TImpl::TBlock block{Impl_->Socket.Connection(), run, std::vector<std::uint8_t>(data, data + size)};
    {
        std::lock_guard lock(Impl_->QueueMutex);
        if (Impl_->Queue.size() >= Impl_->Options.QueueBlocks) {
            ++Impl_->Stats.BlocksDropped;
            return false;
        }
        Impl_->Queue.push_back(std::move(block));
    }
    Impl_->QueueChanged.notify_one();
    return true;
}

void TSpeakerStream::CountDropped() {
    std::lock_guard lock(Impl_->QueueMutex);
    ++Impl_->Stats.BlocksDropped;
}

std::size_t TSpeakerStream::PendingBlocks() const {
    std::lock_guard lock(Impl_->QueueMutex);
    return Impl_->Queue.size() + (Impl_->Sending ? 1 : 0);
}

TSpeakerStats TSpeakerStream::Stats() const {
    std::lock_guard lock(Impl_->QueueMutex);
    return Impl_->Stats;
}

} // namespace zv2::speaker
