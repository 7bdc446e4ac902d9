#include "untSoftSpeaker.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>

namespace zv2::speaker {

using platform::TNetResult;
using platform::TSocketAddress;

namespace {

constexpr int SampleRate = 44100;
constexpr int Channels = 2;
constexpr std::size_t FrameBytes = 4;
constexpr std::size_t PlayBlockBytes = SampleRate * FrameBytes / 10; // 100 ms
constexpr std::size_t DatagramBufferSize = 8192;
constexpr std::size_t ReceiveBufferSize = 64 * 1024;
constexpr std::uint8_t DiscoveryAnswerPayload = 0x01;
// How often a reader waiting on a quiet connection looks for a newer one.
constexpr int ReplacementCheckMs = 100;
// A replaced connection is read to its end; one that stays quiet this long
// without ending is given up.
constexpr int ReplacedQuietMs = 2000;

platform::TWaveVolume WaveVolumeOf(std::uint16_t level) {
    const std::uint32_t channel = static_cast<std::uint32_t>(level) * 0xFFFFu / MaxSpeakerVolume;
    return channel | channel << 16;
}

} // namespace

std::string FormatSummary(const TSoftSpeakerSummary& summary) {
    char line[256];
    std::snprintf(line, sizeof line,
                  "zv2-speaker: bytes=%llu seconds=%.3f connections=%d largest_gap_ms=%lld volume=%u "
                  "volume_datagrams=%d start_requests=%d discovery_requests=%d",
                  static_cast<unsigned long long>(summary.Bytes),
                  static_cast<double>(summary.Bytes) / (SampleRate * FrameBytes), summary.Connections,
                  static_cast<long long>(summary.LargestGapMs), summary.Volume, summary.VolumeDatagrams,
                  summary.StartRequests, summary.DiscoveryRequests);
    return line;
}

TSoftSpeaker::TSoftSpeaker(TSoftSpeakerOptions options) : Options_(std::move(options)) {}

TSoftSpeaker::~TSoftSpeaker() {
    Stop();
}

bool TSoftSpeaker::Start(std::string& error) {
    const auto at = TSocketAddress::Parse(Options_.BindAddress, Options_.ControlPort);
    if (!at) {
        error = "not an IPv4 address: " + Options_.BindAddress;
        return false;
    }
    if (Control_.Open(*at, true) != TNetResult::Ok) {
        error = "cannot open UDP " + at->ToString();
        return false;
    }
    const bool bound = at->Host != 0;
    if (bound && Broadcast_.Open(TSocketAddress::Broadcast(Options_.ControlPort), false) != TNetResult::Ok) {
        error = "cannot open UDP " + TSocketAddress::Broadcast(Options_.ControlPort).ToString();
        return false;
    }
    const TSocketAddress streamAt{at->Host, Options_.StreamPort};
    if (Listener_.Listen(streamAt) != TNetResult::Ok) {
        error = "cannot listen on TCP " + streamAt.ToString();
        return false;
    }
    if (!Options_.WavPath.empty() && !Wav_.Open(Options_.WavPath, SampleRate, Channels)) {
        error = "cannot create " + Options_.WavPath;
        return false;
    }
    if (!Options_.BlockTimesPath.empty() && !BlockTimes_.Open(Options_.BlockTimesPath)) {
        error = "cannot create " + Options_.BlockTimesPath;
        return false;
    }
    if (Options_.Sound) {
        Wave_ = platform::CreateWaveOut();
        // Played blocks come back here and are freed.
        if (!Wave_ || !Wave_->Open(platform::TWaveFormat{SampleRate, Channels, 16}, [](platform::TWaveBlockPtr) {})) {
            error = "cannot open the wave output";
            return false;
        }
        Wave_->SetVolume(WaveVolumeOf(MaxSpeakerVolume));
    }
    Threads_.emplace_back(&TSoftSpeaker::Control, this, std::ref(Control_));
    if (bound) {
        Threads_.emplace_back(&TSoftSpeaker::Control, this, std::ref(Broadcast_));
    }
    Threads_.emplace_back(&TSoftSpeaker::AcceptStreams, this);
    Threads_.emplace_back(&TSoftSpeaker::ReadStreams, this);
    Log("ready on " + at->HostText() + " (control " + std::to_string(Control_.LocalAddress().Port) + ", stream " +
        std::to_string(Listener_.LocalAddress().Port) + (Wave_ ? ", sound " + Wave_->Name() : "") + ")");
    return true;
}

void TSoftSpeaker::Stop() {
    {
        std::lock_guard lock(Mutex_);
        Stopping_ = true;
        for (const auto& stream : Streams_) {
            stream->Abort();
        }
    }
    StreamChanged_.notify_all();
    Control_.Abort();
    Broadcast_.Abort();
    Listener_.Abort();
    for (std::thread& thread : Threads_) {
        thread.join();
    }
    Threads_.clear();
    if (Wave_) {
        Wave_->Close();
        Wave_.reset();
    }
    Wav_.Finish();
    BlockTimes_.Close();
}

TSoftSpeakerSummary TSoftSpeaker::Summary() const {
    std::lock_guard lock(Mutex_);
    return Summary_;
}

void TSoftSpeaker::Log(const std::string& line) {
    if (OnLog) {
        OnLog(line);
    }
}

void TSoftSpeaker::Control(platform::TUdpSocket& socket) {
    std::vector<std::uint8_t> buffer(DatagramBufferSize);
    for (;;) {
        std::size_t received = 0;
        TSocketAddress from;
        const TNetResult result = socket.ReceiveFrom(buffer.data(), buffer.size(), received, from, -1);
        if (result != TNetResult::Ok) {
            return;
        }
        HandleDatagram(buffer.data(), received, from);
    }
}

void TSoftSpeaker::HandleDatagram(const std::uint8_t* data, std::size_t size, const TSocketAddress& from) {
    switch (ClassifyDatagram(data, size)) {
    case TDatagramKind::DiscoveryRequest: {
        const TMybuf answer = EncodeDiscoveryAnswer(DiscoveryAnswerPayload);
        const TNetResult sent = Control_.SendTo(from, answer.data(), answer.size());
        {
            std::lock_guard lock(Mutex_);
            ++Summary_.DiscoveryRequests;
        }
        Log("discovery request from " + from.ToString() + ": " + platform::NetResultText(sent));
        break;
    }
    case TDatagramKind::RateRequest: {
        std::lock_guard lock(Mutex_);
        LastRate_ = DecodeRateText(data, size).value_or("");
        break;
    }
    case TDatagramKind::StartRequest: {
        // This speaker plays 44100 Hz only; any other rate is declined (the
        // program connects on either answer, and the stream is played as 44100 Hz).
        std::string rate;
        {
            std::lock_guard lock(Mutex_);
            rate = LastRate_;
            ++Summary_.StartRequests;
        }
        const std::string_view reply = rate == "44100" ? SoundOkText : SoundNokText;
        Control_.SendTo(from, reply.data(), reply.size());
        Log("start request from " + from.ToString() + " (rate " + (rate.empty() ? "none" : rate) +
            "): " + std::string(reply));
        break;
    }
    case TDatagramKind::Volume: {
        const std::uint16_t level = *DecodeVolume(data, size);
        {
            std::lock_guard lock(Mutex_);
            Summary_.Volume = level;
            ++Summary_.VolumeDatagrams;
        }
        if (Wave_) {
            Wave_->SetVolume(WaveVolumeOf(level));
        }
        Log("volume " + std::to_string(level));
        break;
    }
    default:
        break;
    }
}

void TSoftSpeaker::AcceptStreams() {
    for (;;) {
        std::unique_ptr<platform::TTcpSocket> accepted;
        const TNetResult result = Listener_.Accept(accepted, -1);
        if (result == TNetResult::Aborted) {
            return;
        }
        if (result != TNetResult::Ok) {
            // Out of descriptors or the like: try again a little later.
            std::unique_lock lock(Mutex_);
            StreamChanged_.wait_for(lock, std::chrono::milliseconds(100), [&] { return Stopping_; });
            continue;
        }
        Log("stream from " + accepted->Peer().ToString());
        {
            std::lock_guard lock(Mutex_);
            Streams_.push_back(std::move(accepted)); // replaces the one being read (see ReadOne)
            ++Summary_.Connections;
        }
        StreamChanged_.notify_all();
    }
}

void TSoftSpeaker::ReadStreams() {
    for (;;) {
        platform::TTcpSocket* stream = nullptr;
        {
            std::unique_lock lock(Mutex_);
            StreamChanged_.wait(lock, [&] { return Stopping_ || !Streams_.empty(); });
            if (Stopping_) {
                return;
            }
            stream = Streams_.front().get(); // stays until removed below
        }
        ReadOne(*stream);
        std::lock_guard lock(Mutex_);
        Streams_.pop_front();
    }
}

bool TSoftSpeaker::Replaced() const {
    std::lock_guard lock(Mutex_);
    return Streams_.size() > 1;
}

void TSoftSpeaker::ReadOne(platform::TTcpSocket& stream) {
    using Clock = std::chrono::steady_clock;
    std::vector<std::uint8_t> buffer(ReceiveBufferSize);
    std::optional<Clock::time_point> last;
    bool replaced = false;
    BlockTimes_.BeginConnection();
    for (;;) {
        // Once a newer connection has come, this one is read to its end: the
        // program closes it before it opens the new one, but its last bytes
        // may still be on their way (waiting in the program's send buffer
        // while this one's receive window is full).
        std::size_t received = 0;
        const TNetResult result =
            stream.Receive(buffer.data(), buffer.size(), received, replaced ? ReplacedQuietMs : ReplacementCheckMs);
        if (result == TNetResult::Timeout && !replaced) {
            replaced = Replaced();
            continue;
        }
        if (result != TNetResult::Ok) {
            break;
        }
        const auto now = Clock::now();
        {
            std::lock_guard lock(Mutex_);
            Summary_.Bytes += received;
            if (last) {
                const auto gap = std::chrono::duration_cast<std::chrono::milliseconds>(now - *last).count();
                Summary_.LargestGapMs = std::max<std::int64_t>(Summary_.LargestGapMs, gap);
            }
            replaced = Streams_.size() > 1;
        }
        last = now;
        BlockTimes_.Received(buffer.data(), received,
                             std::chrono::duration_cast<std::chrono::microseconds>(now.time_since_epoch()).count());
        Wav_.Write(buffer.data(), received);
        Play(buffer.data(), received, false);
    }
    Play(nullptr, 0, true);
    Log("stream from " + stream.Peer().ToString() + " ended");
}

void TSoftSpeaker::Play(const std::uint8_t* data, std::size_t size, bool flush) {
    if (!Wave_) {
        return;
    }
    Pending_.insert(Pending_.end(), data, data + size);
    std::size_t offset = 0;
    for (;;) {
        std::size_t length = std::min(PlayBlockBytes, Pending_.size() - offset);
        length -= length % FrameBytes;
        if (length == 0 || (length < PlayBlockBytes && !flush)) {
            break;
        }
        auto block = std::make_unique<platform::TWaveBlock>();
        block->Data.assign(Pending_.begin() + static_cast<long>(offset),
                           Pending_.begin() + static_cast<long>(offset + length));
        block->Length = length;
        // A device that has fallen behind by MaxQueuedBlocks refuses the block: it is not heard.
        Wave_->Write(std::move(block));
        offset += length;
    }
    Pending_.erase(Pending_.begin(), Pending_.begin() + static_cast<long>(offset));
    if (flush) {
        Pending_.clear(); // a part of a sample frame at the end of a connection
    }
}

} // namespace zv2::speaker
