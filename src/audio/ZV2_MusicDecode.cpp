#include "audio/ZV2_MusicDecode.h"

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zv2::audio {

namespace {
constexpr platform::TWaveFormat OutputFormat{44100, 2, 16};

// Hundredths of full scale of `level` clamped to 0..3000, v / 30 rounded to nearest with halves to even.
int Hundredths(int level) {
    const int v = std::clamp(level, 0, TZV2_Music::MaxVolumeLevel);
    int hundredths = v / 30;
    const int rest = v % 30;
    if (rest > 15 || (rest == 15 && hundredths % 2 == 1))
        ++hundredths;
    return hundredths;
}
} // namespace

TZV2_Music::TZV2_Music(platform::IDispatcher& dispatcher, std::unique_ptr<platform::IWaveOut> waveOut,
                       const speaker::TSpeakerLinkOptions& linkOptions)
    : WaveOut_(std::move(waveOut)), Volume_(*WaveOut_), Link_(dispatcher, linkOptions) {
    Link_.OnStreamConnect = [this] {
        if (OnStreamConnect)
            OnStreamConnect();
    };
    Link_.OnSoundReply = [this](const std::string& text, int size) {
        if (OnSoundReply)
            OnSoundReply(text, size);
    };
    Link_.OnDeviceFound = [this](const std::string& address) {
        if (OnDeviceFound)
            OnDeviceFound(address);
    };
    Link_.OnStreamDisconnect = [this] {
        if (OnStreamDisconnect)
            OnStreamDisconnect();
    };
    RefillThread_ = std::thread([this] { Refill(); });
}

TZV2_Music::~TZV2_Music() {
    SetActive(false);
    {
        std::lock_guard lock(FinishedMutex_);
        Terminate_ = true;
    }
    FinishedChanged_.notify_all();
    RefillThread_.join();
    if (File_ >= 0) {
        Decoder_.Close();
        ::close(File_);
    }
}

void TZV2_Music::Open(const std::string& fileName) {
    std::lock_guard lock(RefillMutex_);
    if (File_ >= 0) {
        Decoder_.Close();
        ::close(File_);
    }
    File_ = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
    Position_ = 0;
    OutputEnabled_ = false;
    if (File_ >= 0)
        Decoder_.Open();
}

std::uint32_t TZV2_Music::FileSize() const {
    struct stat st {};
    if (File_ < 0 || ::fstat(File_, &st) != 0)
        return 0;
    return std::uint32_t(st.st_size);
}

void TZV2_Music::SetActive(bool active) {
    if (active)
        Start();
    else
        Stop();
}

void TZV2_Music::Start() {
    if (Active_.exchange(true))
        return;
    std::lock_guard lock(RefillMutex_);
    if (DeviceOpen_ || File_ < 0)
        return;
    try {
        if (!WaveOut_->Open(OutputFormat, [this](platform::TWaveBlockPtr block) { BlockDone(std::move(block)); }))
            return;
        DeviceOpen_ = true;
        FirstBlock_ = true;
        // Right after an Open these two are decoded and dropped.
        FillAndQueue();
        FillAndQueue();
        OutputEnabled_ = true;
        FillAndQueue();
        FillAndQueue();
    } catch (const std::exception&) {
        // Out of memory for a block: the start fails as a whole.
        Active_ = false;
        if (DeviceOpen_) {
            ++Session_;
            WaveOut_->Close();
            DeviceOpen_ = false;
        }
    }
}

void TZV2_Music::Stop() {
    if (!Active_.exchange(false))
        return;
    // Waits for a refill in progress: its block is queued before the reset hands everything back.
    std::lock_guard lock(RefillMutex_);
    if (!DeviceOpen_)
        return;
    ++Session_;
    WaveOut_->Reset();
    WaveOut_->Close();
    DeviceOpen_ = false;
}

bool TZV2_Music::Pause(bool pause) {
    return pause ? WaveOut_->Pause() : WaveOut_->Restart();
}

void TZV2_Music::FillAndQueue() {
    auto block = std::make_unique<platform::TWaveBlock>();
    block->Data.assign(BlockBytes, 0);
    const std::size_t n = FillBlock(block->Data.data(), BlockBytes);
    if (!OutputEnabled_ || n == 0)
        return;
    if (FirstBlock_) {
        FadeTarget_ = VolumeLevel_.load();
        Fading_ = true;
        SendSpeakerVolume(0);
        SetLocalVolume(0);
        FirstBlock_ = false;
    }
    if (SpeakerMode_)
        Link_.FanOut(block->Data.data(), BlockBytes, Session_, SpeakerLevel(VolumeLevel_.load()));
    if (Fading_) {
        int level = VolumeLevel_.load();
        if (level + FadeStep > FadeTarget_) {
            level = FadeTarget_;
            Fading_ = false;
        } else {
            level += FadeStep;
        }
        VolumeLevel_ = level;
        if (SpeakerMode_)
            SendSpeakerVolume(level);
        else
            SetLocalVolume(level);
    }
    block->Length = n;
    block->Tag = Session_;
    WaveOut_->Write(std::move(block));
}

std::size_t TZV2_Music::FillBlock(std::uint8_t* block, std::size_t size) {
    std::size_t remaining = size;
    if (CarryCount_ > 0) {
        const std::size_t k = std::min(CarryCount_, remaining);
        std::memcpy(block, CarryBuffer_.data(), k);
        CarryCount_ -= k;
        std::memmove(CarryBuffer_.data(), CarryBuffer_.data() + k, CarryCount_);
        remaining -= k;
    }
    while (remaining > 0) {
        const std::size_t s = DecodeStep();
        std::uint8_t* to = block + (size - remaining);
        if (s > remaining) {
            std::memcpy(to, FrameBuffer_.data(), remaining);
            CarryCount_ = s - remaining;
            std::memcpy(CarryBuffer_.data(), FrameBuffer_.data() + remaining, CarryCount_);
            remaining = 0;
        } else {
            std::memcpy(to, FrameBuffer_.data(), s);
            remaining -= s;
        }
    }
    return size - remaining;
}

std::size_t TZV2_Music::DecodeStep() {
    std::uint8_t input[ReadBytes];
    std::uint32_t position = Position_.load();
    ssize_t got = File_ >= 0 ? ::pread(File_, input, ReadBytes, off_t(position)) : 0;
    if (got < 0)
        got = 0;
    std::uint8_t pcm[TMpegAudioDecoder::MaxPcmBytes];
    int pcmBytes = 0;
    const std::size_t taken = Decoder_.DecodeFrame(input, std::size_t(got), pcm, pcmBytes);
    if (OutputEnabled_ && pcmBytes > 0)
        std::memcpy(FrameBuffer_.data(), pcm, std::size_t(pcmBytes));
    // A seek that landed during this step wins over the step's advance.
    Position_.compare_exchange_strong(position, position + std::uint32_t(taken));
    return pcmBytes > 0 ? std::size_t(pcmBytes) : RepeatBytes;
}

void TZV2_Music::BlockDone(platform::TWaveBlockPtr block) {
    {
        std::lock_guard lock(FinishedMutex_);
        Finished_.push_back(std::move(block));
    }
    FinishedChanged_.notify_one();
}

void TZV2_Music::Refill() {
    for (;;) {
        platform::TWaveBlockPtr finished;
        {
            std::unique_lock lock(FinishedMutex_);
            FinishedChanged_.wait(lock, [this] { return Terminate_ || !Finished_.empty(); });
            if (Finished_.empty())
                return;
            finished = std::move(Finished_.front());
            Finished_.pop_front();
        }
        std::lock_guard lock(RefillMutex_);
        if (Active_ && DeviceOpen_ && finished->Tag == Session_) {
            try {
                FillAndQueue();
            } catch (const std::exception&) {
                // Out of memory for the new block: this one is skipped, the next finished block tries again.
            }
        }
        // The finished block is released here, after its replacement was queued.
    }
}

int TZV2_Music::ScaleVolume(bool forSpeaker, int level) {
    VolumeLevel_ = level;
    return forSpeaker ? SpeakerLevel(level) : LocalLevel(level);
}

std::uint16_t TZV2_Music::SpeakerLevel(int level) {
    return static_cast<std::uint16_t>(Hundredths(level) * 4095 / 100);
}

int TZV2_Music::LocalLevel(int level) {
    return Hundredths(level) * 255 / 100;
}

void TZV2_Music::SetLocalVolume(int level) {
    const int b = ScaleVolume(false, level);
    Volume_.SetLeft(b);
    Volume_.SetRight(b);
}

void TZV2_Music::SendSpeakerVolume(int level) {
    Link_.SendVolumes(std::uint16_t(ScaleVolume(true, level)));
}

void TZV2_Music::SetSpeakers(const std::vector<speaker::TSpeakerRow>& rows) {
    Link_.SetSpeakers(rows);
}

std::vector<speaker::TSpeakerState> TZV2_Music::Speakers() const {
    return Link_.Speakers();
}

void TZV2_Music::SearchDevices() {
    Link_.SearchDevices();
}

void TZV2_Music::StartSpeaker(const std::string& address, const std::string& rateText) {
    Link_.SetDevice(address, rateText);
    RequestStart();
}

// The refill thread's repeat goes to whatever address is current: it never
// writes one, so an address set meanwhile on the UI thread is never undone.
void TZV2_Music::RequestStart() {
    Link_.SendStartRequest();
    SendSpeakerVolume(VolumeLevel_.load());
}

void TZV2_Music::ConnectStream() {
    Link_.ConnectStream();
}

} // namespace zv2::audio
