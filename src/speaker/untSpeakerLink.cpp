#include "speaker/untSpeakerLink.h"

#include "platform/net/ClientSocket.h"
#include "platform/net/UdpSocket.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace zv2::speaker {

using platform::TNetResult;
using platform::TSocketAddress;

namespace {
constexpr int ReceiveWaitMs = 1000;
constexpr std::size_t DatagramBufferSize = 8192;
} // namespace

struct TSpeakerLink::TImpl {
    TImpl(platform::IDispatcher& dispatcher, const TSpeakerLinkOptions& options)
        : Dispatcher(dispatcher), Options(options), Stream(dispatcher) {}

    struct TBlock {
        std::uint64_t Connection = 0;
        std::vector<std::uint8_t> Bytes;
    };

    std::optional<TSocketAddress> Device(std::uint16_t port) const {
        std::lock_guard lock(DeviceMutex);
        return TSocketAddress::Parse(Address, port);
    }

    void SendDatagram(const void* data, std::size_t size) {
        if (auto to = Device(Options.RemoteControlPort)) {
            Udp.SendTo(*to, data, size);
        }
    }

    void DropQueued(std::uint64_t connection) {
        std::lock_guard lock(QueueMutex);
        std::erase_if(Queue, [&](const TBlock& block) { return block.Connection == connection; });
    }

    void Listen();
    void Send();

    platform::IDispatcher& Dispatcher;
    const TSpeakerLinkOptions Options;

    platform::TUdpSocket Udp;
    bool Listening = false;
    std::thread Listener;
    std::mutex StopMutex;
    std::condition_variable StopChanged;
    bool StopListening = false;

    mutable std::mutex DeviceMutex;
    std::string Address = DefaultDeviceAddress;
    std::string Rate = DefaultRateText;

    platform::TClientSocket Stream;

    mutable std::mutex QueueMutex;
    std::condition_variable QueueChanged;
    std::deque<TBlock> Queue;
    bool Sending = false; // the sender holds a block taken from Queue
    bool StopSender = false;
    std::thread Sender;

    // Posted datagrams hold a weak reference: a link destroyed before they run is not touched.
    std::shared_ptr<TSpeakerLink*> Self;
};

TSpeakerLink::TSpeakerLink(platform::IDispatcher& dispatcher, std::uint16_t localPort)
    : TSpeakerLink(dispatcher, TSpeakerLinkOptions{.LocalPort = localPort}) {}

TSpeakerLink::TSpeakerLink(platform::IDispatcher& dispatcher, const TSpeakerLinkOptions& options)
    : Impl_(std::make_unique<TImpl>(dispatcher, options)) {
    Impl_->Self = std::make_shared<TSpeakerLink*>(this);
    Impl_->Stream.OnConnect = [this] { HandleConnected(); };
    Impl_->Stream.OnDisconnect = [this] { HandleDisconnected(); };
    Impl_->Stream.OnError = [this](TNetResult, int) { HandleDisconnected(); };
    Impl_->Listening = Impl_->Udp.Open(TSocketAddress::Any(options.LocalPort), true) == TNetResult::Ok;
    if (Impl_->Listening) {
        Impl_->Listener = std::thread(&TImpl::Listen, Impl_.get());
    }
    Impl_->Sender = std::thread(&TImpl::Send, Impl_.get());
}

TSpeakerLink::~TSpeakerLink() {
    {
        std::lock_guard lock(Impl_->StopMutex);
        Impl_->StopListening = true;
    }
    Impl_->StopChanged.notify_all();
    Impl_->Udp.Abort();
    if (Impl_->Listener.joinable()) {
        Impl_->Listener.join();
    }
    Impl_->Stream.Close();
    {
        std::lock_guard lock(Impl_->QueueMutex);
        Impl_->StopSender = true;
    }
    Impl_->QueueChanged.notify_all();
    Impl_->Sender.join();
    Impl_->Self.reset();
}

void TSpeakerLink::TImpl::Listen() {
    std::vector<std::uint8_t> buffer(DatagramBufferSize);
    for (;;) {
        std::size_t received = 0;
        TSocketAddress from;
        TNetResult result = Options.ReceiveFault ? Options.ReceiveFault() : TNetResult::Ok;
        if (result == TNetResult::Ok) {
            result = Udp.ReceiveFrom(buffer.data(), buffer.size(), received, from, ReceiveWaitMs);
        }
        if (result == TNetResult::Timeout) {
            continue;
        }
        if (result != TNetResult::Ok) {
            // Answers and discovery replies must still arrive after a passing
            // failure; only the link's end stops listening.
            std::unique_lock lock(StopMutex);
            if (StopChanged.wait_for(lock, std::chrono::milliseconds(Options.ReceiveRetryMs),
                                     [this] { return StopListening; })) {
                return;
            }
            continue;
        }
        std::weak_ptr<TSpeakerLink*> self = Self;
        Dispatcher.Post([self, datagram = TMybuf(buffer.begin(), buffer.begin() + static_cast<long>(received)),
                         sender = from.HostText()] {
            if (auto alive = self.lock()) {
                (*alive)->HandleDatagram(datagram, sender);
            }
        });
    }
}

void TSpeakerLink::TImpl::Send() {
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
            Stream.SendAll(block.Connection, block.Bytes.data(), block.Bytes.size(), Options.StallTimeoutMs);
        {
            std::lock_guard lock(QueueMutex);
            Sending = false;
        }
        if (result == TNetResult::Ok) {
            continue;
        }
        if (result == TNetResult::Timeout) {
            // The speaker has taken nothing for StallTimeoutMs: count the
            // stream as lost, so the engine starts the speaker again.
            Stream.Drop(block.Connection);
        }
        // Whatever follows this block on the same connection would reach the
        // speaker with a hole before it.
        DropQueued(block.Connection);
    }
}

void TSpeakerLink::HandleDatagram(const TMybuf& data, const std::string& sender) {
    try {
        switch (ClassifyDatagram(data.data(), data.size())) {
        case TDatagramKind::DiscoveryAnswer:
            if (OnDeviceFound) {
                OnDeviceFound(sender);
            }
            break;
        case TDatagramKind::SoundOk:
        case TDatagramKind::SoundNok:
            ConnectStream();
            if (OnSoundReply) {
                OnSoundReply(std::string(data.begin(), data.end()), static_cast<int>(data.size()));
            }
            break;
        default:
            break;
        }
    } catch (...) {
        // A handler's failure must not end the UI thread's loop.
    }
}

void TSpeakerLink::HandleConnected() {
    StreamConnected_.store(true);
    ConnectPending_.store(false);
    if (OnStreamConnect) {
        OnStreamConnect();
    }
}

void TSpeakerLink::HandleDisconnected() {
    StreamConnected_.store(false);
    ConnectPending_.store(false);
    if (OnStreamDisconnect) {
        OnStreamDisconnect();
    }
}

bool TSpeakerLink::Listening() const {
    return Impl_->Listening;
}

std::uint16_t TSpeakerLink::LocalPort() const {
    return Impl_->Udp.LocalAddress().Port;
}

// A Linux UDP socket that is not connected reports no ICMP port-unreachable
// as a connection reset, so nothing has to be switched off before a send.
void TSpeakerLink::SearchDevices() {
    const TMybuf request = EncodeDiscoveryRequest();
    Impl_->Udp.SendTo(TSocketAddress::Broadcast(Impl_->Options.RemoteControlPort), request.data(), request.size());
}

void TSpeakerLink::SetDevice(const std::string& address, const std::string& rateText) {
    std::lock_guard lock(Impl_->DeviceMutex);
    Impl_->Address = address;
    Impl_->Rate = rateText;
}

std::string TSpeakerLink::DeviceAddress() const {
    std::lock_guard lock(Impl_->DeviceMutex);
    return Impl_->Address;
}

std::string TSpeakerLink::RateText() const {
    std::lock_guard lock(Impl_->DeviceMutex);
    return Impl_->Rate;
}

void TSpeakerLink::SendStartRequest() {
    std::string address, rateText;
    {
        std::lock_guard lock(Impl_->DeviceMutex);
        address = Impl_->Address;
        rateText = Impl_->Rate;
    }
    // Both datagrams go to one address, also when another thread sets a new one meanwhile.
    const auto to = TSocketAddress::Parse(address, Impl_->Options.RemoteControlPort);
    if (!to) {
        return;
    }
    const std::string rate = EncodeRateRequest(rateText);
    Impl_->Udp.SendTo(*to, rate.data(), rate.size());
    const std::string start = EncodeStartRequest();
    Impl_->Udp.SendTo(*to, start.data(), start.size());
}

void TSpeakerLink::SendVolume(std::uint16_t speakerVolume) {
    const TMybuf volume = EncodeVolume(speakerVolume);
    Impl_->SendDatagram(volume.data(), volume.size());
}

void TSpeakerLink::ConnectStream() {
    const std::uint64_t previous = Impl_->Stream.Connection();
    if (previous != 0) {
        const bool wasConnected = StreamConnected_.exchange(false);
        ConnectPending_.store(false);
        Impl_->Stream.Close();
        Impl_->DropQueued(previous);
        if (wasConnected && OnStreamDisconnect) {
            OnStreamDisconnect();
        }
    }
    Impl_->Stream.Open(DeviceAddress(), Impl_->Options.RemoteStreamPort, Impl_->Options.ConnectTimeoutMs);
    ConnectPending_.store(true);
}

std::size_t TSpeakerLink::PendingBlocks() const {
    std::lock_guard lock(Impl_->QueueMutex);
    return Impl_->Queue.size() + (Impl_->Sending ? 1 : 0);
}

bool TSpeakerLink::SendBlock(const std::uint8_t* data, std::size_t size) {
    if (!StreamConnected_.load()) {
        return false;
    }
    TImpl::TBlock block{Impl_->Stream.Connection(), std::vector<std::uint8_t>(data, data + size)};
    {
        std::lock_guard lock(Impl_->QueueMutex);
        if (Impl_->Queue.size() >= Impl_->Options.QueueBlocks) {
            return false;
        }
        Impl_->Queue.push_back(std::move(block));
    }
    Impl_->QueueChanged.notify_one();
    return true;
}

} // namespace zv2::speaker
