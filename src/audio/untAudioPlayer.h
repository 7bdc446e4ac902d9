#pragma once
// TAudioPlayer: the one object through which the main window plays music. It
// owns the playback engine, keeps the state code the play button reads, and
// applies the volume and the output mode (speaker or local) to both outputs,
// always setting the silent side first.
//
// Made by the main window when its form is created:
//     TAudioPlayer player(dispatcher);            // the wave output from the ordered probe
//     player.Engine().OnDeviceFound = ...;        // bind the speaker events (UI thread)
//     player.Engine().OnStreamConnect = ...;
//     player.Engine().OnStreamDisconnect = ...;
// Tests pass their own wave output and speaker link ports.
//
// Threads: UI thread only (the dispatcher's). Volume on the 0..3000 scale;
// Position and Length in bytes of the MP3 file.

#include "audio/ZV2_MusicDecode.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zv2::audio {

class TAudioPlayer {
public:
    // State codes.
    static constexpr std::uint8_t Stopped = 0;
    static constexpr std::uint8_t Playing = 1;
    static constexpr std::uint8_t Paused = 2;
    static constexpr std::uint8_t OpenFailed = 3;
    static constexpr std::uint8_t Opened = 4;
    static constexpr std::uint8_t Created = 5;

    explicit TAudioPlayer(platform::IDispatcher& dispatcher,
                          std::unique_ptr<platform::IWaveOut> waveOut = platform::CreateWaveOut(),
                          const speaker::TSpeakerLinkOptions& linkOptions = {});

    TZV2_Music& Engine() { return Engine_; }
    std::uint8_t State() const { return State_; }
    int CurrentVolume() const { return CurrentVolume_; }
    const std::string& FileName() const { return FileName_; }
    const std::string& DeviceAddress() const { return DeviceAddress_; }
    bool SpeakerMode() const { return SpeakerMode_; }

    // Nothing happens when the file does not exist. Otherwise opens it in the
    // engine: state Opened, or OpenFailed when that fails with an error. A
    // file that exists but cannot be read still gives Opened (and plays nothing).
    void Open(const std::string& fileName);
    // Resumes a paused device, restarts it (stop, start) and continues from the
    // engine's position: state Playing.
    void Play();
    // Pauses the device: state Paused (also when nothing plays). Returns the device's result.
    bool Pause();
    // Stops the device, keeping file and position: state Stopped.
    void Stop();

    std::uint32_t Position() const { return Engine_.Position(); }
    std::uint32_t Length() const { return Engine_.FileSize(); }
    // Only while Playing: a negative offset becomes 0; the engine gets the low 32 bits.
    void Seek(std::int64_t newPosition);

    // CurrentVolume := value, at most 3000; both outputs follow (the engine
    // clamps below 0).
    void SetVolume(int value);
    // True: the speaker sounds and the local device is silent; false: the reverse.
    void SetSpeakerMode(bool speakerMode);
    // Sends the start request to `address` with rate "44100".
    void SetDeviceAddress(const std::string& address);
    // Discovery broadcast; answers through Engine().OnDeviceFound.
    void SearchDevices();
    // The speakers that play: rows[0] is the one at DeviceAddress(), the others
    // are matched by address; each gets every block and its own share of the volume.
    void SetSpeakers(const std::vector<speaker::TSpeakerRow>& rows);
    // Every speaker with its state and statistics, the one at DeviceAddress() first.
    std::vector<speaker::TSpeakerState> Speakers() const { return Engine_.Speakers(); }

private:
    TZV2_Music Engine_;
    std::uint8_t State_ = Created;
    int CurrentVolume_ = 0;
    std::string FileName_;
    std::string DeviceAddress_;
    bool SpeakerMode_ = true;
};

} // namespace zv2::audio
