#include "audio/untAudioPlayer.h"

#include "platform/FileSystem.h"

#include <algorithm>

namespace zv2::audio {

TAudioPlayer::TAudioPlayer(platform::IDispatcher& dispatcher, std::unique_ptr<platform::IWaveOut> waveOut,
                           const speaker::TSpeakerLinkOptions& linkOptions)
    : Engine_(dispatcher, std::move(waveOut), linkOptions) {}

void TAudioPlayer::Open(const std::string& fileName) {
    if (!platform::FileExists(fileName))
        return;
    FileName_ = fileName;
    try {
        Engine_.Open(fileName);
        State_ = Opened;
    } catch (const std::exception&) {
        State_ = OpenFailed;
    }
}

void TAudioPlayer::Play() {
    Engine_.Pause(false);
    Engine_.SetActive(false);
    Engine_.SetActive(true);
    State_ = Playing;
}

bool TAudioPlayer::Pause() {
    const bool result = Engine_.Pause(true);
    State_ = Paused;
    return result;
}

void TAudioPlayer::Stop() {
    Engine_.SetActive(false);
    State_ = Stopped;
}

void TAudioPlayer::Seek(std::int64_t newPosition) {
    if (State_ != Playing)
        return;
    Engine_.SetPosition(std::uint32_t(std::max<std::int64_t>(newPosition, 0)));
}

void TAudioPlayer::SetVolume(int value) {
    CurrentVolume_ = std::min(value, TZV2_Music::MaxVolumeLevel);
    Engine_.SetVolumeLevel(CurrentVolume_);
    if (SpeakerMode_) {
        Engine_.SetLocalVolume(0);
        Engine_.SendSpeakerVolume(value);
    } else {
        Engine_.SendSpeakerVolume(0);
        Engine_.SetLocalVolume(value);
    }
}

void TAudioPlayer::SetSpeakerMode(bool speakerMode) {
    SpeakerMode_ = speakerMode;
    Engine_.SetSpeakerMode(speakerMode);
    if (speakerMode) {
        Engine_.SetLocalVolume(0);
        Engine_.SendSpeakerVolume(CurrentVolume_);
    } else {
        Engine_.SendSpeakerVolume(0);
        Engine_.SetLocalVolume(CurrentVolume_);
    }
}

void TAudioPlayer::SetDeviceAddress(const std::string& address) {
    DeviceAddress_ = address;
    Engine_.StartSpeaker(address, "44100");
}

void TAudioPlayer::SearchDevices() {
    Engine_.SearchDevices();
}

void TAudioPlayer::SetSpeakers(const std::vector<speaker::TSpeakerRow>& rows) {
    Engine_.SetSpeakers(rows);
}

} // namespace zv2::audio
