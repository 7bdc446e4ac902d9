#include "speaker/untSpeakerLink.h"

#include "platform/net/UdpSocket.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
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

std::uint16_t OwnSpeakerLevel(std::uint16_t level, int ownVolume) {
    return static_cast<std::uint16_t>(static_cast<int>(level) * std::clamp(ownVolume, 0, MaxOwnVolume) / MaxOwnVolume);
}

struct TSpeakerLink::TImpl {
    TImpl(platform::IDispatcher& dispatcher, const TSpeakerLinkOptions& options)
        : Dispatcher(dispatcher), Options(options), StreamOptions(StreamOptionsOf(options)) {}

    static TSpeakerStreamOptions StreamOptionsOf(const TSpeakerLinkOptions& options) {
        TSpeakerStreamOptions stream;
        stream.RemoteStreamPort = options.RemoteStreamPort;
        stream.QueueBlocks = options.QueueBlocks;
        stream.StallTimeoutMs = options.StallTimeoutMs;
        stream.ConnectTimeoutMs = options.ConnectTimeoutMs;
        return stream;
    }

    struct TSpeaker {
        TSpeakerRow Row; // the main speaker's address is the device address
        std::unique_ptr<TSpeakerStream> Stream;
    };

    std::string DeviceAddress() const {
        std::lock_guard lock(DeviceMutex);
        return Address;
    }

    // The speaker's address; the device address for the main one. Under SpeakersMutex.
    std::string AddressOf(const TSpeaker& speaker) const {
        return &speaker == Speakers.front().get() ? DeviceAddress() : speaker.Row.Address;
    }

    void SendDatagram(const std::string& address, const void* data, std::size_t size) {
        if (auto to = TSocketAddress::Parse(address, Options.RemoteControlPort)) {
            Udp.SendTo(*to, data, size);
        }
    }

    void SendStart(const std::string& address) {
        std::string rateText;
        {
            std::lock_guard lock(DeviceMutex);
            rateText = Rate;
        }
        const std::string rate = EncodeRateRequest(rateText);
        SendDatagram(address, rate.data(), rate.size());
        const std::string start = EncodeStartRequest();
        SendDatagram(address, start.data(), start.size());
    }

    void SendVolume(const std::string& address, std::uint16_t speakerVolume) {
        const TMybuf volume = EncodeVolume(speakerVolume);
        SendDatagram(address, volume.data(), volume.size());
    }

    void Listen();

    platform::IDispatcher& Dispatcher;
    const TSpeakerLinkOptions Options;
    const TSpeakerStreamOptions StreamOptions;

    platform::TUdpSocket Udp;
    bool Listening = false;
    std::thread Listener;
    std::mutex StopMutex;
    std::condition_variable StopChanged;
    bool StopListening = false;

    mutable std::mutex DeviceMutex;
    std::string Address = DefaultDeviceAddress;
    std::string Rate = DefaultRateText;

    // The set, speaker 0 the main one. The vector and the rows change on the
    // UI thread under the lock; the refill thread holds it while it hands a
    // block to every speaker, so a speaker is never removed under it.
    mutable std::mutex SpeakersMutex;
    std::vector<std::unique_ptr<TSpeaker>> Speakers;
    std::uint16_t Level = 0; // the level of the last SendVolumes()

    // Posted datagrams hold a weak reference: a link destroyed before they run is not touched.
    std::shared_ptr<TSpeakerLink*> Self;
};

TSpeakerLink::TSpeakerLink(platform::IDispatcher& dispatcher, std::uint16_t localPort)
    : TSpeakerLink(dispatcher, TSpeakerLinkOptions{.LocalPort = localPort}) {}

TSpeakerLink::TSpeakerLink(platform::IDispatcher& dispatcher, const TSpeakerLinkOptions& options)
    : Impl_(std::make_unique<TImpl>(dispatcher, options)) {
    Impl_->Self = std::make_shared<TSpeakerLink*>(this);
    auto main = std::make_unique<TImpl::TSpeaker>();
    main->Stream = std::make_unique<TSpeakerStream>(dispatcher, Impl_->StreamOptions);
    main->Stream->OnConnect = [this] {
        if (OnStreamConnect) {
            OnStreamConnect();
        }
    };
    main->Stream->OnDisconnect = [this] {
        if (OnStreamDisconnect) {
            OnStreamDisconnect();
        }
    };
    Impl_->Speakers.push_back(std::move(main));
    Impl_->Listening = Impl_->Udp.Open(TSocketAddress::Any(options.LocalPort), true) == TNetResult::Ok;
    if (Impl_->Listening) {
        Impl_->Listener = std::thread(&TImpl::Listen, Impl_.get());
    }
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
    // Each stream closes its connection, then wakes and joins its sender.
    Impl_->Speakers.clear();
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

void TSpeakerLink::HandleDatagram(const TMybuf& data, const std::string& sender) {
    try {
        switch (ClassifyDatagram(data.data(), data.size())) {
        case TDatagramKind::DiscoveryAnswer:
            if (OnDeviceFound) {
                OnDeviceFound(sender);
            }
            break;
        case TDatagramKind::SoundOk:
        case TDatagramKind::SoundNok: {
            // The UI thread alone removes speakers: the one found stays.
            TImpl::TSpeaker* target = nullptr;
            {
                std::lock_guard lock(Impl_->SpeakersMutex);
                for (std::size_t i = 1; i < Impl_->Speakers.size(); ++i) {
                    if (Impl_->Speakers[i]->Row.On && Impl_->Speakers[i]->Row.Address == sender) {
                        target = Impl_->Speakers[i].get();
                    }
                }
                if (!target && Impl_->Speakers.front()->Row.On) {
                    target = Impl_->Speakers.front().get();
                }
            }
            if (target == Impl_->Speakers.front().get()) {
                ConnectStream();
            } else if (target) {
                target->Stream->Connect(target->Row.Address);
            }
            if (OnSoundReply) {
                OnSoundReply(std::string(data.begin(), data.end()), static_cast<int>(data.size()));
            }
            break;
        }
        default:
            break;
        }
    } catch (...) {
        // A handler's failure must not end the UI thread's loop.
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
    Impl_->SendVolume(Impl_->DeviceAddress(), speakerVolume);
}

void TSpeakerLink::ConnectStream() {
    Impl_->Speakers.front()->Stream->Connect(DeviceAddress());
}

bool TSpeakerLink::StreamConnected() const {
    return Impl_->Speakers.front()->Stream->Connected();
}

bool TSpeakerLink::ConnectPending() const {
    return Impl_->Speakers.front()->Stream->ConnectPending();
}

std::size_t TSpeakerLink::PendingBlocks() const {
    return Impl_->Speakers.front()->Stream->PendingBlocks();
}

bool TSpeakerLink::SendBlock(const std::uint8_t* data, std::size_t size) {
    return Impl_->Speakers.front()->Stream->SendBlock(data, size);
}

void TSpeakerLink::SetSpeakers(const std::vector<TSpeakerRow>& rows) {
    if (rows.empty()) {
        return;
    }
    struct TAction {
        std::string Address;
        bool Start = false; // the start request before the volume datagram
        std::uint16_t Volume = 0;
    };
    std::vector<TAction> actions;
    std::vector<std::unique_ptr<TImpl::TSpeaker>> gone;
    std::vector<TSpeakerStream*> closing;
    {
        std::lock_guard lock(Impl_->SpeakersMutex);
        auto& speakers = Impl_->Speakers;
        // What a speaker's new row asks for, against its old one.
        const auto apply = [&](TImpl::TSpeaker& speaker, const TSpeakerRow& row, bool added) {
            const TSpeakerRow old = speaker.Row;
            speaker.Row.Volume = std::clamp(row.Volume, 0, MaxOwnVolume);
            speaker.Row.On = row.On;
            const std::string address = Impl_->AddressOf(speaker);
            if (row.On && (added || !old.On)) {
                actions.push_back({address, true, OwnSpeakerLevel(Impl_->Level, speaker.Row.Volume)});
            } else if (row.On && old.Volume != speaker.Row.Volume) {
                actions.push_back({address, false, OwnSpeakerLevel(Impl_->Level, speaker.Row.Volume)});
            } else if (!row.On && old.On && !added) {
                closing.push_back(speaker.Stream.get());
            }
        };
        apply(*speakers.front(), rows.front(), false);
        std::vector<std::unique_ptr<TImpl::TSpeaker>> kept;
        kept.push_back(std::move(speakers.front()));
        for (std::size_t r = 1; r < rows.size(); ++r) {
            const TSpeakerRow& row = rows[r];
            auto same = std::find_if(speakers.begin() + 1, speakers.end(), [&](const auto& speaker) {
                return speaker && speaker->Row.Address == row.Address;
            });
            if (same != speakers.end()) {
                apply(**same, row, false);
                kept.push_back(std::move(*same));
                continue;
            }
            if (std::any_of(kept.begin() + 1, kept.end(),
                            [&](const auto& speaker) { return speaker->Row.Address == row.Address; })) {
                continue; // listed twice: the first row counts
            }
            auto speaker = std::make_unique<TImpl::TSpeaker>();
            speaker->Row.Address = row.Address;
            speaker->Stream = std::make_unique<TSpeakerStream>(Impl_->Dispatcher, Impl_->StreamOptions);
            speaker->Stream->OnConnect = [this] {
                if (OnSpeakersChanged) {
                    OnSpeakersChanged();
                }
            };
            speaker->Stream->OnDisconnect = speaker->Stream->OnConnect;
            apply(*speaker, row, true);
            kept.push_back(std::move(speaker));
        }
        for (auto& speaker : speakers) {
            if (speaker) {
                gone.push_back(std::move(speaker));
            }
        }
        speakers = std::move(kept);
    }
    // Outside the lock: closing a stream reports its end, and a handler may look at the set.
    for (TSpeakerStream* stream : closing) {
        stream->Close();
    }
    gone.clear();
    for (const TAction& action : actions) {
        if (action.Start) {
            Impl_->SendStart(action.Address);
        }
        Impl_->SendVolume(action.Address, action.Volume);
    }
}

std::vector<TSpeakerState> TSpeakerLink::Speakers() const {
    std::vector<TSpeakerState> states;
    std::lock_guard lock(Impl_->SpeakersMutex);
    for (const auto& speaker : Impl_->Speakers) {
        TSpeakerState state{speaker->Row, speaker->Stream->Connected(), speaker->Stream->Stats()};
        state.Row.Address = Impl_->AddressOf(*speaker);
        states.push_back(std::move(state));
    }
    return states;
}

void TSpeakerLink::FanOut(const std::uint8_t* data, std::size_t size, std::uint64_t run, std::uint16_t level) {
    std::lock_guard lock(Impl_->SpeakersMutex);
    for (const auto& speaker : Impl_->Speakers) {
        if (!speaker->Row.On) {
            continue;
        }
        TSpeakerStream& stream = *speaker->Stream;
        if (stream.Connected()) {
            stream.SendBlock(data, size, run);
            continue;
        }
        stream.CountDropped();
        if (!stream.ConnectPending()) {
            // Repeated with every block while the speaker is not connected;
            // its answer opens the stream.
            const std::string address = Impl_->AddressOf(*speaker);
            Impl_->SendStart(address);
            Impl_->SendVolume(address, OwnSpeakerLevel(level, speaker->Row.Volume));
        }
    }
}

void TSpeakerLink::SendVolumes(std::uint16_t level) {
    std::lock_guard lock(Impl_->SpeakersMutex);
    Impl_->Level = level;
    for (const auto& speaker : Impl_->Speakers) {
        if (speaker->Row.On) {
            Impl_->SendVolume(Impl_->AddressOf(*speaker), OwnSpeakerLevel(level, speaker->Row.Volume));
        }
    }
}

} // namespace zv2::speaker
